#pragma once
// The patch: maps console channels through dimmer curves to the 512 DMX slots,
// builds the DMX frame on every 40 ms tick and hands it to the output plug-in
// pvm_dmx.so, which the module loads and binds itself. The patch is the one
// module with a document of its own, the patch file (*.pvp), kept apart from
// the show.

#include "console/uKanal.h"
#include "framework/uMod_Abstract.h"
#include "framework/uPrompts.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TDynLib;
class TStringIniFile;

constexpr int DmxSlotCount = 512;
// The frame the plug-in gets: bytes 0..511 are DMX slots 1..512, byte 512 stays 0.
constexpr int DmxOutputSize = DmxSlotCount + 1;
// The highest console channel a DMX slot can be patched to.
constexpr int PatchKanalMax = LetzterKonsolenKanal;

// The plug-in's entries as bound at run time.
using TGetInterfaceProc = const char* (*)();
using TSetLevelProc = bool (*)(const std::uint8_t* levels, std::int32_t last);
using TCloseInterfaceProc = std::int32_t (*)();

// The patch entry of one DMX slot.
class TPatch {
public:
    std::int32_t Pultkanal = 0;   // console channel 1..510, 0 = not patched
    std::int32_t Kennlinie = 0;   // curve number; 0 = linear; may name no curve
    std::int32_t DmxKanal = 0;    // the slot's own number 1..512
    std::uint8_t PegelIn = 0;     // the patched channel's output at the last tick
    std::uint8_t PegelOut = 0;    // the level after the curve at the last tick

    // The console channel that drives slot dmx by default (0 for 511 and 512).
    static int DefaultPultkanal(int dmx) { return dmx <= PatchKanalMax ? dmx : 0; }
    // Back to the default patch of slot dmx; the levels start at 0.
    void Reset(int dmx);
    // Accepts 0..510 only; any other value leaves the field as it is.
    void SetPultkanal(int v)
    {
        if (v >= 0 && v <= PatchKanalMax)
            Pultkanal = v;
    }
    // Unchecked: a number that names no curve freezes the slot's output.
    void SetKennlinie(int v) { Kennlinie = v; }
    // A curve other than 0, or a console channel other than the slot's default.
    bool IsNonDefault() const { return Kennlinie != 0 || Pultkanal != DefaultPultkanal(DmxKanal); }
};

using TKennlinienTabelle = std::array<std::uint8_t, 256>;
using TKennlinienPunkte = std::array<QPoint, 5>;

// One dimmer curve: the table maps input levels to output levels; the five
// points are what the graphical curve editor drags.
class TKennlinie {
public:
    TKennlinie();

    QString Name;
    TKennlinienTabelle Tabelle;
    TKennlinienPunkte Punkte;

    static TKennlinienPunkte DefaultPunkte();

    std::uint8_t MapLevel(std::uint8_t level) const { return Tabelle[level]; }
    void SetTable(const TKennlinienTabelle& table) { Tabelle = table; }
    void SetPoints(const TKennlinienPunkte& points) { Punkte = points; }
    void SetName(const QString& name) { Name = name; }
};

// The patch module's notifications for the patch windows, curve menus and
// editors. Everything is emitted on the GUI thread.
class TPatchSignals : public QObject {
    Q_OBJECT
public:
    explicit TPatchSignals(QObject* parent = nullptr) : QObject(parent) {}
    // Whether a window listens for frames; the tick asks before emitting.
    bool FrameObserved() const;

signals:
    // The curve list changed (added, or cleared and reloaded): menus and combo boxes refill.
    void curvesChanged();
    // The patch changed: the editor part of the patch windows refreshes.
    void assignmentsChanged();
    // A tick has computed a new frame: the patch views repaint.
    void frameComputed();
    // The plug-in's status text changed.
    void statusTextChanged(const QString& text);
    // Patch window n was added (window 0 is docked in the main window).
    void windowOpened(int n);
    // Window index is to be shown, at the primary screen's top left when topLeft.
    void showWindowRequested(int index, bool topLeft);
};

