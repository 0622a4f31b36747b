#pragma once

#include <gtest/gtest.h>

#include "ui/app.h"
#include "ui/form.h"
#include "ui/headless.h"

namespace carvex::test {

// Runs a test against the headless backend; every box or dialog the test did not expect,
// and every expected box that never came, fails it.
class HeadlessTest : public testing::Test {
protected:
  void SetUp() override { ui::App().SetBackend(&ui); }
  void TearDown() override {
    for (const std::string& failure : ui.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(ui.PendingBoxes(), 0u) << "expected message boxes that were never shown";
    ui::App().SetBackend(nullptr);
  }

  // Prompts of the boxes shown so far, in order.
  std::vector<std::string> Prompts() const {
    std::vector<std::string> out;
    for (const auto& box : ui.Boxes()) out.push_back(box.request.prompt);
    return out;
  }

  ui::HeadlessBackend ui;
};

// A stand-in for the main window: jobs disable it and dialogs centre over it.
class StubMainForm : public ui::Form {
public:
  StubMainForm() : Form("frmMain") { Move(1200, 900, 9600, 7200); }
};

// A main window with the controls that a finished job touches, found by their names.
class StubMainWindowWithLists : public ui::Form {
public:
  StubMainWindowWithLists() : Form("frmCarvex") { Move(0, 0, 9000, 7000); }
  ui::ListView lvwSplitFileNames{this, "lvwSplitFileNames"};
  ui::ListView lvwBuildFileNames{this, "lvwBuildFileNames"};
  ui::CheckBox chkZipFile{this, "chkZipFile"};
};

}  // namespace carvex::test
