// The show section "Audio": read into the audio module (pages, playlists, the
// current track of every panel), written back, then one slow tick and an A0
// stop. The panels have no player here: the input reaches the module's reader
// and the panels' playlist logic, not an audio device.

#include "FuzzEngine.h"

#include "audio/uMod_Audio.h"
#include "audio/uSonivexPanel.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool once = [] {
        SetPanelPlayerFactory([](QString& error) -> std::unique_ptr<TPanelPlayer> {
            error = QStringLiteral("keine Ausgabe");
            return nullptr;
        });
        return true;
    }();
    (void)once;
    TFuzzReset reset;
    FuzzMainModule();
    TStringIniFile ini;
    ini.SetText(QStringLiteral("[Audio]\r\n") + QString::fromUtf8(FuzzBytes(data, size)));
    ModuleAudio->LoadIni(ini);
    QStringList lines;
    ModuleAudio->SaveToStrings(lines);
    ModuleAudio->SlowTick();
    QStringList tokens;
    TokenizeCommand(QStringLiteral("A0E3E"), tokens);
    ModuleAudio->ExecuteCommand(tokens, 0);
    return 0;
}
