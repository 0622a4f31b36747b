// One widget per control of the model, created when a form loads and kept in step with it.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>

#include "form_view.h"

namespace carvex::ui {

namespace {

using FormView = QtBackend::FormView;

constexpr int kIconPixels = 16;

// A form's window. A close through the frame is the user's close, which the form may refuse;
// moves are told to the model, so that dialogs centre over where the window really is; Enter
// and Escape press the default and the cancel button as on a dialog.
class FormWindow : public QWidget {
 public:
  FormWindow() : QWidget(nullptr, Qt::Window) {}
  std::function<void()> onClose;
  std::function<void()> onMove;
  std::function<bool(int key)> onKey;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onClose) onClose();
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (onMove) onMove();
  }
  void keyPressEvent(QKeyEvent* event) override {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier && onKey && onKey(event->key())) return;
    QWidget::keyPressEvent(event);
  }
};

// The spin bar beside a size box: two arrows, the upper one raising the value.
class SpinBar : public QWidget {
 public:
  explicit SpinBar(QWidget* parent)
      : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
      b->setAutoRepeat(true);
      b->setFocusPolicy(Qt::NoFocus);
    }
  }
  QToolButton* up;
  QToolButton* down;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    up->setGeometry(0, 0, width(), half);
    down->setGeometry(0, half, width(), height() - half);
  }
};

std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
  return paths;
}

// A report-style list that takes files dropped from a file manager when the model asks for
// them.
class ReportList : public QTreeWidget {
 public:
  explicit ReportList(QWidget* parent) : QTreeWidget(parent) {}
  std::function<void(std::vector<std::string>)> onDrop;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override { Judge(event); }
  void dragMoveEvent(QDragMoveEvent* event) override { Judge(event); }
  void dropEvent(QDropEvent* event) override {
    std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (!onDrop || paths.empty()) {
      event->ignore();
      return;
    }
    event->acceptProposedAction();
    onDrop(std::move(paths));
  }

 private:
  void Judge(QDropEvent* event) {
    if (onDrop && !LocalFiles(event->mimeData()).empty())
      event->acceptProposedAction();
    else
      event->ignore();
  }
};

// Tells the model where the focus went and passes on double-clicks in text boxes.
class InputFilter : public QObject {
 public:
  InputFilter(QWidget* widget, Control* control, std::shared_ptr<bool> alive)
      : QObject(widget), control_(control), alive_(std::move(alive)) {
    widget->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!*alive_ || SyncScope::Active()) return false;
    if (event->type() == QEvent::FocusIn) {
      control_->SetFocus();
    } else if (event->type() == QEvent::MouseButtonDblClick && control_->Kind() == ControlKind::kTextBox) {
      // After the widget's own handling, which selects a word, so the handler has the last say.
      auto* box = static_cast<TextBox*>(control_);
      QTimer::singleShot(0, watched, [box, alive = alive_] {
        if (*alive) box->DoubleClick();
      });
    }
    return false;
  }

 private:
  Control* control_;
  std::shared_ptr<bool> alive_;
};

// Labels show "&" as an access key only with a buddy; they get none, so the marks go.
QString WithoutAccessKeys(const std::string& caption) {
  QString out;
  const QString text = Q(caption);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

bool Live(const std::shared_ptr<bool>& alive) { return *alive && !SyncScope::Active(); }

Qt::CheckState CheckStateOf(int value) {
  if (value == CheckBox::kChecked) return Qt::Checked;
  if (value == CheckBox::kGrayed) return Qt::PartiallyChecked;
  return Qt::Unchecked;
}

void RebuildList(FormView& view, ListView& list);
void ApplyMenu(Menu& menu, QAction* action);

// Leaves the drawing of what changed for the next turn of the event loop, once.
void Defer(FormView& view) {
  if (view.flushPosted) return;
  view.flushPosted = true;
  QTimer::singleShot(0, view.window, [alive = view.alive, &view] {
    if (*alive) FlushDeferred(view);
  });
}

// The bar's range is its width in pixels, so a new value that does not move the bar by a
// pixel changes nothing and costs no repaint: a job sets the value once per chunk. A value that
// does move it is painted on the next turn of the event loop, together with whatever else
// changed, instead of at once as QProgressBar::setValue would.
void ApplyProgress(ProgressBar& model, QProgressBar* bar) {
  const int steps = std::max(1, bar->width());
  if (bar->maximum() != steps) bar->setRange(0, steps);
  const double span = model.Max() - model.Min();
  const double share = span > 0 ? (model.Value() - model.Min()) / span : 0.0;
  const int position = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * steps));
  if (bar->value() == position) return;
  bar->setUpdatesEnabled(false);
  bar->setValue(position);
  bar->setUpdatesEnabled(true);  // schedules the paint
}

