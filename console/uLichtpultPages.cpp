// The console module's pages and categories, its console windows, the reset of
// a new show, its show sections (Kanäle, Kategorien, Lichtpult) and the channel
// export and import.

#include "console/uMod_Lichtpult.h"

#include "framework/uErrorLog.h"
#include "framework/uStringIniFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <functional>
#include <memory>
#include <vector>

// ---------------------------------------------------------------------------
// A new show

void TModuleLichtpult::NewProject()
{
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        ResetKanalSettings(k);
        k.SetPegel(0);
    }
    ResetKategorien();

    // Five pages of twelve faders for channels 1..60, a wider gap after the sixth.
    // They are made once; every new show gets copies.
    static const std::vector<TLichtpultZeile> defaults = [] {
        std::vector<TLichtpultZeile> pages;
        for (int p = 0; p < 5; ++p) {
            QString row;
            for (int i = 0; i < 12; ++i)
                row += QStringLiteral("L%1K%2").arg(i == 6 ? 20 : 4).arg(p * 12 + 1 + i);
            TLichtpultZeile& page = pages.emplace_back(p);
            page.SetNode(0);
            page.SetName(QStringLiteral("Kanäle %1 - %2").arg(p * 12 + 1).arg(p * 12 + 12));
            page.SetRowString(row);
        }
        return pages;
    }();
    LichtpultZeilen.clear();
    for (const TLichtpultZeile& page : defaults)
        LichtpultZeilen.push_back(std::make_unique<TLichtpultZeile>(page));
    SortLichtpultZeilen();
}

// ---------------------------------------------------------------------------
// Pages, categories and console windows

TLichtpultZeile* TModuleLichtpult::GetLichtpultZeile(int i) const
{
    if (i < 0 || i >= PageCount())
        return nullptr;
    return LichtpultZeilen[static_cast<std::size_t>(i)].get();
}

int TModuleLichtpult::AddPage(std::unique_ptr<TLichtpultZeile> page)
{
    if (!page)
        return -1;
    LichtpultZeilen.push_back(std::move(page));
    return PageCount() - 1;
}

void TModuleLichtpult::SetZeilenKanal(int page, int slot, int nr)
{
    TLichtpultZeile* z = GetLichtpultZeile(page);
    if (!z || slot < 0 || slot >= TLichtpultZeile::SlotCount)
        return;
    z->Slots[static_cast<std::size_t>(slot)].Nr = nr;
    emit FSignals->zeilenKanalChanged(page, slot, nr);
}

void TModuleLichtpult::MovePage(int i, int delta)
{
    const std::int64_t j = static_cast<std::int64_t>(i) + delta;
    if (i < 0 || i >= PageCount() || j < 0 || j >= PageCount() || j == i)
        return;
    auto& a = LichtpultZeilen[static_cast<std::size_t>(i)];
    auto& b = LichtpultZeilen[static_cast<std::size_t>(j)];
    const int order = a->Order;
    a->SetOrder(b->Order);
    b->SetOrder(order);
    std::swap(a, b);
    SortLichtpultZeilen();
}

void TModuleLichtpult::SortLichtpultZeilen()
{
    std::stable_sort(LichtpultZeilen.begin(), LichtpultZeilen.end(),
                     [](const std::unique_ptr<TLichtpultZeile>& a, const std::unique_ptr<TLichtpultZeile>& b) {
                         return a->Node != b->Node ? a->Node < b->Node : a->Order < b->Order;
                     });
    for (int i = 0; i < PageCount(); ++i)
        LichtpultZeilen[static_cast<std::size_t>(i)]->SetOrder(i);
    emit FSignals->pagesChanged();
}

void TModuleLichtpult::RefreshWindows()
{
    emit FSignals->refreshWindowsRequested();
}

int TModuleLichtpult::OpenLichtpultWindow()
{
    const int n = static_cast<int>(LichtpultFenster.size());
    LichtpultFenster.push_back(n);
    emit FSignals->windowOpened(n);
    return n;
}

