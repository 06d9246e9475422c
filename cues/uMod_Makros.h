#pragma once
// The macro buttons: numbered macros of command lines, pressed and released like
// keys (lines beginning with "U" run on release), the command letter M, the block
// captions of the macro pages, and the show section "Makros".

#include "framework/uMod_Abstract.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

// One macro button.
class TMakro {
public:
    QString Name;          // the button's hint
    QStringList Lines;     // command lines; "U"/"u" lines run on release
    int Icon = 0;          // index into the icon table; below 0: no icon
    int HF = 10;           // background colour (the icon's non-black pixels)
    int VF = ButtonFace;   // foreground colour (the icon's black pixels)

    static constexpr int ButtonFace = int(0x8000000F);   // the system's button-face colour

    // The state a new show and a show without this macro's keys give it.
    void Reset();
    // Nothing a show file needs to keep: no name, no lines, and no icon or the
    // untouched icon of a new button (which paints nothing).
    bool IsDefault() const;
};

// Tells the macro pages that the macros changed as a whole. Nothing connects
// while the engine runs without pages.
class TMakroSignals : public QObject {
    Q_OBJECT
signals:
    // A show was read: every page shows its macros and block captions again.
    void macrosReloaded();
    // A new show: the pages beyond the first close; the first shows the reset buttons.
    void macrosReset();
    // Macro page n was added (page 0 is docked in the main window).
    void pageOpened(int n);
    // Page index is to be shown, at the primary screen's top left when topLeft.
    void showPageRequested(int index, bool topLeft);
};

class TModuleMakro : public TModuleAbstract {
public:
    static constexpr int MaxMakro = 2000;      // macro numbers run 0..2000
    static constexpr int MaxEditTexte = 100;   // block captions 0..99
    static constexpr int NewProjectMakros = 100;

    TModuleMakro();
    ~TModuleMakro() override;

    QChar Kennung = QLatin1Char('M');
    // index = macro number; grows on demand through GetMacro
    std::vector<std::unique_ptr<TMakro>> Makros;
    // the block captions of the macro pages (page p holds p*5 .. p*5+4)
    QStringList EditTexte;

    TMakroSignals* Signals() const { return FSignals.get(); }

    // Macro n; nullptr outside 0..2000. The list grows to hold n.
    TMakro* GetMacro(int n);
    int MakroCount() const { return int(Makros.size()); }

    // Runs the press lines (down) or the release lines of macro n, then reports
    // "M<n>D" or "M<n>U" to the coupled computers unless noForward. A press
    // (release) of a macro whose press (release) is still running, directly or
    // through other macros, would repeat for ever: the whole nest stops there with
    // one error-log entry. Chains of different macros run to their end.
    void PressMacro(int n, bool down, bool noForward);

    // Caption i; empty outside the list.
    QString GetEditText(int i) const;
    // Sets caption i (0..99), growing the list to i + 2 captions.
    void SetEditText(int i, const QString& text);

    // "M" n followed by "D" (press), "U" (release) or "E" (press and release),
    // in any number and order; an M command from a remote computer is not
    // reported back.
    void ExecuteCommand(QStringList& tokens, std::uint8_t remote) override;
    // Reads section "Makros" of a show: afterwards the macros and captions are
    // exactly those of the show.
    void LoadIni(TStringIniFile& ini) override;
    // Reads a macro module text: the macros and captions it counts are replaced,
    // those beyond its counts stay.
    void ImportIni(TStringIniFile& ini) override;
    // Appends "[Makros]", the counts, the macros that hold anything and the captions.
    void SaveToStrings(QStringList& lines) override;
    // The same section from a copy taken here, written on the save's thread.
    std::function<void(QStringList&)> SaveLater() override;
    // Macros 0..99 reset, the others gone, no captions, only page 0 left.
    void NewProject() override;

    // The macro pages: page p shows macros p*100 .. p*100+99 and captions p*5 .. p*5+4.
    static constexpr int ButtonsPerPage = 100;
    static constexpr int EditsPerPage = 5;
    int PageCount() const { return FPageCount; }
    // Adds page number PageCount() and returns its number.
    int NewMacroWindow();
    // The handler of the pages' window-menu entries: tag mod 100 is the page;
    // a tag of 100 or more shows it at the primary screen's top left.
    void ShowMacroPageClick(int tag);

private:
    void ReadSection(const TStringIniFile& ini, bool wholeShow);

    std::unique_ptr<TMakroSignals> FSignals;
    int FPageCount = 0;
    // Per macro, whether its press (index 2n + 1) or release (2n) is running.
    std::vector<bool> FRunning = std::vector<bool>(2 * (MaxMakro + 1), false);
};