QWidget* CreateWidget(FormView& view, Control& control, QWidget* parent) {
  const std::shared_ptr<bool> alive = view.alive;
  switch (control.Kind()) {
    case ControlKind::kLabel: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::kFrame: {
      // A frame without a caption only groups (the two modes' panels); it draws nothing.
      if (static_cast<Frame&>(control).Caption().empty()) return new QWidget(parent);
      return new QGroupBox(parent);
    }
    case ControlKind::kTextBox: {
      auto& box = static_cast<TextBox&>(control);
      if (box.MultiLine) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly(box.Locked);
        QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [alive, &box, edit] {
          if (Live(alive)) box.SetText(S(edit->toPlainText()));
        });
        return edit;
      }
      auto* edit = new QLineEdit(parent);
      edit->setReadOnly(box.Locked);
      if (box.PasswordChar != '\0') edit->setEchoMode(QLineEdit::Password);
      QObject::connect(edit, &QLineEdit::textEdited, edit, [alive, &box](const QString& text) {
        if (Live(alive)) box.SetText(S(text));
      });
      return edit;
    }
    case ControlKind::kCommandButton: {
      auto& model = static_cast<CommandButton&>(control);
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      button->setDefault(model.IsDefault);
      QObject::connect(button, &QPushButton::clicked, button, [alive, &model] {
        if (Live(alive)) model.Click();
      });
      return button;
    }
    case ControlKind::kCheckBox: {
      auto& model = static_cast<CheckBox&>(control);
      auto* box = new QCheckBox(parent);
      QObject::connect(box, &QCheckBox::clicked, box, [alive, &model, box] {
        if (!Live(alive)) return;
        model.Click();
        // The widget toggled itself; the model decides what it shows.
        if (!*alive) return;
        SyncScope sync;
        box->setCheckState(CheckStateOf(model.Value()));
      });
      return box;
    }
    case ControlKind::kOptionButton: {
      auto& model = static_cast<OptionButton&>(control);
      auto* option = new QRadioButton(parent);
      // The model clears the other buttons of the container; Qt's own grouping would follow
      // the widget parent instead and could not be told apart from it.
      option->setAutoExclusive(false);
      QObject::connect(option, &QRadioButton::clicked, option, [alive, &model, option] {
        if (!Live(alive)) return;
        model.Click();
        if (!*alive) return;
        SyncScope sync;
        option->setChecked(model.Value());
      });
      return option;
    }
    case ControlKind::kListView: {
      auto& model = static_cast<ListView&>(control);
      auto* list = new ReportList(parent);
      list->setRootIsDecorated(false);
      list->setUniformRowHeights(true);
      list->setAllColumnsShowFocus(true);
      list->setIconSize(QSize(kIconPixels, kIconPixels));
      list->setSelectionMode(model.MultiSelect ? QAbstractItemView::ExtendedSelection
                                               : QAbstractItemView::SingleSelection);
      list->header()->setStretchLastSection(false);
      QObject::connect(list, &QTreeWidget::itemSelectionChanged, list, [alive, &model, list] {
        if (!Live(alive)) return;
        const int count = std::min<int>(list->topLevelItemCount(), static_cast<int>(model.Count()));
        // Clear first: a single-selection list clears the others when one is selected.
        for (int pass = 0; pass < 2; ++pass)
          for (int i = 0; i < count; ++i) {
            const bool selected = list->topLevelItem(i)->isSelected();
            const std::size_t index = static_cast<std::size_t>(i) + 1;
            if (selected == (pass == 1) && model.Item(index).selected != selected)
              model.SetSelected(index, selected);
          }
      });
      QObject::connect(list, &QTreeWidget::itemDoubleClicked, list, [alive, &model] {
        if (Live(alive)) model.DoubleClick();
      });
      if (model.OnDropFiles) {
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
        // Run after the drop has finished: the handler may ask questions in message boxes.
        list->onDrop = [alive, &model, list](std::vector<std::string> paths) {
          QTimer::singleShot(0, list, [alive, &model, paths = std::move(paths)] {
            if (*alive) model.DropFiles(paths);
          });
        };
      }
      return list;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kSlider: {
      auto& model = static_cast<Slider&>(control);
      auto* slider = new QSlider(Qt::Horizontal, parent);
      slider->setTickPosition(QSlider::TicksBelow);
      slider->setTickInterval(std::max(1, model.TickFrequency));
      slider->setPageStep(1);
      QObject::connect(slider, &QSlider::valueChanged, slider, [alive, &model](int value) {
        if (Live(alive)) model.SetValue(value);
      });
      return slider;
    }
    case ControlKind::kVScrollBar: {
      auto& model = static_cast<VScrollBar&>(control);
      auto* spin = new SpinBar(parent);
      QObject::connect(spin->up, &QToolButton::clicked, spin, [alive, &model] {
        if (Live(alive)) model.SpinUp();
      });
      QObject::connect(spin->down, &QToolButton::clicked, spin, [alive, &model] {
        if (Live(alive)) model.SpinDown();
      });
      return spin;
    }
    case ControlKind::kComboBox: {
      auto& model = static_cast<ComboBox&>(control);
      auto* combo = new QComboBox(parent);
      QObject::connect(combo, &QComboBox::activated, combo, [alive, &model](int index) {
        if (Live(alive)) model.SetListIndex(index);
      });
      return combo;
    }
    case ControlKind::kDriveListBox: {
      auto& model = static_cast<DriveListBox&>(control);
      auto* combo = new QComboBox(parent);
      QObject::connect(combo, &QComboBox::activated, combo, [alive, &model](int index) {
        if (Live(alive) && index >= 0 && index < static_cast<int>(model.Items().size()))
          model.SetDrive(model.Items()[static_cast<std::size_t>(index)]);
      });
      return combo;
    }
    case ControlKind::kTabStrip: {
      auto& model = static_cast<TabStrip&>(control);
      auto* tabs = new QTabWidget(parent);
      QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [alive, &model, tabs](int index) {
        if (!Live(alive)) return;
        model.Click(index + 1);
        if (!*alive) return;
        SyncScope sync;
        tabs->setCurrentIndex(model.SelectedIndex() - 1);
      });
      return tabs;
    }
    case ControlKind::kPictureBox:
    case ControlKind::kImage: {
      auto* picture = new QLabel(parent);
      picture->setAlignment(Qt::AlignCenter);
      return picture;
    }
    case ControlKind::kForm:
    case ControlKind::kImageList:
    case ControlKind::kMenu:
    case ControlKind::kCommonDialog:
      break;
  }
  return nullptr;
}

