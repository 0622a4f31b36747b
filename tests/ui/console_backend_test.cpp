#include "ui/console_backend.h"

#include <gtest/gtest.h>

#include <sstream>

namespace carvex::ui {
namespace {

using R = MsgBoxResult;

MsgBoxRequest Question(std::string prompt, MsgBoxButtons buttons, bool retriesOnly = false) {
  MsgBoxRequest request;
  request.prompt = std::move(prompt);
  request.buttons = buttons;
  request.retriesOnly = retriesOnly;
  return request;
}

TEST(ConsoleBackend, APendingInterruptAnswersAnyQuestionNegativelyAndCancelsTheRun) {
  const struct {
    MsgBoxRequest request;
    R answer;
  } cases[] = {
      {Question("Go on?", MsgBoxButtons::kYesNo), R::kNo},
      {Question("Replace?", MsgBoxButtons::kYesNoCancel), R::kCancel},
      {Question("Insert a disk.", MsgBoxButtons::kOkCancel, true), R::kCancel},
  };
  for (const auto& c : cases) {
    std::istringstream typed("o\n");  // what --yes or the terminal would answer otherwise
    ConsoleBackend console({.answerYes = true, .terminal = &typed});
    gInterrupted = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(console.ShowMsgBox(c.request), c.answer) << c.request.prompt;
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(console.CancelRequested());
  }
}

}  // namespace
}  // namespace carvex::ui
