#include "app/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSizeGrip>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/qt_services.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "sources/preview_player.h"
#include "sources/trim_editing.h"

namespace app {

namespace {

constexpr int kTitleHeight = 30;

void White(QWidget* w) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::WindowText, skin::kText);
  w->setPalette(pal);
}

}  // namespace

MainWindowView::MainWindowView(Program& program, TFrmMainForm& form)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      program_(program),
      form_(form),
      guard_(MakeGuard(program)) {
  setObjectName("FrmMainForm");
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(TFrmMainForm::kDesignWidth, TFrmMainForm::kDesignHeight);

  // Title strip: the title (a press on it moves the window), minimize and close.
  title_ = new LabelView(form.lblTitle, this);
  title_->setObjectName("lblTitle");
  title_->setFont(skin::ArialBold(14));
  White(title_);
  title_->installEventFilter(this);
  AddButton(form.btnWindowMinimize, "btnWindowMinimize", skin::Glyph::Minimize, "Minimise");
  AddButton(form.btnWindowClose, "btnWindowClose", skin::Glyph::Close, "Close");

  AddButton(form.btnHomePage, "btnHomePage", skin::Glyph::Home, "Home page");
  AddButton(form.btnEMail, "btnEMail", skin::Glyph::Email, "E-mail");
  AddButton(form.btnHelp, "btnHelp", skin::Glyph::Help, "Help");
  AddButton(form.btnAbout, "btnAbout", skin::Glyph::About, "About");

  // The video window with the logo covering it.
  video_panel_ = new QWidget(this);
  video_panel_->setObjectName("DSVideoWindowEx1");
  video_panel_->setAutoFillBackground(true);
  QPalette black = video_panel_->palette();
  black.setColor(QPalette::Window, Qt::black);
  video_panel_->setPalette(black);
  logo_ = new QLabel(video_panel_);
  logo_->setObjectName("panLogo");
  // The pointer over a showing video hides when it has rested a while.
  WatchPointer(video_panel_);
  pointer_timer_ = new QTimer(this);
  pointer_timer_->setSingleShot(true);
  pointer_timer_->setInterval(program.timing().pointer_hide_ms);
  connect(pointer_timer_, &QTimer::timeout, this, [this] {
    if (pointer_inside_ && !logo_->isVisible()) video_panel_->setCursor(Qt::BlankCursor);
  });
  trim_bar_ = new TrimBarView(form, guard_, this);
  subscriptions_.emplace_back(form.panLogo, [this] { SetLogoVisible(form_.panLogo.Visible()); });

  AddButton(form.btnPlay, "btnPlay", skin::Glyph::Play, "Play preview");
  AddButton(form.btnPause, "btnPause", skin::Glyph::Pause, "Pause preview");
  AddButton(form.btnStop, "btnStop", skin::Glyph::Stop, "Stop preview");
  clock_ = new QLabel(Q(form.pnlCurTime.Caption()), this);
  subscriptions_.emplace_back(form.pnlCurTime, [this] { clock_->setText(Q(form_.pnlCurTime.Caption())); });
  clock_->setObjectName("pnlCurTime");
  clock_->setAlignment(Qt::AlignCenter);
  clock_->setAutoFillBackground(true);
  clock_->setPalette(black);
  clock_->setFont(skin::ArialBold(19));
  QPalette green = clock_->palette();
  green.setColor(QPalette::WindowText, QColor(120, 230, 140));
  clock_->setPalette(green);

  // Output type, profile and folder rows.
  auto add_label = [this](ui::Label& model, const char* name) {
    auto* label = new LabelView(model, this);
    label->setObjectName(name);
    White(label);
    return label;
  };
  QLabel* type_label = add_label(form.lblOutputFileTypeName, "lblOutputFileTypeName");
  QLabel* profile_label = add_label(form.lblProfileSettings, "lblProfileSettings");
  QLabel* folder_label = add_label(form.lblOutputFolderInfo, "lblOutputFolderInfo");
  auto* type = new ListBoxCombo(form.cbbOutputFiletype, guard_, this);
  type->setObjectName("cbbOutputFiletype");
  NameAfter(type, type_label);
  auto* profile = new ListBoxCombo(form.cbbProfile, guard_, this);
  profile->setObjectName("cbbProfile");
  NameAfter(profile, profile_label);
  AddButton(form.btnOptions, "btnOptions", skin::Glyph::Options, "Options");
  auto* folder = new EditBoxView(form.edtOutputFolder, guard_, this);
  folder->setObjectName("edtOutputFolder");
  NameAfter(folder, folder_label);
  AddButton(form.RzBmpButton1, "RzBmpButton1", skin::Glyph::Folder, "Choose output folder");
  AddButton(form.btnSelectOutputFolder, "btnSelectOutputFolder", skin::Glyph::Folder, "Choose output folder");
  AddButton(form.btnUpdate, "btnUpdate", skin::Glyph::None, "Check for updates");

  // After-batch check boxes (the box alone) with their white labels, the codec link.
  auto* shutdown = new CheckBoxView(form.chkShutdown, guard_, this);
  shutdown->setObjectName("chkShutdown");
  NameAfter(shutdown, add_label(form.Label1, "Label1"));
  auto* show_folder = new CheckBoxView(form.chkShowOutputDirectory, guard_, this);
  show_folder->setObjectName("chkShowOutputDirectory");
  NameAfter(show_folder, add_label(form.Label2, "Label2"));
  auto* link = new LinkLabel(
      Q(form.Label3.Caption()), skin::kText, [this] { guard_([this] { form_.Label3Click(); }); }, this);
  link->setObjectName("Label3");
  video_panel_->setAccessibleName("Preview");

  grid_ = new SourceGridView(form.dxTreeSourceFileInfo, guard_, this);
  auto key_of = [](bool delete_key) { return delete_key ? sources::GridKey::Delete : sources::GridKey::Other; };
  grid_->OnClick = [this] { form_.actDxTreeListOnClickExecute(); };
  grid_->OnKeyDown = [this, key_of](bool delete_key) { form_.dxTreeSourceFileInfoKeyDown(key_of(delete_key)); };
  grid_->OnKeyUp = [this, key_of](bool delete_key) { form_.dxTreeSourceFileInfoKeyUp(key_of(delete_key)); };
  grid_->OnEndDrag = [this](bool on_grid) { form_.dxTreeSourceFileInfoEndDrag(on_grid); };
  grid_->OnHeaderClick = [this](int column) {
    form_.dxTreeSourceFileInfoHeaderClick(column);
    grid_->ShowSortColumn(form_.SortColumn, form_.SortAscending);
  };
  trim_rows_ = new QLabel(this);
  trim_rows_->setObjectName("lblTrimRows");
  QFont small("Arial");
  small.setPixelSize(11);
  trim_rows_->setFont(small);
  White(trim_rows_);
  grid_->model().TrimMarked = [this](int row) {
    return sources::TrimBarWrites(form_.dxTreeSourceFileInfo, form_.TrimRowId, row);
  };
  // The bar is laid out afresh each time it loads a row.
  subscriptions_.emplace_back(form.dxTreeSourceFileInfo, [this] { ShowTrimRows(); });
  subscriptions_.emplace_back(form.Panel1, [this] { ShowTrimRows(); });
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ShowGridMenu(at); });
  AddButton(form.btnOpenFile, "btnOpenFile", skin::Glyph::Open, "Open", "Open");
  AddButton(form.btnRemoveFile, "btnRemoveFile", skin::Glyph::Remove, "Remove", "Remove");
  AddButton(form.btnClearFile, "btnClearFile", skin::Glyph::Clear, "Clear", "Clear");
  AddButton(form.btnConvert, "btnConvert", skin::Glyph::Convert, "Convert", "Convert");

  SetLogoVisible(form.panLogo.Visible());
  grip_ = new QSizeGrip(this);
  grip_->setAccessibleName("Resize window");
  grip_->resize(14, 14);

  subscriptions_.emplace_back(form.Form, [this] { SyncWindow(); });
  qApp->installEventFilter(this);  // the key preview
  KeepFocusOffTheVideo();
  Layout();
  SyncWindow();
}

