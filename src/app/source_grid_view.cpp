#include "app/source_grid_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

#include "app/qt_services.h"
#include "app/skin.h"
#include "app/time_editor.h"
#include "shell/main_form.h"

namespace app {

namespace {

constexpr int kViewColumns = SourceGridModel::kStatusColumn + 1;
const char* const kCaptions[kViewColumns] = {"",           "File Name", "File Size", "Duration",
                                             "Start Time", "End Time",  "Cut Time",  "Status"};
// What the check column's box means, for screen readers.
const char* const kCheckName = "Convert";
// The status column's share comes from the file name's and the check box's,
// so the time and size columns keep theirs.
const int kProportions[kViewColumns] = {12, 46, 28, 28, 28, 28, 28, 36};

// The trim bar's mark on the rows a marker drag writes into: the bar's kept
// track between its two markers, in small.
QPixmap TrimMark() {
  static const QPixmap mark = [] {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(QRect(1, 5, 10, 3), app::skin::kAccent);
    p.fillRect(QRect(0, 2, 2, 9), app::skin::kAccent.darker(140));
    p.fillRect(QRect(10, 2, 2, 9), app::skin::kAccent.darker(140));
    return pixmap;
  }();
  return mark;
}

}  // namespace

// The time editor of the "Start Time" and "End Time" cells, on the grid's
// editing calls: opening it begins the edit, each change is reported, leaving
// the cell ends it, Esc cancels it. Every change is a whole time, so a start
// time can be checked at each of them.
class TimeDelegate : public QStyledItemDelegate {
 public:
  TimeDelegate(SourceGridView& view) : QStyledItemDelegate(&view), view_(view) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    ui::SourceGrid& grid = view_.grid_;
    bool began = false;
    view_.syncing_ = true;
    view_.guard_([&] { began = grid.UserBeginEdit(index.row(), index.column()); });
    view_.syncing_ = false;
    if (!began) return nullptr;
    auto* editor = new TimeEditor(parent);
    editor->setObjectName("TimeEditor");
    editor->OnTimeChanged = [this](const QString& text) { view_.EditorChanged(text); };
    view_.editor_ = editor;
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    // Once, when the editor opens: later refreshes of the grid must not undo
    // what the user has typed. The first digit typed goes into the hours.
    if (editor->property("filled").toBool()) return;
    editor->setProperty("filled", true);
    auto* time = static_cast<TimeEditor*>(editor);
    time->setText(index.data(Qt::EditRole).toString());
    time->setCursorPosition(0);
  }

  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {
    // Qt closes this editor itself right after.
    view_.committing_ = true;
    view_.guard_([this] { view_.grid_.UserEndEdit(); });
    view_.committing_ = false;
  }

  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    // Qt has let go of this editor already: nothing may close it again.
    if (view_.editor_ == editor) view_.editor_ = nullptr;
    // Closed without its text taken (Esc): the edit is cancelled and the row put back.
    if (view_.grid_.Editing()) view_.guard_([this] { view_.grid_.UserCancelEdit(); });
    view_.grid_.UserCloseEditor();
    QStyledItemDelegate::destroyEditor(editor, index);
  }

 private:
  SourceGridView& view_;
};

// The column headers, with a check box over the check column that shows
// whether every row, some or none are ticked.
class GridHeader : public QHeaderView {
 public:
  GridHeader(const ui::SourceGrid& grid, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), grid_(grid) {
    setObjectName("GridHeader");
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setSortIndicator(-1, Qt::AscendingOrder);
  }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logical) const override {
    QHeaderView::paintSection(painter, rect, logical);
    if (logical != ui::kColChecked) return;
    int checked = 0;
    for (int row = 0; row < grid_.RowCount(); ++row) checked += grid_.Cell(row, ui::kColChecked) == "True";
    QStyleOptionButton box;
    box.initFrom(this);
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &box, this);
    box.rect = QRect(rect.center() - indicator.center() + indicator.topLeft(), indicator.size());
    box.state = QStyle::State_Enabled;
    box.state |= checked == 0                  ? QStyle::State_Off
                 : checked == grid_.RowCount() ? QStyle::State_On
                                               : QStyle::State_NoChange;
    painter->save();
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, this);
    painter->restore();
  }

 private:
  const ui::SourceGrid& grid_;
};

