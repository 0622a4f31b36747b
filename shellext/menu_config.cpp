#include "menu_config.h"

#include <algorithm>
#include <charconv>

#include "handoff.h"
#include "platform/collate.h"
#include "platform/registry.h"
#include "ui/app.h"

namespace carvex {

namespace {

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryType;

struct ElementTags {
  Element element;
  std::string_view open;
  std::string_view close;
  std::string_view fallback;
};

constexpr ElementTags kElementTags[] = {
    {Element::kCaption, "<caption>", "</caption>", "No caption assigned"},
    {Element::kCommand, "<command>", "</command>", ""},
    {Element::kCommandLine, "<commandline>", "</commandline>", ""},
    {Element::kIcon, "<icon>", "</icon>", "EMPTY"},
    {Element::kDescription, "<description>", "</description>", "CRavelin"},
};

struct FlagTag {
  Flag flag;
  std::string_view tag;
};

// Each tag ends in ">", so "<sendfile>" is never found inside "<sendfolder>", nor
// "<overwrite>" inside "<overwrite_ask>".
constexpr FlagTag kFlagTags[] = {
    {Flag::kSendFile, "<sendfile>"},
    {Flag::kSendFolder, "<sendfolder>"},
    {Flag::kOverwrite, "<overwrite>"},
    {Flag::kOverwriteAsk, "<overwrite_ask>"},
};

constexpr std::size_t kCaptionPrefixLength = 4;
constexpr char kSeveralItems[] = "*";

const ElementTags& TagsOf(Element element) {
  return *std::find_if(std::begin(kElementTags), std::end(kElementTags),
                       [element](const ElementTags& tags) { return tags.element == element; });
}

// Registry enumeration order is the store's business (creation order, or sorted by some
// other rule); the menu's order is the user's locale's, ignoring case. Names the locale
// counts as equal keep the store's order.
template <typename T, typename NameOf>
void SortByName(std::vector<T>& entries, NameOf nameOf) {
  std::stable_sort(entries.begin(), entries.end(), [&](const T& a, const T& b) {
    return platform::CompareIgnoringCase(nameOf(a), nameOf(b)) < 0;
  });
}

// A value of another type than text has no record to give: it becomes an item whose
// record is empty, which the menu shows uncaptioned and which warns like any record
// without a command. Nothing about it may take the file manager down.
std::string RecordOf(const platform::RegistryValue& value) {
  if (value.type != RegistryType::kString && value.type != RegistryType::kExpandString) return {};
  return platform::DecodeRegistryString(value.data);
}

struct WalkState {
  std::uint32_t lastNumber = 0;
  bool tooDeep = false;
};

void Walk(const RegistryKey& key, MenuLevel& level, std::size_t depth, WalkState& state) {
  std::vector<std::string> subKeys = key.SubKeyNames();
  SortByName(subKeys, [](const std::string& name) -> const std::string& { return name; });
  // Each level is a frame of this walk and of every walk of the tree after it: the store may
  // hold a tree far deeper than any menu can show, and must not exhaust the stack.
  if (depth == kMaxMenuDepth && !subKeys.empty()) {
    state.tooDeep = true;
    subKeys.clear();
  }
  for (const std::string& name : subKeys) {
    // A key deleted since the listing is simply not there, for the menu and the lookup alike.
    const std::optional<RegistryKey> subKey = key.OpenSubKey(name, RegistryAccess::kRead);
    if (!subKey) continue;
    MenuLevel submenu;
    submenu.caption = SubmenuCaption(name);
    Walk(*subKey, submenu, depth + 1, state);
    level.submenus.push_back(std::move(submenu));
  }
  auto values = key.Values();
  SortByName(values, [](const auto& value) -> const std::string& { return value.first; });
  for (const auto& [name, value] : values) level.items.push_back({++state.lastNumber, RecordOf(value)});
}

const MenuItemRecord* FindNumbered(const MenuLevel& level, std::uint32_t number) {
  for (const MenuLevel& submenu : level.submenus)
    if (const MenuItemRecord* found = FindNumbered(submenu, number)) return found;
  for (const MenuItemRecord& item : level.items)
    if (item.number == number) return &item;
  return nullptr;
}

}  // namespace

std::string MenuConfigKeyPath() { return HandOffKeyPath() + "\\Contents"; }

MenuLevel ReadMenuTree() {
  MenuLevel top;
  const std::optional<RegistryKey> contents =
      RegistryKey::Open(RegistryRoot::kCurrentUser, MenuConfigKeyPath(), RegistryAccess::kRead);
  if (!contents) return top;
  WalkState state;
  Walk(*contents, top, 0, state);
  if (state.tooDeep) ShowConfigurationWarning();
  return top;
}

std::string FindItemRecord(std::uint32_t number) {
  if (number == 0) return {};
  const MenuLevel top = ReadMenuTree();
  const MenuItemRecord* item = FindNumbered(top, number);
  return item ? item->record : std::string();
}

// The prefix is counted in characters, not bytes, so a name such as "01é Tools" loses
// exactly its first four letters.
std::string SubmenuCaption(std::string_view keyName) {
  std::size_t characters = 0;
  std::size_t at = 0;
  for (; at < keyName.size(); ++at) {
    const bool startsCharacter = (static_cast<unsigned char>(keyName[at]) & 0xC0) != 0x80;
    if (startsCharacter && characters++ == kCaptionPrefixLength) break;
  }
  return std::string(keyName.substr(at));
}

std::optional<std::string> FindElement(std::string_view record, Element element) {
  const ElementTags& tags = TagsOf(element);
  const std::size_t open = record.find(tags.open);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = record.find(tags.close);
  if (close == std::string_view::npos) return std::nullopt;
  const std::size_t start = open + tags.open.size();
  if (close < start) return std::string();
  return std::string(record.substr(start, close - start));
}

std::string ExtractElement(std::string_view record, Element element) {
  if (std::optional<std::string> content = FindElement(record, element)) return std::move(*content);
  if (element == Element::kCommand) ShowConfigurationWarning();
  return std::string(TagsOf(element).fallback);
}

bool HasFlag(std::string_view record, Flag flag) {
  const auto it = std::find_if(std::begin(kFlagTags), std::end(kFlagTags),
                               [flag](const FlagTag& entry) { return entry.flag == flag; });
  return record.find(it->tag) != std::string_view::npos;
}

BuiltIn FindBuiltIn(std::string_view command) {
  for (const BuiltInName& entry : kBuiltInNames)
    if (entry.name == command) return entry.command;
  return BuiltIn::kNone;
}

void ShowConfigurationWarning() {
  ui::MsgBox("Your menu has incorrect configuration.", ui::MsgBoxButtons::kOkOnly,
             ui::MsgBoxIcon::kExclamation, kMessageCaption);
}

std::string HeldSelection::FileName() const { return paths.size() == 1 ? paths.front() : kSeveralItems; }

MenuEntry DescribeMenuEntry(std::string_view record, const HeldSelection* selection) {
  MenuEntry entry;
  if (FindBuiltIn(ExtractCommand(record)) == BuiltIn::kHSeparator) {
    entry.kind = MenuEntry::Kind::kSeparator;
    return entry;
  }
  if (FindBuiltIn(ExtractCommand(record)) == BuiltIn::kVSeparator) {
    entry.kind = MenuEntry::Kind::kColumnBreak;
    return entry;
  }
  if (FindBuiltIn(ExtractCommand(record)) == BuiltIn::kCopyPath) {
    const std::string fileName = selection ? selection->FileName() : ReadHandOffFileName();
    entry.caption = fileName == kSeveralItems ? "Several files selected" : fileName;
    entry.literalCaption = true;
  } else if (FindBuiltIn(ExtractCommand(record)) == BuiltIn::kProps) {
    entry.caption = selection ? selection->summary : ReadSelectionSummary();
    entry.literalCaption = true;
  } else {
    entry.caption = ExtractElement(record, Element::kCaption);
  }
  entry.icon = ExtractElement(record, Element::kIcon);
  return entry;
}

std::optional<IconSource> ParseIconElement(std::string_view icon) {
  if (icon == "EMPTY") return std::nullopt;
  const std::size_t comma = icon.rfind(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view index = icon.substr(comma + 1);
  while (!index.empty() && index.front() == ' ') index.remove_prefix(1);
  while (!index.empty() && index.back() == ' ') index.remove_suffix(1);
  IconSource source{std::string(icon.substr(0, comma)), 0};
  const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), source.index);
  if (index.empty() || error != std::errc() || end != index.data() + index.size()) return std::nullopt;
  return source;
}

}  // namespace carvex
