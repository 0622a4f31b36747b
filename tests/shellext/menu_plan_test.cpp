#include "menu_plan.h"

#include <gtest/gtest.h>

#include "verbhook_test.h"

namespace carvex {
namespace {

// A configuration level: its submenus, then its records, given as "|" for a column break, "-"
// for a separator and any other text for an item with that caption.
MenuLevel Level(std::string caption, std::vector<MenuLevel> submenus, std::vector<std::string> records) {
  MenuLevel level{std::move(caption), std::move(submenus), {}};
  for (const std::string& record : records) {
    if (record == "|")
      level.items.push_back({0, "<command>[vseparator]</command>"});
    else if (record == "-")
      level.items.push_back({0, "<command>[hseparator]</command>"});
    else
      level.items.push_back({0, "<caption>" + record + "</caption><command>run.exe</command>"});
  }
  return level;
}

// Numbers the items as the configuration walk does: a level's submenus, each whole, then its
// values.
void Number(MenuLevel& level, std::uint32_t& last) {
  for (MenuLevel& submenu : level.submenus) Number(submenu, last);
  for (MenuItemRecord& item : level.items) item.number = ++last;
}

// One line per entry: position, kind, offset, caption, "|" for a column break; a submenu's
// entries follow it, indented.
void Render(const std::vector<PlannedEntry>& entries, const std::string& indent,
            std::vector<std::string>& lines) {
  for (const PlannedEntry& entry : entries) {
    std::string line = indent + std::to_string(entry.position);
    switch (entry.kind) {
      case PlannedEntry::Kind::kSubmenu:
        line += " submenu " + entry.caption;
        break;
      case PlannedEntry::Kind::kSeparator:
        line += " separator " + std::to_string(entry.offset);
        break;
      case PlannedEntry::Kind::kText:
        line +=
            " text " + std::to_string(entry.offset) + " " + entry.caption + (entry.columnBreak ? " |" : "");
        break;
    }
    lines.push_back(line);
    Render(entry.entries, indent + "  ", lines);
  }
}

class MenuPlanTest : public test::VerbhookTest {};

// Each menu starts at position 2 of the file manager's menu, with identifiers from 100 on.
TEST_F(MenuPlanTest, EntriesPositionsIdentifiersAndTheIdentifiersUsed) {
  struct Case {
    const char* name;
    MenuLevel top;
    std::uint32_t idCmdLast;
    bool pendingIn;
    std::vector<std::string> expected;
    std::uint32_t used;
    bool pendingOut;
  };
  const Case cases[] = {
      {"two empty submenus above three items",
       Level("", {Level("A", {}, {}), Level("B", {}, {})}, {"x", "y", "z"}),
       0x7FFF,
       false,
       {"2 submenu A", "3 submenu B", "4 text 1 x", "5 text 2 y", "6 text 3 z"},
       4,
       false},
      {"a submenu's items take the first numbers; a nested submenu goes first inside it",
       Level("", {Level("S", {Level("T", {}, {"t"})}, {"a", "b"})}, {"d"}),
       0x7FFF,
       false,
       {"2 submenu S", "  0 submenu T", "    0 text 1 t", "  1 text 2 a", "  2 text 3 b", "3 text 4 d"},
       5,
       false},
      {"a column break takes a position and a number but inserts nothing",
       Level("", {}, {"x", "|", "y", "-", "z"}),
       0x7FFF,
       false,
       {"2 text 1 x", "4 text 3 y |", "5 separator 4", "6 text 5 z"},
       6,
       false},
      {"a pending break passes a separator and a submenu entry and goes to the next text item",
       Level("", {Level("S", {}, {"-", "a", "b"})}, {"c"}),
       0x7FFF,
       true,
       {"2 submenu S", "  0 separator 1", "  1 text 2 a |", "  2 text 3 b", "3 text 4 c"},
       5,
       false},
      {"a break at the end waits for the next menu",
       Level("", {}, {"x", "|"}),
       0x7FFF,
       false,
       {"2 text 1 x"},
       3,
       true},
      {"an empty configuration uses the first identifier only",
       Level("", {}, {}),
       0x7FFF,
       false,
       {},
       1,
       false},
      {"too few identifiers: the walk is cut where they end, inside a submenu too",
       Level("", {Level("S", {}, {"a", "b", "c"}), Level("T", {}, {"t"})}, {"d"}),
       102,
       false,
       {"2 submenu S", "  0 text 1 a", "  1 text 2 b"},
       3,
       false},
      {"an empty submenu past the cut is left off too",
       Level("", {Level("S", {}, {"a", "b"}), Level("U", {}, {})}, {}),
       102,
       false,
       {"2 submenu S", "  0 text 1 a", "  1 text 2 b"},
       3,
       false},
      {"a column break that does not fit sets nothing",
       Level("", {}, {"x", "|"}),
       101,
       false,
       {"2 text 1 x"},
       2,
       false},
      {"one identifier holds nothing, not even an empty submenu",
       Level("", {Level("E", {}, {})}, {"x"}),
       100,
       false,
       {},
       1,
       false},
      {"no identifiers at all", Level("", {}, {"x"}), 99, false, {}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MenuLevel top = c.top;
    std::uint32_t last = 0;
    Number(top, last);
    bool pending = c.pendingIn;
    const MenuPlan plan = PlanContextMenu(top, 2, 100, c.idCmdLast, pending);
    std::vector<std::string> lines;
    Render(plan.entries, "", lines);
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(plan.identifiersUsed, c.used);
    EXPECT_EQ(pending, c.pendingOut);
  }
}

}  // namespace
}  // namespace carvex
