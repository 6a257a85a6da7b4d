// A list control: ordered item texts and a selected position or none.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/model.h"

namespace ui {

class ListBox : public Model {
 public:
  static constexpr int kNone = -1;

  // Run only when the user picks an item, never when code selects one.
  std::function<void()> OnChange;

  const std::vector<std::string>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }

  void Add(const std::string& item);
  // Removes every item; nothing stays selected.
  void Clear();
  // Replaces the items; nothing stays selected.
  void SetItems(std::vector<std::string> items);

  // Text of the item at a position; empty for a position that names no item.
  std::string ItemText(int position) const;

  int ItemIndex() const { return index_; }
  // Selection from code: a position that names no item leaves no selection.
  // Never runs OnChange.
  void SetItemIndex(int position);
  // A user's pick: selects and runs OnChange.
  void UserSelect(int position);

  // Text of the selected item, empty when nothing is selected.
  std::string Text() const { return ItemText(index_); }

 private:
  std::vector<std::string> items_;
  int index_ = kNone;
};

}  // namespace ui
