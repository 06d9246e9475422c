#pragma once
// The scene store: scenes with versions, scene macros and the 60 group scenes.

#include "core/uMod_Abstract.h"

class TModuleSzenen : public TModuleAbstract {
public:
    TModuleSzenen();
};