void TModuleLichtpult::ShowWindowFromMenu(int tag)
{
    if (tag < 0)
        return;
    const int index = tag % 100;
    if (index >= static_cast<int>(LichtpultFenster.size()))
        return;
    emit FSignals->showWindowRequested(index, tag >= 100);
}

void TModuleLichtpult::FocusChannelList()
{
    emit FSignals->focusChannelListRequested();
}

void TModuleLichtpult::ResetKategorien()
{
    Kategorien = QStringList{QStringLiteral("nach Kanal"), QStringLiteral("nach Position"),
                             QStringLiteral("nach Funktion")};
}

// ---------------------------------------------------------------------------
// Show sections

namespace {

const QString SectionKanaele = QStringLiteral("Kanäle");
const QString SectionKategorien = QStringLiteral("Kategorien");
const QString SectionLichtpult = QStringLiteral("Lichtpult");

QString Line(const char* prefix, int n, const QString& value)
{
    return QLatin1String(prefix) + QString::number(n) + QLatin1Char('=') + value;
}

QString Line(const char* prefix, int n, int value)
{
    return Line(prefix, n, QString::number(value));
}


// A count from a file, held to what a list may sensibly hold; more is logged.
int CappedCount(int count, int cap, const QString& what)
{
    if (count <= cap)
        return count;
    AddToErrorLog(elWarning, QStringLiteral("%1: Zahl=%2 ist zu groß, nur %3 werden gelesen").arg(what).arg(count).arg(cap));
    return cap;
}

} // namespace

void TModuleLichtpult::ResetKanalSettings(TKanal& k)
{
    // Most channels of a show are at their defaults: nothing to set, nothing to notify.
    if (!k.DiffersFromDefaults() && k.VF == 0 && k.HF == 10)
        return;
    // Icon and colours are stored silently; their views hear of it once.
    const bool glyph = k.Icon != -1 || k.VF != 0 || k.HF != 10;
    k.SetName(QString());
    k.SetFlash(255);
    k.SetBlackout(0);
    k.SetModus(kmHTP);
    k.SetIcon(-1);
    k.SetVF(0);
    k.SetHF(10);
    if (glyph)
        k.IconChanged();
}

bool TModuleLichtpult::ReadKanalSettings(TKanal& k, int key, const TStringIniFile& ini)
{
    const int hf = ini.ReadInteger(SectionKanaele, TIniKey("HF_", key), -1);
    if (hf < 0)
        return false;
    k.SetName(ini.ReadString(SectionKanaele, TIniKey("Name_", key), QString()));
    k.SetModus(ini.ReadInteger(SectionKanaele, TIniKey("Sta_", key), kmHTP));
    k.SetIcon(ini.ReadInteger(SectionKanaele, TIniKey("Ic_", key), -1));
    k.SetVF(ini.ReadInteger(SectionKanaele, TIniKey("VF_", key), 0));
    k.SetHF(hf);
    k.SetFlash(ini.ReadInteger(SectionKanaele, TIniKey("Fl_", key), 255));
    k.SetBlackout(ini.ReadInteger(SectionKanaele, TIniKey("BO_", key), 0));
    return true;
}

void TModuleLichtpult::ReadSequence(TKanal& k, const TStringIniFile& ini, bool held)
{
    const int n = k.Nr;
    const auto integer = [&](const char* prefix, int def) {
        return held ? ini.ReadInteger(SectionKanaele, TIniKey(prefix, n), def) : def;
    };
    k.SetFadeModus(integer("FM_", 0));
    k.SetTakt(integer("Ta_", 25));
    k.SetSchrittZahl(integer("CS_", 2));
    k.SetEintragZahl(integer("Ka_", 0));
    k.LedDefs = held ? ini.ReadString(SectionKanaele, TIniKey("LedDefs_", n), QString()) : QString();

    // The counts are stored as read; the loops stop at the table's size, beyond
    // which every value would be dropped anyway. Cells outside what the file gives
    // are cleared, so that a longer sequence of the previous show does not show
    // through when the step or entry count is raised later: the whole table is
    // cleared at once and only the cells the file gives are read.
    k.ClearEintraege();
    const int steps = std::min(k.SchrittZahl, KanalSpalteMax);
    const int entries = std::min(k.EintragZahl, KanalEintragMax);
    if (steps < KanalSpalteMin || entries < 1)
        return;
    for (int j = KanalSpalteMin; j <= steps; ++j) {
        QString text = ini.ReadString(SectionKanaele, TIniKey("CF_", n, "_").Append(j), QString());
        for (int i = 1; i <= entries; ++i) {
            const int v = TakeIntField(text, 0);
            if (v != 0)
                k.SetEintrag(i, j, v);
        }
    }
}

