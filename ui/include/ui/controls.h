#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/control.h"

namespace carvex::ui {

class Captioned : public Control {
public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

private:
  std::string caption_;
};

class Label : public Captioned {
public:
  Label(Form* form, std::string name, Control* container = nullptr)
      : Captioned(form, std::move(name), ControlKind::kLabel, container) {}
};

class Frame : public Captioned {
public:
  Frame(Form* form, std::string name, Control* container = nullptr)
      : Captioned(form, std::move(name), ControlKind::kFrame, container) {}
};

class CommandButton : public Captioned {
public:
  CommandButton(Form* form, std::string name, Control* container = nullptr)
      : Captioned(form, std::move(name), ControlKind::kCommandButton, container) {}
  // A user's click: nothing happens on a disabled or hidden button, or in a disabled form.
  void Click();
  // Runs the handler as code would ("cmdOK_Click"), whatever the state of the button.
  void RunClick() { Fire(OnClick); }
  bool IsDefault = false;  // Enter presses it
  bool IsCancel = false;   // Escape presses it
  Handler OnClick;
};

class CheckBox : public Captioned {
public:
  static constexpr int kUnchecked = 0;
  static constexpr int kChecked = 1;
  static constexpr int kGrayed = 2;
  CheckBox(Form* form, std::string name, Control* container = nullptr)
      : Captioned(form, std::move(name), ControlKind::kCheckBox, container) {}
  int Value() const { return value_; }
  // Setting a different value fires Click, as a user's click would.
  void SetValue(int value);
  // A user's click: toggles between ticked and unticked.
  void Click();
  Handler OnClick;

private:
  int value_ = kUnchecked;
};

class OptionButton : public Captioned {
public:
  OptionButton(Form* form, std::string name, Control* container = nullptr)
      : Captioned(form, std::move(name), ControlKind::kOptionButton, container) {}
  bool Value() const { return value_; }
  // Selecting one clears the others of its container; Click fires on the selected one.
  void SetValue(bool value);
  void Click();
  Handler OnClick;

private:
  bool value_ = false;
};

class TextBox : public Control {
public:
  TextBox(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kTextBox, container) {}
  const std::string& Text() const { return text_; }
  // A different text fires Change, whether code or the user typed it.
  void SetText(std::string text);
  bool Locked = false;
  bool MultiLine = false;
  char PasswordChar = '\0';
  // The selection, in bytes of Text().
  std::size_t SelStart() const { return selStart_; }
  std::size_t SelLength() const { return selLength_; }
  void Select(std::size_t start, std::size_t length);
  // A user's double-click in the box.
  void DoubleClick();
  Handler OnChange;
  Handler OnDblClick;

private:
  std::string text_;
  std::size_t selStart_ = 0;
  std::size_t selLength_ = 0;
};

class ProgressBar : public Control {
public:
  ProgressBar(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kProgressBar, container) {}
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Value() const { return value_; }
  void SetMin(double min);
  void SetMax(double max);
  void SetValue(double value);
  // Fires after the range or the value changed.
  Handler OnChange;

private:
  double min_ = 0;
  double max_ = 100;
  double value_ = 0;
};

// Slider and spin bar share a bounded integer value.
class RangeControl : public Control {
public:
  using Control::Control;
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Value() const { return value_; }
  void SetRange(int min, int max);
  // Out-of-range values are clamped; a different value fires Change.
  void SetValue(int value);
  Handler OnChange;

private:
  int min_ = 0;
  int max_ = 10;
  int value_ = 0;
};

class Slider : public RangeControl {
public:
  Slider(Form* form, std::string name, Control* container = nullptr)
      : RangeControl(form, std::move(name), ControlKind::kSlider, container) {}
  int TickFrequency = 1;
};

// A spin bar: the up arrow raises the value towards Max.
class VScrollBar : public RangeControl {
public:
  VScrollBar(Form* form, std::string name, Control* container = nullptr)
      : RangeControl(form, std::move(name), ControlKind::kVScrollBar, container) {}
  int SmallChange = 1;
  void SpinUp() { SetValue(Value() + SmallChange); }
  void SpinDown() { SetValue(Value() - SmallChange); }
};

class ComboBox : public Control {
public:
  ComboBox(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kComboBox, container) {}
  const std::vector<std::string>& Items() const { return items_; }
  void AddItem(std::string item);
  void Clear();
  // -1 when nothing is chosen.
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int index);
  std::string Text() const;
  Handler OnClick;

private:
  std::vector<std::string> items_;
  int listIndex_ = -1;
};

class DriveListBox : public Control {
public:
  DriveListBox(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kDriveListBox, container) {}
  // Each entry as shown ("c: [System]" on Windows, a mount point on Linux).
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  const std::string& Drive() const { return drive_; }
  // Choosing a different drive fires Change.
  void SetDrive(std::string drive);
  Handler OnChange;

private:
  std::vector<std::string> items_;
  std::string drive_;
};

