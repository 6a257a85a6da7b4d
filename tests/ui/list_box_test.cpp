#include "ui/list_box.h"

#include <gtest/gtest.h>

TEST(ListBox, SelectionFromCodeNeverRunsTheChangeHandlerButAUsersPickDoes) {
  int changes = 0;
  ui::ListBox list;
  for (const char* item : {"a", "b", "c"}) list.Add(item);
  list.OnChange = [&] { ++changes; };

  list.SetItemIndex(1);
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_EQ(list.Text(), "b");
  EXPECT_EQ(changes, 0);

  list.UserSelect(2);
  EXPECT_EQ(list.Text(), "c");
  EXPECT_EQ(changes, 1);
}

TEST(ListBox, PositionsThatNameNoItemLeaveNoSelectionAndReadEmpty) {
  ui::ListBox list;
  list.Add("only");
  list.SetItemIndex(0);
  for (int bad : {1, 5, -1, -7}) {
    list.SetItemIndex(0);
    list.SetItemIndex(bad);
    EXPECT_EQ(list.ItemIndex(), ui::ListBox::kNone) << bad;
    EXPECT_EQ(list.Text(), "");
    EXPECT_EQ(list.ItemText(bad), "");
  }
}

TEST(ListBox, ClearingOrReplacingItemsDropsTheSelection) {
  ui::ListBox list;
  list.SetItems({"x", "y"});
  list.SetItemIndex(1);
  list.SetItems({"p", "q", "r"});
  EXPECT_EQ(list.ItemIndex(), ui::ListBox::kNone);
  list.SetItemIndex(2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ItemIndex(), ui::ListBox::kNone);
  EXPECT_EQ(list.Text(), "");
}

TEST(ListBox, ViewsAreToldOfEveryChange) {
  ui::ListBox list;
  int notified = 0;
  int id = list.Subscribe([&] { ++notified; });
  list.Add("a");
  list.SetItemIndex(0);
  list.Unsubscribe(id);
  list.Add("b");
  EXPECT_EQ(notified, 2);
}
