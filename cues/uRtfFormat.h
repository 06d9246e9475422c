#pragma once
// What the RTF reader and writer share: the character and paragraph attributes
// they read and write, and the characters a text may hold.

#include <QtGlobal>

namespace RtfFormat {

constexpr int kDefaultHalfPoints = 24;   // 12 points when \fs is absent

// A character that the text may hold: no control characters except the tab,
// no object replacement and no frame markers of the document.
inline bool IsTextChar(char16_t u)
{
    if (u < 0x20)
        return u == '\t';
    return u != 0xFFFC && u != 0xFDD0 && u != 0xFDD1 && u != 0x2029 && u != 0x7F;
}

enum class TAlign : quint8 { Left, Center, Right, Justify };

struct TCharState {
    int Font = -1;   // index into the font table; -1: \deff
    int HalfPoints = kDefaultHalfPoints;
    int Color = 0;   // index into the colour table; 0: automatic
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    bool operator==(const TCharState&) const = default;
};

struct TParaState {
    TAlign Align = TAlign::Left;
    int Left = 0;   // twips
    int Right = 0;
    int First = 0;   // first line, relative to Left
    bool Bullet = false;
    bool operator==(const TParaState&) const = default;
};

}   // namespace RtfFormat
