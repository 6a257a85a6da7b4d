#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include "app/option_view.h"
#include "app/qt_services.h"
#include "app_fixture.h"
#include "settings/option_form.h"
#include "test_program.h"
#include "ui/models.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

namespace {

// Runs the action on the modal window once it is up.
void WhenModal(const QString& name, std::function<void(QWidget*)> action) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || (!name.isEmpty() && modal->objectName() != name)) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

}  // namespace

TEST(QtServices, NameFiltersFromTheDialogFilterText) {
  const QStringList filters =
      app::QtNameFilters("Supported Files|*.3gp;*.mp4;|3GP Files (*.3gp)|*.3gp|Flash Files (*.flv,swf)|*.flv;*.swf");
  EXPECT_EQ(filters, (QStringList{"Supported Files (*.3gp *.mp4)", "3GP Files (*.3gp) (*.3gp)",
                                  "Flash Files (*.flv,swf) (*.flv *.swf)"}));
}

TEST(QtServices, CodecErrorWindowLinkKeepsItOpenAndOkClosesIt) {
  AppFixture f(true, /*real_dialogs=*/true);
  bool open_after_link = false;
  QString caption, text, link, file, file_tip;
  WhenModal("frmCodeError", [&](QWidget* window) {
    caption = window->windowTitle();
    text = window->findChild<QLabel*>("Label1")->text();
    link = window->findChild<QLabel*>("Label2")->text();
    file = window->findChild<QLabel*>("lblFile")->text();
    file_tip = window->findChild<QLabel*>("lblFile")->toolTip();
    QTest::mouseClick(window->findChild<QLabel*>("Label2"), Qt::LeftButton);
    open_after_link = window->isVisible();
    QTest::mouseClick(window->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
  });
  // A long folder: the window names the file, its name in sight, the whole path in the tooltip.
  const std::string path = "/home/ann/" + std::string(120, 'v') + "/clips/holiday clip.avi";
  f.program().dialogs().ShowCodecError(path);
  EXPECT_EQ(caption, "Error Info");
  EXPECT_TRUE(file.endsWith("/clips/holiday clip.avi")) << file.toStdString();
  EXPECT_LT(file.size(), static_cast<qsizetype>(path.size()));
  EXPECT_EQ(file_tip.toStdString(), path);
  EXPECT_EQ(text,
            "Files reading error! Please check your files or install a new codec. You can click the link to download "
            "the latest codec.");
  EXPECT_EQ(link, "(Click here to download)");
  EXPECT_TRUE(open_after_link);
  ASSERT_EQ(f.launcher.opened.size(), 1u);
  EXPECT_EQ(f.launcher.opened[0], "file://" + f.AppDir() + "Help.html#codecs");
}

TEST(QtServices, MessageBoxesCarryCaptionTextAndAnswer) {
  AppFixture f(true, /*real_dialogs=*/true);
  QString caption, text;
  WhenModal("", [&](QWidget* box) {
    caption = box->windowTitle();
    text = static_cast<QMessageBox*>(box)->text();
    static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
  });
  EXPECT_TRUE(f.program().dialogs().AskYesNo("Video To Plim Converter", "Are you sure you want to stop the work ? "));
  EXPECT_EQ(caption, "Video To Plim Converter");
  EXPECT_EQ(text, "Are you sure you want to stop the work ? ");
  WhenModal("", [&](QWidget* box) { static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click(); });
  EXPECT_FALSE(f.program().dialogs().AskYesNo("Video To Plim Converter", "Are you sure to stop processing ?"));
}

TEST(QtServices, AboutBoxComesFromFormLibrary) {
  AppFixture f;
  f.Start();
  QString caption;
  QStringList texts;
  WhenModal("frmAbout", [&](QWidget* box) {
    caption = box->windowTitle();
    for (QLabel* label : box->findChildren<QLabel*>()) texts << label->text();
    box->findChild<QPushButton*>("btnAboutClose")->click();
  });
  QTest::mouseClick(f.window().button("btnAbout"), Qt::LeftButton);
  EXPECT_EQ(caption, "About Video To Plim Converter");
  EXPECT_TRUE(texts.contains("Video To Plim Converter 2.0"));
}

TEST(QtServices, TheAboutBoxShowsEveryTextWholeEachOnItsOwnLine) {
  AppFixture f;
  f.Start();
  std::vector<QRect> places;
  QStringList cut;
  QRect dialog;
  QLabel* home = nullptr;
  QLabel* mail = nullptr;
  WhenModal("frmAbout", [&](QWidget* box) {
    dialog = box->rect();
    for (QLabel* label : box->findChildren<QLabel*>()) {
      places.push_back(label->geometry());
      // A label shows its text whole when its own wish fits the room it has.
      const QSize wish =
          label->wordWrap() ? QSize(label->width(), label->heightForWidth(label->width())) : label->sizeHint();
      if (wish.width() > label->width() || wish.height() > label->height())
        cut << label->text() + QString(" (%1x%2 in %3x%4)")
                                   .arg(wish.width())
                                   .arg(wish.height())
                                   .arg(label->width())
                                   .arg(label->height());
      if (label->text().startsWith("https://")) home = label;
      if (label->text().contains('@')) mail = label;
    }
    ASSERT_TRUE(home && mail);
    EXPECT_GE(mail->y(), home->y() + home->height()) << "home page and e-mail on lines of their own";
    box->findChild<QPushButton*>("btnAboutClose")->click();
  });
  QTest::mouseClick(f.window().button("btnAbout"), Qt::LeftButton);
  EXPECT_TRUE(cut.isEmpty()) << cut.join(" | ").toStdString();
  for (size_t i = 0; i < places.size(); ++i) {
    EXPECT_TRUE(dialog.contains(places[i])) << i;
    for (size_t j = i + 1; j < places.size(); ++j) EXPECT_FALSE(places[i].intersects(places[j])) << i << " " << j;
  }
}

TEST(QtServices, TheOpenDialogsSizeColumnHoldsASizeWhole) {
  AppFixture f(true, /*real_dialogs=*/true);
  testing_support::TempDir media;
  testing_support::WriteFile(media.file("clip.avi"), std::string(327'123, 'x'));  // "319.5 KiB"
  int size_width = 0, needed = 0;
  WhenModal("", [&](QWidget* window) {
    auto* details = window->findChild<QTreeView*>("treeView");
    if (details) {
      size_width = details->header()->sectionSize(1);
      needed = details->header()->fontMetrics().horizontalAdvance("1023.99 KiB") + 8;
    }
    window->close();
  });
  ui::OpenFilesRequest request;
  request.initial_folder = media.path();
  request.filter = "Supported Files|*.avi;";
  EXPECT_TRUE(f.program().dialogs().OpenFiles(request).empty());
  EXPECT_GE(size_width, needed);
}

TEST(QtServices, TimersFireThroughTheLoopAndPostedWorkRunsInOrder) {
  AppFixture f;
  app::QtEventLoop& loop = f.application->loop();
  ui::Timer timer(20, true);
  int fired = 0;
  timer.OnTimer = [&] {
    ++fired;
    loop.Wait(60);  // a handler that waits does not see its own timer inside itself
  };
  loop.Attach(timer);
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) loop.Post([&order, i] { order.push_back(i); });
  EXPECT_TRUE(WaitFor([&] { return fired >= 2; }, 2000));
  timer.SetEnabled(false);
  const int after = fired;
  loop.Wait(100);
  EXPECT_LE(fired, after + 1);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  loop.Detach(timer);
  // Errors escaping posted work go to the general error report.
  loop.Post([] { throw std::runtime_error("posted failure"); });
  loop.ProcessEvents();
  ASSERT_FALSE(f.dialogs.messages.empty());
  EXPECT_EQ(f.dialogs.messages.back().text, "posted failure");
}

TEST(QtServices, AProfileNameTheFileCouldNotHoldIsRefusedInTheRealOptionsWindow) {
  AppFixture f(true, /*real_dialogs=*/true);
  f.Start();
  QTest::mouseClick(f.window().button("btnOptions"), Qt::LeftButton);
  app::OptionView& options = f.application->optionDialog();
  ASSERT_TRUE(WaitFor([&] { return options.isVisible(); }));
  auto* box = options.findChild<QComboBox*>("cbbCustomProfile");
  ASSERT_TRUE(box && box->lineEdit());
  const QString refused =
      "A profile name must not contain \"=\", \"[\", \"]\", line breaks or other control characters.";

  // Typed into the box, key by key, then Save.
  QStringList warnings;
  const auto take_warning = [&](QWidget* modal) {
    auto* message = qobject_cast<QMessageBox*>(modal);
    if (!message) return;
    warnings << message->text();
    message->button(QMessageBox::Ok)->click();
  };
  QTest::keyClicks(box->lineEdit(), "a=b");
  EXPECT_EQ(f.program().OptionForm().cbbCustomProfile.Text(), "a=b");
  WhenModal("", take_warning);
  QTest::mouseClick(options.findChild<QPushButton*>("btnSave"), Qt::LeftButton);

  // Typed into the name prompt of Add.
  QString prompt;
  WhenModal("", [&](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    if (!input) return;
    prompt = input->labelText();
    auto* edit = input->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, "a=b");
    WhenModal("", take_warning);
    QTest::keyClick(edit, Qt::Key_Return);
  });
  QTest::mouseClick(options.findChild<QPushButton*>("btnAdd"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return warnings.size() == 2; }));

  EXPECT_EQ(prompt, "Please input a name");
  EXPECT_EQ(warnings, (QStringList{refused, refused}));
  EXPECT_EQ(box->count(), 0);
  const auto profiles = testing_support::ReadFile(f.AppDir() + "Config/UserProfileInfo.ini");
  EXPECT_EQ(profiles.value_or("").find("a=b"), std::string::npos) << profiles.value_or("");
}
