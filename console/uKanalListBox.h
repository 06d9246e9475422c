#pragma once
// The painted list of console channels that the channel list and the chaser's
// list share: a bold, left-aligned header line, then one line per channel with
// its texts at fixed column positions, the selected line white on navy and the
// others in the colour of the channel's kind. Line r (1..) shows the channel
// FirstNr + r + the position of the scroll bar that goes with the list.

#include <QWidget>

#include <array>
#include <functional>

class QScrollBar;

// The texts of one line: number, name, mode letter, icon, flash, blackout,
// level, output level and the last column (DMX slots or step).
struct TKanalListZeile {
    static constexpr int Columns = 9;
    int Kind = 0;
    std::array<QString, Columns> Texts;
};

class TKanalListBox : public QWidget {
public:
    // row fills the line of channel nr and returns false when nr names no channel.
    TKanalListBox(QScrollBar& scroll, int firstNr, const QString& lastCaption,
                  std::function<bool(int nr, TKanalListZeile& line)> row, QWidget* parent = nullptr);

    // Text height of "Wy" + 1.
    int RowHeight() const;
    // Lines below the header that the list shows, the last one maybe cut off at
    // the bottom edge (height div RowHeight).
    int VisibleRows() const;
    // Lines that lie wholly inside the list below the header: line r spans
    // RowHeight * r + 6 .. RowHeight * (r + 1) + 6.
    int WholeRows() const;
    // The channel of line r (1..VisibleRows).
    int NrOfLine(int line) const;
    // The line under height y: (y - 6) div RowHeight.
    int LineAt(int y) const;
    // The texts of channel nr's line as the list paints them; false when nr names
    // no channel.
    bool LineOf(int nr, TKanalListZeile& line) const;
    // Repaints the line of channel nr when it is shown.
    void UpdateNr(int nr);
    // Repaints the lines of the channels from..to that are shown.
    void UpdateNrs(int from, int to);

    // The caption of column c and the room the header gives it.
    QString Caption(int c) const;
    QRect HeaderRect(int c) const;
    // Every caption in its room with gap pixels to spare, in the list's bold font.
    bool HeaderFits(int gap) const;

    int SelectedNr = 0;
    std::function<void(int line, Qt::MouseButton button)> OnPress;
    std::function<void()> OnDoubleClick;
    // The list's height changed (the number of lines it shows).
    std::function<void()> OnResize;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QScrollBar& FScroll;
    int FFirstNr;
    QString FLastCaption;
    std::function<bool(int, TKanalListZeile&)> FRow;
};