MainWindowView::~MainWindowView() {
  qApp->removeEventFilter(this);
}

skin::SkinButton* MainWindowView::AddButton(ui::Button& model, const char* name, skin::Glyph glyph,
                                            const QString& accessible_name, const QString& text) {
  auto* button = new skin::SkinButton(model, glyph, text, accessible_name, this);
  button->setObjectName(name);
  connect(button, &QAbstractButton::clicked, this, [this, &model] { guard_([&] { model.Click(); }); });
  return button;
}

QVideoWidget* MainWindowView::videoWindow() {
  if (!video_) {
    video_ = new QVideoWidget(video_panel_);
    video_->setAspectRatioMode(Qt::KeepAspectRatio);  // letterboxed on black
    video_->setFocusPolicy(Qt::NoFocus);
    video_->setGeometry(0, 0, video_panel_->width(), video_panel_->height());
    WatchPointer(video_);
    for (QWidget* child : video_->findChildren<QWidget*>()) WatchPointer(child);
    video_->setVisible(!logo_->isVisible());
    if (logo_->isVisible()) logo_->raise();
  }
  return video_;
}

void MainWindowView::SetLogoVisible(bool visible) {
  // The video widget may draw in a window of its own that no sibling can
  // cover, so it is hidden while the logo is up.
  logo_->setVisible(visible);
  if (video_) video_->setVisible(!visible);
  if (visible) logo_->raise();
  // A video that starts under a resting pointer hides it in time too.
  if (visible) {
    ShowPointer();
  } else if (pointer_inside_) {
    pointer_timer_->start();
  }
}

