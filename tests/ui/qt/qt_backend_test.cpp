#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "qt_test_support.h"
#include "ui/app.h"

namespace carvex {
namespace {

using test::ClickOn;
using test::DialogAnswerer;
using test::WidgetOf;
using test::WindowOf;

// One control of every kind, at positions in whole pixels but for one that tests rounding.
class GalleryForm : public ui::Form {
 public:
  GalleryForm() : Form("frmGallery") {
    SetCaption("Gallery");
    SetClientSize(7500, 4500);
    lblName.SetCaption("&Name:");
    lblName.Move(7, 8, 22, 23);
    txtName.Move(1500, 150, 1500, 315);
    cmdGo.SetCaption("&Go");
    cmdGo.IsDefault = true;
    cmdGo.Move(3150, 150, 1200, 375);
    cmdStop.SetCaption("Stop");
    cmdStop.IsCancel = true;
    cmdStop.Move(4500, 150, 1200, 375);
    chkOn.SetCaption("On");
    chkOn.Move(150, 600, 1500, 255);
    fraLeft.SetCaption("Left");
    fraLeft.Move(150, 900, 1800, 1200);
    fraRight.SetCaption("Right");
    fraRight.Move(2100, 900, 1800, 1200);
    for (ui::OptionButton* o : {&optLeftA, &optLeftB, &optRightA, &optRightB}) o->SetCaption(o->Name());
    optLeftA.Move(150, 300, 1500, 255);
    optLeftB.Move(150, 750, 1500, 255);
    optRightA.Move(150, 300, 1500, 255);
    optRightB.Move(150, 750, 1500, 255);
    lvwFiles.AddColumn("Name", 1500);
    lvwFiles.AddColumn("Size", 900);
    lvwFiles.SmallIcons = &imlIcons;
    lvwFiles.MultiSelect = true;
    imlIcons.Add(1, {ui::Picture::Source::kResource, "piece"});
    lvwFiles.Move(4050, 900, 3300, 1500);
    pbBar.Move(150, 2250, 3000, 300);
    sldLevel.SetRange(0, 9);
    sldLevel.Move(150, 2700, 2400, 450);
    vscCount.SetRange(1, 3);
    vscCount.SetValue(1);
    vscCount.Move(2700, 2700, 255, 315);
    for (const char* size : {"small", "large"}) cboSizes.AddItem(size);
    cboSizes.Move(3150, 2700, 1500, 315);
    drvDrives.SetItems({"/", "/media/stick"});
    drvDrives.SetDrive("/");
    drvDrives.Move(4800, 2700, 1500, 315);
    tbsTabs.AddTab("One");
    tbsTabs.AddTab("Two");
    tbsTabs.Move(150, 3300, 3000, 900);
    picIcon.SetPicture({ui::Picture::Source::kResource, "carvex"});
    picIcon.Move(3300, 3300, 480, 480);
    mnuFile.SetCaption("&File");
    mnuOpen.SetCaption("&Open");
    mnuSep.SetCaption("-");
    mnuTick.SetCaption("&Tick");
    mnuTick.SetChecked(true);
    mnuOpen.OnClick = [this] { ++opens; };
    cmdGo.OnClick = [this] { ++goes; };
    cmdStop.OnClick = [this] { ++stops; };
  }
  ui::Label lblName{this, "lblName"};
  ui::TextBox txtName{this, "txtName"};
  ui::CommandButton cmdGo{this, "cmdGo"};
  ui::CommandButton cmdStop{this, "cmdStop"};
  ui::CheckBox chkOn{this, "chkOn"};
  ui::Frame fraLeft{this, "fraLeft"};
  ui::OptionButton optLeftA{this, "optLeftA", &fraLeft};
  ui::OptionButton optLeftB{this, "optLeftB", &fraLeft};
  ui::Frame fraRight{this, "fraRight"};
  ui::OptionButton optRightA{this, "optRightA", &fraRight};
  ui::OptionButton optRightB{this, "optRightB", &fraRight};
  ui::ImageList imlIcons{this, "imlIcons"};
  ui::ListView lvwFiles{this, "lvwFiles"};
  ui::ProgressBar pbBar{this, "pbBar"};
  ui::Slider sldLevel{this, "sldLevel"};
  ui::VScrollBar vscCount{this, "vscCount"};
  ui::ComboBox cboSizes{this, "cboSizes"};
  ui::DriveListBox drvDrives{this, "drvDrives"};
  ui::TabStrip tbsTabs{this, "tbsTabs"};
  ui::PictureBox picIcon{this, "picIcon"};
  ui::Menu mnuFile{this, "mnuFile"};
  ui::Menu mnuOpen{this, "mnuOpen", &mnuFile};
  ui::Menu mnuSep{this, "mnuSep", &mnuFile};
  ui::Menu mnuTick{this, "mnuTick", &mnuFile};
  int opens = 0, goes = 0, stops = 0;
  bool refuseClose = false;
  int unloads = 0;

