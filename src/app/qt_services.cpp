#include "app/qt_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTreeView>

#include "app/bindings.h"
#include "app/skin.h"
#include "platform/services.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "ui/models.h"

namespace app {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
std::string S(const QString& text) {
  return text.toStdString();
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList result;
  const QStringList parts = Q(filter).split('|');
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) patterns << p.trimmed();
    result << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return result;
}

// ---------------------------------------------------------------- dialogs

QWidget* QtDialogs::Owner() const {
  // A box owned by a disabled window (the main window during a batch) could not
  // be answered; the window the user works in owns it then.
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  // A prompt asked from a dialog (the Options dialog's Add) belongs to it: on
  // closing, the window manager hands the focus back to the dialog, not to the
  // main window behind it.
  QWidget* active = QApplication::activeWindow();
  if (active && active->isEnabled() && qobject_cast<QDialog*>(active)) return active;
  if (owner_ && owner_->isVisible() && owner_->isEnabled()) return owner_;
  return active && active->isEnabled() ? active : nullptr;
}

void QtDialogs::Message(ui::MessageKind kind, const std::string& caption, const std::string& text) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (kind) {
    case ui::MessageKind::Error:
      icon = QMessageBox::Critical;
      break;
    case ui::MessageKind::Warning:
      icon = QMessageBox::Warning;
      break;
    case ui::MessageKind::Question:
      icon = QMessageBox::Question;
      break;
    case ui::MessageKind::Information:
      icon = QMessageBox::Information;
      break;
  }
  QMessageBox box(icon, Q(caption), Q(text), QMessageBox::Ok, Owner());
  box.exec();
}

