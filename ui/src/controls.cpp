#include "ui/controls.h"

#include <algorithm>

#include "platform/error.h"
#include "ui/app.h"
#include "ui/form.h"

namespace carvex::ui {

namespace {

// A control takes user input only when it, every container around it and its form are
// enabled and visible.
bool TakesInput(const Control& control) {
  for (const Control* c = &control; c; c = c->Container())
    if (!c->Enabled() || !c->Visible()) return false;
  const Form& form = control.Parent();
  return form.Enabled() && form.IsLoaded();
}

}  // namespace

void Captioned::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed(Property::kCaption);
}

void CommandButton::Click() {
  if (!TakesInput(*this)) return;
  SetFocus();
  Fire(OnClick);
}

void CheckBox::SetValue(int value) {
  if (value_ == value) return;
  value_ = value;
  Changed(Property::kValue);
  Fire(OnClick);
}

void CheckBox::Click() {
  if (!TakesInput(*this)) return;
  SetFocus();
  SetValue(value_ == kChecked ? kUnchecked : kChecked);
}

void OptionButton::SetValue(bool value) {
  if (value_ == value) return;
  value_ = value;
  Changed(Property::kValue);
  if (!value) return;
  for (Control* other : Parent().Controls()) {
    if (other == this || other->Kind() != ControlKind::kOptionButton || other->Container() != Container()) continue;
    auto* option = static_cast<OptionButton*>(other);
    if (option->value_) {
      option->value_ = false;
      option->Changed(Property::kValue);
    }
  }
  Fire(OnClick);
}

void OptionButton::Click() {
  if (!TakesInput(*this)) return;
  SetFocus();
  SetValue(true);
}

void TextBox::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  selStart_ = std::min(selStart_, text_.size());
  selLength_ = std::min(selLength_, text_.size() - selStart_);
  Changed(Property::kText);
  Fire(OnChange);
}

void TextBox::Select(std::size_t start, std::size_t length) {
  selStart_ = std::min(start, text_.size());
  selLength_ = std::min(length, text_.size() - selStart_);
  Changed(Property::kSelection);
}

void TextBox::DoubleClick() {
  if (!TakesInput(*this)) return;
  SetFocus();
  Fire(OnDblClick);
}

void ProgressBar::SetMin(double min) {
  min_ = min;
  Changed(Property::kRange);
  Fire(OnChange);
}

void ProgressBar::SetMax(double max) {
  max_ = max;
  Changed(Property::kRange);
  Fire(OnChange);
}

void ProgressBar::SetValue(double value) {
  if (value_ == value) return;
  value_ = value;
  Changed(Property::kValue);
  Fire(OnChange);
}

void RangeControl::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  Changed(Property::kRange);
  if (value_ < min_ || value_ > max_) SetValue(value_);
}

void RangeControl::SetValue(int value) {
  value = std::clamp(value, min_, max_);
  if (value_ == value) return;
  value_ = value;
  Changed(Property::kValue);
  Fire(OnChange);
}

void ComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed(Property::kItems);
}

void ComboBox::Clear() {
  items_.clear();
  listIndex_ = -1;
  Changed(Property::kItems);
}

void ComboBox::SetListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (listIndex_ == index) return;
  listIndex_ = index;
  Changed(Property::kSelection);
  Fire(OnClick);
}

std::string ComboBox::Text() const {
  return listIndex_ < 0 ? std::string() : items_[static_cast<std::size_t>(listIndex_)];
}

void DriveListBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  Changed(Property::kItems);
}

void DriveListBox::SetDrive(std::string drive) {
  if (drive_ == drive) return;
  drive_ = std::move(drive);
  Changed(Property::kSelection);
  Fire(OnChange);
}

void TabStrip::AddTab(std::string caption, std::string toolTip) {
  tabs_.push_back(std::move(caption));
  toolTips_.push_back(std::move(toolTip));
  Changed(Property::kItems);
  if (selected_ == 0) selected_ = 1;
}

void TabStrip::Select(int index) {
  if (index < 1 || index > static_cast<int>(tabs_.size()) || index == selected_) return;
  selected_ = index;
  Changed(Property::kSelection);
  Fire(OnClick);
}

void TabStrip::Click(int index) {
  if (TakesInput(*this)) Select(index);
}

void PictureBox::SetPicture(Picture picture) {
  picture_ = std::move(picture);
  Changed(Property::kPicture);
}

void ImageList::Add(std::size_t index, Picture picture) {
  index = std::clamp<std::size_t>(index, 1, images_.size() + 1);
  images_.insert(images_.begin() + static_cast<std::ptrdiff_t>(index - 1), std::move(picture));
  Changed(Property::kItems);
}

void ListView::AddColumn(std::string header, int width) {
  columns_.push_back({std::move(header), width});
  Changed(Property::kItems);
}

std::size_t ListView::Add(std::size_t index, std::string text, std::size_t smallIcon) {
  index = std::clamp<std::size_t>(index, 1, items_.size() + 1);
  ListItem item;
  item.text = std::move(text);
  item.smallIcon = smallIcon;
  item.subItems.resize(columns_.empty() ? 0 : columns_.size() - 1);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index - 1), std::move(item));
  Changed(Property::kItems);
  return index;
}

void ListView::SetSubItem(std::size_t index, std::size_t column, std::string text) {
  ListItem& item = items_.at(index - 1);
  if (column == 0) throw std::out_of_range("sub-items start at column 1");
  if (item.subItems.size() < column) item.subItems.resize(column);
  item.subItems[column - 1] = std::move(text);
  Changed(Property::kItems);
}

void ListView::Remove(std::size_t index) {
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index - 1));
  Changed(Property::kItems);
}

void ListView::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed(Property::kItems);
}

void ListView::SetSelected(std::size_t index, bool selected) {
  ListItem& item = items_.at(index - 1);
  if (selected && !MultiSelect)
    for (ListItem& other : items_) other.selected = false;
  item.selected = selected;
  Changed(Property::kSelection);
}

std::vector<std::size_t> ListView::SelectedIndexes() const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].selected) out.push_back(i + 1);
  return out;
}

void ListView::DoubleClick() {
  if (!TakesInput(*this)) return;
  SetFocus();
  Fire(OnDblClick);
}

void ListView::DropFiles(const std::vector<std::string>& paths) {
  if (!OnDropFiles || paths.empty() || !TakesInput(*this)) return;
  Fire([&] { OnDropFiles(paths); });
}

Menu::Menu(Form* form, std::string name, Menu* parent)
    : Captioned(form, std::move(name), ControlKind::kMenu, parent), parent_(parent) {
  if (parent_)
    parent_->children_.push_back(this);
  else
    form->menus_.push_back(this);
}

void Menu::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed(Property::kChecked);
}

void Menu::Click() {
  if (IsSeparator() || !TakesInput(*this)) return;
  Fire(OnClick);
}

void CommonDialog::ShowOpen() {
  if (App().GetBackend().ShowOpen(*this)) return;
  // The number the Open dialog has always raised for Cancel, which callers test for.
  if (CancelError) throw platform::RuntimeError(32755, "Cancel was selected.");
}

}  // namespace carvex::ui