QWidget* EnsureWidget(FormView& view, Control& control) {
  if (const auto it = view.widgets.find(&control); it != view.widgets.end()) return it->second;
  QWidget* parent = view.client;
  if (Control* container = control.Container(); container && container->Kind() == ControlKind::kFrame)
    if (QWidget* frame = EnsureWidget(view, *container)) parent = frame;
  QWidget* widget = CreateWidget(view, control, parent);
  if (!widget) return nullptr;
  widget->setObjectName(Q(control.Name()));
  // Captioned widgets are named by their text; the others by what the form calls them.
  if (!control.AccessibleName().empty()) widget->setAccessibleName(Q(control.AccessibleName()));
  new InputFilter(widget, &control, view.alive);
  if (auto* tabs = qobject_cast<QTabWidget*>(widget)) new InputFilter(tabs->tabBar(), &control, view.alive);
  view.widgets.emplace(&control, widget);
  return widget;
}

void AddMenu(FormView& view, QMenu* into, Menu& menu) {
  QAction* action = nullptr;
  if (menu.IsSeparator()) {
    action = into ? into->addSeparator() : view.menuBar->addSeparator();
  } else if (!menu.Children().empty()) {
    QMenu* sub = into ? into->addMenu(Q(menu.Caption())) : view.menuBar->addMenu(Q(menu.Caption()));
    sub->setObjectName(Q(menu.Name()));
    action = sub->menuAction();
    for (Menu* child : menu.Children()) AddMenu(view, sub, *child);
  } else {
    action = into ? into->addAction(Q(menu.Caption())) : view.menuBar->addAction(Q(menu.Caption()));
    QObject::connect(action, &QAction::triggered, action, [alive = view.alive, &menu, action] {
      if (!Live(alive)) return;
      menu.Click();
      // A ticked entry toggles itself in Qt; the model decides.
      if (*alive) ApplyMenu(menu, action);
    });
  }
  action->setObjectName(Q(menu.Name()));
  view.actions.emplace(&menu, action);
  ApplyMenu(menu, action);
}

