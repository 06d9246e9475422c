// A stand-in for the audio bridge library, for the tests of its driver. It
// records every call in a log and behaves as the test sets it through the
// fake_ entries. Built once with all seven entries and once without
// wasapi_reset (FAKE_WASAPI_WITHOUT_RESET).

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using TFill = void (*)(void* user, void* buffer, std::int32_t frames);

std::int32_t Available = 1;
std::intptr_t OpenResult = 7;
std::int32_t IdleFrames = 0;   // frames asked of the fill function; 0 = nothing to fill
std::string Log;
std::vector<std::uint8_t> Filled;
void* Owner = nullptr;   // the user pointer of the last open

void Note(const std::string& call)
{
    Log += call;
    Log += ';';
}

} // namespace

extern "C" {

// ---- the bridge ----

__attribute__((visibility("default"))) std::int32_t wasapi_available()
{
    Note("available");
    return Available;
}

__attribute__((visibility("default"))) std::intptr_t wasapi_open(void* user, std::int32_t channels, std::int32_t bits,
                                                                  std::int32_t rate)
{
    Note("open " + std::to_string(channels) + ' ' + std::to_string(bits) + ' ' + std::to_string(rate));
    Owner = user;
    return OpenResult;
}

__attribute__((visibility("default"))) std::int32_t wasapi_idle(std::intptr_t handle, TFill fill)
{
    Note("idle " + std::to_string(handle));
    if (IdleFrames <= 0)
        return 0;
    // The device's buffer holds old bytes; the fill function must overwrite them.
    std::vector<std::uint8_t> buffer(std::size_t(IdleFrames) * 64, 0xAA);
    fill(Owner, buffer.data(), IdleFrames);
    Filled = std::move(buffer);
    return 1;
}

__attribute__((visibility("default"))) std::int32_t wasapi_start(std::intptr_t handle)
{
    Note("start " + std::to_string(handle));
    return 0;
}

__attribute__((visibility("default"))) std::int32_t wasapi_stop(std::intptr_t handle)
{
    Note("stop " + std::to_string(handle));
    return 0;
}

#ifndef FAKE_WASAPI_WITHOUT_RESET
__attribute__((visibility("default"))) std::int32_t wasapi_reset(std::intptr_t handle)
{
    Note("reset " + std::to_string(handle));
    return 0;
}
#endif

__attribute__((visibility("default"))) std::int32_t wasapi_close(std::intptr_t handle)
{
    Note("close " + std::to_string(handle));
    return 0;
}

// ---- control for the tests ----

__attribute__((visibility("default"))) void fake_wasapi_set(std::int32_t available, std::intptr_t openResult,
                                                             std::int32_t idleFrames)
{
    Available = available;
    OpenResult = openResult;
    IdleFrames = idleFrames;
}

// The call log ("open 2 16 44100;start 7;..."); cleared by the call.
__attribute__((visibility("default"))) const char* fake_wasapi_take_log()
{
    static std::string taken;
    taken = Log;
    Log.clear();
    return taken.c_str();
}

// The bytes the last fill produced.
__attribute__((visibility("default"))) const std::uint8_t* fake_wasapi_filled(std::int32_t* size)
{
    *size = std::int32_t(Filled.size());
    return Filled.data();
}

} // extern "C"
