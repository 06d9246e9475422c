#pragma once
// A track bar that also shows a selection range: a band in its channel from
// SelStart to SelEnd, as the channel list uses to show a channel's output level
// beside the level it is set to.

#include <QSlider>

class TTrackBar : public QSlider {
public:
    explicit TTrackBar(Qt::Orientation orientation, QWidget* parent = nullptr) : QSlider(orientation, parent) {}

    int SelStart() const { return FSelStart; }
    int SelEnd() const { return FSelEnd; }
    // Repaints only when the range changes.
    void SetSelection(int start, int end);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FSelStart = 0;
    int FSelEnd = 0;
};