class TModulePatch : public TModuleAbstract {
public:
    TModulePatch();
    ~TModulePatch() override;

    // The plug-in's file in the program folder.
    static QString PluginFileName() { return QStringLiteral("pvm_dmx.so"); }
    // The patch file dialogs: filter and default suffix.
    static const TFileDialogOptions& PatchDialogOptions();

    // The owned notifications object.
    TPatchSignals* Signals() const { return FSignals.get(); }

    std::array<TPatch, DmxSlotCount> Patches;            // index i is DMX slot i + 1
    std::vector<std::unique_ptr<TKennlinie>> Kennlinien; // item 0: the linear curve
    QStringList KennlinienNamen;                          // item i names curve i
    QString DmxInitText;                                  // the plug-in's status text
    std::array<std::uint8_t, DmxOutputSize> DmxOutput{}; // the frame of the last tick
    TGetInterfaceProc GetInterfaceProc = nullptr;
    TCloseInterfaceProc CloseInterfaceProc = nullptr;
    TSetLevelProc SetLevelProc = nullptr;

    void Tick() override;
    // The P command: P<dmx> followed by P<channel> and K<curve> tokens.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;
    void SaveToFile() override;
    // Reads the patch file. A bad hexadecimal digit in a curve table raises
    // EPvError; the patch read so far is kept and the channels' patch texts are
    // refreshed all the same.
    void LoadFromFile() override;
    void ClearDocument() override;

    // Entry of DMX slot index + 1; EPvError outside 0..511.
    TPatch& GetPatch(int index);
    static bool IsDmxNumber(int n) { return n >= 1 && n <= DmxSlotCount; }
    // Curve list item index; EPvError when there is none.
    TKennlinie& GetCurve(int index);
    // True and the curve when 0 <= nr < curve count; else false and nullptr.
    bool FindCurve(int nr, TKennlinie*& curve);
    const QStringList& GetCurveNames() const { return KennlinienNamen; }
    int CurveCount() const { return int(Kennlinien.size()); }
    // Appends the curve (the module owns it from now on) and its name.
    void AddCurve(std::unique_ptr<TKennlinie> curve);

    // Every slot back to its default console channel and the linear curve.
    void BuildDefaultPatch();
    // Writes into every console channel the DMX slots patched to it ("5, 20").
    void RefreshPatchAssignments();
    void SetDmxInitText(const QString& text);

    // The patch windows: a window count; the forms own the windows.
    int PatchWindowCount() const { return FPatchWindowCount; }
    // Adds window 0 (docked) on the first call, a further window afterwards; its number.
    int NewPatchWindow();
    // A window-menu entry: tag mod 100 is the window, tag >= 100 moves it to the
    // primary screen's top left.
    void ShowPatchWindowClick(int tag);

    // The editing rule of the patch windows: slot dmx gets channel kanal (the
    // entry ignores values outside 0..510) and, when curve >= 0, that curve;
    // the patch is then modified and the channels' patch texts refresh.
    void SetSlot(int dmx, int kanal, int curve);

    // Opens the curve editor on a curve; true when it was confirmed. Installed
    // by the forms; without one nothing is edited.
    using TCurveEditor = std::function<bool(TKennlinie& curve, bool isNew)>;
    void SetCurveEditor(TCurveEditor editor) { FCurveEditor = std::move(editor); }
    // A new curve through the editor; added when confirmed. Its number, or -1.
    int NewCurve();
    // Curve nr (1..count-1; the linear curve is never edited) through the
    // editor; true when confirmed.
    bool EditCurve(int nr);

private:
    void ComputeDmxOutput();
    void ClearCurves();
    void AddLinearCurve();
    void LoadCurves(const TStringIniFile& ini);
    void LoadDmxPlugin();
    void* BindPluginEntry(const char* name);

    std::unique_ptr<TPatchSignals> FSignals;
    std::unique_ptr<TDynLib> FPlugin;   // kept, never unloaded
    TCurveEditor FCurveEditor;
    int FPatchWindowCount = 0;
};