 protected:
  void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override {
    cancel = refuseClose && mode == ui::UnloadMode::kUserClose;
  }
  void Form_Unload(bool&) override { ++unloads; }
};

class QtBackendTest : public testing::Test {
 protected:
  void SetUp() override {
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(WindowOf(*form)));
  }
  void TearDown() override {
    for (const std::string& failure : dialogs.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(dialogs.Pending(), 0u) << "expected dialogs that never opened";
    form.Reset();
    test::Settle();
  }
  template <class W>
  W* As(const ui::Control& control) {
    return qobject_cast<W*>(WidgetOf(control));
  }

  ui::FormSlot<GalleryForm> form;
  DialogAnswerer dialogs;
};

TEST_F(QtBackendTest, EachControlBecomesItsWidgetInItsContainerAtItsPixelGeometry) {
  GalleryForm& f = *form;
  const struct {
    const ui::Control& control;
    const char* widgetClass;
    const ui::Control* container;
    QRect pixels;
  } cases[] = {
      {f.lblName, "QLabel", nullptr, {0, 1, 1, 2}},  // 7, 8, 22, 23 twips round to the nearest pixel
      {f.txtName, "QLineEdit", nullptr, {100, 10, 100, 21}},
      {f.cmdGo, "QPushButton", nullptr, {210, 10, 80, 25}},
      {f.chkOn, "QCheckBox", nullptr, {10, 40, 100, 17}},
      {f.fraLeft, "QGroupBox", nullptr, {10, 60, 120, 80}},
      {f.optLeftB, "QRadioButton", &f.fraLeft, {10, 50, 100, 17}},
      {f.optRightA, "QRadioButton", &f.fraRight, {10, 20, 100, 17}},
      {f.lvwFiles, "QTreeWidget", nullptr, {270, 60, 220, 100}},
      {f.pbBar, "QProgressBar", nullptr, {10, 150, 200, 20}},
      {f.sldLevel, "QSlider", nullptr, {10, 180, 160, 30}},
      {f.cboSizes, "QComboBox", nullptr, {210, 180, 100, 21}},
      {f.drvDrives, "QComboBox", nullptr, {320, 180, 100, 21}},
      {f.tbsTabs, "QTabWidget", nullptr, {10, 220, 200, 60}},
      {f.picIcon, "QLabel", nullptr, {220, 220, 32, 32}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control.Name());
    QWidget* widget = WidgetOf(c.control);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(c.widgetClass)) << widget->metaObject()->className();
    EXPECT_EQ(widget->geometry(), c.pixels);
    EXPECT_EQ(widget->parentWidget(),
              c.container ? WidgetOf(*c.container) : WidgetOf(f.lblName)->parentWidget());
  }
  // Client area 7500 x 4500 twips, below a menu bar of its own height.
  QWidget* window = WindowOf(f);
  const auto* menuBar = window->findChild<QMenuBar*>();
  ASSERT_NE(menuBar, nullptr);
  EXPECT_EQ(window->size(), QSize(500, menuBar->height() + 280));
  EXPECT_EQ(WidgetOf(f.lblName)->parentWidget()->y(), menuBar->height());
}

TEST_F(QtBackendTest, PropertiesSetByCodeReachTheWidgets) {
  GalleryForm& f = *form;
  f.cmdGo.SetToolTipText("Go on");
  f.chkOn.SetEnabled(false);
  f.fraRight.SetVisible(false);
  f.txtName.SetText("typed by code");
  f.chkOn.SetValue(ui::CheckBox::kGrayed);
  f.cboSizes.SetListIndex(1);
  f.tbsTabs.Select(2);
  f.SetCaption("Renamed");
  f.optLeftA.SetValue(true);
  f.optLeftA.SetValue(false);  // code may leave a group with no choice
  EXPECT_EQ(As<QLabel>(f.lblName)->text(), "Name:");
  EXPECT_EQ(As<QPushButton>(f.cmdGo)->text(), "&Go");
  EXPECT_EQ(WidgetOf(f.cmdGo)->toolTip(), "Go on");
  EXPECT_FALSE(WidgetOf(f.chkOn)->isEnabled());
  EXPECT_FALSE(WidgetOf(f.optRightA)->isVisible());
  EXPECT_EQ(As<QLineEdit>(f.txtName)->text(), "typed by code");
  EXPECT_EQ(As<QCheckBox>(f.chkOn)->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(As<QComboBox>(f.cboSizes)->currentText(), "large");
  EXPECT_EQ(As<QComboBox>(f.drvDrives)->currentText(), "/");
  EXPECT_EQ(As<QTabWidget>(f.tbsTabs)->currentIndex(), 1);
  EXPECT_EQ(WindowOf(f)->windowTitle(), "Renamed");
  EXPECT_FALSE(As<QRadioButton>(f.optLeftA)->isChecked());
  EXPECT_FALSE(As<QLabel>(f.picIcon)->pixmap().isNull());
}

TEST_F(QtBackendTest, UserInputThroughTheWidgetsReachesTheModel) {
  GalleryForm& f = *form;
  f.optLeftA.SetValue(true);
  f.optRightA.SetValue(true);
  ClickOn(f.optLeftB);
  // The other frame's group keeps its choice.
  EXPECT_TRUE(f.optLeftB.Value());
  EXPECT_FALSE(f.optLeftA.Value());
  EXPECT_FALSE(As<QRadioButton>(f.optLeftA)->isChecked());
  EXPECT_TRUE(As<QRadioButton>(f.optRightA)->isChecked());
  ClickOn(f.optLeftB);  // clicking the chosen one leaves it chosen
  EXPECT_TRUE(As<QRadioButton>(f.optLeftB)->isChecked());

  ClickOn(f.chkOn);
  EXPECT_EQ(f.chkOn.Value(), ui::CheckBox::kChecked);
  test::TypeInto(f.txtName, "abc");
  EXPECT_EQ(f.txtName.Text(), "abc");

  const auto spin = WidgetOf(f.vscCount)->findChildren<QToolButton*>();
  ASSERT_EQ(spin.size(), 2);
  for (int i = 0; i < 3; ++i) QTest::mouseClick(spin[0], Qt::LeftButton);
  EXPECT_EQ(f.vscCount.Value(), 3);  // the up arrow raises it, up to Max
  QTest::mouseClick(spin[1], Qt::LeftButton);
  EXPECT_EQ(f.vscCount.Value(), 2);

  QTabBar* tabs = As<QTabWidget>(f.tbsTabs)->tabBar();
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
  EXPECT_EQ(f.tbsTabs.SelectedIndex(), 2);

  WidgetOf(f.drvDrives)->setFocus();
  QTest::keyClick(WidgetOf(f.drvDrives), Qt::Key_Down);
  EXPECT_EQ(f.drvDrives.Drive(), "/media/stick");
  QTest::keyClick(WidgetOf(f.sldLevel), Qt::Key_Right);
  EXPECT_EQ(f.sldLevel.Value(), 1);

  // Enter presses the default button, Escape the cancel button; Alt and the access key too.
  QTest::keyClick(WidgetOf(f.txtName), Qt::Key_Return);
  QTest::keyClick(WidgetOf(f.txtName), Qt::Key_Escape);
  QTest::keyClick(WindowOf(f), Qt::Key_G, Qt::AltModifier);
  EXPECT_TRUE(test::WaitUntil([&] { return f.goes == 2; }, 2000)) << f.goes;
  EXPECT_EQ(f.stops, 1);
}

TEST_F(QtBackendTest, ReportListShowsColumnsAndIconsAndTakesMultipleSelection) {
  GalleryForm& f = *form;
  for (const char* name : {"a.bin", "b.bin", "c.bin"})
    f.lvwFiles.SetSubItem(f.lvwFiles.Add(f.lvwFiles.Count() + 1, name, 1), 1, "1 Kb");
  auto* list = As<QTreeWidget>(f.lvwFiles);
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->headerItem()->text(1), "Size");
  EXPECT_EQ(list->columnWidth(0), 100);
  EXPECT_EQ(list->topLevelItem(2)->text(0), "c.bin");
  EXPECT_EQ(list->topLevelItem(2)->text(1), "1 Kb");
  EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());

