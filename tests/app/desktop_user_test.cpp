// What a desktop user expects of the list, the dialogs and the windows, tried
// through the real widgets key by key and click by click.
#include <gtest/gtest.h>

#include <QComboBox>

#include "app_fixture.h"
#include "settings/option_form.h"

using testing_support::AppFixture;
using testing_support::WaitFor;

namespace {

QComboBox* Combo(AppFixture& f, const char* name) {
  return f.window().findChild<QComboBox*>(name);
}

}  // namespace

TEST(AppUserSettings, TheOutputTypeAndProfilePickedAreThereAtTheNextStart) {
  AppFixture f;
  f.Start();
  QComboBox* type = Combo(f, "cbbOutputFiletype");
  QComboBox* profile = Combo(f, "cbbProfile");
  ASSERT_TRUE(type && profile);
  EXPECT_EQ(type->currentIndex(), 0);
  EXPECT_EQ(profile->currentText(), "Normal Quality");

  type->setFocus();
  QTest::keyClick(type, Qt::Key_Down);
  QTest::keyClick(type, Qt::Key_Down);
  profile->setFocus();
  QTest::keyClick(profile, Qt::Key_Down);
  EXPECT_EQ(f.form().cbbOutputFiletype.Text(), "M4A MPEG Audio Files (*.m4a)");
  EXPECT_EQ(f.form().cbbProfile.Text(), "Excellent Quality");
  QTest::mouseClick(f.window().button("btnWindowClose"), Qt::LeftButton);
  ASSERT_TRUE(f.program().Ended());

  f.Reopen();
  f.Start();
  EXPECT_EQ(Combo(f, "cbbOutputFiletype")->currentText(), "M4A MPEG Audio Files (*.m4a)");
  EXPECT_EQ(Combo(f, "cbbProfile")->currentText(), "Excellent Quality");
  // The Options dialog's lists follow the profile, as after a pick.
  EXPECT_EQ(f.program().OptionForm().cbbAudioBitrate.Text(), "192");
}
