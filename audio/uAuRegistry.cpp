#include "audio/uAuRegistry.h"

#include "audio/uAuCDAudio.h"
#include "audio/uAuWAV.h"

namespace {
bool Started = false;
} // namespace

void StartAudioEngine()
{
    if (Started)
        return;
    Started = true;
    // Decoders and protocols, in the order the player tries them, then the
    // output drivers, the sound-card driver first.
    RegisterWAVDecoder();
    RegisterCDAudio();
}

void StopAudioEngine()
{
    Started = false;
}