// A status reads from its start ("Done: ..."), unlike the paths beside it.
class StatusDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideRight;
  }
};

SourceGridModel::SourceGridModel(ui::SourceGrid& grid, Guard guard, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), guard_(std::move(guard)) {}

// The view is told of every change of the grid through Refresh, so the count
// it knows is the one it was last told.
int SourceGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_rows_;
}

int SourceGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kViewColumns;
}

QVariant SourceGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (index.column() == kStatusColumn) {
    const ui::RowStatus& status = grid_.Status(index.row());
    // A failure's reason may be longer than the column: the tooltip has it whole.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
      const std::string text = ui::StatusText(status);
      return text.empty() && role == Qt::ToolTipRole ? QVariant() : QVariant(Q(text));
    }
    if (role == Qt::ForegroundRole && status.state == ui::RowState::Failed) return QColor(210, 50, 50);
    if (role == Qt::ForegroundRole && status.state == ui::RowState::Done) return QColor(30, 140, 60);
    return {};
  }
  const std::string text = grid_.Cell(index.row(), index.column());
  if (index.column() == 0) {
    if (role == Qt::CheckStateRole) return text == "True" ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::AccessibleTextRole) return QString(kCheckName);
    return {};
  }
  if (role == Qt::DisplayRole || role == Qt::EditRole) return Q(text);
  if (role == Qt::DecorationRole && index.column() == 1 && TrimMarked && TrimMarked(index.row())) return TrimMark();
  // The file name column is cut at the left; the tooltip shows the whole path.
  if (role == Qt::ToolTipRole && index.column() == 1) return Q(text);
  return {};
}

QVariant SourceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kViewColumns)
    return QString(kCaptions[section]);
  // The check column shows no caption; a screen reader still names it.
  if (orientation == Qt::Horizontal && role == Qt::AccessibleTextRole && section == 0) return QString(kCheckName);
  return {};
}

Qt::ItemFlags SourceGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  if (index.column() != 0 && ui::SourceGrid::ColumnEditable(index.column())) f |= Qt::ItemIsEditable;
  return f;
}

bool SourceGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  if (index.column() == 0 && role == Qt::CheckStateRole) {
    const bool checked = value.toInt() == Qt::Checked;
    if (checked != (grid_.Cell(index.row(), 0) == "True")) guard_([&] { grid_.UserToggleCheck(index.row()); });
    return true;
  }
  return false;
}

void SourceGridModel::Refresh() {
  if (grid_.RowCount() != shown_rows_) {
    beginResetModel();
    shown_rows_ = grid_.RowCount();
    endResetModel();
  } else if (shown_rows_ > 0) {
    emit dataChanged(index(0, 0), index(shown_rows_ - 1, kViewColumns - 1));
  }
}

QStringList SourceGridModel::mimeTypes() const {
  return {kRowsMime};
}

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
  setAccessibleName("Source files");
  // Tab leaves the grid (the arrow keys move inside it), so the controls after
  // it stay in reach of the keyboard.
  setTabKeyNavigation(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The time editor opens on the first click: on the click that moves the
  // current cell there, or (mousePressEvent) on a click into the current cell,
  // at once rather than after the double-click time.
  setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked);
  auto* times = new TimeDelegate(*this);
  setItemDelegateForColumn(SourceGridModel::kStartColumn, times);
  setItemDelegateForColumn(SourceGridModel::kEndColumn, times);
  setItemDelegateForColumn(SourceGridModel::kStatusColumn, new StatusDelegate(this));
  // The selection stays visible when the grid loses the focus.
  QPalette pal = palette();
  pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(pal);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  auto* header = new GridHeader(grid, this);
  setHorizontalHeader(header);
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    if (OnHeaderClick) guard_([&] { OnHeaderClick(column); });
  });
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(20);
  horizontalHeader()->setSectionsMovable(false);  // the column index is its identity
  horizontalHeader()->setHighlightSections(false);
  setAlternatingRowColors(true);
  setWordWrap(false);
  // A size text such as "1023.99 KB" fits its narrow column whole.
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  // Rows of one folder differ in their file names: those stay in sight.
  setTextElideMode(Qt::ElideLeft);
  subscription_ = Subscription(grid_, [this] { SyncFromModel(); });
}

