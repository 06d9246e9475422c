#pragma once
// The level versions of one scene side by side, channel by channel: one row per
// version (named in the row header), one column per console channel 1..510
// (numbered in the column header); every cell of a channel whose level differs
// between versions is bold.

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;
class TSzene;

class TFrmVersionenVergleichen : public QDialog {
public:
    explicit TFrmVersionenVergleichen(const TSzene& scene, QWidget* parent = nullptr);

    QTableWidget* sgKanaele = nullptr;
    QLabel* lblSzene_a = nullptr;
    QLabel* lblVersion_a = nullptr;
    QPushButton* btnClose = nullptr;
};

// Opens the comparison for scene as a modal dialog ("FrmVersionenVergleichen").
void CompareVersions(const TSzene& scene, QWidget* parent);
