#pragma once
// The icon dialog: picks an icon of the icon table and a foreground and a
// background colour (0x00BBGGRR values, 10 = transparent). One instance serves the
// whole run, so it opens with the icon and colours of its last use.

#include <QDialog>

#include <functional>
#include <vector>

class QGroupBox;
class QPushButton;
class QScrollArea;
class QToolButton;

class TFrm_EditSymbol : public QDialog {
    Q_OBJECT
public:
    explicit TFrm_EditSymbol(QWidget* parent = nullptr);
    ~TFrm_EditSymbol() override;

    int Icon() const { return FIcon; }
    int Foreground() const { return FForeground; }
    int Background() const { return FBackground; }

    // One palette button per icon of the icon table; rebuilt only when the table's
    // size changed since the last build.
    void BuildPalette();
    int PaletteCount() const { return static_cast<int>(FPalette.size()); }
    QToolButton* PaletteButton(int index) const;

    // The actions of the dialog's controls.
    void IconClick(int index);
    void SetForeground(int value);
    void SetBackground(int value);
    // The colour dialog for the foreground (true) or the background colour.
    void PickColorFor(bool foreground);

    QScrollArea* sbButtons = nullptr;
    QWidget* pnlButtons = nullptr;
    QGroupBox* gbVorder = nullptr;
    QGroupBox* gbHinter = nullptr;
    QToolButton* SpeedButton1 = nullptr;   // the plain icon
    QToolButton* SpeedButton2 = nullptr;   // the icon in the chosen colours
    QPushButton* btnOK = nullptr;
    QPushButton* btnAbbrechen = nullptr;
    QPushButton* btnTrans = nullptr;       // "Transparent &hinten"
    QPushButton* btnVorne = nullptr;       // "Transparent &vorne"

    // The base colours of the 13 swatch rows; row k runs from black to base k.
    static constexpr int SwatchRows = 13;
    static constexpr int SwatchColumns = 9;
    // The colour value of swatch j (0..8) in row k (0..12).
    static int SwatchColor(int row, int column);

private:
    void UpdatePreview();
    void AddSwatches(QGroupBox* box, bool foreground);

    std::vector<QToolButton*> FPalette;
    int FIcon = -1;
    int FForeground = 0;
    int FBackground = 10;
};

// Shows the one icon dialog modally (created at the first call) and returns true
// when it was closed with OK. icon, foreground and background receive the
// dialog's values in every case. Runs through RunDialog (object name "Frm_EditSymbol").
bool EditSymbol(int& icon, int& foreground, int& background);

class TKanal;
// The icon dialog on a channel's icon and colours; on OK they are set and the
// symbol change is notified. Returns true on OK.
bool EditKanalSymbol(TKanal& k);

