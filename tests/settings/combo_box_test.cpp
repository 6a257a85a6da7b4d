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

TEST_F(ComboBoxRules, SelectingFromCodeShowsTheNameAndNeverRunsTheHandler) {
  box.SetItemIndex(1);
  EXPECT_EQ(box.ItemIndex(), 1);
  EXPECT_EQ(box.Text(), "Night");
  box.SetItemIndex(2);
  EXPECT_EQ(box.Text(), "Phone");
  EXPECT_EQ(changes, 0);
}

TEST_F(ComboBoxRules, SelectingNoneClearsTheTextOnlyWhenAnItemWasSelected) {
  box.SetItemIndex(0);
  box.SetItemIndex(ui::ComboBox::kNone);
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");

  box.UserType("typed");
  box.SetItemIndex(ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "typed");
  // A position naming no item counts as none, in both states.
  box.SetItemIndex(-4);
  box.SetItemIndex(7);
  EXPECT_EQ(box.Text(), "typed");
  box.SetItemIndex(1);
  box.SetItemIndex(7);
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");
}

TEST_F(ComboBoxRules, ReplacingOrClearingTheItemsKeepsTheTextButNoSelection) {
  box.SetItemIndex(2);
  box.SetItems({"A", "Phone"});
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "Phone");
  box.Clear();
  EXPECT_EQ(box.Count(), 0);
  EXPECT_EQ(box.Text(), "Phone");
  // With nothing selected, selecting none leaves the kept text alone.
  box.SetItemIndex(box.Count() - 1);
  EXPECT_EQ(box.Text(), "Phone");
}

TEST_F(ComboBoxRules, AUsersPickOrTypingRunsTheHandlerAndTypingDeselects) {
  box.UserSelect(1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(box.Text(), "Night");
  box.UserType("Nigh");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "Nigh");
  // Typing an item's exact name still selects nothing: only a pick does.
  box.UserType("Travel");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
}

TEST_F(ComboBoxRules, TextFromCodeDeselectsADifferentItemAndRunsNoHandler) {
  box.SetItemIndex(0);
  box.SetText("Travel");
  EXPECT_EQ(box.ItemIndex(), 0);
  box.SetText("");
  EXPECT_EQ(box.ItemIndex(), ui::ComboBox::kNone);
  EXPECT_EQ(box.Text(), "");
  EXPECT_EQ(changes, 0);
}

TEST_F(ComboBoxRules, ViewsAreToldOfChanges) {
  int notified = 0;
  box.Subscribe([&] { ++notified; });
  box.SetItemIndex(1);
  box.UserType("x");
  box.SetItems({});
  EXPECT_EQ(notified, 3);
}