void MainWindowView::ShowTrimRows() {
  // A failed preview's reason stays until the bar is loaded again.
  const std::string& note = form_.Panel1.Caption();
  const QString caption = Q(note.rfind(sources::kPreviewFailurePrefix, 0) == 0
                                ? note
                                : sources::TrimBarCaption(form_.dxTreeSourceFileInfo, form_.TrimRowId));
  // This runs inside key handling, which the key preview must see without an
  // event sent in between (a tooltip change would be one): the text alone.
  const QString shown = trim_rows_->fontMetrics().elidedText(caption, Qt::ElideMiddle, trim_rows_->width());
  if (trim_rows_->text() != shown) trim_rows_->setText(shown);
  grid_->viewport()->update();
}

skin::SkinButton* MainWindowView::button(const char* name) const {
  return findChild<skin::SkinButton*>(name);
}

void MainWindowView::SyncWindow() {
  const ui::Window& w = form_.Form;
  setWindowTitle(Q(w.Caption()));
  setEnabled(w.Enabled());
  if (form_.MinWidth > 0 || form_.MinHeight > 0) setMinimumSize(form_.MinWidth, form_.MinHeight);
  setAcceptDrops(form_.AcceptsDroppedFiles);
  if (w.Visible() && !isVisible()) {
    if (!centred_) {
      centred_ = true;
      if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
      }
    }
    show();
  } else if (!w.Visible() && isVisible()) {
    hide();
  }
  if (w.Minimized() && !isMinimized() && isVisible()) showMinimized();
  if (!w.Minimized() && isMinimized()) showNormal();
}

void MainWindowView::Layout() {
  const int w = width(), h = height();
  auto place = [this](const char* name, int x, int y, int cw, int ch) {
    if (QWidget* child = findChild<QWidget*>(name)) child->setGeometry(x, y, cw, ch);
  };
  title_->setGeometry(12, 0, w - 90, kTitleHeight);
  place("btnWindowMinimize", w - 58, 5, 22, 20);
  place("btnWindowClose", w - 32, 5, 22, 20);
  const int big_x = w - 12 - 4 * 48 - 3 * 8;
  place("btnHomePage", big_x, 38, 48, 48);
  place("btnEMail", big_x + 56, 38, 48, 48);
  place("btnHelp", big_x + 112, 38, 48, 48);
  place("btnAbout", big_x + 168, 38, 48, 48);

  // The video leaves a line above the trim bar for its caption.
  video_panel_->setGeometry(12, 40, 253, 138);
  if (video_) video_->setGeometry(0, 0, 253, 138);
  logo_->setGeometry(0, 0, 253, 138);
  if (logo_->pixmap().isNull()) logo_->setPixmap(skin::Logo(QSize(253, 138), logo_->devicePixelRatioF()));
  trim_rows_->setGeometry(12, 180, 253, 16);
  ShowTrimRows();
  trim_bar_->move(8, 198);
  place("btnPlay", 12, 224, 25, 25);
  place("btnPause", 41, 224, 25, 25);
  place("btnStop", 70, 224, 25, 25);
  clock_->setGeometry(168, 224, 100, 25);

  const int col = 290, field = 410, right = w - 12;
  place("lblOutputFileTypeName", col, 98, 118, 22);
  place("cbbOutputFiletype", field, 96, right - field, 24);
  place("lblProfileSettings", col, 130, 118, 22);
  place("cbbProfile", field, 128, right - field - 34, 24);
  place("btnOptions", right - 30, 128, 30, 24);
  place("lblOutputFolderInfo", col, 162, 118, 22);
  place("edtOutputFolder", field, 160, right - field - 34, 24);
  place("RzBmpButton1", right - 30, 160, 30, 24);
  place("btnSelectOutputFolder", right - 30, 160, 30, 24);
  place("chkShutdown", col, 194, 18, 18);
  place("Label1", col + 22, 192, right - col - 22, 22);
  place("chkShowOutputDirectory", col, 216, 18, 18);
  place("Label2", col + 22, 214, right - col - 22, 22);
  place("Label3", col, 238, 240, 20);

  const int buttons_x = w - 12 - 110, grid_top = 262;
  grid_->setGeometry(12, grid_top, buttons_x - 10 - 12, h - grid_top - 14);
  place("btnOpenFile", buttons_x, grid_top, 110, 34);
  place("btnRemoveFile", buttons_x, grid_top + 40, 110, 34);
  place("btnClearFile", buttons_x, grid_top + 80, 110, 34);
  place("btnConvert", buttons_x, h - 14 - 40, 110, 40);
  grip_->move(w - grip_->width() - 2, h - grip_->height() - 2);
}

void MainWindowView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  skin::PaintBackground(p, rect(), kTitleHeight);
  // Frames around the video area and the grid.
  p.setPen(QPen(QColor(70, 90, 124), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRect(6, 36, 268, 220), 6, 6);
  p.drawRoundedRect(QRect(282, 90, width() - 288, 166), 6, 6);
}

void MainWindowView::resizeEvent(QResizeEvent*) {
  guard_([this] { form_.FormResize(); });
  setMask(skin::WindowShape(size()));
  Layout();
}

}  // namespace app
