#include "ui/form.h"

#include <algorithm>

#include "ui/app.h"

namespace carvex::ui {

Form::Form(std::string name) : Captioned(this, std::move(name), ControlKind::kForm, nullptr) {}

Form::~Form() {
  if (loaded_) App().Unloaded(this);
}

void Form::Register(Control* control) {
  controls_.push_back(control);
}

Control* Form::FindControl(const std::string& name) const {
  const auto it = std::find_if(controls_.begin(), controls_.end(),
                               [&](const Control* c) { return c->Name() == name; });
  return it == controls_.end() ? nullptr : *it;
}

bool Form::PressButton(bool isDefault) {
  for (Control* control : controls_) {
    if (control->Kind() != ControlKind::kCommandButton) continue;
    auto* button = static_cast<CommandButton*>(control);
    if (isDefault ? button->IsDefault : button->IsCancel) {
      button->Click();
      return true;
    }
  }
  return false;
}

void Form::LoadNow() {
  if (loaded_) return;
  loaded_ = true;
  App().Loaded(this);
  App().GetBackend().FormLoaded(*this);
  Form_Load();
}

void Form::Show(bool modal) {
  if (!loaded_) LoadNow();
  // Form_Load may have unloaded the form again.
  if (!loaded_) return;
  SetVisible(true);
  const std::shared_ptr<Form> keepAlive = weak_from_this().lock();
  modal_ = modal;
  App().GetBackend().ShowForm(*this, modal);
  modal_ = false;
}

void Form::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  if (loaded_) App().GetBackend().FormHidden(*this);
}

void Form::Unload(UnloadMode mode) {
  if (!loaded_) return;
  const std::shared_ptr<Form> keepAlive = weak_from_this().lock();
  bool cancel = false;
  Form_QueryUnload(cancel, mode);
  if (cancel) return;
  Form_Unload(cancel);
  if (cancel) return;
  loaded_ = false;
  SetVisible(false);
  focus_ = nullptr;
  App().Unloaded(this);
  App().GetBackend().FormUnloaded(*this);
}

void Form::SetClientSize(int width, int height) {
  Move(Geometry().left, Geometry().top, width + kFrameWidth, height + kFrameHeight);
}

void Form::MoveFocus(Control* to) {
  if (focus_ == to) return;
  Control* from = focus_;
  focus_ = to;
  if (from) from->Fire(from->LostFocus);
  if (to) to->Fire(to->GotFocus);
  if (to) to->Changed(Property::kFocus);
}

}  // namespace carvex::ui
