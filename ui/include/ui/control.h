#pragma once

#include <functional>
#include <string>

#include "ui/types.h"

namespace carvex::ui {

class Form;

enum class ControlKind {
  kForm,
  kLabel,
  kTextBox,
  kCommandButton,
  kCheckBox,
  kOptionButton,
  kFrame,
  kListView,
  kImageList,
  kProgressBar,
  kSlider,
  kVScrollBar,
  kComboBox,
  kDriveListBox,
  kTabStrip,
  kPictureBox,
  kImage,
  kMenu,
  kCommonDialog,
};

// What changed on a control, so that a backend updates only that.
enum class Property {
  kCaption,
  kText,
  kEnabled,
  kVisible,
  kGeometry,
  kValue,
  kRange,
  kToolTip,
  kItems,
  kSelection,
  kChecked,
  kPicture,
  kFocus,
  kAccessibleName,
};

using Handler = std::function<void()>;

// The state every control shares. Setters tell the backend what changed; event handlers run
// through Fire, which keeps the owning form alive while its handler runs even when the handler
// unloads it.
class Control {
public:
  Control(Form* form, std::string name, ControlKind kind, Control* container);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Name() const { return name_; }
  ControlKind Kind() const { return kind_; }
  Form& Parent() const { return *form_; }
  // The frame (or form) that holds the control; option buttons group by it.
  Control* Container() const { return container_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const Rect& Geometry() const { return geometry_; }
  void Move(int left, int top, int width, int height);
  void Move(int left, int top);
  const std::string& ToolTipText() const { return toolTip_; }
  void SetToolTipText(std::string text);
  // What a screen reader calls the control where its caption says nothing ("...") or it has
  // none (a text box, a list); the visible caption stays as it is.
  const std::string& AccessibleName() const { return accessibleName_; }
  void SetAccessibleName(std::string name);
  const std::string& FontName() const { return fontName_; }
  void SetFontName(std::string name) { fontName_ = std::move(name); }

  // Focus moves between controls of a form; LostFocus fires on the one that had it.
  void SetFocus();
  bool HasFocus() const;
  Handler LostFocus;
  Handler GotFocus;

protected:
  void Changed(Property property);
  void Fire(const Handler& handler);

private:
  friend class Form;
  Form* form_;
  std::string name_;
  ControlKind kind_;
  Control* container_;
  bool enabled_ = true;
  bool visible_ = true;
  Rect geometry_;
  std::string toolTip_;
  std::string accessibleName_;
  std::string fontName_;
};

// The name a screen reader reads for `control`: its accessible name when it has one, otherwise
// its caption without the "&" that marks the access key ("&&" is one "&"); "" for neither.
std::string AccessibleNameOf(const Control& control);

}  // namespace carvex::ui
