// The program's forms in real windows: a split and a build driven through the widgets, Cancel
// during a job, files dropped on the lists, and a screenshot of every form in both modes with
// its layout checked.
#include <gtest/gtest.h>

#include <QAccessible>
#include <algorithm>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <thread>

#include "frm_carvex.h"
#include "frm_finished.h"
#include "frm_options.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "platform/files.h"
#include "progress_status.h"
#include "qt_test_support.h"
#include "settings_store.h"
#include "support/form_showcase.h"
#include "support/temp_dir.h"
#include "ui/app.h"

namespace carvex {
namespace {

using test::ClickOn;
using test::TempDir;
using test::WidgetOf;
using test::WindowOf;

void ClickTab(const ui::TabStrip& strip, int index) {
  QTabBar* bar = qobject_cast<QTabWidget*>(WidgetOf(strip))->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index - 1).center());
}

void DropOn(const ui::ListView& list, const std::vector<std::string>& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
  data.setUrls(urls);
  QWidget* viewport = qobject_cast<QAbstractScrollArea*>(WidgetOf(list))->viewport();
  const QPoint at = viewport->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  ASSERT_TRUE(enter.isAccepted()) << list.Name() << " refused the drag";
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  test::Settle();
}

std::string Screenshot(QWidget* window, const std::string& name) {
  QDir().mkpath(CARVEX_SCREENSHOT_DIR);
  const QString path = QStringLiteral(CARVEX_SCREENSHOT_DIR "/") + QString::fromStdString(name) + ".png";
  EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
  return path.toStdString();
}

// What a user would see as broken in a window: text cut off by its control, controls lying on
// each other or on a frame's caption, controls reaching out of their container.
std::vector<std::string> LayoutProblems(QWidget* window) {
  std::vector<std::string> problems;
  const auto name = [](const QWidget* w) { return w->objectName().toStdString(); };
  const auto shown = [window](const QWidget* w) {
    return w->isVisibleTo(window) && !w->objectName().isEmpty();
  };
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!shown(w)) continue;
    const QFontMetrics metrics = w->fontMetrics();
    const QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
      if (label->heightForWidth(label->width()) > label->height())
        problems.push_back(name(w) + ": its text needs " +
                           std::to_string(label->heightForWidth(label->width())) + " pixels of height, has " +
                           std::to_string(label->height()));
      if (metrics.horizontalAdvance(label->text().split(' ').first()) > label->width())
        problems.push_back(name(w) + ": its first word is wider than the label");
    } else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
      const QString text = QString(button->text()).remove('&');
      int needed = metrics.horizontalAdvance(text);
      if (qobject_cast<QCheckBox*>(w))
        needed += style->pixelMetric(QStyle::PM_IndicatorWidth) +
                  style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
      else if (qobject_cast<QRadioButton*>(w))
        needed += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                  style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
      else
        needed += 2 * style->pixelMetric(QStyle::PM_ButtonMargin);
      if (needed > button->width())
        problems.push_back(name(w) + ": \"" + text.toStdString() + "\" needs " + std::to_string(needed) +
                           " pixels of width, has " + std::to_string(button->width()));
      if (metrics.height() > button->height())
        problems.push_back(name(w) + ": its text is taller than the control");
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
      QStyleOptionGroupBox option;
      option.initFrom(group);
      option.text = group->title();
      option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      option.lineWidth = 1;
      const QRect caption =
          style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
      for (QWidget* child : group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (shown(child) && child->geometry().intersects(caption))
          problems.push_back(name(child) + ": lies on the caption of " + name(w));
    } else if (qobject_cast<QLineEdit*>(w) && metrics.height() + 4 > w->height()) {
      problems.push_back(name(w) + ": its text is taller than the box");
    }
    if (QWidget* parent = w->parentWidget();
        parent && parent != window && !parent->rect().contains(w->geometry()))
      problems.push_back(name(w) + ": reaches out of " + name(parent));
  }
  // Siblings may not overlap; the tab strip lies under the panels it switches.
  for (QWidget* parent : window->findChildren<QWidget*>()) {
    std::vector<QWidget*> children;
    for (QWidget* child : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      if (shown(child) && !qobject_cast<QTabWidget*>(child)) children.push_back(child);
    for (std::size_t i = 0; i < children.size(); ++i)
      for (std::size_t j = i + 1; j < children.size(); ++j)
        if (children[i]->geometry().intersects(children[j]->geometry()))
          problems.push_back(name(children[i]) + " overlaps " + name(children[j]));
  }
  return problems;
}