void TModuleLichtpult::ReadKategorien(const TStringIniFile& ini)
{
    Kategorien.clear();
    const int count = CappedCount(ini.ReadInteger(SectionKategorien, QStringLiteral("Zahl"), 0), MaxShowListCount,
                                  SectionKategorien);
    for (int i = 1; i <= count; ++i) {
        const QString name = ini.ReadString(SectionKategorien, TIniKey("Name_", i), QString());
        if (!TrimBlanks(name).isEmpty())
            Kategorien.append(name);
    }
    if (Kategorien.size() < 3)
        ResetKategorien();
}

void TModuleLichtpult::ReadPages(const TStringIniFile& ini)
{
    LichtpultZeilen.clear();
    const int count = CappedCount(ini.ReadInteger(SectionLichtpult, QStringLiteral("Zahl"), 0), MaxShowListCount,
                                  SectionLichtpult);
    // A page whose number ends no key gets the defaults without lookups.
    const std::vector<bool> held = ini.KeyNumbers(SectionLichtpult, count - 1);
    for (int i = 0; i < count; ++i) {
        auto page = std::make_unique<TLichtpultZeile>(i);
        const bool keys = held[static_cast<std::size_t>(i)];
        page->SetName(keys ? ini.ReadString(SectionLichtpult, TIniKey("Name_", i), QString()) : QString());
        page->SetNode(keys ? ini.ReadInteger(SectionLichtpult, TIniKey("Node_", i), 0) : 0);
        page->SetRowString(keys ? ini.ReadString(SectionLichtpult, TIniKey("Cmd_", i), QString()) : QString());
        LichtpultZeilen.push_back(std::move(page));
    }
}

bool TModuleLichtpult::HoldsSequence(int n, const TStringIniFile& ini) const
{
    for (const char* prefix : {"FM_", "Ta_", "CS_", "Ka_", "LedDefs_"})
        if (ini.ValueExists(SectionKanaele, TIniKey(prefix, n)))
            return true;
    return false;
}

void TModuleLichtpult::ReadSections(TStringIniFile& ini, bool wholeShow)
{
    // A show holds only the channels that differ from a new show's: a channel it
    // does not hold gets a new show's settings, not those of the previous show. A
    // module text changes only what it holds.
    // A channel number that ends no key of the section has none of its keys: its
    // lookups are skipped (they would all miss).
    const std::vector<bool> held = ini.KeyNumbers(SectionKanaele, MaxKanal);
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        const bool keys = held[static_cast<std::size_t>(nr)];
        if (!(keys && ReadKanalSettings(k, nr, ini)) && wholeShow)
            ResetKanalSettings(k);
        if (k.Kind == kkSequenz && (wholeShow || (keys && HoldsSequence(nr, ini))))
            ReadSequence(k, ini, keys);
    }
    if (wholeShow || ini.SectionExists(SectionKategorien))
        ReadKategorien(ini);
    if (wholeShow || ini.SectionExists(SectionLichtpult))
        ReadPages(ini);
    RefreshWindows();
    SortLichtpultZeilen();
}

void TModuleLichtpult::LoadIni(TStringIniFile& ini)
{
    ReadSections(ini, true);
}

