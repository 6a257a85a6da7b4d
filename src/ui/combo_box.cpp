#include "ui/combo_box.h"

namespace ui {

void ComboBox::SetItems(std::vector<std::string> items) {
  list_.SetItems(std::move(items));
  Changed();
}

void ComboBox::SetItemIndex(int position) {
  const bool had_selection = list_.ItemIndex() != kNone;
  list_.SetItemIndex(position);
  if (list_.ItemIndex() != kNone) {
    text_ = list_.Text();
  } else if (had_selection) {
    text_.clear();
  } else {
    return;
  }
  Changed();
}

void ComboBox::SetText(const std::string& text) {
  text_ = text;
  if (list_.ItemIndex() != kNone && list_.Text() != text_) list_.SetItemIndex(kNone);
  Changed();
}

void ComboBox::UserSelect(int position) {
  SetItemIndex(position);
  if (OnChange) OnChange();
}

void ComboBox::UserType(const std::string& text) {
  text_ = text;
  list_.SetItemIndex(kNone);
  Changed();
  if (OnChange) OnChange();
}

}  // namespace ui