void ApplyMenu(Menu& menu, QAction* action) {
  SyncScope sync;
  if (!menu.IsSeparator()) action->setText(Q(menu.Caption()));
  action->setEnabled(menu.Enabled());
  action->setVisible(menu.Visible());
  if (menu.Checked()) action->setCheckable(true);
  if (action->isCheckable()) action->setChecked(menu.Checked());
}

int MenuBarPixels(const FormView& view) { return view.menuBar ? view.menuBar->sizeHint().height() : 0; }

void ApplyFormGeometry(FormView& view) {
  const Form& form = *view.form;
  const int menuLine = form.Menus().empty() ? 0 : Form::kMenuBarHeight;
  const int width = std::max(1, Px(form.ClientWidth()));
  const int height = std::max(1, Px(form.ClientHeight() - menuLine));
  const int bar = MenuBarPixels(view);
  if (view.menuBar) view.menuBar->setGeometry(0, 0, width, bar);
  view.client->setGeometry(0, bar, width, height);
  view.window->setFixedSize(width, bar + height);
  if (view.placed) view.window->move(Px(form.Geometry().left), Px(form.Geometry().top));
}

void ApplyFormProperty(FormView& view, Property property) {
  Form& form = *view.form;
  QWidget* window = view.window;
  switch (property) {
    case Property::kCaption:
      window->setWindowTitle(Q(form.Caption()));
      break;
    case Property::kEnabled:
      window->setEnabled(form.Enabled());
      break;
    case Property::kGeometry:
      ApplyFormGeometry(view);
      break;
    // Showing is ShowForm's: a form is visible in the model before it is first shown.
    case Property::kVisible:
      if (!form.Visible()) window->hide();
      break;
    default:
      break;
  }
}

void ApplySelection(FormView& view, Control& control, QWidget* widget) {
  switch (control.Kind()) {
    case ControlKind::kListView: {
      auto& model = static_cast<ListView&>(control);
      if (view.staleLists.count(&model)) {
        RebuildList(view, model);
        return;
      }
      auto* list = static_cast<QTreeWidget*>(widget);
      const int count = std::min<int>(list->topLevelItemCount(), static_cast<int>(model.Count()));
      for (int i = 0; i < count; ++i)
        list->topLevelItem(i)->setSelected(model.Item(static_cast<std::size_t>(i) + 1).selected);
      break;
    }
    case ControlKind::kComboBox:
      static_cast<QComboBox*>(widget)->setCurrentIndex(static_cast<ComboBox&>(control).ListIndex());
      break;
    case ControlKind::kDriveListBox: {
      auto& model = static_cast<DriveListBox&>(control);
      const auto& items = model.Items();
      const auto it = std::find(items.begin(), items.end(), model.Drive());
      static_cast<QComboBox*>(widget)->setCurrentIndex(
          it == items.end() ? -1 : static_cast<int>(it - items.begin()));
      break;
    }
    case ControlKind::kTabStrip:
      static_cast<QTabWidget*>(widget)->setCurrentIndex(static_cast<TabStrip&>(control).SelectedIndex() - 1);
      break;
    case ControlKind::kTextBox: {
      auto& model = static_cast<TextBox&>(control);
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // The model counts bytes of UTF-8; the widget counts UTF-16 units.
        const std::string& text = model.Text();
        const auto start = Q(text.substr(0, model.SelStart())).size();
        const auto length = Q(text.substr(model.SelStart(), model.SelLength())).size();
        edit->setSelection(static_cast<int>(start), static_cast<int>(length));
      }
      break;
    }
    default:
      break;
  }
}