// Follows the progress dialog of a running job through its real bar: records each position,
// holds every step for `hold` so that the test can act mid-job, and runs `action` once from the
// event loop when the bar first reaches `share` of its length. It attaches when the dialog's
// window is shown, which happens inside the job.
class ProgressWatcher : public QObject {
 public:
  ProgressWatcher(double share, std::chrono::milliseconds hold, std::function<void()> action)
      : share_(share), hold_(hold), action_(std::move(action)) {
    qApp->installEventFilter(this);
  }
  ~ProgressWatcher() override { qApp->removeEventFilter(this); }
  std::vector<int> positions;
  int length = 0;
  bool fired = false;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || watched->objectName() != "frmProgressStatus") return false;
    auto* bar = watched->findChild<QProgressBar*>(QStringLiteral("pbProgress"));
    if (!bar || bar == bar_) return false;
    bar_ = bar;
    QObject::connect(bar, &QProgressBar::valueChanged, this, [this, bar](int position) {
      positions.push_back(position);
      length = bar->maximum();
      std::this_thread::sleep_for(hold_);
      if (fired || position < share_ * length) return;
      fired = true;
      QTimer::singleShot(0, this, action_);
    });
    return false;
  }

 private:
  double share_;
  std::chrono::milliseconds hold_;
  std::function<void()> action_;
  QProgressBar* bar_ = nullptr;
};

class QtFormsTest : public testing::Test {
 protected:
  void SetUp() override {
    test::StartFresh(app);
    test::Qt().OnEndProgram([this] { ++endings; });
  }
  void TearDown() override {
    for (const std::string& failure : dialogs.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(dialogs.Pending(), 0u) << "expected dialogs that never opened";
    test::UnloadEverything();
    test::Settle();
  }
  CarvexForm& ShowMain() {
    frmCarvex->Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(WindowOf(*frmCarvex)));
    return *frmCarvex;
  }
  std::vector<std::string> ListedNames(const ui::ListView& list) {
    std::vector<std::string> names;
    auto* tree = qobject_cast<QTreeWidget*>(WidgetOf(list));
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
      names.push_back(tree->topLevelItem(i)->text(0).toStdString());
    return names;
  }

  TempDir app, src, dest;
  test::DialogAnswerer dialogs;
  int endings = 0;
};

TEST_F(QtFormsTest, SplitAndBuildThroughTheWindowGiveTheFileBackByteForByte) {
  const std::string bytes = test::PatternBytes(1000000, 7);
  src.Write("source.bin", bytes);
  CarvexForm& w = ShowMain();

  dialogs.ExpectOpen({src.File("source.bin")});
  ClickOn(w.cmdSplitAddFiles);
  EXPECT_EQ(ListedNames(w.lvwSplitFileNames), std::vector<std::string>{"source.bin"});
  test::TypeInto(w.txtSplitDestination, dest.Folder());
  ClickOn(w.optSizeKb);
  test::TypeInto(w.txtSizeKb, "300");
  dialogs.ExpectBox("You have chosen to split the file source.bin:", QMessageBox::Yes);
  bool mainDisabled = false;
  ProgressWatcher splitting(0.5, std::chrono::milliseconds(20), [&] {
    mainDisabled = !WindowOf(w)->isEnabled();
    Screenshot(WindowOf(*frmProgressStatus), "frmProgressStatus-split-running");
  });
  ClickOn(w.cmdAction);
  EXPECT_TRUE(splitting.fired);
  EXPECT_TRUE(mainDisabled) << "the main window took input during the split";
  EXPECT_TRUE(WindowOf(w)->isEnabled());
  EXPECT_FALSE(frmProgressStatus.IsLoaded());

  const std::size_t piece = 300 * 1024;
  for (std::size_t k = 0; k * piece < bytes.size(); ++k)
    EXPECT_EQ(dest.Read(PieceFileName("source.bin", static_cast<std::int64_t>(k) + 1)),
              bytes.substr(k * piece, piece))
        << "piece " << k + 1;
  EXPECT_FALSE(platform::PathExists(dest.File(PieceFileName("source.bin", 5))));
  EXPECT_TRUE(platform::PathExists(dest.File("source.bin.Bat")));

  ClickTab(w.tbsTabs, 2);
  EXPECT_EQ(CurrentMode, 2);
  EXPECT_TRUE(WidgetOf(w.cmdAddBuildFile)->isVisible());
  EXPECT_FALSE(WidgetOf(w.cmdSplitAddFiles)->isVisible());
  dialogs.ExpectOpen({dest.File("source.bin.001.cvx")});
  ClickOn(w.cmdAddBuildFile);
  EXPECT_EQ(ListedNames(w.lvwBuildFileNames).size(), 4u);
  TempDir out;
  dialogs.ExpectFolder(out.Path());
  ClickOn(w.cmdBuildBrowseDestination);
  EXPECT_EQ(qobject_cast<QLineEdit*>(WidgetOf(w.txtBuildDestination))->text().toStdString(), out.Folder());
  dialogs.ExpectBox("You have chosen to build a file:", QMessageBox::Yes);
  ProgressWatcher building(0.5, std::chrono::milliseconds(20), [&] {
    Screenshot(WindowOf(*frmProgressStatus), "frmProgressStatus-build-running");
  });
  ClickOn(w.cmdAction);
  EXPECT_TRUE(building.fired);
  EXPECT_TRUE(out.Read("source.bin") == bytes) << "the built file differs from the source";
  EXPECT_TRUE(WindowOf(w)->isEnabled());
}

