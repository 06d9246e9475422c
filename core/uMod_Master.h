#pragma once
// The master module: console master, grand master, speed factors, console or
// playback mode, and the playback state of the crossfade.

#include "core/uMod_Abstract.h"

#include <cstdint>

class TModuleMaster : public TModuleAbstract {
public:
    TModuleMaster();

    void Done() override;

    // Playback state 0..6: 0 no crossfade yet, 1 started forward, 2 paused,
    // 3 resumed, 4 running backward, 5 ended, 6 started by a backward recall.
    std::uint8_t GetMasterState() const { return FMasterState; }
    void SetMasterState(std::uint8_t state) { FMasterState = state; }

    bool Ablauf = false;   // playback mode ("Ablauf") rather than console mode ("Pult")

private:
    std::uint8_t FMasterState = 0;
};
