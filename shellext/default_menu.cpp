#include "default_menu.h"

#include <optional>

#include "menu_config.h"
#include "platform/registry.h"

namespace carvex {

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

struct LaunchItem {
  const char* caption;
  const char* switchText;
  const char* description;
};

constexpr LaunchItem kLaunchItems[] = {
    {"Split with Carvex", "/s", "Splits the selection into pieces with Carvex"},
    {"Zip and split with Carvex", "/z", "Zips the selection and splits the archive with Carvex"},
    {"Build with Carvex", "/b", "Builds the file of the selected piece with Carvex"},
};

// As deep as the menu reads: records below that show nowhere.
bool HoldsRecords(const RegistryKey& key, std::size_t depth = 0) {
  if (key.EnumValueName(0)) return true;
  if (depth == kMaxMenuDepth) return false;
  for (const std::string& name : key.SubKeyNames()) {
    const std::optional<RegistryKey> subKey = key.OpenSubKey(name, platform::RegistryAccess::kRead);
    if (subKey && HoldsRecords(*subKey, depth + 1)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> DefaultMenuRecords(const std::string& programPath) {
  std::vector<std::pair<std::string, std::string>> records;
  for (const LaunchItem& item : kLaunchItems)
    records.emplace_back(std::to_string(records.size() + 1),
                         std::string("<caption>") + item.caption + "</caption><command>" + programPath +
                             "</command><commandline>" + item.switchText + "</commandline><sendfile><icon>" +
                             programPath + ",0</icon><description>" + item.description + "</description>");
  records.emplace_back("4", "<command>[hseparator]</command>");
  records.emplace_back("5",
                       "<caption>Copy path</caption><command>[copypath]</command>"
                       "<description>Copies the path of the selection</description>");
  records.emplace_back("6",
                       "<caption>Summary</caption><command>[props]</command>"
                       "<description>Copies the summary of the selection</description>");
  return records;
}

bool WriteDefaultMenu(const std::string& programPath, bool replace) {
  const std::string contentsPath = MenuConfigKeyPath();
  // Checked inside the transaction, so that a menu written meanwhile by another process is
  // not joined by a second one.
  platform::RegistryTransaction transaction;
  if (const auto contents =
          RegistryKey::Open(RegistryRoot::kCurrentUser, contentsPath, platform::RegistryAccess::kRead);
      !replace && contents && HoldsRecords(*contents))
    return false;
  // Replacing overwrites the submenu's records by name: a record the user added beside them
  // stays, so repairing the program's path costs nothing of the user's own menu.
  RegistryKey submenu =
      RegistryKey::Create(RegistryRoot::kCurrentUser, contentsPath + "\\" + kDefaultSubmenuKey);
  for (const auto& [name, record] : DefaultMenuRecords(programPath)) submenu.SetString(name, record);
  transaction.Commit();
  return true;
}

}  // namespace carvex
