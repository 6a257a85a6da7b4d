#include "app/source_grid_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

#include "app/qt_services.h"
#include "shell/main_form.h"

namespace app {

namespace {

const char* const kCaptions[ui::SourceGrid::kColumns] = {"",         "File Name",  "File Size", "Duration",
                                                          "Start Time", "End Time", "Cut Time"};
const int kProportions[ui::SourceGrid::kColumns] = {16, 68, 28, 28, 28, 28, 28};

// The time editor: digits and colons only; the check after the edit corrects
// whatever time was typed.
class TimeDelegate : public QStyledItemDelegate {
 public:
  TimeDelegate(SourceGridModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9:]{0,12}"), editor));
    if (index.column() == SourceGridModel::kStartColumn) {
      // Each change of a start time ends its edit at once, so it is checked.
      connect(editor, &QLineEdit::textEdited, editor, [this, editor] {
        auto* self = const_cast<TimeDelegate*>(this);
        emit self->commitData(editor);
        emit self->closeEditor(editor, QAbstractItemDelegate::NoHint);
        if (model_.OnStartTimeChange) model_.OnStartTimeChange();
      });
    }
    return editor;
  }

 private:
  SourceGridModel& model_;
};

}  // namespace

SourceGridModel::SourceGridModel(ui::SourceGrid& grid, Guard guard, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), guard_(std::move(guard)) {}

int SourceGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.RowCount(); }

int SourceGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ui::SourceGrid::kColumns;
}

QVariant SourceGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::string text = grid_.Cell(index.row(), index.column());
  if (index.column() == 0) {
    if (role == Qt::CheckStateRole) return text == "True" ? Qt::Checked : Qt::Unchecked;
    return {};
  }
  if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole) return Q(text);
  return {};
}

QVariant SourceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ui::SourceGrid::kColumns)
    return QString(kCaptions[section]);
  return {};
}

Qt::ItemFlags SourceGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  if (index.column() == kStartColumn || index.column() == kEndColumn) f |= Qt::ItemIsEditable;
  return f;
}

bool SourceGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  if (index.column() == 0 && role == Qt::CheckStateRole) {
    const bool checked = value.toInt() == Qt::Checked;
    guard_([&] { grid_.SetCell(index.row(), 0, checked ? "True" : "False"); });
    return true;
  }
  if ((index.column() == kStartColumn || index.column() == kEndColumn) && role == Qt::EditRole) {
    const std::string text = S(value.toString());
    guard_([&] {
      grid_.SetCell(index.row(), index.column(), text);
      if (OnEdited) OnEdited();
    });
    return true;
  }
  return false;
}

QStringList SourceGridModel::mimeTypes() const { return {kRowsMime}; }

QMimeData* SourceGridModel::mimeData(const QModelIndexList&) const {
  auto* mime = new QMimeData();
  mime->setData(kRowsMime, QByteArray("rows"));
  return mime;
}

SourceGridView::SourceGridView(ui::SourceGrid& grid, Guard guard, QWidget* parent)
    : QTableView(parent), grid_(grid), guard_(guard) {
  model_ = new SourceGridModel(grid, guard, this);
  setModel(model_);
  setObjectName("dxTreeSourceFileInfo");
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The time editor opens on the first click.
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::CurrentChanged |
                  QAbstractItemView::DoubleClicked);
  setItemDelegateForColumn(SourceGridModel::kStartColumn, new TimeDelegate(*model_, this));
  setItemDelegateForColumn(SourceGridModel::kEndColumn, new TimeDelegate(*model_, this));
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(20);
  horizontalHeader()->setSectionsMovable(false);  // the column index is its identity
  horizontalHeader()->setHighlightSections(false);
  setAlternatingRowColors(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
  subscription_ = Subscription(grid_, [this] { SyncFromModel(); });
}

void SourceGridView::SyncFromModel() {
  if (syncing_ || grid_.Updating()) return;
  syncing_ = true;
  // Rebuilding the rows is cheap for a list of source files, and keeps the
  // view exactly on the model's state.
  model_->Reset();
  QItemSelection selection;
  for (int row : grid_.SelectedRows())
    selection.select(model_->index(row, 0), model_->index(row, ui::SourceGrid::kColumns - 1));
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  const int focused = grid_.FocusedRow();
  selectionModel()->setCurrentIndex(focused >= 0 ? model_->index(focused, 1) : QModelIndex(),
                                    QItemSelectionModel::NoUpdate);
  syncing_ = false;
}

void SourceGridView::FitColumns() {
  int total = 0;
  for (int p : kProportions) total += p;
  const int width = viewport()->width();
  for (int c = 0; c < ui::SourceGrid::kColumns; ++c) setColumnWidth(c, width * kProportions[c] / total);
}

void SourceGridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumns();
}

void SourceGridView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QTableView::selectionChanged(selected, deselected);
  if (syncing_) return;
  syncing_ = true;
  guard_([&] {
    for (int row = 0; row < grid_.RowCount(); ++row) {
      const bool on = selectionModel()->isRowSelected(row, QModelIndex());
      if (grid_.IsSelected(row) != on) grid_.SetSelected(row, on);
    }
  });
  syncing_ = false;
}

void SourceGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (syncing_) return;
  syncing_ = true;
  guard_([&] { grid_.SetFocusedRow(current.isValid() ? current.row() : ui::SourceGrid::kNone); });
  syncing_ = false;
}

void SourceGridView::startDrag(Qt::DropActions actions) {
  auto* drag = new QDrag(this);
  drag->setMimeData(model_->mimeData(selectedIndexes()));
  drag->exec(actions, Qt::MoveAction);
  // target() is the widget of this program the rows were dropped on; none for
  // a drop outside it or a release over nothing.
  QObject* target = drag->target();
  const bool on_grid = target == this || target == viewport();
  if (!on_grid && OnRowsDraggedOut) guard_(OnRowsDraggedOut);
}

void SourceGridView::dragEnterEvent(QDragEnterEvent* event) {
  // Whatever is dragged over the grid is accepted; files from a file manager
  // go on to the window's drop handling.
  if (event->mimeData()->hasFormat(SourceGridModel::kRowsMime)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void SourceGridView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasFormat(SourceGridModel::kRowsMime))
    event->acceptProposedAction();
  else
    event->ignore();
}

void SourceGridView::dropEvent(QDropEvent* event) {
  // Rows dropped back onto the grid change nothing.
  if (event->mimeData()->hasFormat(SourceGridModel::kRowsMime)) {
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void SourceGridView::keyPressEvent(QKeyEvent* event) {
  QTableView::keyPressEvent(event);
  if (!OnKeyDown) return;
  const int key = event->key() == Qt::Key_Delete ? vk::Delete : event->key();
  guard_([&] { OnKeyDown(key); });
}

void SourceGridView::keyReleaseEvent(QKeyEvent* event) {
  QTableView::keyReleaseEvent(event);
  if (OnKeyUp) guard_(OnKeyUp);
}

void SourceGridView::mousePressEvent(QMouseEvent* event) { QTableView::mousePressEvent(event); }

void SourceGridView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (OnClick) guard_(OnClick);
}

}  // namespace app
