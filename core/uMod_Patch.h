#pragma once
// The patch: maps console channels through dimmer curves to the 512 DMX slots.

#include "core/uMod_Abstract.h"

class TModulePatch : public TModuleAbstract {
public:
    TModulePatch();
};
