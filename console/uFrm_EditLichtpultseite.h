#pragma once
// The page editor: edits one console page (name, category, row text), makes new
// and duplicated pages, builds row texts, and edits the list of categories. Nothing
// reaches the console module before OK.

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QWidget;
class TLichtpultZeile;
class TModuleLichtpult;

class TFrmEditLichtpultseite : public QDialog {
    Q_OBJECT
public:
    // Requests: a page index, NewPageRequest, or DuplicateOffset + a page index.
    static constexpr int NewPageRequest = -1;
    static constexpr int DuplicateOffset = 1000000;
    // The most categories the grid lets the user make.
    static constexpr int MaxKategorien = 15;

    explicit TFrmEditLichtpultseite(TModuleLichtpult& module, QWidget* parent = nullptr);

    // Fills the category list and, when the request names a page, the page's
    // fields; the dialog then shows the tab "Seiten".
    void Load(int request);
    // What OK does: the new page (new or duplicate), the categories, the page's
    // fields, then the pages are sorted.
    void Apply();

    // Row text generators.
    void btnZeileAnlegenClick();
    void btnAktiveKanaeleClick();
    void btnAendernClick();
    void btnNeueKategorieClick();

    // The row text with every console channel number moved by delta.
    static QString ShiftChannelNumbers(const QString& row, int delta);

    QTabWidget* pcSeiten = nullptr;
    QWidget* tsSeiten = nullptr;
    QWidget* tsKategorien = nullptr;
    QLineEdit* edtName = nullptr;
    QComboBox* cmbKategorie = nullptr;
    QLineEdit* edtCommandLine = nullptr;
    QSpinBox* udFaderzahl = nullptr;
    QSpinBox* udAbstand = nullptr;
    QSpinBox* udAbstandVor = nullptr;
    QSpinBox* udAbstandGross = nullptr;
    QSpinBox* udAbstandVor2 = nullptr;
    QSpinBox* udAbstandGross2 = nullptr;
    QSpinBox* udErsterKanal = nullptr;
    QCheckBox* cbGroups = nullptr;
    QPushButton* btnZeileAnlegen = nullptr;
    QPushButton* btnAktiveKanaele = nullptr;
    QSpinBox* udKanalzahlAendern = nullptr;
    QPushButton* btnAendern = nullptr;
    QPushButton* btnNeueKategorie = nullptr;
    QTableWidget* sgKategorien = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnAbbrechen = nullptr;

private:
    void TabChanged(int index);
    void FillGrid();
    void ReadGrid();
    void UpdateNeueKategorie();
    void AddGridRow(const QString& name);
    bool CreatesPage() const;

    TModuleLichtpult& FModule;
    int FRequest = NewPageRequest;
    TLichtpultZeile* FZeile = nullptr;   // the page being edited or duplicated
    int FLoadedNode = -1;
};

// Runs the page dialog for request (a page index, -1 for a new page, page index +
// 1000000 for a copy of that page) and returns true when it was closed with OK.
// Runs through RunDialog (object name "FrmEditLichtpultseite").
bool EditLichtpultseite(int request);

