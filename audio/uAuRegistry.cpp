#include "audio/uAuRegistry.h"

#include "audio/uAuSyncMgr.h"
#include "audio/uAuWAV.h"

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
    RegisterWAVDecoder();
}

void StopAudioEngine()
{
    StopSyncMgr();
    Started = false;
}
