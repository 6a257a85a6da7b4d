// An editable drop-down box: a list of items with a selected position or none,
// and a text that is either the selected item's name or what the user typed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/list_box.h"
#include "ui/model.h"

namespace ui {

class ComboBox : public Model {
 public:
  static constexpr int kNone = ListBox::kNone;

  // Run when the user picks an item or types; never for changes made by code.
  std::function<void()> OnChange;

  const std::vector<std::string>& Items() const { return list_.Items(); }
  int Count() const { return list_.Count(); }
  std::string ItemText(int position) const { return list_.ItemText(position); }

  // Replacing or removing the items keeps the text shown and leaves no item selected.
  void SetItems(std::vector<std::string> items);
  void Clear() { SetItems({}); }

  int ItemIndex() const { return list_.ItemIndex(); }
  // Selection from code. A position naming an item shows that item's name; any
  // other position selects none, which clears the text if an item was selected
  // and changes nothing otherwise.
  void SetItemIndex(int position);

  // The text shown: the selected item's name, or the typed text.
  const std::string& Text() const { return text_; }
  // Text set from code; a selected item whose name differs is deselected.
  void SetText(const std::string& text);

  // A user's pick: selects the item, shows its name and runs OnChange.
  void UserSelect(int position);
  // A user's typing: the text replaces what was shown, no item stays selected
  // and OnChange runs.
  void UserType(const std::string& text);

 private:
  ListBox list_;
  std::string text_;
};

}  // namespace ui
