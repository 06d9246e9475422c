#pragma once
// The table dialog of the curve editor: the 256 entries as numbers in a grid
// (row i + 1 holds entry i), exported to and imported from a text file.

#include "console/uKennlinie.h"

#include <QDialog>

class QTableWidget;

class Tfrm_kenn_tab : public QDialog {
public:
    explicit Tfrm_kenn_tab(QWidget* parent = nullptr);

    void Fill(const TCurveTableText& content);
    // The "Out" cells and the points as they stand.
    TCurveTableText Content() const;

    void Export();
    void Import();

    QTableWidget* StringGrid1 = nullptr;
    TKennlinienPunkte Points{};
};
