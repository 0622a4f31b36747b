#pragma once

// The widgets that draw one loaded form, and the code that keeps them in step with the model.

#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "ui/form.h"
#include "ui/qt_backend.h"

class QMenuBar;

namespace carvex::ui {

// Twips to pixels, to the nearest pixel.
int Px(int twips);
QString Q(const std::string& text);
std::string S(const QString& text);

// While the model is copied into the widgets, the signals the widgets send back are not user
// input and must not reach the model again.
class SyncScope {
 public:
  SyncScope();
  ~SyncScope();
  SyncScope(const SyncScope&) = delete;
  SyncScope& operator=(const SyncScope&) = delete;
  static bool Active();
};

struct QtBackend::FormView {
  Form* form = nullptr;
  QPointer<QWidget> window;
  QWidget* client = nullptr;  // the area below the menu bar that holds the controls
  QMenuBar* menuBar = nullptr;
  std::unordered_map<const Control*, QWidget*> widgets;
  std::unordered_map<const Menu*, QAction*> actions;
  // False once the form is unloaded: queued calls and late signals then leave the model alone.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  bool placed = false;  // shown once, its position settled
  // What is drawn once on the next turn of the event loop, however often it changed before:
  // lists whose items changed, labels whose caption changed.
  std::unordered_set<ListView*> staleLists;
  std::unordered_set<Label*> staleLabels;
  bool flushPosted = false;
};

// Creates the window and one widget per control, showing the model's state now.
std::unique_ptr<QtBackend::FormView> CreateFormView(Form& form);
// Copies one property of a control (or of the form) from the model into its widget.
void ApplyProperty(QtBackend::FormView& view, Control& control, Property property);
// Draws now what was left for the next turn of the event loop.
void FlushDeferred(QtBackend::FormView& view);
// Where a form is shown: its model position, or centred on the screen the first time when the
// model leaves it at the origin (the main window's design-time place).
void PlaceWindow(QtBackend::FormView& view);

// Images of the model: a file's own icon from the system, or one of the program's pictures.
QIcon PictureIcon(const Picture& picture);
QIcon ApplicationIcon();
// One of the program's own pictures ("carvex", "split", ...) drawn afresh at side by side
// pixels, with a transparent background; a null image for a name that has no drawing.
QImage ResourceImage(const std::string& name, int side);

}  // namespace carvex::ui
