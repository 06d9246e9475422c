#pragma once
// The console module: the 729 channels, the console pages and the lighting engine's tick.

#include "core/uMod_Abstract.h"

class TModuleLichtpult : public TModuleAbstract {
public:
    TModuleLichtpult();
};
