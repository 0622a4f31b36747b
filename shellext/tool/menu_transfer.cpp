#include "menu_transfer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "handoff.h"
#include "platform/error.h"
#include "platform/printable.h"
#include "platform/registry.h"
#include "reg_file.h"

namespace carvex {

namespace {

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryRoot;

constexpr std::string_view kRootNames[] = {"HKEY_CURRENT_USER\\", "HKCU\\"};

std::string FullContentsPath() { return "HKEY_CURRENT_USER\\" + MenuConfigKeyPath(); }

std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return folded;
}

// The path of `fullPath` below the configuration key ("" for the key itself), or nullopt when
// it lies elsewhere or names an empty key name ("a\\\\b", a trailing "\").
std::optional<std::string> PathBelowContents(std::string_view fullPath) {
  const std::string contents = FoldAscii(MenuConfigKeyPath());
  for (std::string_view root : kRootNames) {
    if (!FoldAscii(fullPath).starts_with(FoldAscii(root))) continue;
    const std::string_view path = fullPath.substr(root.size());
    if (!FoldAscii(path).starts_with(contents)) return std::nullopt;
    std::string_view below = path.substr(contents.size());
    if (below.empty()) return std::string();
    if (below.front() != '\\' || below.size() == 1 || below.back() == '\\' ||
        below.find("\\\\") != std::string_view::npos)
      return std::nullopt;
    return std::string(below.substr(1));
  }
  return std::nullopt;
}

// Down to the depth the menu reads, so that a tree made deeper by hand cannot exhaust the
// stack; what lies deeper is left out with the configuration warning.
void Collect(const RegistryKey& key, const std::string& path, std::size_t depth, std::vector<RegFileKey>& keys) {
  RegFileKey entry{path, {}};
  for (const auto& [name, value] : key.Values()) {
    if (value.type != platform::RegistryType::kString)
      throw platform::RuntimeError(0, "The value \"" + name + "\" of " + path +
                                          " is not a string; a registry file of the menu cannot carry it.");
    entry.values.emplace_back(name, platform::DecodeRegistryString(value.data));
  }
  keys.push_back(std::move(entry));
  const std::vector<std::string> names = key.SubKeyNames();
  if (depth == kMaxMenuDepth && !names.empty()) {
    ShowConfigurationWarning();
    return;
  }
  for (const std::string& name : names)
    if (const auto subKey = key.OpenSubKey(name, RegistryAccess::kRead))
      Collect(*subKey, path + "\\" + name, depth + 1, keys);
}

// The key names of a path below a key ("" has none).
std::vector<std::string> KeyNames(const std::string& path) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

void ListLevel(const MenuLevel& level, const std::string& indent, bool forTerminal, std::string& out) {
  const auto Quoted = [forTerminal](const std::string& text) {
    return "\"" + (forTerminal ? platform::EscapeControlCharacters(text) : text) + "\"";
  };
  for (const MenuLevel& submenu : level.submenus) {
    out += indent + "    " + Quoted(submenu.caption) + " >\n";
    ListLevel(submenu, indent + "    ", forTerminal, out);
  }
  for (const MenuItemRecord& item : level.items) {
    const std::optional<std::string> command = FindElement(item.record, Element::kCommand);
    std::string number = std::to_string(item.number);
    if (number.size() < 3) number.insert(0, 3 - number.size(), ' ');
    std::string line = indent + number + " ";
    switch (FindBuiltIn(command.value_or(""))) {
      case BuiltIn::kHSeparator:
        line += "separator";
        break;
      case BuiltIn::kVSeparator:
        line += "new column";
        break;
      case BuiltIn::kCopyPath:
        line += "(the selected path) [copypath]";
        break;
      case BuiltIn::kProps:
        line += "(the selection summary) [props]";
        break;
      default: {
        line += Quoted(ExtractElement(item.record, Element::kCaption));
        if (command) line += "  command " + Quoted(*command);
        if (const auto arguments = FindElement(item.record, Element::kCommandLine))
          line += "  arguments " + Quoted(*arguments);
      }
    }
    for (const auto& [flag, tag] :
         {std::pair{Flag::kSendFile, "<sendfile>"}, std::pair{Flag::kSendFolder, "<sendfolder>"},
          std::pair{Flag::kOverwrite, "<overwrite>"}, std::pair{Flag::kOverwriteAsk, "<overwrite_ask>"}})
      if (HasFlag(item.record, flag)) line += std::string("  ") + tag;
    if (!command)
      line +=
          "\n" + indent + "      warning: no <command> element: \"Your menu has incorrect configuration.\"";
    out += line + "\n";
  }
}

}  // namespace

std::string FormatMenuList(const MenuLevel& top, bool forTerminal) {
  std::string out;
  ListLevel(top, "", forTerminal, out);
  return out;
}

std::string ExportMenu() {
  std::vector<RegFileKey> keys;
  if (const auto contents =
          RegistryKey::Open(RegistryRoot::kCurrentUser, MenuConfigKeyPath(), RegistryAccess::kRead))
    Collect(*contents, FullContentsPath(), 0, keys);
  return FormatRegFile(keys);
}

void ImportMenu(std::string_view bytes, bool replace) {
  std::vector<RegFileKey> keys;
  std::string error;
  if (!ParseRegFile(bytes, keys, error))
    throw platform::RuntimeError(0, "The file was not imported: " + error + ".");
  std::vector<std::string> subPaths;
  for (const RegFileKey& key : keys) {
    std::optional<std::string> below = PathBelowContents(key.path);
    if (!below)
      throw platform::RuntimeError(0, "The file was not imported: the key [" + key.path + "] lies outside " +
                                          FullContentsPath() + ".");
    subPaths.push_back(std::move(*below));
  }
  // Checked whole before the first write: Windows writes value by value, and a key refused
  // halfway would leave half a menu.
  const std::size_t contentsDepth = KeyNames(MenuConfigKeyPath()).size();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::vector<std::string> names = KeyNames(subPaths[i]);
    if (contentsDepth + names.size() > platform::kMaxRegistryDepth)
      throw platform::RuntimeError(0, "The file was not imported: a key lies more than " +
                                          std::to_string(platform::kMaxRegistryDepth) +
                                          " levels deep, deeper than the registry allows.");
    for (const std::string& name : names)
      if (platform::RegistryNameLength(name) > platform::kMaxRegistryKeyName)
        throw platform::RuntimeError(0, "The file was not imported: the key name \"" + name.substr(0, 40) +
                                            "...\" is longer than " +
                                            std::to_string(platform::kMaxRegistryKeyName) + " characters.");
    for (const auto& value : keys[i].values)
      if (platform::RegistryNameLength(value.first) > platform::kMaxRegistryValueName)
        throw platform::RuntimeError(0, "The file was not imported: a value name of [" + keys[i].path.substr(0, 200) +
                                            "] is longer than " +
                                            std::to_string(platform::kMaxRegistryValueName) + " characters.");
  }
  platform::RegistryTransaction transaction;
  RegistryKey handOff = RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath());
  if (replace) handOff.DeleteSubKeyTree("Contents");
  RegistryKey contents = handOff.CreateSubKey("Contents");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::optional<RegistryKey> subKey;
    if (!subPaths[i].empty()) subKey = contents.CreateSubKey(subPaths[i]);
    RegistryKey& key = subKey ? *subKey : contents;
    for (const auto& [name, data] : keys[i].values) key.SetString(name, data);
  }
  transaction.Commit();
}

}  // namespace carvex