void ApplyItems(FormView& view, Control& control, QWidget* widget) {
  switch (control.Kind()) {
    case ControlKind::kListView:
      // A list is filled one call at a time (an entry, then each of its columns): it is drawn
      // once, when the event loop next turns, not once per call.
      view.staleLists.insert(&static_cast<ListView&>(control));
      Defer(view);
      break;
    case ControlKind::kImageList:
      for (auto& [other, w] : view.widgets)
        if (other->Kind() == ControlKind::kListView &&
            static_cast<const ListView*>(other)->SmallIcons == &control)
          ApplyItems(view, *const_cast<Control*>(other), w);
      break;
    case ControlKind::kComboBox:
    case ControlKind::kDriveListBox: {
      auto* combo = static_cast<QComboBox*>(widget);
      const auto& items = control.Kind() == ControlKind::kComboBox
                              ? static_cast<ComboBox&>(control).Items()
                              : static_cast<DriveListBox&>(control).Items();
      combo->clear();
      for (const std::string& item : items) combo->addItem(Q(item));
      ApplySelection(view, control, widget);
      break;
    }
    case ControlKind::kTabStrip: {
      auto& model = static_cast<TabStrip&>(control);
      auto* tabs = static_cast<QTabWidget*>(widget);
      const auto& captions = model.Tabs();
      while (tabs->count() > static_cast<int>(captions.size())) delete tabs->widget(tabs->count() - 1);
      while (tabs->count() < static_cast<int>(captions.size())) tabs->addTab(new QWidget, QString());
      for (int i = 0; i < tabs->count(); ++i) {
        tabs->setTabText(i, Q(captions[static_cast<std::size_t>(i)]));
        tabs->setTabToolTip(i, Q(model.TabToolTip(i + 1)));
      }
      ApplySelection(view, control, widget);
      break;
    }
    default:
      break;
  }
}

void ApplyValue(Control& control, QWidget* widget) {
  switch (control.Kind()) {
    case ControlKind::kCheckBox:
      static_cast<QCheckBox*>(widget)->setCheckState(CheckStateOf(static_cast<CheckBox&>(control).Value()));
      break;
    case ControlKind::kOptionButton:
      static_cast<QRadioButton*>(widget)->setChecked(static_cast<OptionButton&>(control).Value());
      break;
    case ControlKind::kProgressBar:
      ApplyProgress(static_cast<ProgressBar&>(control), static_cast<QProgressBar*>(widget));
      break;
    case ControlKind::kSlider: {
      auto& model = static_cast<Slider&>(control);
      auto* slider = static_cast<QSlider*>(widget);
      slider->setRange(model.Min(), model.Max());
      slider->setValue(model.Value());
      break;
    }
    default:
      break;
  }
}

void ApplyCaption(Control& control, QWidget* widget) {
  const auto caption = [&] { return static_cast<Captioned&>(control).Caption(); };
  switch (control.Kind()) {
    case ControlKind::kLabel:
      static_cast<QLabel*>(widget)->setText(WithoutAccessKeys(caption()));
      break;
    case ControlKind::kFrame:
      if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(Q(caption()));
      break;
    case ControlKind::kCommandButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      static_cast<QAbstractButton*>(widget)->setText(Q(caption()));
      break;
    default:
      break;
  }
}

void ApplyPicture(Control& control, QWidget* widget) {
  if (control.Kind() != ControlKind::kPictureBox && control.Kind() != ControlKind::kImage) return;
  auto* label = static_cast<QLabel*>(widget);
  const Picture& picture = static_cast<PictureBox&>(control).GetPicture();
  if (picture.source == Picture::Source::kNone) {
    label->clear();
    return;
  }
  const int side = std::max(1, std::min(label->width(), label->height()));
  label->setPixmap(PictureIcon(picture).pixmap(side, side));
}

