// Command lines as a remote client or a macro brings them: the tokenizer and the
// main module's ExecuteLines and ExecuteCommand (remote flag set, as the server
// runs them), then one tick for the delayed commands that came due.

#include "FuzzEngine.h"

#include "framework/uMod_Main.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset;
    TModuleMain& main = FuzzMainModule();
    const QStringList lines = SplitLines(DecodeText(FuzzBytes(data, size)));

    // The line's first character begins token 0; every further token begins at
    // a letter or '%'.
    for (const QString& line : lines) {
        QStringList tokens;
        TokenizeCommand(line + QLatin1Char('E'), tokens);
        for (int i = 1; i < tokens.size(); ++i)
            if (tokens.at(i).isEmpty() || !(IsAsciiLetter(tokens.at(i).at(0)) || tokens.at(i).at(0) == u'%'))
                std::abort();
        for (int i = 0; i < tokens.size(); ++i) {
            GetTokenInt(tokens, i);
            GetTokenString(tokens, i);
        }
        main.ExecuteCommand(tokens, 1);
    }
    main.ExecuteLines(lines, size % 2 == 1);
    // A tick runs the delayed commands that are due; without any it only costs time.
    if (!main.DelayedCommands.empty())
        main.Tick();
    return 0;
}