// Cancel stops a split, whether its button is clicked or the dialog's window is closed through
// its frame: a close is the same click, with the same questions.
TEST_F(QtFormsTest, CancelDuringASplitStopsItAndDeletesThePiecesMade) {
  src.Write("big.bin", test::PatternBytes(24 << 20, 3));
  CarvexForm& w = ShowMain();
  dialogs.ExpectOpen({src.File("big.bin")});
  ClickOn(w.cmdSplitAddFiles);
  test::TypeInto(w.txtSplitDestination, dest.Folder());
  ClickOn(w.optSizeMb);
  const std::function<void()> ways[] = {[] { ClickOn(frmProgressStatus->cmdCancel); },
                                        [] { WindowOf(*frmProgressStatus)->close(); }};
  for (const auto& stop : ways) {
    dialogs.ExpectBox("You have chosen to split the file big.bin:", QMessageBox::Yes);
    dialogs.ExpectBox("Are you sure you want to stop splitting this file?", QMessageBox::Yes);
    dialogs.ExpectBox("of the files have already been created would you like to delete them?",
                      QMessageBox::Yes);
    ProgressWatcher job(0.3, std::chrono::milliseconds(1), stop);
    ClickOn(w.cmdAction);

    ASSERT_TRUE(job.fired);
    // The bar went through positions short of its end, and stopped short of it.
    ASSERT_GT(job.positions.size(), 10u);
    EXPECT_GT(job.positions.back(), job.positions.front());
    EXPECT_LT(job.positions.back(), job.length);
    EXPECT_FALSE(SplitInProgress);
    EXPECT_FALSE(frmProgressStatus.IsLoaded());
    EXPECT_TRUE(WindowOf(w)->isEnabled());
    EXPECT_TRUE(QDir(QString::fromStdString(dest.Path())).entryList(QDir::Files).isEmpty());
  }
}

TEST_F(QtFormsTest, DroppedFilesJoinTheListsAsTheAddButtonsWouldAddThem) {
  src.Write("a.txt", "a");
  src.Write("b.txt", "bb");
  src.MakeFolder("folder");
  CarvexForm& w = ShowMain();
  DropOn(w.lvwSplitFileNames, {src.File("a.txt")});
  EXPECT_EQ(ListedNames(w.lvwSplitFileNames), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(WidgetOf(w.chkZipFile)->isEnabled());
  // A folder is listed too; it is split once zipped.
  DropOn(w.lvwSplitFileNames, {src.File("folder"), src.File("b.txt")});
  EXPECT_EQ(ListedNames(w.lvwSplitFileNames), (std::vector<std::string>{"a.txt", "folder", "b.txt"}));
  // Several entries are zipped before a split: the box is ticked and locked.
  EXPECT_TRUE(qobject_cast<QCheckBox*>(WidgetOf(w.chkZipFile))->isChecked());
  EXPECT_FALSE(WidgetOf(w.chkZipFile)->isEnabled());

  for (int k : {1, 2, 3}) dest.Write(PieceFileName("set.bin", k), std::string(10, 'x'));
  ClickTab(w.tbsTabs, 2);
  // Each tab has its own tool tip, whichever is shown.
  auto* tabs = qobject_cast<QTabWidget*>(WidgetOf(w.tbsTabs));
  EXPECT_EQ(tabs->tabToolTip(0).toStdString(), "Click to view Split Mode");
  EXPECT_EQ(tabs->tabToolTip(1).toStdString(), "Click to view Build Mode");
  DropOn(w.lvwBuildFileNames, {dest.File(PieceFileName("set.bin", 2))});
  EXPECT_EQ(ListedNames(w.lvwBuildFileNames),
            (std::vector<std::string>{"set.bin.001.cvx", "set.bin.002.cvx", "set.bin.003.cvx"}));
  EXPECT_EQ(w.txtBuildDestination.Text(), dest.Folder());
}

// The program ends inside the handler, with code 0 and its settings saved, whichever way the
// user leaves; a real process is needed to see it end.
TEST(QtProgramEnd, EachWayOutSavesTheSettingsAndEndsTheProcessAtOnce) {
  for (const char* way : {"button", "menu", "close"}) {
    TempDir app;
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(CARVEX_END_PROBE),
                {QString::fromStdString(app.Path()), QString::fromLatin1(way)});
    ASSERT_TRUE(probe.waitForFinished(30000)) << way;
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << way;
    EXPECT_EQ(probe.exitCode(), 0) << way << ": " << probe.readAllStandardError().toStdString();
    ASSERT_TRUE(platform::PathExists(app.File(kSettingsFileName))) << way;
    EXPECT_EQ(DecodeSettings(test::ReadFileBytes(app.File(kSettingsFileName))).ShowFinish, kTrue) << way;
  }
}

