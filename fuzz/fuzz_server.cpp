// The remote server's handling of one received message, without sockets: the
// log line, the key check and the command line it runs on the main module.

#include "FuzzEngine.h"

#include "devices/uServer.h"
#include "framework/uMod_Main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    TModuleMain& main = FuzzMainModule();
    // A server of its own for each input: its protocol log goes with it.
    TRemoteServer server;
    server.SetExecutor([](QStringList& tokens) { ModuleMain->ExecuteCommand(tokens, 1); });
    server.ReceiveMessage(QStringLiteral("127.0.0.1"), FuzzBytes(data, size));
    if (!main.DelayedCommands.empty())
        main.Tick();
    return 0;
}
