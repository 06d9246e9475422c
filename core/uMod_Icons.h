#pragma once
// The icon table: 16x16 two-colour icons that channels, faders and macro buttons show.

#include "core/uMod_Abstract.h"

class TModuleIcons : public TModuleAbstract {
public:
    TModuleIcons();
};
