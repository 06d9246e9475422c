#include "console/uMod_Icons.h"

#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uUtils.h"

#include <map>

namespace {

const QString IconsSection = QStringLiteral("Icons");

// Decodes the runs of text into icon; pixels not covered stay clear and runs past
// the last pixel are dropped. A bad digit throws with the pixels so far in icon.
void DecodeIcon(const QString& text, TIcon& icon)
{
    int pixel = 0;
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int c = HexDigitValue(text.at(i)) * 16 + HexDigitValue(text.at(i + 1));
        const int end = pixel + (c & 0x7F) + 1;
        if (c & 0x80)
            for (int p = pixel; p < end && p < 256; ++p)
                icon.SetPixel(p % 16, p / 16);
        pixel = end;
    }
}

}  // namespace

TModuleIcons::TModuleIcons()
{
    Tag = QChar(0);
    Name = QStringLiteral("");
}

void TModuleIcons::Init()
{
    const TStringIniFile ini(DataDir + QStringLiteral("icons.ini"));
    const int count = ini.ReadInteger(IconsSection, QStringLiteral("IconsCount"), 0);

    // Icon_1 .. Icon_count in order. Absent keys add nothing, so only the keys
    // present are visited: a huge IconsCount costs nothing.
    std::map<int, QString> texts;
    QStringList keys;
    ini.ReadSection(IconsSection, keys);
    for (const QString& key : keys) {
        if (key.size() <= 5 || key.left(5).compare(QStringLiteral("Icon_"), Qt::CaseInsensitive) != 0)
            continue;
        const QString digits = key.mid(5);
        bool ok = false;
        const int n = digits.toInt(&ok);
        if (ok && n >= 1 && n <= count && QString::number(n) == digits && !texts.count(n))
            texts.emplace(n, ini.ReadString(IconsSection, key, QString()));
    }

    for (const auto& [n, text] : texts) {
        try {
            AddIcon(text);
        } catch (const EPvError& e) {
            AddToErrorLog(elError, e.Message());
        }
    }
}

const TIcon* TModuleIcons::GetIcon(int index) const
{
    return (index >= 0 && index < IconCount()) ? &FIcons[size_t(index)] : nullptr;
}

void TModuleIcons::AddIcon(const QString& text)
{
    const QString trimmed = TrimBlanks(text);
    if (trimmed.isEmpty())
        return;
    TIcon icon;
    try {
        DecodeIcon(trimmed, icon);
    } catch (const EPvError&) {
        FIcons.push_back(icon);
        throw;
    }
    FIcons.push_back(icon);
}
