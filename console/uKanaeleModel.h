#pragma once
// The channel list's table: one row per channel 1..729 with its number, name,
// mode, icon, flash and blackout level, level, output level and DMX slots. The
// cells are not edited in place: the list's edit panel sets name, mode, flash,
// blackout and level of the selected channel through setData, which goes to the
// channel's setters. Channel notifications only mark rows; while the list is
// visible each tick reports just the marked rows as changed, so a tick never
// rebuilds the table.

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

class TModuleLichtpult;
class TStringIniFile;

class TKanaeleModel : public QAbstractTableModel {
public:
    enum TColumn { colKanal, colName, colStatus, colIcon, colFlash, colBlackout, colFader, colOutput, colDMX, ColumnCount };
    // The channel's kind (kkKonsole ... kkVorlage) under this role.
    static constexpr int KindRole = Qt::UserRole + 1;

    explicit TKanaeleModel(TModuleLichtpult& pult, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    static int RowOf(int nr) { return nr - 1; }
    static int NrOf(int row) { return row + 1; }

    // While visible, every tick reports the rows marked since the last one; on
    // becoming visible the whole table is reported once (the DMX slots change
    // without a notification).
    void SetVisible(bool visible);
    bool Visible() const { return FVisible; }
    // Reports the marked rows as changed now.
    void Flush();

private:
    void Mark(int nr);

    TModuleLichtpult& FPult;
    bool FVisible = false;
    std::vector<char> FDirty;
    std::vector<int> FDirtyNr;
};

// The channel export and import of the list, through a text: the channels von..bis
// as section Kanäle numbered from 1, and that text read back into von..bis.
QStringList ExportKanaeleLines(const TModuleLichtpult& pult, int von, int bis);
void ImportKanaeleText(TModuleLichtpult& pult, int von, int bis, const QString& text);