void SourceGridView::EditorChanged(const QString& text) {
  const ui::SourceGrid::RowId id = grid_.IdOf(grid_.EditRow());
  const int column = grid_.EditColumn();
  changing_ = true;
  guard_([&] { grid_.UserEditorChange(S(text)); });
  changing_ = false;
  // A start time's edit ends at its change and the cell is checked at once. The
  // editor stays open with the time as typed so far, for the next digit: a
  // whole time typed digit by digit is checked at every step and the cell ends
  // with the check of the whole time.
  const int row = grid_.IndexOf(id);
  if (!grid_.Editing() && editor_ && row != ui::SourceGrid::kNone) {
    syncing_ = true;
    guard_([&] {
      if (grid_.UserBeginEdit(row, column)) grid_.SetFocusedRow(row);
    });
    syncing_ = false;
  }
  SyncFromModel();
}

void SourceGridView::SyncFromModel() {
  if (syncing_ || changing_ || grid_.Updating()) return;
  syncing_ = true;
  // An edit the grid ended itself closes the editor without taking its text again.
  if (editor_ && !grid_.Editing() && !committing_) {
    QWidget* editor = editor_;
    editor_ = nullptr;
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
  model_->Refresh();
  horizontalHeader()->viewport()->update();  // the check column's box
  // One range per run of selected rows: thousands of one-row ranges make the
  // selection model crawl.
  QItemSelection selection;
  const std::vector<int> selected = grid_.SelectedRows();
  for (size_t first = 0; first < selected.size();) {
    size_t last = first;
    while (last + 1 < selected.size() && selected[last + 1] == selected[last] + 1) ++last;
    selection.select(model_->index(selected[first], 0), model_->index(selected[last], kViewColumns - 1));
    first = last + 1;
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  // The current cell moves only when the focused row changed: moving it within
  // its row would close an open editor.
  const int focused = grid_.FocusedRow();
  const QModelIndex current = currentIndex();
  if (focused < 0 && current.isValid())
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  else if (focused >= 0 && (!current.isValid() || current.row() != focused))
    selectionModel()->setCurrentIndex(model_->index(focused, 1), QItemSelectionModel::NoUpdate);
  syncing_ = false;
}

void SourceGridView::ShowSortColumn(int column, bool ascending) {
  // The header turns its arrow at every click itself; it shows what the rows are.
  horizontalHeader()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void SourceGridView::FitColumns() {
  int total = 0;
  for (int p : kProportions) total += p;
  const int width = viewport()->width();
  for (int c = 0; c < kViewColumns; ++c) setColumnWidth(c, width * kProportions[c] / total);
}

void SourceGridView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  // The current cell is marked while the grid has the focus: the row's
  // highlight alone does not say which cell the arrow keys move from.
  const QModelIndex current = currentIndex();
  if (!hasFocus() || !current.isValid()) return;
  QPainter p(viewport());
  p.setPen(QPen(skin::kAccent, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(visualRect(current).adjusted(1, 1, -1, -1));
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
  if (OnEndDrag) guard_([&] { OnEndDrag(on_grid); });
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
  if (OnKeyDown) guard_([&] { OnKeyDown(event->key() == Qt::Key_Delete); });
}

void SourceGridView::keyReleaseEvent(QKeyEvent* event) {
  QTableView::keyReleaseEvent(event);
  if (OnKeyUp && !event->isAutoRepeat()) guard_([&] { OnKeyUp(event->key() == Qt::Key_Delete); });
}

void SourceGridView::mousePressEvent(QMouseEvent* event) {
  QTableView::mousePressEvent(event);
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && index.isValid() &&
      index == currentIndex() &&
      (index.column() == SourceGridModel::kStartColumn || index.column() == SourceGridModel::kEndColumn) &&
      state() != EditingState)
    edit(index);
}

bool SourceGridView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool opened = QTableView::edit(index, trigger, event);
  // Qt selects the whole text of a new line editor; the cursor belongs at the
  // hours instead, so the arrow keys and digits start there.
  if (opened && editor_ && editor_->hasSelectedText()) {
    editor_->deselect();
    editor_->setCursorPosition(0);
  }
  return opened;
}

void SourceGridView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (OnClick) guard_(OnClick);
}

}  // namespace app
