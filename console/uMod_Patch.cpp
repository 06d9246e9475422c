#include "console/uMod_Patch.h"

#include "console/uKanal.h"
#include "console/uMod_Lichtpult.h"
#include "framework/uErrorLog.h"
#include "framework/uErrors.h"
#include "framework/uMod_Main.h"
#include "framework/uStringIniFile.h"
#include "framework/uTextCodec.h"
#include "framework/uUtils.h"
#include "platform/DynLib.h"

#include <QMetaMethod>

#include <cstring>
#include <set>

namespace {

const QString SectionPatch = QStringLiteral("Patch");
const QString SectionKennlinien = QStringLiteral("Kennlinien");
const QString KeyKennlinienzahl = QStringLiteral("Kennlinienzahl");

// The longest status text taken from the plug-in (its own buffer holds 63 characters).
constexpr std::size_t MaxStatusTextBytes = 1024;


// The curve number of a key "N_<c>" exactly as the file writer spells it (plain
// decimal, no sign, no leading zero); 0 for any other key.
int CurveNumberOfNameKey(const QString& key)
{
    if (key.size() < 3 || key.size() > 12 || (key.at(0) != u'N' && key.at(0) != u'n') || key.at(1) != u'_')
        return 0;
    if (key.at(2) == u'0')
        return 0;
    qint64 value = 0;
    for (qsizetype i = 2; i < key.size(); ++i) {
        const char16_t u = key.at(i).unicode();
        if (u < '0' || u > '9')
            return 0;
        value = value * 10 + (u - '0');
    }
    return value > 0x7FFFFFFF ? 0 : int(value);
}

} // namespace

// ---- TPatch, TKennlinie ----

void TPatch::Reset(int dmx)
{
    DmxKanal = dmx;
    Pultkanal = DefaultPultkanal(dmx);
    Kennlinie = 0;
    PegelIn = 0;
    PegelOut = 0;
}

TKennlinie::TKennlinie() : Punkte(DefaultPunkte())
{
    for (int i = 0; i < 256; ++i)
        Tabelle[size_t(i)] = std::uint8_t(i);
}

TKennlinienPunkte TKennlinie::DefaultPunkte()
{
    return {QPoint(0, 0), QPoint(63, 63), QPoint(127, 127), QPoint(191, 191), QPoint(255, 255)};
}

bool TPatchSignals::FrameObserved() const
{
    static const QMetaMethod frame = QMetaMethod::fromSignal(&TPatchSignals::frameComputed);
    return isSignalConnected(frame);
}

// ---- the module ----

const TFileDialogOptions& TModulePatch::PatchDialogOptions()
{
    static const TFileDialogOptions options{
        QString(),
        QStringLiteral("Palvento Tessel 2012 Patch (*.pvp);;Alle Dateien (*)"),
        QStringLiteral("pvp"),
        QString(),
    };
    return options;
}

TModulePatch::TModulePatch() : FSignals(std::make_unique<TPatchSignals>())
{
    Tag = QChar('P');
    Name = QStringLiteral("Patch");
    SetSaveDialog(&PatchDialogOptions());
    BuildDefaultPatch();
    AddLinearCurve();
    LoadDmxPlugin();
}

TModulePatch::~TModulePatch()
{
    // The device is closed first; the library itself stays loaded.
    if (CloseInterfaceProc)
        CloseInterfaceProc();
}

TPatch& TModulePatch::GetPatch(int index)
{
    if (index < 0 || index >= DmxSlotCount)
        throw EPvError(QStringLiteral("Patch-Index %1 außerhalb von 0..511").arg(index));
    return Patches[size_t(index)];
}

TKennlinie& TModulePatch::GetCurve(int index)
{
    TKennlinie* curve;
    if (!FindCurve(index, curve))
        throw EPvError(QStringLiteral("Kennlinie %1 existiert nicht").arg(index));
    return *curve;
}

bool TModulePatch::FindCurve(int nr, TKennlinie*& curve)
{
    if (nr >= 0 && nr < CurveCount()) {
        curve = Kennlinien[size_t(nr)].get();
        return true;
    }
    curve = nullptr;
    return false;
}

