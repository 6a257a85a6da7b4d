#include "ui/combo_box.h"

#include <gtest/gtest.h>

namespace {

class ComboBoxRules : public ::testing::Test {
 protected:
  void SetUp() override {
    box.SetItems({"Travel", "Night", "Phone"});
    box.OnChange = [this] { ++changes; };
  }
  ui::ComboBox box;
  int changes = 0;
};

}  // namespace

TEST_F(ComboBoxRules, CodeSelectsSilentlyAndSelectingNoneClearsOnlyASelectedName) {
  box.SetItemIndex(1);
  EXPECT_EQ(box.Text(), "Night");
  box.SetItemIndex(7);  // names no item: counts as none
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");
  box.UserType("typed");
  box.SetItemIndex(ui::ComboBox::kNone);
  box.SetItemIndex(-4);
  EXPECT_EQ(box.Text(), "typed");
  EXPECT_EQ(changes, 1);  // the typing only
}

TEST_F(ComboBoxRules, ReplacingOrClearingTheItemsKeepsTheTextButNoSelection) {
  box.SetItemIndex(2);
  box.SetItems({"A", "Phone"});
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "Phone");
  box.Clear();
  box.SetItemIndex(box.Count() - 1);
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.Text(), "Phone");
}

TEST_F(ComboBoxRules, PickingOrTypingRunsTheHandlerAndTypingNeverSelects) {
  box.UserSelect(1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(box.Text(), "Night");
  box.UserType("Travel");  // an item's exact name: still only text
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  box.SetItemIndex(0);
  box.SetText("");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(changes, 2);
}
