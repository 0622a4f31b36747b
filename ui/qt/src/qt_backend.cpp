#include "ui/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEventLoop>
#include <QUrl>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

#include "form_view.h"
#include "launcher_entry.h"
#include "ui/app.h"

namespace carvex::ui {

QtBackend::QtBackend() {
  // The forms are laid out in fixed pixels for an 8-point dialog font at 96 dpi: one style on
  // every desktop, and a font of those metrics, keep them as tested. A pixel size scales with
  // the desktop's scale factor together with the geometry.
  QApplication::setStyle(QStringLiteral("Fusion"));
  QFont font = QApplication::font();
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                    QStringLiteral("DejaVu Sans")});
  font.setPixelSize(11);
  QApplication::setFont(font);
  QApplication::setWindowIcon(ApplicationIcon());
}

QtBackend::~QtBackend() {
  for (auto& [form, view] : views_) {
    *view->alive = false;
    delete view->window;
  }
  views_.clear();
  for (auto& [form, loop] : modalLoops_) loop->exit(0);
  if (&App().GetBackend() == this) App().SetBackend(nullptr);
}

QtBackend::FormView* QtBackend::ViewOf(const Form& form) {
  const auto it = views_.find(&form);
  return it == views_.end() ? nullptr : it->second.get();
}

QWidget* QtBackend::Window(const Form& form) {
  FormView* view = ViewOf(form);
  return view ? view->window.data() : nullptr;
}

QWidget* QtBackend::Widget(const Control& control) {
  FormView* view = ViewOf(control.Parent());
  if (!view) return nullptr;
  FlushDeferred(*view);
  const auto it = view->widgets.find(&control);
  return it == view->widgets.end() ? nullptr : it->second;
}

QAction* QtBackend::Action(const Menu& menu) {
  FormView* view = ViewOf(menu.Parent());
  if (!view) return nullptr;
  const auto it = view->actions.find(&menu);
  return it == view->actions.end() ? nullptr : it->second;
}

// Dialogs go over the window the user works in: the given one, else the active modal or active
// window, else the main window; only one that is shown and takes input (during a job that is
// the progress dialog, not the disabled main window).
QWidget* QtBackend::OwnerWindow(const Form* owner) {
  const auto usable = [](QWidget* w) { return w && w->isVisible() && w->isEnabled(); };
  if (owner)
    if (QWidget* w = Window(*owner); usable(w)) return w;
  if (QWidget* modal = QApplication::activeModalWidget(); usable(modal)) return modal;
  if (QWidget* active = QApplication::activeWindow(); usable(active)) return active;
  if (const Form* main = App().MainForm)
    if (QWidget* w = Window(*main); usable(w)) return w;
  return nullptr;
}

// A job yields once per chunk, thousands of times a second, and changes its status text once
// per piece. Each turn of the event loop repaints what changed, about half a millisecond with
// the caches cold from copying: turns at most every 40 ms (25 a second) keep that near 1% of
// the job, and a click still lands before a user could tell.
void QtBackend::DoEvents() {
  const auto now = std::chrono::steady_clock::now();
  if (now < nextEvents_) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  nextEvents_ = std::chrono::steady_clock::now() + kEventInterval;
}

void QtBackend::FormLoaded(Form& form) {
  DropView(form);
  views_.emplace(&form, CreateFormView(form));
}

void QtBackend::ShowForm(Form& form, bool modal) {
  FormView* view = ViewOf(form);
  if (!view) return;
  QWidget* window = view->window;
  PlaceWindow(*view);
  // Dialogs stay above the main window without being its Qt children: a child window that
  // exists when the main window is disabled for a job (the progress dialog of a build) would be
  // disabled with it.
  if (const Form* main = App().MainForm; main && main != &form)
    if (QWidget* owner = Window(*main)) {
      window->winId();
      owner->winId();
      window->windowHandle()->setTransientParent(owner->windowHandle());
    }
  const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::NonModal;
  if (window->windowModality() != modality) {
    window->hide();
    window->setWindowModality(modality);
  }
  const bool shown = window->isVisible();
  window->show();
  if (shown) window->raise();
  window->activateWindow();
  if (!modal) return;

  QEventLoop loop;
  modalLoops_.emplace_back(&form, &loop);
  if (form.IsLoaded() && form.Visible()) loop.exec(QEventLoop::DialogExec);
  std::erase_if(modalLoops_, [&](const auto& entry) { return entry.second == &loop; });
}

void QtBackend::ExitModalLoops(const Form& form) {
  for (auto& [shown, loop] : modalLoops_)
    if (shown == &form) loop->exit(0);
}

void QtBackend::FormHidden(Form& form) { ExitModalLoops(form); }

void QtBackend::FormUnloaded(Form& form) {
  ExitModalLoops(form);
  DropView(form);
}

void QtBackend::DropView(const Form& form) {
  const auto it = views_.find(&form);
  if (it == views_.end()) return;
  FormView& view = *it->second;
  *view.alive = false;
  // The window may be the one whose event is being handled now.
  if (view.window) {
    view.window->hide();
    view.window->deleteLater();
  }
  views_.erase(it);
}

void QtBackend::PropertyChanged(Control& control, Property property) {
  if (FormView* view = ViewOf(control.Parent())) ApplyProperty(*view, control, property);
}

bool QtBackend::ShellOpen(const std::string& path, Form* /*owner*/) {
  const QString target = Q(path);
  const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
  return QDesktopServices::openUrl(url);
}

void QtBackend::SetClipboardText(const std::string& text) { QGuiApplication::clipboard()->setText(Q(text)); }

void QtBackend::ShowTaskProgress(const TaskProgress& progress) { ShowOnLauncher(progress); }

// The program ends here and now, from whatever nested loop a handler runs in, without the
// unload steps: settings are already saved by the callers and every file is written through.
void QtBackend::EndProgram() {
  if (endProgram_) {
    endProgram_();
    return;
  }
  QCoreApplication::exit(0);
  std::fflush(nullptr);
  std::_Exit(0);
}

struct QtProgram::Application {
  Application(int& argc, char** argv) : app(argc, argv) {}
  QApplication app;
};

QtProgram::QtProgram(int& argc, char** argv)
    : app_(std::make_unique<Application>(argc, argv)), backend_(std::make_unique<QtBackend>()) {
  // Closing a window is the form's business (the main window's unload ends the program).
  QApplication::setQuitOnLastWindowClosed(false);
  // The desktop ties the windows, and the launcher progress, to the program's desktop entry.
  QGuiApplication::setDesktopFileName(QStringLiteral("carvex"));
  App().SetBackend(backend_.get());
}

QtProgram::~QtProgram() {
  backend_.reset();
  app_.reset();
}

int QtProgram::Run() { return QApplication::exec(); }

}  // namespace carvex::ui