void TModulePatch::AddCurve(std::unique_ptr<TKennlinie> curve)
{
    KennlinienNamen.append(curve->Name);
    Kennlinien.push_back(std::move(curve));
    emit FSignals->curvesChanged();
}

void TModulePatch::AddLinearCurve()
{
    auto linear = std::make_unique<TKennlinie>();
    linear->SetName(QStringLiteral("1:1 (linear)"));
    KennlinienNamen.append(linear->Name);
    Kennlinien.push_back(std::move(linear));
}

void TModulePatch::ClearCurves()
{
    Kennlinien.clear();
    KennlinienNamen.clear();
    emit FSignals->curvesChanged();
}

void TModulePatch::BuildDefaultPatch()
{
    for (int i = 0; i < DmxSlotCount; ++i)
        Patches[size_t(i)].Reset(i + 1);
}

void TModulePatch::ClearDocument()
{
    // The curves and the file name stay.
    BuildDefaultPatch();
    RefreshPatchAssignments();
}

void TModulePatch::SetDmxInitText(const QString& text)
{
    DmxInitText = text;
    emit FSignals->statusTextChanged(text);
}

// ---- windows and editing ----

int TModulePatch::NewPatchWindow()
{
    const int n = FPatchWindowCount++;
    emit FSignals->windowOpened(n);
    return n;
}

void TModulePatch::ShowPatchWindowClick(int tag)
{
    if (tag < 0 || tag % 100 >= FPatchWindowCount)
        return;
    emit FSignals->showWindowRequested(tag % 100, tag >= 100);
}

void TModulePatch::SetSlot(int dmx, int kanal, int curve)
{
    if (!IsDmxNumber(dmx))
        return;
    TPatch& e = Patches[size_t(dmx - 1)];
    e.SetPultkanal(kanal);
    if (curve >= 0)
        e.SetKennlinie(curve);
    SetModified(true);
    RefreshPatchAssignments();
}

int TModulePatch::NewCurve()
{
    auto curve = std::make_unique<TKennlinie>();
    if (!FCurveEditor || !FCurveEditor(*curve, true))
        return -1;
    AddCurve(std::move(curve));
    // The curve belongs to the patch file: the file is now out of date.
    SetModified(true);
    RefreshPatchAssignments();
    return CurveCount() - 1;
}

bool TModulePatch::EditCurve(int nr)
{
    if (nr <= 0 || nr >= CurveCount() || !FCurveEditor)
        return false;
    TKennlinie& curve = *Kennlinien[size_t(nr)];
    if (!FCurveEditor(curve, false))
        return false;
    KennlinienNamen[nr] = curve.Name;
    SetModified(true);
    emit FSignals->curvesChanged();
    RefreshPatchAssignments();
    return true;
}

// ---- the frame ----

void TModulePatch::ComputeDmxOutput()
{
    TModuleLichtpult* pult = ModuleLichtpult;
    for (int i = 0; i < DmxSlotCount; ++i) {
        TPatch& e = Patches[size_t(i)];
        TKanal* k;
        e.PegelIn = (pult && pult->FindKanal(e.Pultkanal, k)) ? std::uint8_t(k->Output) : 0;
        if (e.Kennlinie == 0) {
            e.PegelOut = e.PegelIn;
        } else {
            TKennlinie* curve;
            if (FindCurve(e.Kennlinie, curve))
                e.PegelOut = curve->MapLevel(e.PegelIn);
            // A number that names no curve: the slot keeps its last level.
        }
        DmxOutput[size_t(i)] = e.PegelOut;
    }
}

void TModulePatch::Tick()
{
    ComputeDmxOutput();
    if (FSignals->FrameObserved())
        emit FSignals->frameComputed();
    // The last index is 512: the frame has 513 bytes, of which the plug-in reads 512.
    if (SetLevelProc)
        SetLevelProc(DmxOutput.data(), DmxOutputSize - 1);
}

