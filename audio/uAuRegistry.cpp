#include "audio/uAuRegistry.h"

#include "audio/uAuMediaDec.h"
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
    RegisterMediaDecDecoder();
    RegisterWAVDecoder();
}

void StopAudioEngine()
{
    Started = false;
}