class TabStrip : public Control {
public:
  TabStrip(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kTabStrip, container) {}
  const std::vector<std::string>& Tabs() const { return tabs_; }
  void AddTab(std::string caption, std::string toolTip = {});
  // The tab's own tool tip, shown whichever tab is selected; 1-based.
  const std::string& TabToolTip(int index) const { return toolTips_.at(static_cast<std::size_t>(index - 1)); }
  // 1-based, 0 before any tab exists.
  int SelectedIndex() const { return selected_; }
  // Selecting a tab fires Click, also when code selects it.
  void Select(int index);
  // A user's click on a tab: nothing happens while the strip or its form takes no input.
  void Click(int index);
  Handler OnClick;

private:
  std::vector<std::string> tabs_;
  std::vector<std::string> toolTips_;
  int selected_ = 0;
};

class PictureBox : public Control {
public:
  PictureBox(Form* form, std::string name, Control* container = nullptr, ControlKind kind = ControlKind::kPictureBox)
      : Control(form, std::move(name), kind, container) {}
  const Picture& GetPicture() const { return picture_; }
  void SetPicture(Picture picture);
  void Cls() { SetPicture({}); }
  Handler OnClick;

private:
  Picture picture_;
};

class Image : public PictureBox {
public:
  Image(Form* form, std::string name, Control* container = nullptr)
      : PictureBox(form, std::move(name), container, ControlKind::kImage) {}
};

class ImageList : public Control {
public:
  ImageList(Form* form, std::string name)
      : Control(form, std::move(name), ControlKind::kImageList, nullptr) {}
  // 1-based like the list views that index into it.
  std::size_t Count() const { return images_.size(); }
  const Picture& At(std::size_t index) const { return images_.at(index - 1); }
  void Add(std::size_t index, Picture picture);

private:
  std::vector<Picture> images_;
};

struct ListItem {
  std::string text;
  std::vector<std::string> subItems;  // the columns after the first
  std::size_t smallIcon = 0;          // 1-based index into the small image list, 0 for none
  bool selected = false;
};

// Report-style list: columns, items with sub-items and small icons, selection. Indexes are
// 1-based.
class ListView : public Control {
public:
  struct Column {
    std::string header;
    int width = 0;
  };
  ListView(Form* form, std::string name, Control* container = nullptr)
      : Control(form, std::move(name), ControlKind::kListView, container) {}

  const std::vector<Column>& Columns() const { return columns_; }
  void AddColumn(std::string header, int width);
  ImageList* SmallIcons = nullptr;
  bool MultiSelect = false;

  std::size_t Count() const { return items_.size(); }
  const ListItem& Item(std::size_t index) const { return items_.at(index - 1); }
  // Inserts before `index` (Count() + 1 appends); returns the new item's index.
  std::size_t Add(std::size_t index, std::string text, std::size_t smallIcon = 0);
  void SetSubItem(std::size_t index, std::size_t column, std::string text);
  void Remove(std::size_t index);
  void Clear();
  void SetSelected(std::size_t index, bool selected);
  std::vector<std::size_t> SelectedIndexes() const;
  // A user's double-click on an item.
  void DoubleClick();
  Handler OnDblClick;
  // Files the user dropped on the list, as full paths; a list without a handler takes no drops.
  void DropFiles(const std::vector<std::string>& paths);
  std::function<void(const std::vector<std::string>&)> OnDropFiles;

private:
  std::vector<Column> columns_;
  std::vector<ListItem> items_;
};

// A menu entry; an entry with children is a submenu, one captioned "-" a separator.
class Menu : public Captioned {
public:
  Menu(Form* form, std::string name, Menu* parent = nullptr);
  Menu* ParentMenu() const { return parent_; }
  const std::vector<Menu*>& Children() const { return children_; }
  bool IsSeparator() const { return Caption() == "-"; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Click();
  Handler OnClick;

private:
  Menu* parent_;
  std::vector<Menu*> children_;
  bool checked_ = false;
};

// The open-file dialog. Flags and sizes are kept so a backend can honour them.
class CommonDialog : public Control {
public:
  CommonDialog(Form* form, std::string name)
      : Control(form, std::move(name), ControlKind::kCommonDialog, nullptr) {}
  std::string Filter;  // "Text|*.txt|All|*.*"
  int FilterIndex = 1;
  std::string DialogTitle;
  std::string FileName;  // one path, or folder NUL name NUL name... for several
  long Flags = 0;
  int MaxFileSize = 260;
  bool CancelError = false;
  // Shows the Open dialog; on Cancel raises CancelError when asked to, else leaves FileName.
  void ShowOpen();

  static constexpr long kAllowMultiSelect = 0x200;
  static constexpr long kExplorer = 0x80000;
  static constexpr long kPathMustExist = 0x800;
  static constexpr long kFileMustExist = 0x1000;
  static constexpr long kHideReadOnly = 0x4;
};

}  // namespace carvex::ui
