#pragma once
// The macro buttons: numbered macros of command lines, pressed and released like keys.

#include "core/uMod_Abstract.h"

class TModuleMakro : public TModuleAbstract {
public:
    TModuleMakro();
};
