#pragma once
// The chaser editor's grids: a table model whose rows come and go at its end,
// and a table view made for grids of thousands of cells that change a row or a
// cell at a time (cells painted as a string grid paints them, a change of the
// row count repainting only what it touches, scroll bars painted without
// Qt's thread pool).

#include <QAbstractTableModel>

class QString;
class QTableView;

// A grid model of a fixed shape between changes: its rows can come and go at
// the end without the rest being read again.
class TGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The shape changed, or many cells: everything is read again.
    void Reset(int rows, int columns);
    // Rows come or go at the end; nothing else is read again.
    void ResizeRows(int rows);

private:
    int FRows = 0;
    int FColumns = 0;
};

// A table view for such a model, named name: fixed row and column sizes, no
// headers, the cells painted by the view's own delegate.
QTableView* MakeGridView(const QString& name, QAbstractItemModel* model);
