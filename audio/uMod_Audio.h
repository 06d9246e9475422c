#pragma once
// The audio module: pages of player panels driven by the audio commands.

#include "core/uMod_Abstract.h"

class TModuleAudio : public TModuleAbstract {
public:
    TModuleAudio();
};