// Installed, the program lies in <prefix>/bin and its data files in <prefix>/share/carvex; in the
// build tree, and wherever else it lies, they lie beside it.
TEST(QtProgramInstall, TheApplicationFolderIsShareCarvexBesideBinElseTheProgramsOwn) {
  const struct {
    const char* programFolder;
    const char* madeFolder;
    const char* want;
  } cases[] = {
      {"prefix/bin", "prefix/share/carvex", "prefix/share/carvex"},
      {"prefix/bin", "prefix/share/other", "prefix/bin"},
      {"prefix/sbin", "prefix/share/carvex", "prefix/sbin"},
      {"build/bin", nullptr, "build/bin"},
  };
  for (const auto& c : cases) {
    TempDir root;
    const QString program = QString::fromStdString(root.File(c.programFolder)) + "/carvex";
    QDir().mkpath(QString::fromStdString(root.File(c.programFolder)));
    if (c.madeFolder) QDir().mkpath(QString::fromStdString(root.File(c.madeFolder)));
    ASSERT_TRUE(QFile::copy(QStringLiteral(CARVEX_APP_PATH_PROBE), program));
    QProcess probe;
    probe.start(program, {});
    ASSERT_TRUE(probe.waitForFinished(10000)) << c.programFolder;
    EXPECT_EQ(probe.readAllStandardOutput().toStdString(), root.File(c.want)) << c.programFolder;
  }
}

// What a screen reader reads for each control: every control of the main window and of the
// Options and Zip dialogs has a name, in both modes.
TEST_F(QtFormsTest, EveryControlHasANameForScreenReaders) {
  CarvexForm& w = ShowMain();
  test::ForEachNamedForm(
      w, [&](int tab) { ClickTab(w.tbsTabs, tab); }, [] { test::Settle(); },
      [](ui::Form& form, const std::string& where) {
        SCOPED_TRACE(where);
        for (ui::Control* control : form.Controls()) {
          QWidget* widget = WidgetOf(*control);
          if (!widget || !widget->isVisible()) continue;
          QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
          ASSERT_NE(accessible, nullptr) << control->Name();
          const QString name = accessible->text(QAccessible::Name);
          EXPECT_FALSE(name.isEmpty() || name == "...") << control->Name() << " has no name";
          // Qt on Linux names a combo box by its current text and relates it to its label instead.
          const bool combo = qobject_cast<QComboBox*>(widget) != nullptr;
          if (!combo && !control->AccessibleName().empty())
            EXPECT_EQ(name.toStdString(), control->AccessibleName()) << control->Name();
        }
      });
}

TEST_F(QtFormsTest, EveryFormInBothModesIsLaidOutWithoutClippingOrOverlap) {
  CarvexForm& w = ShowMain();
  test::FillShowcaseLists(w, src, dest);
  for (const test::ShowcaseMode& m : test::ShowcaseModes()) {
    ClickTab(w.tbsTabs, m.tab);
    test::Settle();
    for (const test::ShowcaseForm& f : test::ShowcaseForms(w, m)) {
      SCOPED_TRACE(std::string(f.name) + " in " + m.mode + " mode");
      ui::Form& form = f.prepare();
      CenterForm(form);
      form.Show();
      QWidget* window = WindowOf(form);
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
      test::Settle();
      Screenshot(window, std::string(f.name) + "-" + m.mode);
      for (const std::string& problem : LayoutProblems(window)) ADD_FAILURE() << problem;
      if (&form != &w) form.Unload();
    }
  }
}

}  // namespace
}  // namespace carvex
