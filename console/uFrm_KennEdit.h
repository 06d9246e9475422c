#pragma once
// The curve editor: one dimmer curve edited on a 256 x 256 canvas, either by
// five control points joined by straight lines (construct mode) or drawn
// freehand (draw mode). One canvas pixel is one table step. The arithmetic is
// the engine's (console/uKennlinie); this form only paints and forwards the mouse.

#include "console/uMod_Patch.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class Tfrm_kenn_edit : public QDialog {
public:
    enum class TMode { Construct, Draw };

    explicit Tfrm_kenn_edit(QWidget* parent = nullptr);

    // Edits curve modally (a new one starts as 1 zu 1); on "&Ok" the table,
    // points and name go back into the curve and the result is true.
    static bool EditCurve(TKennlinie& curve, bool isNew);

    void SetMode(TMode mode);
    TMode Mode() const { return FMode; }
    // The canvas's mouse, in canvas pixels.
    void CanvasPress(QPoint p);
    void CanvasMove(QPoint p);
    void CanvasRelease(QPoint p);
    void OneToOne();
    // The table dialog on the current table and points.
    void EditTable();

    TKennlinienTabelle Table;
    TKennlinienPunkte Points;

    QWidget* Image1 = nullptr;
    QLineEdit* edtName = nullptr;
    QLabel* lblX = nullptr;
    QLabel* lblY = nullptr;
    QLabel* lblXProz = nullptr;
    QLabel* lblYProz = nullptr;
    QPushButton* btnOk = nullptr;

private:
    void ShowCoordinates(QPoint p);

    TMode FMode = TMode::Construct;
    bool FPressed = false;
    int FGrabbed = -1;
};
