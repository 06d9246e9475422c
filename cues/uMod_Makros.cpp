#include "cues/uMod_Makros.h"

#include "devices/uMod_Interface.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

const QString Section = QStringLiteral("Makros");

QString Key(const char* prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

QString Line(const char* prefix, int n, const QString& value)
{
    return Key(prefix, n) + QLatin1Char('=') + value;
}

bool IsReleaseLine(const QString& line)
{
    return !line.isEmpty() && (line.at(0) == u'U' || line.at(0) == u'u');
}

// Drops the entries of list from index count on.
template <typename List>
void CutTo(List& list, int count)
{
    while (int(list.size()) > count)
        list.pop_back();
}

}   // namespace

// ---- TMakro ----

void TMakro::Reset()
{
    Name.clear();
    Lines.clear();
    Icon = -1;
    HF = 10;
    VF = 0;
}

bool TMakro::IsDefault() const
{
    // An icon below 0 paints nothing, and neither does icon 0 in the colours a
    // new button has. Icon 0 in other colours is a glyph and is kept.
    const bool noGlyph = Icon < 0 || (Icon == 0 && HF == 10 && VF == ButtonFace);
    return TrimBlanks(Name).isEmpty() && Lines.isEmpty() && noGlyph;
}

// ---- TModuleMakro ----

TModuleMakro::TModuleMakro() : FSignals(std::make_unique<TMakroSignals>())
{
    Tag = QChar(0);
    Name = QStringLiteral("");
}

TModuleMakro::~TModuleMakro() = default;

TMakro* TModuleMakro::GetMacro(int n)
{
    if (!InRangeInt(n, 0, MaxMakro))
        return nullptr;
    while (int(Makros.size()) <= n)
        Makros.push_back(std::make_unique<TMakro>());
    return Makros[std::size_t(n)].get();
}

void TModuleMakro::PressMacro(int n, bool down, bool noForward)
{
    const TMakro* m = GetMacro(n);
    if (!m)
        return;
    const std::size_t running = std::size_t(2 * n + (down ? 1 : 0));
    if (FRunning[running]) {
        if (ModuleMain)
            ModuleMain->StopRunawayNest(QStringLiteral("M%1").arg(n));
        return;
    }
    FRunning[running] = true;
    struct TRunning {
        std::vector<bool>::reference Flag;
        ~TRunning() { Flag = false; }
    } mark{FRunning[running]};
    // A copy: the lines run after this, and nothing of the macro is touched again.
    QStringList run;
    for (const QString& line : m->Lines) {
        if (line.isEmpty() || IsReleaseLine(line) == down)
            continue;
        run << (down ? line : line.mid(1));
    }
    if (ModuleMain)
        ModuleMain->ExecuteLines(run, false);
    // Also when no line ran: the coupled computers follow the button itself.
    if (!noForward && ModuleInterface)
        ModuleInterface->ForwardToCoupledSystems(QStringLiteral("M%1%2").arg(n).arg(QChar(down ? u'D' : u'U')));
}

QString TModuleMakro::GetEditText(int i) const
{
    return InRangeInt(i, 0, int(EditTexte.size()) - 1) ? EditTexte.at(i) : QString();
}

void TModuleMakro::SetEditText(int i, const QString& text)
{
    if (!InRangeInt(i, 0, MaxEditTexte - 1))
        return;
    while (EditTexte.size() < i + 2)
        EditTexte.append(QString());
    EditTexte[i] = text;
}

void TModuleMakro::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'M')
        return;
    const int n = GetTokenInt(tokens, 0);
    if (!GetMacro(n))
        return;
    const bool noForward = remote != 0;
    const QStringList subTokens = tokens.mid(1);
    for (const QString& token : subTokens) {
        switch (TokenLetter(token)) {
        case u'D': PressMacro(n, true, noForward); break;
        case u'U': PressMacro(n, false, noForward); break;
        case u'E':
            PressMacro(n, true, noForward);
            PressMacro(n, false, noForward);
            break;
        default: break;
        }
    }
}

void TModuleMakro::LoadIni(TStringIniFile& ini)
{
    ReadSection(ini, true);
}

void TModuleMakro::ImportIni(TStringIniFile& ini)
{
    ReadSection(ini, false);
}