  const auto rowCentre = [&](int row) { return list->visualItemRect(list->topLevelItem(row)).center(); };
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
  EXPECT_EQ(f.lvwFiles.SelectedIndexes(), (std::vector<std::size_t>{1, 3}));
  f.lvwFiles.SetSelected(2, true);
  EXPECT_TRUE(list->topLevelItem(1)->isSelected());
  f.lvwFiles.Remove(1);
  test::Settle();
  EXPECT_EQ(list->topLevelItemCount(), 2);
  EXPECT_TRUE(list->topLevelItem(0)->isSelected());
}

TEST_F(QtBackendTest, MenusShowTicksSeparatorsAndHiddenEntries) {
  GalleryForm& f = *form;
  EXPECT_TRUE(test::Qt().Action(f.mnuSep)->isSeparator());
  EXPECT_TRUE(test::Qt().Action(f.mnuTick)->isChecked());
  f.mnuTick.SetChecked(false);
  f.mnuOpen.SetVisible(false);
  EXPECT_FALSE(test::Qt().Action(f.mnuTick)->isChecked());
  EXPECT_FALSE(test::Qt().Action(f.mnuOpen)->isVisible());
  // Triggering a tick entry would toggle it in Qt; the model's handler decides.
  test::Qt().Action(f.mnuTick)->trigger();
  EXPECT_FALSE(test::Qt().Action(f.mnuTick)->isChecked());
  f.mnuOpen.SetVisible(true);
  test::Qt().Action(f.mnuOpen)->trigger();
  EXPECT_EQ(f.opens, 1);
}