bool QtDialogs::AskYesNo(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputText(const std::string& caption, const std::string& prompt,
                                                const std::string& initial) {
  QInputDialog dialog(Owner());
  dialog.setWindowTitle(Q(caption));
  dialog.setLabelText(Q(prompt));
  dialog.setTextValue(Q(initial));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return S(dialog.textValue());
}

std::optional<std::string> QtDialogs::BrowseForFolder(const std::string& title, const std::string& initial_folder) {
  const QString folder =
      QFileDialog::getExistingDirectory(Owner(), Q(title), Q(initial_folder), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return S(folder);
}

std::vector<std::string> QtDialogs::OpenFiles(const ui::OpenFilesRequest& request) {
  QFileDialog dialog(Owner(), Q(request.title), Q(request.initial_folder));
  dialog.setFileMode(request.multi_select ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::ReadOnly, true);
  // The captions carry their own pattern lists, so Qt's second copy is hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = QtNameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  dialog.setSizeGripEnabled(true);
  // Qt's own dialog gives the size column too little room for "319.5 KiB".
  if (auto* details = dialog.findChild<QTreeView*>("treeView")) {
    QHeaderView* header = details->header();
    const int size_width = header->fontMetrics().horizontalAdvance("0000.00 MiB") + 24;
    header->resizeSection(1, std::max(header->sectionSize(1), size_width));
  }
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(S(file));
  return chosen;
}

void QtDialogs::ShowCodecError(const std::string& path) {
  if (!program_) return;
  // A new window for every call; it goes when it was closed.
  TFrmCodeErrorForm model(*program_);
  QDialog dialog(Owner());
  dialog.setObjectName("frmCodeError");
  dialog.setWindowTitle(Q(model.Form.Caption()));
  dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  // One line more than the design's 96 pixels: the window names the file.
  dialog.setFixedSize(413, 118);
  auto* image = new QLabel(&dialog);  // Image1: its place, no picture
  image->setGeometry(10, 10, 32, 32);
  auto* label1 = new QLabel(Q(model.Label1.Caption()), &dialog);
  label1->setObjectName("Label1");
  label1->setWordWrap(true);
  label1->setGeometry(52, 8, 350, 44);
  // The file's name stays in sight however long its folder; the tooltip has it all.
  auto* file = new QLabel(&dialog);
  file->setObjectName("lblFile");
  file->setGeometry(52, 54, 350, 18);
  QFont bold = file->font();
  bold.setBold(true);
  file->setFont(bold);
  file->setText(QFontMetrics(bold).elidedText(Q(path), Qt::ElideLeft, file->width()));
  file->setToolTip(Q(path));
  Program* program = program_;
  auto* label2 = new LinkLabel(
      Q(model.Label2.Caption()), skin::kAccent, [program, &model] { program->Guarded([&] { model.Label2Click(); }); },
      &dialog);
  label2->setObjectName("Label2");
  label2->setGeometry(52, 80, 200, 20);
  auto* ok = new QPushButton(Q(model.BitBtn1.Caption()), &dialog);
  ok->setObjectName("BitBtn1");
  ok->setGeometry(322, 82, 80, 26);
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  dialog.exec();
}

// ---------------------------------------------------------------- event loop

QtEventLoop::QtEventLoop(std::function<void(const std::exception&)> report)
    : report_(std::move(report)), receiver_(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() {
  for (auto& b : bindings_) b.model->Unsubscribe(b.subscription);
}

void QtEventLoop::Run(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    if (report_) report_(error);
  }
}

void QtEventLoop::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::Wait(int ms) {
  if (ms <= 0) {
    ProcessEvents();
    return;
  }
  // A nested loop handles events as they come until the time is up.
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

void QtEventLoop::Post(std::function<void()> work) {
  // Queued calls on one receiver run in the order they were posted.
  QMetaObject::invokeMethod(
      receiver_.get(), [this, work = std::move(work)] { Run(work); }, Qt::QueuedConnection);
}

void QtEventLoop::Attach(ui::Timer& timer) {
  for (auto& b : bindings_)
    if (b.model == &timer) return;
  auto* qtimer = new QTimer(receiver_.get());  // owned by the receiver
  qtimer->setTimerType(Qt::PreciseTimer);
  bindings_.push_back({&timer, qtimer, 0});
  Binding* binding = &bindings_.back();
  binding->subscription = timer.Subscribe([this, binding] { Sync(*binding); });
  QObject::connect(qtimer, &QTimer::timeout, [this, binding] {
    // A handler that waits must not see its own timer fire inside itself.
    if (binding->firing) return;
    binding->firing = true;
    ui::Timer* model = binding->model;
    Run([model] { model->Fire(); });
    // The binding may have been detached by the handler: look it up again.
    for (auto& b : bindings_)
      if (&b == binding) b.firing = false;
  });
  Sync(*binding);
}

void QtEventLoop::Sync(Binding& b) {
  if (b.model->Enabled() && b.model->Interval() > 0) {
    if (!b.timer->isActive() || b.timer->interval() != b.model->Interval()) b.timer->start(b.model->Interval());
  } else {
    b.timer->stop();
  }
}

void QtEventLoop::Detach(ui::Timer& timer) {
  for (auto it = bindings_.begin(); it != bindings_.end(); ++it) {
    if (it->model != &timer) continue;
    it->model->Unsubscribe(it->subscription);
    it->timer->stop();
    it->timer->disconnect();
    it->timer->deleteLater();  // it may be the timer whose handler is running
    bindings_.erase(it);
    return;
  }
}

// ---------------------------------------------------------------- application object

namespace {

struct AboutDialog {
  QDialog dialog;
  Program* program;
};

Program* ProgramOf(void* context) {
  return *static_cast<Program**>(context);
}

void* CreateDialog(void* context, const char* caption, int width, int height) {
  auto about = std::make_unique<AboutDialog>();
  about->program = ProgramOf(context);
  about->dialog.setObjectName("frmAbout");
  about->dialog.setParent(QApplication::activeWindow(), Qt::Dialog);
  about->dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  about->dialog.setWindowTitle(QString::fromUtf8(caption ? caption : ""));
  about->dialog.setFixedSize(width, height);
  return about.release();  // freed by FreeDialog
}

void AddText(void* dialog, int x, int y, int w, int h, const char* text, int style) {
  auto* about = static_cast<AboutDialog*>(dialog);
  auto* label = new QLabel(QString::fromUtf8(text ? text : ""), &about->dialog);
  QFont f = label->font();
  if (style & VTPC_TEXT_BOLD) f.setBold(true);
  if (style & VTPC_TEXT_LARGE) f.setPointSizeF(f.pointSizeF() * 1.4);
  label->setFont(f);
  label->setWordWrap(style & VTPC_TEXT_WRAP);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(x, y, w, h);
}

void AddLink(void* dialog, int x, int y, int w, int h, const char* text, const char* target) {
  auto* about = static_cast<AboutDialog*>(dialog);
  Program* program = about->program;
  const std::string where = target ? target : "";
  auto* label = new LinkLabel(
      QString::fromUtf8(text ? text : ""), skin::kAccent,
      [program, where] { program->Guarded([&] { program->launcher().Open(where); }); }, &about->dialog);
  label->setGeometry(x, y, w, h);
}

void AddLogo(void* dialog, int x, int y, int size) {
  auto* about = static_cast<AboutDialog*>(dialog);
  auto* label = new QLabel(&about->dialog);
  label->setPixmap(skin::Logo(QSize(size, size), label->devicePixelRatioF()));
  label->setGeometry(x, y, size, size);
}

void AddCloseButton(void* dialog, int x, int y, int w, int h, const char* text) {
  auto* about = static_cast<AboutDialog*>(dialog);
  auto* button = new QPushButton(QString::fromUtf8(text ? text : "OK"), &about->dialog);
  button->setObjectName("btnAboutClose");
  button->setGeometry(x, y, w, h);
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, &about->dialog, &QDialog::accept);
}

void RunModal(void* dialog) {
  static_cast<AboutDialog*>(dialog)->dialog.exec();
}

void FreeDialog(void* dialog) {
  std::unique_ptr<AboutDialog>(static_cast<AboutDialog*>(dialog));
}

}  // namespace

ApplicationObject::ApplicationObject(Program*& program) : program_(program) {
  api_.abi_version = VTPC_APPLICATION_ABI;
  api_.context = &program_;
  api_.title = kApplicationTitle;
  api_.CreateDialog = &CreateDialog;
  api_.AddText = &AddText;
  api_.AddLink = &AddLink;
  api_.AddLogo = &AddLogo;
  api_.AddCloseButton = &AddCloseButton;
  api_.RunModal = &RunModal;
  api_.FreeDialog = &FreeDialog;
}

}  // namespace app
