// Cost of one tick's frame output through the DMX plug-in: SetLevel copies the
// 513-byte output array's 512 slots and hands the frame to the driver library.
// The plug-in is loaded from the program folder beside build/bench.

#include "plugin/pvm_dmx.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TPlugin {
    TPvmGetInterface GetInterface = nullptr;
    TPvmSetLevel SetLevel = nullptr;
    TPvmCloseInterface CloseInterface = nullptr;
};

// Loaded once and never unloaded, as the program does.
const TPlugin* Plugin()
{
    static TPlugin plugin;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return nullptr;
        std::string path(self, size_t(n));
        path = path.substr(0, path.rfind('/')) + "/../bin/pvm_dmx.so";
        void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            std::fprintf(stderr, "%s\n", dlerror());
            return nullptr;
        }
        plugin.GetInterface = reinterpret_cast<TPvmGetInterface>(dlsym(lib, "GetInterface"));
        plugin.SetLevel = reinterpret_cast<TPvmSetLevel>(dlsym(lib, "SetLevel"));
        plugin.CloseInterface = reinterpret_cast<TPvmCloseInterface>(dlsym(lib, "CloseInterface"));
    }
    return plugin.GetInterface && plugin.SetLevel && plugin.CloseInterface ? &plugin : nullptr;
}

void RunTicks(benchmark::State& state, const std::string& device)
{
    const TPlugin* plugin = Plugin();
    if (!plugin) {
        state.SkipWithError("pvm_dmx.so could not be loaded");
        return;
    }
    if (device.empty())
        unsetenv("USBIO_DEVICE");
    else
        setenv("USBIO_DEVICE", device.c_str(), 1);
    state.SetLabel(plugin->GetInterface());
    std::vector<uint8_t> output(513);
    uint8_t level = 0;
    for (auto _ : state) {
        output[0] = level++;
        benchmark::DoNotOptimize(plugin->SetLevel(output.data(), 512));
    }
    plugin->CloseInterface();
    state.SetItemsProcessed(state.iterations());
}

void BM_SetLevelNoDevice(benchmark::State& state)
{
    RunTicks(state, "");
}

void BM_SetLevelFile(benchmark::State& state)
{
    RunTicks(state, "file:/dev/null");
}

// A bound loopback receiver that never reads: the kernel drops what does not fit.
void BM_SetLevelArtNet(benchmark::State& state)
{
    const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (receiver < 0 || bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        state.SkipWithError("no loopback UDP socket");
        if (receiver >= 0) close(receiver);
        return;
    }
    RunTicks(state, "artnet:127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
    close(receiver);
}

}   // namespace

BENCHMARK(BM_SetLevelNoDevice);
BENCHMARK(BM_SetLevelFile);
BENCHMARK(BM_SetLevelArtNet);
BENCHMARK_MAIN();