// ---- patch texts of the channels ----

void TModulePatch::RefreshPatchAssignments()
{
    if (TModuleLichtpult* pult = ModuleLichtpult) {
        TKanal* k;
        for (int nr = 1; nr <= MaxKanal; ++nr)
            if (pult->FindKanal(nr, k))
                k->SetPatchText(QString());
        for (int i = 0; i < DmxSlotCount; ++i) {
            if (!pult->FindKanal(Patches[size_t(i)].Pultkanal, k))
                continue;
            QString text = k->PatchText;
            if (!text.isEmpty())
                text += QStringLiteral(", ");
            text += QString::number(i + 1);
            k->SetPatchText(text);
        }
    }
    emit FSignals->assignmentsChanged();
}

// ---- the P command ----

void TModulePatch::ExecuteCommand(QStringList& tokens, std::uint8_t remote)
{
    (void)remote;
    if (tokens.isEmpty() || TokenLetter(tokens.at(0)) != u'P')
        return;
    const int dmx = GetTokenInt(tokens, 0);
    if (!IsDmxNumber(dmx))
        return;
    TPatch& e = Patches[size_t(dmx - 1)];
    ForEachSubToken(tokens, [&e](char16_t letter, int value) {
        if (letter == u'P')
            e.SetPultkanal(value);
        else if (letter == u'K')
            e.SetKennlinie(value);
    });
    SetModified(true);
    RefreshPatchAssignments();
}

// ---- the patch file ----

void TModulePatch::SaveToFile()
{
    QStringList lines;
    lines << QStringLiteral("[Patch]");
    for (int i = 0; i < DmxSlotCount; ++i) {
        const TPatch& e = Patches[size_t(i)];
        if (!e.IsNonDefault())
            continue;
        lines << QStringLiteral("P_%1=%2").arg(i + 1).arg(e.Pultkanal);
        lines << QStringLiteral("K_%1=%2").arg(i + 1).arg(e.Kennlinie);
    }
    lines << QStringLiteral("[Kennlinien]");
    lines << QStringLiteral("Kennlinienzahl=%1").arg(CurveCount() - 1);
    static const char Hex[] = "0123456789ABCDEF";
    for (int c = 1; c < CurveCount(); ++c) {
        const TKennlinie& curve = *Kennlinien[size_t(c)];
        lines << QStringLiteral("N_%1=").arg(c) + OneLine(curve.Name);
        for (int j = 0; j < 5; ++j) {
            lines << QStringLiteral("SX_%1_%2=%3").arg(c).arg(j).arg(curve.Punkte[size_t(j)].x());
            lines << QStringLiteral("SY_%1_%2=%3").arg(c).arg(j).arg(curve.Punkte[size_t(j)].y());
        }
        QString table;
        table.reserve(512);
        for (std::uint8_t v : curve.Tabelle) {
            table += QChar(Hex[v >> 4]);
            table += QChar(Hex[v & 15]);
        }
        lines << QStringLiteral("K_%1=").arg(c) + table;
    }
    WriteTextFileAtomic(FileName, lines);
}

void TModulePatch::LoadFromFile()
{
    BuildDefaultPatch();
    ClearCurves();
    AddLinearCurve();
    try {
        TStringIniFile ini(FileName);
        if (const QStringList* section = ini.GetSection(SectionPatch)) {
            for (const QString& line : *section) {
                // "P_12=5": the slot number stands from the third character up to '='.
                const qsizetype eq = line.indexOf(u'=');
                const int dmx = eq >= 2 ? StrToIntDef(line.mid(2, eq - 2), -1) : -1;
                if (!IsDmxNumber(dmx))
                    continue;
                const int value = StrToIntDef(line.mid(eq + 1), -1);
                const QChar c = line.at(0);
                if (c == u'P' || c == u'p')
                    Patches[size_t(dmx - 1)].SetPultkanal(value);
                else if (c == u'K' || c == u'k')
                    Patches[size_t(dmx - 1)].SetKennlinie(value);
            }
        }
        LoadCurves(ini);
    } catch (...) {
        // What was read so far stays; the channels must show it before the
        // caller logs the error.
        RefreshPatchAssignments();
        throw;
    }
    RefreshPatchAssignments();
}

