#include "ui/list_box.h"

namespace ui {

void ListBox::Add(const std::string& item) {
  items_.push_back(item);
  Changed();
}

void ListBox::Clear() {
  items_.clear();
  index_ = kNone;
  Changed();
}

void ListBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  index_ = kNone;
  Changed();
}

std::string ListBox::ItemText(int position) const {
  if (position < 0 || position >= Count()) return {};
  return items_[static_cast<size_t>(position)];
}

void ListBox::SetItemIndex(int position) {
  index_ = (position >= 0 && position < Count()) ? position : kNone;
  Changed();
}

void ListBox::UserSelect(int position) {
  SetItemIndex(position);
  if (OnChange) OnChange();
}

}  // namespace ui
