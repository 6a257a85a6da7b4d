#include "app/option_view.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/qt_services.h"
#include "settings/option_form.h"
#include "shell/program.h"

namespace app {

ComboBoxView::ComboBoxView(ui::ComboBox& model, Guard guard, QWidget* parent)
    : QComboBox(parent), model_(model), guard_(std::move(guard)) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // typed text is no new item
  connect(this, &QComboBox::activated, this, [this](int index) { guard_([&] { model_.UserSelect(index); }); });
  connect(lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { guard_([&] { model_.UserType(S(text)); }); });
  subscription_ = Subscription(model_, [this] { Sync(); });
  Sync();
}

void ComboBoxView::Sync() {
  QSignalBlocker block(this);
  QSignalBlocker block_edit(lineEdit());
  SyncComboItems(*this, model_.Items(), model_.ItemIndex());
  if (lineEdit()->text() != Q(model_.Text())) lineEdit()->setText(Q(model_.Text()));
}

OptionView::OptionView(Program& program, TfrmOption& form)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      program_(program),
      form_(form),
      guard_(MakeGuard(program)) {
  setObjectName("frmOption");
  setModal(false);

  auto* custom_label = new LabelView(form.lblCustomProfile, this);
  auto* custom = new ComboBoxView(form.cbbCustomProfile, guard_, this);
  custom->setObjectName("cbbCustomProfile");
  custom->setMinimumWidth(180);
  NameAfter(custom, custom_label);
  auto button = [this](const char* name, const char* text, std::function<void()> handler) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, handler] { guard_(handler); });
    return b;
  };
  auto* add = button("btnAdd", "Add", [this] { form_.btnAddClick(); });
  auto* save = button("btnSave", "Save", [this] { form_.btnSaveClick(); });
  auto* del = button("btnDel", "Delete", [this] { form_.btnDelClick(); });
  auto* top = new QHBoxLayout();
  top->addWidget(custom_label);
  top->addWidget(custom, 1);
  top->addWidget(add);
  top->addWidget(save);
  top->addWidget(del);

  auto* group = new QGroupBox(Q(form.grpAdvOptions.Caption()), this);
  group->setObjectName("grpAdvOptions");
  auto* grid = new QGridLayout(group);
  struct Row {
    ui::Label& label;
    ui::ListBox& list;
    const char* name;
  };
  const Row video[] = {{form.lblVideoSize, form.cbbVideoSize, "cbbVideoSize"},
                       {form.lblVideoBitrate, form.cbbVideoBitrate, "cbbVideoBitrate"},
                       {form.lblFrameRate, form.cbbFramerate, "cbbFramerate"},
                       {form.lblAspectRatio, form.cbbAspectratio, "cbbAspectratio"}};
  const Row audio[] = {{form.lblAudioBitrate, form.cbbAudioBitrate, "cbbAudioBitrate"},
                       {form.lblSample, form.cbbAudioSample, "cbbAudioSample"},
                       {form.lblVolume, form.cbbAudioVolumeGain, "cbbAudioVolumeGain"},
                       {form.lblChannels, form.cbbAudioChannels, "cbbAudioChannels"}};
  for (int i = 0; i < 4; ++i) {
    auto* video_label = new LabelView(video[i].label, group);
    grid->addWidget(video_label, i, 0);
    auto* v = new ListBoxCombo(video[i].list, guard_, group);
    v->setObjectName(video[i].name);
    NameAfter(v, video_label);
    v->setMinimumWidth(120);
    grid->addWidget(v, i, 1);
    auto* audio_label = new LabelView(audio[i].label, group);
    grid->addWidget(audio_label, i, 2);
    auto* a = new ListBoxCombo(audio[i].list, guard_, group);
    a->setObjectName(audio[i].name);
    NameAfter(a, audio_label);
    a->setMinimumWidth(120);
    grid->addWidget(a, i, 3);
  }
  grid->setColumnMinimumWidth(2, 130);
  grid->addWidget(new LabelView(form.lblAudioBitrateKept, group), 4, 2, 1, 2);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("btnApply");
  ok->setDefault(true);  // Enter
  connect(ok, &QPushButton::clicked, this, [this] { guard_([this] { form_.btnApplyClick(); }); });
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("btnCancel");
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, [this] { guard_([this] { form_.btnCancelClick(); }); });
  auto* bottom = new QHBoxLayout();
  bottom->addStretch(1);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(group);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Tab follows the layout, row by row: the profile line, the lists, OK and Cancel.
  setTabOrder(custom, add);
  setTabOrder(add, save);
  setTabOrder(save, del);
  setTabOrder(del, group->findChild<QWidget*>(video[0].name));
  setTabOrder(group->findChild<QWidget*>(audio[3].name), ok);
  setTabOrder(ok, cancel);

  subscription_ = Subscription(form.Form, [this] { SyncWindow(); });
  SyncWindow();
}

void OptionView::SyncWindow() {
  setWindowTitle(Q(form_.Form.Caption()));
  if (form_.Form.Visible() && !isVisible()) {
    if (!centred_) {
      centred_ = true;
      adjustSize();
      if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
  } else if (!form_.Form.Visible() && isVisible()) {
    hide();
  }
}

// Esc is the Cancel button.
void OptionView::reject() {
  guard_([this] { form_.btnCancelClick(); });
}

// The close box hides the dialog and restores nothing.
void OptionView::closeEvent(QCloseEvent* event) {
  guard_([this] { form_.FormClose(); });
  event->accept();
}

}  // namespace app