void ApplyControl(FormView& view, Control& control, Property property) {
  if (control.Kind() == ControlKind::kImageList) {
    if (property == Property::kItems) ApplyItems(view, control, nullptr);
    return;
  }
  const auto it = view.widgets.find(&control);
  if (it == view.widgets.end()) return;
  QWidget* widget = it->second;
  switch (property) {
    case Property::kGeometry: {
      const Rect& g = control.Geometry();
      widget->setGeometry(Px(g.left), Px(g.top), std::max(0, Px(g.width)), std::max(0, Px(g.height)));
      if (control.Kind() == ControlKind::kProgressBar) ApplyValue(control, widget);
      ApplyPicture(control, widget);
      break;
    }
    case Property::kEnabled:
      widget->setEnabled(control.Enabled());
      break;
    case Property::kVisible:
      widget->setVisible(control.Visible());
      break;
    case Property::kToolTip:
      widget->setToolTip(Q(control.ToolTipText()));
      break;
    case Property::kAccessibleName:
      widget->setAccessibleName(Q(control.AccessibleName()));
      break;
    case Property::kCaption:
      // A job's status line changes once per piece, thousands of times a second; laying its
      // text out each time would cost the job more than the copying.
      if (control.Kind() == ControlKind::kLabel) {
        view.staleLabels.insert(&static_cast<Label&>(control));
        Defer(view);
      } else {
        ApplyCaption(control, widget);
      }
      break;
    case Property::kText:
      if (control.Kind() == ControlKind::kTextBox) {
        const QString text = Q(static_cast<TextBox&>(control).Text());
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
          if (edit->text() != text) edit->setText(text);
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
          if (plain->toPlainText() != text) plain->setPlainText(text);
        }
      }
      break;
    case Property::kValue:
    case Property::kRange:
      ApplyValue(control, widget);
      break;
    case Property::kItems:
      ApplyItems(view, control, widget);
      break;
    case Property::kSelection:
      ApplySelection(view, control, widget);
      break;
    case Property::kPicture:
      ApplyPicture(control, widget);
      break;
    case Property::kFocus:
      if (widget->isVisible()) widget->setFocus(Qt::OtherFocusReason);
      break;
    case Property::kChecked:
      break;
  }
}

void ApplyAll(FormView& view, Control& control) {
  for (Property p : {Property::kGeometry, Property::kText, Property::kRange, Property::kValue,
                     Property::kPicture, Property::kToolTip, Property::kEnabled, Property::kVisible})
    ApplyControl(view, control, p);
  const auto it = view.widgets.find(&control);
  if (it == view.widgets.end()) return;
  ApplyCaption(control, it->second);
  if (control.Kind() == ControlKind::kListView)
    RebuildList(view, static_cast<ListView&>(control));
  else
    ApplyItems(view, control, it->second);
}

void RebuildList(FormView& view, ListView& model) {
  view.staleLists.erase(&model);
  const auto it = view.widgets.find(&model);
  if (it == view.widgets.end()) return;
  auto* list = static_cast<QTreeWidget*>(it->second);
  SyncScope sync;
  const auto& columns = model.Columns();
  if (list->columnCount() != static_cast<int>(columns.size()) || list->headerItem()->text(0).isEmpty()) {
    QStringList headers;
    for (const auto& column : columns) headers << Q(column.header);
    list->setColumnCount(std::max<int>(1, static_cast<int>(columns.size())));
    list->setHeaderLabels(headers);
    for (std::size_t i = 0; i < columns.size(); ++i)
      list->setColumnWidth(static_cast<int>(i), Px(columns[i].width));
  }
  list->clear();
  QList<QTreeWidgetItem*> items;
  for (std::size_t i = 1; i <= model.Count(); ++i) {
    const ListItem& entry = model.Item(i);
    auto* item = new QTreeWidgetItem;
    item->setText(0, Q(entry.text));
    for (std::size_t c = 0; c < entry.subItems.size(); ++c)
      item->setText(static_cast<int>(c) + 1, Q(entry.subItems[c]));
    if (model.SmallIcons && entry.smallIcon >= 1 && entry.smallIcon <= model.SmallIcons->Count())
      item->setIcon(0, PictureIcon(model.SmallIcons->At(entry.smallIcon)));
    items << item;
  }
  list->addTopLevelItems(items);
  for (int i = 0; i < items.size(); ++i)
    items[i]->setSelected(model.Item(static_cast<std::size_t>(i) + 1).selected);
}

}  // namespace

