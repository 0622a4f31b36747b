#include "ui/headless.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ui/app.h"
#include "ui/form.h"

namespace carvex::ui {
namespace {

using B = MsgBoxButtons;
using I = MsgBoxIcon;
using R = MsgBoxResult;

class HeadlessBackendTest : public testing::Test {
protected:
  void SetUp() override { App().SetBackend(&ui); }
  void TearDown() override { App().SetBackend(nullptr); }
  HeadlessBackend ui;
};

TEST_F(HeadlessBackendTest, ExpectedBoxesAreAnsweredInOrderAndRecorded) {
  ui.ExpectMsgBox("Continue?", B::kYesNo, I::kNone, R::kYes);
  ui.ExpectMsgBox("Disk?", B::kOkCancel, I::kNone, R::kCancel);
  ui.ExpectMsgBox("Oops", B::kOkOnly, I::kCritical, R::kOk, "Ravelin");
  EXPECT_EQ(MsgBox("Continue?", B::kYesNo), R::kYes);
  EXPECT_EQ(MsgBox("Disk?", B::kOkCancel), R::kCancel);
  EXPECT_EQ(MsgBox("Oops", B::kOkOnly, I::kCritical, "Ravelin"), R::kOk);
  EXPECT_TRUE(ui.Failures().empty());
  ASSERT_EQ(ui.Boxes().size(), 3u);
  EXPECT_EQ(ui.Boxes()[0].request.title, "Carvex");  // the application's title by default
  EXPECT_EQ(ui.Boxes()[2].request.title, "Ravelin");
}

TEST_F(HeadlessBackendTest, AnyDifferenceFromTheExpectedBoxIsAFailure) {
  const struct {
    const char* label;
    const char* prompt;
    B buttons;
    I icon;
    const char* title;
  } cases[] = {
      {"text", "Continue ?", B::kYesNo, I::kNone, ""},
      {"buttons", "Continue?", B::kOkCancel, I::kNone, ""},
      {"icon", "Continue?", B::kYesNo, I::kQuestion, ""},
      {"title", "Continue?", B::kYesNo, I::kNone, "Other"},
  };
  for (const auto& c : cases) {
    HeadlessBackend fresh;
    App().SetBackend(&fresh);
    fresh.ExpectMsgBox("Continue?", B::kYesNo, I::kNone, R::kYes);
    MsgBox(c.prompt, c.buttons, c.icon, c.title);
    EXPECT_EQ(fresh.Failures().size(), 1u) << c.label;
  }
}

TEST_F(HeadlessBackendTest, UnexpectedBoxesFailAndGetTheSafeAnswer) {
  EXPECT_EQ(MsgBox("Delete everything?", B::kYesNo), R::kNo);
  EXPECT_EQ(MsgBox("Insert a disk", B::kOkCancel), R::kCancel);
  EXPECT_EQ(MsgBox("Note", B::kOkOnly), R::kOk);
  EXPECT_EQ(ui.Failures().size(), 3u);
  EXPECT_EQ(ui.Boxes().size(), 3u);
}

TEST_F(HeadlessBackendTest, AnAnswerTheButtonsDoNotOfferIsRefused) {
  ui.ExpectMsgBox("Note", B::kOkOnly, I::kNone, R::kYes);
  EXPECT_EQ(ui.Failures().size(), 1u);
}

// A library called on several threads at once gives each call its own backend: what one
// thread shows and copies never reaches another thread's backend, nor the program's.
TEST_F(HeadlessBackendTest, ThreadBackendServesOnlyItsOwnThreadAndThenGivesWayAgain) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<HeadlessBackend> own(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &backend = own[t]] {
      const std::string mine = "thread " + std::to_string(t);
      for (int round = 0; round < kRounds; ++round) {
        const ThreadBackend use(backend);
        backend.ExpectMsgBox(mine, B::kOkOnly, I::kNone, R::kOk);
        MsgBox(mine);
        SetClipboardText(mine);
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    EXPECT_TRUE(own[t].Failures().empty()) << own[t].Failures().front();
    EXPECT_EQ(own[t].Boxes().size(), static_cast<std::size_t>(kRounds));
    EXPECT_EQ(own[t].ClipboardText(), "thread " + std::to_string(t));
  }
  EXPECT_TRUE(ui.Boxes().empty());

  HeadlessBackend inner, outer;
  {
    const ThreadBackend useOuter(outer);
    {
      const ThreadBackend useInner(inner);
      SetClipboardText("inner");
    }
    SetClipboardText("outer");
  }
  SetClipboardText("program");
  EXPECT_EQ(inner.ClipboardText(), "inner");
  EXPECT_EQ(outer.ClipboardText(), "outer");
  EXPECT_EQ(ui.ClipboardText(), "program");
}

TEST_F(HeadlessBackendTest, ActionsRunInsideTheNthDoEvents) {
  std::vector<int> seen;
  ui.AtDoEvents(3, [&] { seen.push_back(ui.DoEventsCalls()); });
  ui.AtDoEvents(1, [&] {
    seen.push_back(ui.DoEventsCalls());
    ui.AtDoEvents(2, [&] { seen.push_back(100 + ui.DoEventsCalls()); });  // counted from now
  });
  for (int i = 0; i < 5; ++i) DoEvents();
  EXPECT_EQ(seen, (std::vector<int>{1, 3, 103}));
  EXPECT_EQ(ui.PendingActions(), 0u);
}

class PlainForm : public Form {
public:
  PlainForm() : Form("frmPlain") {}
};

TEST_F(HeadlessBackendTest, ModalFormsWithoutAScriptFailButReturn) {
  FormSlot<PlainForm> slot;
  slot->Show(true);
  EXPECT_EQ(ui.Failures().size(), 1u);
  EXPECT_FALSE(slot->Visible());
  ui.OnShowModal("frmPlain", [](Form&) {});
  slot->Show(true);
  EXPECT_EQ(ui.Failures().size(), 2u);  // left open by its script
  slot.Reset();
}

TEST_F(HeadlessBackendTest, DialogsWithoutAnAnswerFail) {
  FormSlot<PlainForm> slot;
  CommonDialog cd(&slot.Get(), "CD");
  cd.FileName = "";
  cd.ShowOpen();
  EXPECT_EQ(cd.FileName, "");
  cd.CancelError = true;
  try {
    cd.ShowOpen();
    ADD_FAILURE() << "Cancel must raise when asked to";
  } catch (const std::exception&) {
  }
  EXPECT_EQ(BrowseForFolder(&slot.Get(), "Choose"), "");
  EXPECT_EQ(ui.Failures().size(), 3u);
  ui.OnShowOpen([](CommonDialog& d) {
    d.FileName = "/tmp/a.txt";
    return true;
  });
  cd.ShowOpen();
  EXPECT_EQ(cd.FileName, "/tmp/a.txt");
  slot.Reset();
}

}  // namespace
}  // namespace carvex::ui
