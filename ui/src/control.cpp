#include "ui/control.h"

#include "ui/app.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace carvex::ui {

Control::Control(Form* form, std::string name, ControlKind kind, Control* container)
    : form_(form), name_(std::move(name)), kind_(kind), container_(container) {
  if (kind != ControlKind::kForm) form_->Register(this);
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed(Property::kEnabled);
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed(Property::kVisible);
}

void Control::Move(int left, int top, int width, int height) {
  const Rect next{left, top, width, height};
  if (geometry_ == next) return;
  geometry_ = next;
  Changed(Property::kGeometry);
}

void Control::Move(int left, int top) { Move(left, top, geometry_.width, geometry_.height); }

void Control::SetToolTipText(std::string text) {
  toolTip_ = std::move(text);
  Changed(Property::kToolTip);
}

void Control::SetAccessibleName(std::string name) {
  accessibleName_ = std::move(name);
  Changed(Property::kAccessibleName);
}

std::string AccessibleNameOf(const Control& control) {
  if (!control.AccessibleName().empty()) return control.AccessibleName();
  const auto* captioned = dynamic_cast<const Captioned*>(&control);
  if (!captioned) return {};
  std::string name;
  const std::string& caption = captioned->Caption();
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    else if (caption[i] == '&') continue;
    name += caption[i];
  }
  return name;
}

void Control::SetFocus() { form_->MoveFocus(this); }

bool Control::HasFocus() const { return form_->ActiveControl() == this; }

void Control::Changed(Property property) {
  if (form_->IsLoaded()) App().GetBackend().PropertyChanged(*this, property);
}

void Control::Fire(const Handler& handler) {
  if (!handler) return;
  // A handler may unload its own form; the form must outlive the call.
  const std::shared_ptr<Form> keepAlive = form_->weak_from_this().lock();
  handler();
}

}  // namespace carvex::ui
