#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"

namespace carvex::ui {

enum class UnloadMode { kFromCode, kUserClose };

// A window of the model: its controls, caption, geometry and life cycle. Forms are created
// through a FormSlot, which loads them on first use, as the forms of the program expect.
class Form : public Captioned, public std::enable_shared_from_this<Form> {
public:
  // Border and caption bar that a fixed dialog adds around its client area, in twips.
  static constexpr int kFrameWidth = 90;
  static constexpr int kFrameHeight = 420;
  // A form with a menu bar is one menu line taller; its controls start below that line.
  static constexpr int kMenuBarHeight = 300;

  explicit Form(std::string name);
  ~Form() override;

  bool IsLoaded() const { return loaded_; }
  // Shows the form; a modal Show returns once the form is hidden or unloaded.
  void Show(bool modal = false);
  void Hide();
  bool IsModal() const { return modal_; }
  // Asks Form_QueryUnload, then runs Form_Unload and drops the form. Nothing when unloaded.
  void Unload(UnloadMode mode = UnloadMode::kFromCode);
  // The user closed the window through its frame.
  void CloseByUser() { Unload(UnloadMode::kUserClose); }

  // Client area size; the outer Width and Height follow from it.
  void SetClientSize(int width, int height);
  int ClientWidth() const { return Geometry().width - kFrameWidth; }
  int ClientHeight() const { return Geometry().height - kFrameHeight; }

  const std::vector<Control*>& Controls() const { return controls_; }
  Control* FindControl(const std::string& name) const;
  const std::vector<Menu*>& Menus() const { return menus_; }
  Control* ActiveControl() const { return focus_; }
  // Enter on a dialog presses its default button, Escape its cancel button (a user's click);
  // false when the form has no such button.
  bool PressButton(bool isDefault);

  // Called once by the slot after construction.
  void LoadNow();

protected:
  virtual void Form_Load() {}
  virtual void Form_QueryUnload(bool& /*cancel*/, UnloadMode /*mode*/) {}
  virtual void Form_Unload(bool& /*cancel*/) {}

private:
  friend class Control;
  friend class Menu;
  void Register(Control* control);
  void MoveFocus(Control* to);

  std::vector<Control*> controls_;
  std::vector<Menu*> menus_;
  Control* focus_ = nullptr;
  bool loaded_ = false;
  bool modal_ = false;
};

// The one instance of a form class, loaded on first use and dropped by Unload; the next use
// loads a fresh one with its design-time properties.
template <class T>
class FormSlot {
public:
  T& operator*() { return Get(); }
  T* operator->() { return &Get(); }
  T& Get() {
    if (!form_ || !form_->IsLoaded()) {
      form_ = std::make_shared<T>();
      form_->LoadNow();
    }
    return *form_;
  }
  bool IsLoaded() const { return form_ && form_->IsLoaded(); }
  // The loaded instance, or null; unlike a use of the slot, it never loads a fresh one.
  T* IfLoaded() const { return IsLoaded() ? form_.get() : nullptr; }
  // "Unload" that, unlike a use of the slot, does not load the form first.
  void Unload() {
    if (IsLoaded()) form_->Unload();
  }
  // Drops the instance (between tests).
  void Reset() {
    Unload();
    form_.reset();
  }

private:
  std::shared_ptr<T> form_;
};

}  // namespace carvex::ui