TEST_F(QtBackendTest, ProgressBarRepaintsOnlyWhenItsPixelPositionChanges) {
  GalleryForm& f = *form;
  auto* bar = As<QProgressBar>(f.pbBar);
  int changes = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, bar, [&] { ++changes; });
  // Beyond what an int holds: a 6 GiB job in 100 KiB chunks.
  const double total = 6.0 * 1024 * 1024 * 1024;
  f.pbBar.SetMax(total);
  const int chunks = 61440;
  for (int i = 1; i <= chunks; ++i) f.pbBar.SetValue(total * i / chunks);
  EXPECT_EQ(bar->maximum(), bar->width());
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(changes, bar->width());
}

TEST_F(QtBackendTest, MessageBoxesOfferTheButtonsAndIconAskedForAndReturnThePressedOne) {
  using B = QMessageBox;
  using R = ui::MsgBoxResult;
  const struct {
    ui::MsgBoxButtons buttons;
    ui::MsgBoxIcon icon;
    B::StandardButtons offered;
    B::Icon shownIcon;
    B::StandardButton press;
    R result;
  } cases[] = {
      {ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kNone, B::Ok, B::NoIcon, B::Ok, R::kOk},
      {ui::MsgBoxButtons::kOkCancel, ui::MsgBoxIcon::kInformation, B::Ok | B::Cancel, B::Information,
       B::Cancel, R::kCancel},
      {ui::MsgBoxButtons::kAbortRetryIgnore, ui::MsgBoxIcon::kCritical, B::Abort | B::Retry | B::Ignore,
       B::Critical, B::Ignore, R::kIgnore},
      {ui::MsgBoxButtons::kYesNoCancel, ui::MsgBoxIcon::kQuestion, B::Yes | B::No | B::Cancel, B::Question,
       B::No, R::kNo},
      {ui::MsgBoxButtons::kYesNo, ui::MsgBoxIcon::kExclamation, B::Yes | B::No, B::Warning, B::Yes, R::kYes},
      {ui::MsgBoxButtons::kRetryCancel, ui::MsgBoxIcon::kNone, B::Retry | B::Cancel, B::NoIcon, B::Retry,
       R::kRetry},
  };
  for (const auto& c : cases) {
    dialogs.ExpectBox("First line", c.press);
    EXPECT_EQ(ui::MsgBox("First line\n\rSecond line", c.buttons, c.icon), c.result)
        << ui::ToString(c.buttons);
    const auto& box = dialogs.Boxes().back();
    EXPECT_EQ(box.buttons, c.offered) << ui::ToString(c.buttons);
    EXPECT_EQ(box.icon, c.shownIcon) << ui::ToString(c.buttons);
    EXPECT_EQ(box.text, "First line\nSecond line");
    EXPECT_EQ(box.title, "Carvex");
  }
  // The first button is the default, as Enter answers it.
  EXPECT_EQ(dialogs.Boxes()[3].defaultButton, B::Yes);
}