void TModuleLichtpult::ImportIni(TStringIniFile& ini)
{
    ReadSections(ini, false);
}

namespace {

// What a save writes of one channel, copied from it.
struct TKanalSaved {
    int Nr = 0;
    QString Name;
    int Modus = 0;
    int Icon = -1;
    int VF = 0;
    int HF = 10;
    int FlashPegel = 255;
    int BlackoutPegel = 0;
    bool Sequence = false;
    int FadeModus = 0;
    int Takt = 0;
    int SchrittZahl = 0;
    int EintragZahl = 0;
    QString LedDefs;
    int Entries = 0;                    // the table's entries written per step
    std::vector<std::int32_t> Steps;   // columns KanalSpalteMin.. of Entries values each
};

// What a save writes of a page.
struct TZeileSaved {
    QString Name;
    int Node = 0;
    QString Row;
};

// The three sections' content, copied on the GUI thread; written into lines
// on any thread.
struct TLichtpultSaved {
    std::vector<TKanalSaved> Kanaele;
    QStringList Kategorien;
    std::vector<TZeileSaved> Zeilen;
};

TKanalSaved SettingsOf(const TKanal& k)
{
    TKanalSaved s;
    s.Nr = k.Nr;
    s.Name = k.Name;
    s.Modus = k.Modus;
    s.Icon = k.Icon;
    s.VF = k.VF;
    s.HF = k.HF;
    s.FlashPegel = k.FlashPegel;
    s.BlackoutPegel = k.BlackoutPegel;
    return s;
}

void CopySequence(const TKanal& k, TKanalSaved& s)
{
    s.Sequence = true;
    s.FadeModus = k.FadeModus;
    s.Takt = k.Takt;
    s.SchrittZahl = k.SchrittZahl;
    s.EintragZahl = k.EintragZahl;
    s.LedDefs = k.LedDefs;
    // Beyond the table every value reads 0, and so does a missing one on load.
    const int steps = std::min(k.SchrittZahl, KanalSpalteMax);
    s.Entries = std::min(k.EintragZahl, KanalEintragMax);
    if (steps < KanalSpalteMin || s.Entries < 1)
        return;
    s.Steps.resize(static_cast<std::size_t>(steps - KanalSpalteMin + 1) * static_cast<std::size_t>(s.Entries));
    std::int32_t* out = s.Steps.data();
    for (int j = KanalSpalteMin; j <= steps; ++j)
        for (int i = 1; i <= s.Entries; ++i)
            *out++ = k.GetEintrag(i, j);
}

void WriteKanal(const TKanalSaved& k, int key, QStringList& lines)
{
    lines.append(Line("Name_", key, OneLine(k.Name)));
    lines.append(Line("Sta_", key, k.Modus));
    lines.append(Line("Ic_", key, k.Icon));
    lines.append(Line("VF_", key, k.VF));
    lines.append(Line("HF_", key, k.HF));
    lines.append(Line("Fl_", key, k.FlashPegel));
    lines.append(Line("BO_", key, k.BlackoutPegel));
}

void WriteSequence(const TKanalSaved& k, QStringList& lines)
{
    const int n = k.Nr;
    lines.append(Line("FM_", n, k.FadeModus));
    lines.append(Line("Ta_", n, k.Takt));
    lines.append(Line("CS_", n, k.SchrittZahl));
    lines.append(Line("Ka_", n, k.EintragZahl));
    lines.append(Line("LedDefs_", n, OneLine(k.LedDefs)));
    // A step's line "CF_n_j=v;v;...;" is made in one piece from a buffer: a
    // QString grown value by value cost several times as much.
    std::array<char16_t, 32 + KanalEintragMax * 12> text;
    const auto put = [&text](std::size_t at, std::int64_t v, char end) {
        char digits[24];
        const auto result = std::to_chars(std::begin(digits), std::end(digits), v);
        for (const char* p = digits; p != result.ptr; ++p)
            text[at++] = char16_t(*p);
        text[at++] = char16_t(end);
        return at;
    };
    const std::int32_t* value = k.Steps.data();
    const int columns = k.Entries > 0 ? static_cast<int>(k.Steps.size()) / k.Entries : 0;
    for (int j = KanalSpalteMin; j < KanalSpalteMin + columns; ++j) {
        std::size_t at = 0;
        for (const char c : {'C', 'F', '_'})
            text[at++] = char16_t(c);
        at = put(at, n, '_');
        at = put(at, j, '=');
        for (int i = 1; i <= k.Entries; ++i)
            at = put(at, *value++, ';');
        lines.append(QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(at)));
    }
}