int Px(int twips) {
  return (twips + (twips >= 0 ? kTwipsPerPixel / 2 : -(kTwipsPerPixel / 2))) / kTwipsPerPixel;
}

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) { return text.toUtf8().toStdString(); }

std::unique_ptr<FormView> CreateFormView(Form& form) {
  auto view = std::make_unique<FormView>();
  view->form = &form;
  auto* window = new FormWindow;
  view->window = window;
  window->setObjectName(Q(form.Name()));
  SyncScope sync;
  if (!form.Menus().empty()) {
    view->menuBar = new QMenuBar(window);
    view->menuBar->setNativeMenuBar(false);
    for (Menu* menu : form.Menus()) AddMenu(*view, nullptr, *menu);
  }
  view->client = new QWidget(window);
  for (Control* control : form.Controls())
    if (control->Kind() != ControlKind::kMenu) EnsureWidget(*view, *control);
  for (Control* control : form.Controls())
    if (control->Kind() != ControlKind::kMenu) ApplyAll(*view, *control);
  for (Property p : {Property::kCaption, Property::kEnabled, Property::kGeometry})
    ApplyFormProperty(*view, p);

  const std::shared_ptr<bool> alive = view->alive;
  FormView* raw = view.get();
  // A disabled window takes no input, its close button included (the main window during a job).
  window->onClose = [alive, &form] {
    if (*alive && form.Enabled()) form.CloseByUser();
  };
  window->onMove = [alive, &form, window] {
    if (!*alive || SyncScope::Active() || !window->isVisible()) return;
    const Rect& g = form.Geometry();
    form.Move(window->x() * kTwipsPerPixel, window->y() * kTwipsPerPixel, g.width, g.height);
  };
  window->onKey = [alive, &form, raw](int key) {
    if (!*alive) return false;
    if (key == Qt::Key_Escape) return form.PressButton(false);
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    // Enter on a focused button presses that button; elsewhere the default one.
    if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget()))
      for (auto& [control, widget] : raw->widgets)
        if (widget == focused) {
          static_cast<CommandButton*>(const_cast<Control*>(control))->Click();
          return true;
        }
    return form.PressButton(true);
  };
  return view;
}

void ApplyProperty(FormView& view, Control& control, Property property) {
  SyncScope sync;
  if (control.Kind() == ControlKind::kForm) {
    ApplyFormProperty(view, property);
    return;
  }
  if (control.Kind() == ControlKind::kMenu) {
    auto& menu = static_cast<Menu&>(control);
    if (const auto it = view.actions.find(&menu); it != view.actions.end()) ApplyMenu(menu, it->second);
    return;
  }
  ApplyControl(view, control, property);
}

void FlushDeferred(FormView& view) {
  view.flushPosted = false;
  while (!view.staleLists.empty()) RebuildList(view, **view.staleLists.begin());
  SyncScope sync;
  for (Label* label : view.staleLabels)
    if (const auto it = view.widgets.find(label); it != view.widgets.end()) ApplyCaption(*label, it->second);
  view.staleLabels.clear();
}

void PlaceWindow(FormView& view) {
  Form& form = *view.form;
  if (!view.placed) {
    view.placed = true;
    const Rect& g = form.Geometry();
    if (g.left == 0 && g.top == 0) {
      if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int x = area.x() + std::max(0, (area.width() - Px(g.width)) / 2);
        const int y = area.y() + std::max(0, (area.height() - Px(g.height)) / 2);
        form.Move(x * kTwipsPerPixel, y * kTwipsPerPixel, g.width, g.height);
      }
    }
  }
  SyncScope sync;
  ApplyFormGeometry(view);
}

}  // namespace carvex::ui