TEST_F(QtBackendTest, ModalShowWaitsUntilTheFormIsHiddenOrUnloaded) {
  const struct {
    const char* how;
    std::function<void(GalleryForm&)> end;
    bool loadedAfter;
  } cases[] = {
      {"hidden", [](GalleryForm& d) { d.Hide(); }, true},
      {"unloaded", [](GalleryForm& d) { d.Unload(); }, false},
      {"closed by the user", [](GalleryForm& d) { WindowOf(d)->close(); }, false},
  };
  dialogs.AllowModal("frmGallery");
  for (const auto& c : cases) {
    ui::FormSlot<GalleryForm> dialog;
    bool ended = false;
    QTimer::singleShot(50, [&] {
      ended = true;
      c.end(*dialog);
    });
    dialog->Show(true);
    EXPECT_TRUE(ended) << c.how << ": Show returned before the form went";
    EXPECT_EQ(dialog.IsLoaded(), c.loadedAfter) << c.how;
    dialog.Reset();
  }
}

TEST_F(QtBackendTest, ClosingTheWindowAsksTheFormAndADisabledFormTakesNoInput) {
  GalleryForm& f = *form;
  f.refuseClose = true;
  WindowOf(f)->close();
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_TRUE(WindowOf(f)->isVisible());

  f.SetEnabled(false);
  EXPECT_FALSE(WindowOf(f)->isEnabled());
  QTest::mouseClick(WidgetOf(f.cmdGo), Qt::LeftButton);
  EXPECT_EQ(f.goes, 0);
  // A box asked for while the window is disabled still takes its answer.
  dialogs.ExpectBox("Still there?", QMessageBox::Yes);
  EXPECT_EQ(ui::MsgBox("Still there?", ui::MsgBoxButtons::kYesNo), ui::MsgBoxResult::kYes);

  f.refuseClose = false;
  WindowOf(f)->close();
  EXPECT_TRUE(form.IsLoaded()) << "a disabled window was closed";
  f.SetEnabled(true);
  WindowOf(f)->close();
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(f.unloads, 1);
}

TEST(QtFileDialogs, FilterStringsBecomeQtNameFilters) {
  const struct {
    const char* filter;
    std::vector<std::string> want;
  } cases[] = {
      {"Text|*.txt|All|*.*", {"Text (*.txt)", "All (*)"}},
      {"Carvex Files (*.cvx)|*.cvx|", {"Carvex Files (*.cvx)"}},
      {"Images (*.bmp;*.jpg)|*.bmp;*.jpg", {"Images (*.bmp *.jpg)"}},
      {"All Files (*.*)|*.*|Odd|*.*.txt", {"All Files (*)", "Odd (*.*.txt)"}},
      {"|*.ini", {"*.ini (*.ini)"}},
      {"No patterns|", {"No patterns (*)"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::QtNameFilters(c.filter), c.want) << c.filter;
}

TEST(QtFileDialogs, OpenDialogNamesOneFileByPathAndSeveralByFolderAndNames) {
  using namespace std::string_literals;
  const struct {
    std::vector<std::string> paths;
    std::string want;
  } cases[] = {
      {{}, ""},
      {{"/data/a.txt"}, "/data/a.txt"},
      {{"/data/a.txt", "/data/b c.txt"}, "/data\0a.txt\0b c.txt"s},
      {{"/a.txt", "/b.txt"}, "/\0a.txt\0b.txt"s},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::OpenDialogFileName(c.paths), c.want);
}

}  // namespace
}  // namespace carvex
