#pragma once
// The scene store: scenes with versions, scene macros and the 60 group scenes.

#include "core/uMod_Abstract.h"
#include "core/uUtils.h"

#include <array>

constexpr int GroupCount = 60;

class TModuleSzenen : public TModuleAbstract {
public:
    TModuleSzenen();

    // The stored level of channel n (1..729) in group scene g (0..59); 0 outside.
    int GroupLevel(int g, int n) const
    {
        return (g >= 0 && g < GroupCount && n >= 1 && n <= MaxKanal) ? GroupLevels[static_cast<std::size_t>(g)][static_cast<std::size_t>(n)] : 0;
    }

    // The current level array of each group scene.
    std::array<TLevelArray, GroupCount> GroupLevels{};
};
