#pragma once

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "handoff.h"
#include "menu_config.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "support/headless.h"
#include "support/temp_dir.h"

namespace carvex::test {

// Verbhook's keys move below a throwaway key (in a throwaway database where the registry is
// one), so a user's own menu and selection are never touched; message boxes, the clipboard
// and the folder picker go to the headless backend.
class VerbhookTest : public HeadlessTest {
 protected:
  static constexpr char kTestsKey[] = "Software\\Carvex Tests";

  void SetUp() override {
    HeadlessTest::SetUp();
    platform::SetRegistryDatabasePath(store_.File("registry.db"));
    leaf_ = "verbhook-" + std::to_string(std::random_device()()) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    OverrideHandOffKeyPath(std::string(kTestsKey) + "\\" + leaf_ + "\\Ravelin");
  }
  void TearDown() override {
    OverrideHandOffKeyPath("");
    if (auto tests = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, kTestsKey))
      tests->DeleteSubKeyTree(leaf_);
    platform::SetRegistryDatabasePath("");
    HeadlessTest::TearDown();
  }

  // The configuration key, or a submenu key below it ("0001Tools\\0002More").
  static platform::RegistryKey MenuKey(const std::string& subKey = "") {
    return platform::RegistryKey::Create(platform::RegistryRoot::kCurrentUser,
                                         MenuConfigKeyPath() + (subKey.empty() ? "" : "\\" + subKey));
  }
  static void AddRecord(const std::string& subKey, const std::string& name, const std::string& record) {
    MenuKey(subKey).SetString(name, record);
  }
  static void ConfigureSingleItem(const std::string& record) { AddRecord("", "item", record); }
  static void Select(const std::vector<std::string>& paths) { WriteHandOffSelection(paths); }

  // A list written in `paths` order enumerates in creation order, except under Wine, whose
  // registry sorts values by name.
  static std::vector<std::string> EnumerationOrder(std::vector<std::string> paths) {
    if (!platform::RegistryValuesInCreationOrder()) std::sort(paths.begin(), paths.end());
    return paths;
  }
  static bool OnWindows() { return platform::kPathSeparator == '\\'; }

  void ExpectError(const std::string& text) {
    ui.ExpectMsgBox(text, ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kCritical, ui::MsgBoxResult::kOk,
                    "Ravelin");
  }
  void ExpectConfigurationWarning() {
    ui.ExpectMsgBox("Your menu has incorrect configuration.", ui::MsgBoxButtons::kOkOnly,
                    ui::MsgBoxIcon::kExclamation, ui::MsgBoxResult::kOk, "Ravelin");
  }

  TempDir files_;

 private:
  TempDir store_;
  std::string leaf_;
};

}  // namespace carvex::test