void WriteSections(const TLichtpultSaved& saved, QStringList& lines)
{
    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKanaele + QLatin1Char(']'));
    for (const TKanalSaved& k : saved.Kanaele) {
        WriteKanal(k, k.Nr, lines);
        if (k.Sequence)
            WriteSequence(k, lines);
    }

    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKategorien + QLatin1Char(']'));
    lines.append(QStringLiteral("Zahl=") + QString::number(saved.Kategorien.size()));
    for (int i = 0; i < saved.Kategorien.size(); ++i)
        lines.append(Line("Name_", i + 1, OneLine(saved.Kategorien.at(i))));

    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionLichtpult + QLatin1Char(']'));
    lines.append(QStringLiteral("Zahl=") + QString::number(saved.Zeilen.size()));
    for (std::size_t i = 0; i < saved.Zeilen.size(); ++i) {
        const TZeileSaved& z = saved.Zeilen[i];
        const int n = static_cast<int>(i);
        lines.append(Line("Name_", n, OneLine(z.Name)));
        lines.append(Line("Node_", n, z.Node));
        lines.append(Line("Cmd_", n, z.Row));
    }
}

} // namespace

void TModuleLichtpult::SaveToStrings(QStringList& lines)
{
    SaveLater()(lines);
}

std::function<void(QStringList&)> TModuleLichtpult::SaveLater()
{
    // Copied here, written on the save's thread: the copy shares nothing the GUI
    // thread changes in place (texts are Qt's shared copies, the step tables copied).
    auto saved = std::make_shared<TLichtpultSaved>();
    for (int nr = 1; nr <= MaxKanal; ++nr) {
        const TKanal& k = Kanaele[static_cast<std::size_t>(nr)];
        const bool sequence = k.IsProgrammedSequence();
        if (!sequence && !k.DiffersFromDefaults())
            continue;
        TKanalSaved& s = saved->Kanaele.emplace_back(SettingsOf(k));
        if (sequence)
            CopySequence(k, s);
    }
    saved->Kategorien = Kategorien;
    saved->Zeilen.reserve(LichtpultZeilen.size());
    for (const auto& z : LichtpultZeilen)
        saved->Zeilen.push_back(TZeileSaved{z->Name, z->Node, z->GetRowString()});
    return [saved](QStringList& lines) { WriteSections(*saved, lines); };
}

// ---------------------------------------------------------------------------
// Channel export and import

void TModuleLichtpult::ExportKanaele(int first, int last, QStringList& lines) const
{
    lines.append(QString());
    lines.append(QLatin1Char('[') + SectionKanaele + QLatin1Char(']'));
    const int from = std::max(first, 1);
    const int to = std::min(last, MaxKanal);
    for (int n = from; n <= to; ++n)
        WriteKanal(SettingsOf(Kanaele[static_cast<std::size_t>(n)]), static_cast<int>(static_cast<std::int64_t>(n) - first + 1), lines);
}

void TModuleLichtpult::ImportKanaele(int first, int last, const TStringIniFile& ini)
{
    const int from = std::max(first, 1);
    const int to = std::min(last, MaxKanal);
    for (int n = from; n <= to; ++n)
        ReadKanalSettings(Kanaele[static_cast<std::size_t>(n)], static_cast<int>(static_cast<std::int64_t>(n) - first + 1), ini);
    RefreshWindows();
}
