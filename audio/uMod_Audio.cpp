#include "audio/uMod_Audio.h"

TModuleAudio::TModuleAudio()
{
    Tag = QChar('A');
    Name = QStringLiteral("Audio");
}
