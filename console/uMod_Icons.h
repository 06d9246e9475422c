#pragma once
// The icon table: 16x16 two-colour icons that channels, faders and macro buttons show.
// The table holds only the pixel bits; the forms paint them in a button's colours.

#include "framework/uMod_Abstract.h"

#include <array>
#include <cstdint>
#include <vector>

// One 16x16 icon: Rows[y] holds row y, bit 15 - x is pixel x (set = foreground).
struct TIcon {
    std::array<std::uint16_t, 16> Rows{};

    bool Pixel(int x, int y) const { return (Rows[size_t(y)] >> (15 - x)) & 1u; }
    void SetPixel(int x, int y) { Rows[size_t(y)] |= std::uint16_t(1u << (15 - x)); }
};

class TModuleIcons : public TModuleAbstract {
public:
    TModuleIcons();

    // Loads "icons.ini" from DataDir: section Icons, IconsCount, Icon_1 .. Icon_n.
    // A missing file gives an empty table; an icon text with a bad digit is logged
    // and kept as far as it was decoded, so the later icons keep their indices.
    void Init() override;

    int IconCount() const { return int(FIcons.size()); }
    // nullptr for any index outside 0..IconCount-1 ("no icon").
    const TIcon* GetIcon(int index) const;
    // Appends the icon of a run-length text: each hex pair c is a run of
    // (c mod 128) + 1 pixels, set when bit 7 is set, row by row from the top left.
    // A blank text adds nothing. On a bad digit the icon decoded so far is appended
    // and the error of HexDigitValue is raised.
    void AddIcon(const QString& text);

private:
    std::vector<TIcon> FIcons;
};