void TModuleMakro::ReadSection(const TStringIniFile& ini, bool wholeShow)
{
    // Counts are held to what can exist before anything is made: macros 0..2000,
    // captions 0..99. Keys beyond them are ignored.
    const int count = ClampInt(ini.ReadInteger(Section, QStringLiteral("MakroCount"), 0), 0, MaxMakro + 1);
    const int e = ClampInt(ini.ReadInteger(Section, QStringLiteral("EditCount"), 0), 0, MaxEditTexte);
    // A show replaces the macros as a whole; nothing of the show before stays
    // behind the new show's count. A module text changes only what it counts.
    if (wholeShow) {
        CutTo(Makros, count);
        CutTo(EditTexte, e);
    }
    // A macro whose number ends no key of the section reads the defaults
    // without lookups: a count of 2001 costs nothing for the macros not there.
    const std::vector<bool> held = ini.KeyNumbers(Section, MaxMakro);
    const QStringList noLines = SplitLines(ReplaceCharByCrLf(QString(), u'|'));
    for (int i = 0; i < count; ++i) {
        TMakro* m = GetMacro(i);
        if (!held[std::size_t(i)]) {
            m->Name.clear();
            m->Lines = noLines;
            m->Icon = -1;
            m->VF = 0;
            m->HF = 10;
            continue;
        }
        m->Name = ini.ReadString(Section, Key("Name_", i), QString());
        m->Lines = SplitLines(ReplaceCharByCrLf(ini.ReadString(Section, Key("Text_", i), QString()), u'|'));
        m->Icon = ini.ReadInteger(Section, Key("Icon_", i), -1);
        m->VF = ini.ReadInteger(Section, Key("VF_", i), 0);
        m->HF = ini.ReadInteger(Section, Key("HF_", i), 10);
    }
    while (EditTexte.size() < e)
        EditTexte.append(QString());
    for (int j = 0; j < e; ++j)
        EditTexte[j] = ini.ReadString(Section, Key("Edit_", j), QString());
    emit FSignals->macrosReloaded();
}

void TModuleMakro::SaveToStrings(QStringList& lines)
{
    SaveLater()(lines);
}

std::function<void(QStringList&)> TModuleMakro::SaveLater()
{
    // Copied here, written on the save's thread; texts and line lists are Qt's
    // shared copies, so a change on the GUI thread leaves the copy as it was.
    struct TSaved {
        int Count = 0;
        std::vector<std::pair<int, TMakro>> Makros;   // those that hold anything, by index
        QStringList EditTexte;
    };
    auto saved = std::make_shared<TSaved>();
    saved->Count = int(Makros.size());
    for (int i = 0; i < int(Makros.size()); ++i)
        if (!Makros[std::size_t(i)]->IsDefault())
            saved->Makros.emplace_back(i, *Makros[std::size_t(i)]);
    saved->EditTexte = EditTexte;
    return [saved](QStringList& lines) {
        lines << QStringLiteral("[Makros]");
        lines << QStringLiteral("MakroCount=%1").arg(saved->Count);
        lines << QStringLiteral("EditCount=%1").arg(saved->EditTexte.size());
        // Macros that hold nothing leave a gap in the numbers; the count still counts them.
        for (const auto& [i, m] : saved->Makros) {
            lines << Line("Name_", i, OneLine(m.Name));
            lines << Line("Text_", i, OneLine(JoinStrings(m.Lines, u'|')));
            lines << Line("Icon_", i, QString::number(m.Icon));
            lines << Line("VF_", i, QString::number(m.VF));
            lines << Line("HF_", i, QString::number(m.HF));
        }
        for (int j = 0; j < saved->EditTexte.size(); ++j)
            lines << Line("Edit_", j, OneLine(saved->EditTexte.at(j)));
    };
}

void TModuleMakro::NewProject()
{
    for (int i = 0; i < NewProjectMakros; ++i)
        GetMacro(i)->Reset();
    CutTo(Makros, NewProjectMakros);
    EditTexte.clear();
    FPageCount = std::min(FPageCount, 1);
    emit FSignals->macrosReset();
}

int TModuleMakro::NewMacroWindow()
{
    const int n = FPageCount++;
    emit FSignals->pageOpened(n);
    return n;
}

void TModuleMakro::ShowMacroPageClick(int tag)
{
    if (tag < 0 || tag % 100 >= FPageCount)
        return;
    emit FSignals->showPageRequested(tag % 100, tag >= 100);
}
