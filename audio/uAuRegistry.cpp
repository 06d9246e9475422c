#include "audio/uAuRegistry.h"

#include "audio/uAuCDAudio.h"
#include "audio/uAuDirectSound.h"
#include "audio/uAuMediaDec.h"
#include "audio/uAuSyncMgr.h"
#include "audio/uAuWAV.h"
#include "audio/uAuWASAPI.h"

namespace {
bool Started = false;
} // namespace

void StartAudioEngine()
{
    if (Started)
        return;
    Started = true;
    // The notification thread first: a driver or decoder may queue calls from
    // the moment it exists.
    StartSyncMgr();
    // Decoders and protocols, in the order the player tries them, then the
    // output drivers, the sound-card driver first.
    RegisterMediaDecDecoder();
    RegisterWAVDecoder();
    RegisterCDAudio();
    RegisterDirectSoundDriver();
    RegisterWASAPIDriver();
}

void StopAudioEngine()
{
    StopSyncMgr();
    // A later start registers every class again, in the same order.
    AudioRegistry().Clear();
    Started = false;
}