void TModulePatch::LoadCurves(const TStringIniFile& ini)
{
    const int count = ini.ReadInteger(SectionKennlinien, KeyKennlinienzahl, 0);
    const QStringList* section = ini.GetSection(SectionKennlinien);
    if (count < 1 || !section)
        return;
    // Curves 1..count are read in order and a curve without a name is skipped,
    // so only the numbers whose name key is present can give a curve. Taking
    // them from the section's lines keeps a huge count from costing anything.
    std::set<int> present;
    for (const QString& line : *section) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const int c = CurveNumberOfNameKey(line.left(eq));
        if (c >= 1 && c <= count)
            present.insert(c);
    }
    const TKennlinienPunkte defaults = TKennlinie::DefaultPunkte();
    for (const int c : present) {
        const QString name = ini.ReadString(SectionKennlinien, QStringLiteral("N_%1").arg(c), QString());
        if (TrimBlanks(name).isEmpty())
            continue;
        auto curve = std::make_unique<TKennlinie>();
        curve->SetName(name);
        TKennlinienPunkte points;
        for (int j = 0; j < 5; ++j) {
            const QPoint& d = defaults[size_t(j)];
            points[size_t(j)] = QPoint(ini.ReadInteger(SectionKennlinien, QStringLiteral("SX_%1_%2").arg(c).arg(j), d.x()),
                                       ini.ReadInteger(SectionKennlinien, QStringLiteral("SY_%1_%2").arg(c).arg(j), d.y()));
        }
        curve->SetPoints(points);
        // Two hexadecimal digits per entry; past the end of the text an entry is 0.
        const QString table = ini.ReadString(SectionKennlinien, QStringLiteral("K_%1").arg(c), QString());
        TKennlinienTabelle values{};
        for (int i = 0; i < 256 && 2 * i < table.size(); ++i)
            values[size_t(i)] = std::uint8_t(HexToInt(table.mid(2 * i, 2)));
        curve->SetTable(values);
        AddCurve(std::move(curve));
    }
}

// ---- the output plug-in ----

void* TModulePatch::BindPluginEntry(const char* name)
{
    void* address = FPlugin->Symbol(name);
    if (!address) {
        AddToErrorLog(elWarning, PluginFileName() + QStringLiteral(": ") + FPlugin->ErrorText());
        SetDmxInitText(QStringLiteral("Procedure \"ProcName\" konnte nicht geladen werden"));
    }
    return address;
}

void TModulePatch::LoadDmxPlugin()
{
    GetInterfaceProc = nullptr;
    SetLevelProc = nullptr;
    CloseInterfaceProc = nullptr;
    // By absolute path: a bare name would not search the program folder.
    const QString path = (ProgramDir.isEmpty() ? DetermineProgramDir() : ProgramDir) + PluginFileName();
    FPlugin = CreateDynLib();
    if (!FPlugin->Load(path)) {
        AddToErrorLog(elWarning, path + QStringLiteral(": ") + FPlugin->ErrorText());
        SetDmxInitText(QStringLiteral("DLL \"") + PluginFileName() + QStringLiteral("\" konnte nicht geladen werden"));
        return;
    }
    GetInterfaceProc = reinterpret_cast<TGetInterfaceProc>(BindPluginEntry("GetInterface"));
    SetLevelProc = reinterpret_cast<TSetLevelProc>(BindPluginEntry("SetLevel"));
    CloseInterfaceProc = reinterpret_cast<TCloseInterfaceProc>(BindPluginEntry("CloseInterface"));
    if (GetInterfaceProc) {
        // Copied at once: the text belongs to the plug-in.
        const char* text = GetInterfaceProc();
        SetDmxInitText(text ? DecodeText(QByteArray(text, qsizetype(strnlen(text, MaxStatusTextBytes)))) : QString());
    }
}
