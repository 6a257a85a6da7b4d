#include "app/converting_view.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>

#include "app/qt_services.h"
#include "app/skin.h"
#include "engine/converting_form.h"
#include "shell/program.h"

namespace app {

namespace {

constexpr int kHeight = 238;
constexpr int kStatusHeight = 38;

// The encoder pads its numbers to fixed widths for a console; in a proportional
// font the padding only pushes the last fields out of sight, and a line break
// could fall between a name and its value. "size=    812kB" shows as "size=812kB".
QString StatusForDisplay(QString line) {
  static const QRegularExpression padding(QStringLiteral("=\\s+"));
  line.replace(padding, QStringLiteral("="));
  return line.simplified();
}

}  // namespace

ConvertingView::ConvertingView(Program& program, TfrmConverting& form, QWidget* main_window)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      program_(program),
      form_(form),
      main_window_(main_window),
      guard_(MakeGuard(program)) {
  setObjectName("frmConverting");
  setModal(false);
  setFixedSize(435, kHeight);
  auto label = [this](ui::Label& model, const char* name, int x, int y, int w, bool bold = false) {
    auto* l = new LabelView(model, this);
    l->setObjectName(name);
    l->setGeometry(x, y, w, 20);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, skin::kText);
    l->setPalette(pal);
    if (bold) {
      QFont f = l->font();
      f.setBold(true);
      l->setFont(f);
    }
    return l;
  };
  label(form.lblInfo, "lblInfo", 16, 12, 400, true);
  label(form.lblCurConvertFileL, "lblCurConvertFileL", 16, 42, 150);
  QLabel* file = label(form.lblCurFileName, "lblCurFileName", 16, 62, 403);
  file->setTextFormat(Qt::PlainText);
  label(form.lblTotalFilr, "lblTotalFilr", 16, 92, 90);
  auto* total = new ProgressBarView(form.pbTotal, this);
  total->setObjectName("pbTotal");
  total->setAccessibleName("Total progress");
  total->setGeometry(110, 94, 309, 16);
  label(form.lblCurprog, "lblCurprog", 16, 118, 90);
  auto* current = new ProgressBarView(form.ProgressBar1, this);
  current->setObjectName("ProgressBar1");
  current->setAccessibleName("Current file progress");
  current->setGeometry(110, 120, 309, 16);
  label(form.lblPersent, "lblPersent", 16, 150, 170);
  label(form.lblTimeLeft, "lblTimeLeft", 16, 172, 170);
  btnStop.OnClick = [this] { form_.btnStop1Click(); };
  auto* stop = new skin::SkinButton(btnStop, skin::Glyph::Stop, "Stop", "Stop conversion", this);
  stop->setObjectName("btnStop");
  stop->setGeometry(309, 146, 110, 34);
  stop_view_.reset(stop);
  connect(stop, &QAbstractButton::clicked, this, [this] { guard_([this] { btnStop.Click(); }); });
  // Pause and Resume share a place; the model shows one at a time.
  auto* pause = new skin::SkinButton(form.btnPause, skin::Glyph::Pause, "Pause", "Pause conversion", this);
  pause->setObjectName("btnPause");
  pause->setGeometry(193, 146, 110, 34);
  connect(pause, &QAbstractButton::clicked, this, [this] { guard_([this] { form_.btnPause.Click(); }); });
  auto* resume = new skin::SkinButton(form.btnResume, skin::Glyph::Play, "Resume", "Resume conversion", this);
  resume->setObjectName("btnResume");
  resume->setGeometry(193, 146, 110, 34);
  connect(resume, &QAbstractButton::clicked, this, [this] { guard_([this] { form_.btnResume.Click(); }); });
  // Left to right, as they stand.
  setTabOrder(pause, resume);
  setTabOrder(resume, stop);
  status_ = new QStatusBar(this);
  status_->setObjectName("statState");
  status_->setSizeGripEnabled(false);
  // Two lines high: the encoder's line wraps between its fields rather than
  // losing its size and bitrate past the right edge.
  status_->setGeometry(0, kHeight - kStatusHeight, 435, kStatusHeight);
  status_->setAutoFillBackground(true);
  QPalette light = status_->palette();
  light.setColor(QPalette::Window, QColor(226, 230, 236));
  light.setColor(QPalette::WindowText, Qt::black);
  status_->setPalette(light);
  auto* state = new QLabel(status_);
  state->setObjectName("statStatePanel");
  state->setTextFormat(Qt::PlainText);
  state->setWordWrap(true);
  state->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  status_->addWidget(state, 1);
  subscriptions_.emplace_back(form.statState, [this, state] {
    const QString line = StatusForDisplay(Q(form_.statState.PanelText()));
    state->setText(line);
    // Whatever still does not fit is in the tooltip.
    state->setToolTip(line);
  });
  subscriptions_.emplace_back(form.Form, [this] { SyncWindow(); });
  SyncWindow();
}

void ConvertingView::SyncWindow() {
  setWindowTitle(Q(form_.Form.Caption()));
  if (form_.Form.Visible() && !isVisible()) {
    // Centred on the main window.
    if (main_window_) move(main_window_->geometry().center() - QPoint(width() / 2, height() / 2));
    show();
    raise();
    activateWindow();
  } else if (!form_.Form.Visible() && isVisible()) {
    hide();
  }
}

void ConvertingView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient g(0, 0, 0, height());
  g.setColorAt(0, skin::kBackgroundTop);
  g.setColorAt(1, skin::kBackgroundBottom);
  p.fillRect(rect(), g);
  p.setPen(QPen(skin::kAccent, 2));
  p.drawLine(0, 36, width(), 36);
}

// The close box asks first; No keeps the window and the conversion going.
void ConvertingView::closeEvent(QCloseEvent* event) {
  bool may_close = false;
  guard_([&] { may_close = form_.FormClose(); });
  if (may_close)
    event->accept();
  else
    event->ignore();
}

// Esc is no way round the question.
void ConvertingView::reject() {
  close();
}

}  // namespace app
