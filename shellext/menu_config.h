#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carvex {

// The caption of every message box Verbhook shows.
inline constexpr char kMessageCaption[] = "Ravelin";

// The menu configuration: the Contents subkey of the hand-off key, under HKEY_CURRENT_USER.
// Follows OverrideHandOffKeyPath, so tests move both together.
std::string MenuConfigKeyPath();

// One value of the configuration tree: its item number (from 1, in walk order) and its record.
struct MenuItemRecord {
  std::uint32_t number = 0;
  std::string record;
};

// One key of the tree: a submenu, or the top level (whose caption is empty).
struct MenuLevel {
  std::string caption;
  std::vector<MenuLevel> submenus;
  std::vector<MenuItemRecord> items;
};

// How many submenus deep the menu goes. Windows keeps registry keys up to 512 levels deep,
// but no one can use a menu nested past this.
inline constexpr std::size_t kMaxMenuDepth = 32;

// Reads the whole tree afresh, down to kMaxMenuDepth submenus: a deeper key is left out and
// the configuration warning is shown. Submenus and items each come in the order the menu shows
// them; numbers follow the walk: a level's submenus, each walked whole, then its values.
// A missing Contents key is an empty menu; a value that is not text is an item with an
// empty record. Throws RuntimeError when the registry cannot be read.
MenuLevel ReadMenuTree();

// The record of item `number`; empty for 0 or a number past the last item.
std::string FindItemRecord(std::uint32_t number);

// The caption of a submenu key: its name without the four-character ordering prefix.
std::string SubmenuCaption(std::string_view keyName);

enum class Element { kCaption, kCommand, kCommandLine, kIcon, kDescription };

// The content of the element, or nullopt when it is missing or unterminated.
std::optional<std::string> FindElement(std::string_view record, Element element);
// The content of the element, or its default. A missing `<command>` shows the configuration
// warning each time it is extracted.
std::string ExtractElement(std::string_view record, Element element);
inline std::string ExtractCommand(std::string_view record) {
  return ExtractElement(record, Element::kCommand);
}

enum class Flag { kSendFile, kSendFolder, kOverwrite, kOverwriteAsk };
bool HasFlag(std::string_view record, Flag flag);

enum class BuiltIn {
  kNone,  // an external command
  kCopyPath,
  kProps,
  kStamp,
  kCopy,
  kMove,
  kCopyFolder,
  kMoveFolder,
  kAppStart,
  kHSeparator,
  kVSeparator,
};

struct BuiltInName {
  std::string_view name;
  BuiltIn command;
};

// The built-in command names, spelled exactly as a record must give them.
inline constexpr BuiltInName kBuiltInNames[] = {
    {"[copypath]", BuiltIn::kCopyPath},
    {"[props]", BuiltIn::kProps},
    {"[stamp]", BuiltIn::kStamp},
    {"[copy]", BuiltIn::kCopy},
    {"[move]", BuiltIn::kMove},
    {"[copyfolder]", BuiltIn::kCopyFolder},
    {"[movefolder]", BuiltIn::kMoveFolder},
    {"[appstart]", BuiltIn::kAppStart},
    {"[hseparator]", BuiltIn::kHSeparator},
    {"[vseparator]", BuiltIn::kVSeparator},
};

BuiltIn FindBuiltIn(std::string_view command);

// "Your menu has incorrect configuration.", captioned "Ravelin", with the warning icon.
void ShowConfigurationWarning();

// A selection as the caller that recorded it holds it. The hand-off key may hold another one
// by now: every window of the file manager records its own selection there.
struct HeldSelection {
  // In selection order.
  std::vector<std::string> paths;
  // attribSt of these paths.
  std::string summary;

  // SFileName of these paths: the one path, or "*" for any other number.
  std::string FileName() const;
};

// What the menu shows for one record.
struct MenuEntry {
  enum class Kind { kSeparator, kColumnBreak, kText };
  Kind kind = Kind::kText;
  std::string caption;
  // The caption is data (a path, the summary), not a label with access keys: a menu that
  // marks access keys with "&" must show its "&" as they are.
  bool literalCaption = false;
  // The `<icon>` element ("EMPTY" when there is none).
  std::string icon;
};

// How the menu builder shows `record`: a separator, a column break before the next item, or
// a text item whose caption is the selected path for "[copypath]", the selection summary for
// "[props]", and the `<caption>` element otherwise. Like the menu builder, it extracts the
// command once per test, so a record without one warns four times. The path and summary are
// those of `selection`, or without one the hand-off key's; RuntimeError when that cannot be
// read.
MenuEntry DescribeMenuEntry(std::string_view record, const HeldSelection* selection = nullptr);

// An `<icon>` element split at its last comma into the icon file and the icon's index;
// nullopt for "EMPTY", for no comma and for an index that is not a decimal integer.
struct IconSource {
  std::string file;
  int index = 0;
};
std::optional<IconSource> ParseIconElement(std::string_view icon);

}  // namespace carvex
