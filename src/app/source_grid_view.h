// The source grid on a QTableView: rows of the SourceGrid model, the check box
// column, time cells edited in place on the first click, several rows
// selectable, rows dragged out of the grid.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QTableView>
#include <functional>

#include "app/bindings.h"
#include "app/time_editor.h"
#include "ui/source_grid.h"

namespace app {

class TimeDelegate;

class SourceGridModel : public QAbstractTableModel {
 public:
  SourceGridModel(ui::SourceGrid& grid, Guard guard, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

  // The grid changed from code: show it afresh. Rows added or removed rebuild
  // the view; otherwise the cells are refreshed in place, so an open editor stays.
  void Refresh();
  ui::SourceGrid& grid() { return grid_; }
  // Whether a row carries the trim bar's mark: a marker drag writes into it.
  std::function<bool(int row)> TrimMarked;

  static constexpr int kStartColumn = 4;
  static constexpr int kEndColumn = 5;
  // After the grid's own columns: what the last batch made of the row.
  static constexpr int kStatusColumn = ui::SourceGrid::kColumns;
  static constexpr const char* kRowsMime = "application/x-vtpc-source-rows";

 private:
  ui::SourceGrid& grid_;
  Guard guard_;
  int shown_rows_ = 0;
};

class SourceGridView : public QTableView {
 public:
  SourceGridView(ui::SourceGrid& grid, Guard guard, QWidget* parent);
  SourceGridModel& model() { return *model_; }

  // Run when a drag of rows out of the grid ends; the flag tells whether they
  // were released over the grid itself.
  std::function<void(bool on_grid)> OnEndDrag;
  // The grid's own click, key-down and key-up handlers; the flag tells the Delete key.
  std::function<void()> OnClick;
  std::function<void(bool delete_key)> OnKeyDown;
  std::function<void(bool delete_key)> OnKeyUp;
  // A click on a column header.
  std::function<void(int column)> OnHeaderClick;

  // The header's arrow on the column the rows are sorted by; none for -1.
  void ShowSortColumn(int column, bool ascending);

  // Shares the width among the columns in the grid's proportions.
  void FitColumns();
  using QTableView::edit;

 protected:
  void startDrag(Qt::DropActions actions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void SyncFromModel();
  // A change the user made in the time editor.
  void EditorChanged(const QString& text);
  friend class TimeDelegate;
  ui::SourceGrid& grid_;
  Guard guard_;
  SourceGridModel* model_;
  Subscription subscription_;
  bool syncing_ = false;
  bool committing_ = false;
  bool changing_ = false;
  bool fitted_ = false;
  QPointer<TimeEditor> editor_;
};

}  // namespace app
