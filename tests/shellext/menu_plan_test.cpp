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

TEST_F(MenuPlanTest, EntriesPositionsIdentifiersAndTheIdentifiersUsed) {
  struct Case {
    const char* name;
    MenuLevel top;
    std::uint32_t indexMenu, idCmdFirst, idCmdLast;
    bool pendingIn;
    std::vector<std::string> expected;
    std::uint32_t used;
    bool pendingOut;
  };
  const std::uint32_t kFirst = 100, kLast = 0x7FFF;
  const Case cases[] = {
      {"two empty submenus above three items",
       Level("", {Level("A", {}, {}), Level("B", {}, {})}, {"x", "y", "z"}),
       5,
       kFirst,
       kLast,
       false,
       {"5 submenu A", "6 submenu B", "7 text 1 x", "8 text 2 y", "9 text 3 z"},
       4,
       false},
      {"a submenu's items take the first numbers; a nested submenu goes first inside it",
       Level("", {Level("S", {Level("T", {}, {"t"})}, {"a", "b"})}, {"d"}),
       0,
       kFirst,
       kLast,
       false,
       {"0 submenu S", "  0 submenu T", "    0 text 1 t", "  1 text 2 a", "  2 text 3 b", "1 text 4 d"},
       5,
       false},
      {"a column break takes a position and a number but inserts nothing",
       Level("", {}, {"x", "|", "y", "-", "z"}),
       2,
       kFirst,
       kLast,
       false,
       {"2 text 1 x", "4 text 3 y |", "5 separator 4", "6 text 5 z"},
       6,
       false},
      {"a pending break passes a separator and a submenu entry and goes to the next text item",
       Level("", {Level("S", {}, {"-", "a", "b"})}, {"c"}),
       0,
       kFirst,
       kLast,
       true,
       {"0 submenu S", "  0 separator 1", "  1 text 2 a |", "  2 text 3 b", "1 text 4 c"},
       5,
       false},
      {"a break at the end waits for the next menu",
       Level("", {}, {"x", "|"}),
       0,
       kFirst,
       kLast,
       false,
       {"0 text 1 x"},
       3,
       true},
      {"an empty configuration uses the first identifier only",
       Level("", {}, {}),
       0,
       kFirst,
       kLast,
       false,
       {},
       1,
       false},
      {"too few identifiers: the walk is cut where they end, inside a submenu too",
       Level("", {Level("S", {}, {"a", "b", "c"}), Level("T", {}, {"t"})}, {"d"}),
       0,
       kFirst,
       kFirst + 2,
       false,
       {"0 submenu S", "  0 text 1 a", "  1 text 2 b"},
       3,
       false},
      {"an empty submenu past the cut is left off too",
       Level("", {Level("S", {}, {"a", "b"}), Level("U", {}, {})}, {"d"}),
       0,
       kFirst,
       kFirst + 2,
       false,
       {"0 submenu S", "  0 text 1 a", "  1 text 2 b"},
       3,
       false},
      {"a column break that does not fit sets nothing",
       Level("", {}, {"x", "|"}),
       0,
       kFirst,
       kFirst + 1,
       false,
       {"0 text 1 x"},
       2,
       false},
      {"one identifier holds nothing, not even an empty submenu",
       Level("", {Level("E", {}, {})}, {"x"}),
       0,
       kFirst,
       kFirst,
       false,
       {},
       1,
       false},
      {"no identifiers at all", Level("", {}, {"x"}), 0, kFirst, kFirst - 1, false, {}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MenuLevel top = c.top;
    std::uint32_t last = 0;
    Number(top, last);
    bool pending = c.pendingIn;
    const MenuPlan plan = PlanContextMenu(top, c.indexMenu, c.idCmdFirst, c.idCmdLast, pending);
    std::vector<std::string> lines;
    Render(plan.entries, "", lines);
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(plan.identifiersUsed, c.used);
    EXPECT_EQ(pending, c.pendingOut);
  }
}

// The menu holds the identifiers of what it shows, separators included; not a column break's,
// nor those left off.
TEST_F(MenuPlanTest, HoldsTheOffsetsPlaced) {
  MenuLevel top = Level("", {Level("S", {}, {"a"})}, {"-", "|", "b", "c"});
  std::uint32_t last = 0;
  Number(top, last);
  bool pending = false;
  const MenuPlan plan = PlanContextMenu(top, 0, 1, 5, pending);
  for (std::uint32_t offset = 0; offset <= 6; ++offset)
    EXPECT_EQ(plan.Holds(offset), offset == 1 || offset == 2 || offset == 4) << offset;
}

// Captions come from the record as the menu builder describes it, the selected path for
// "[copypath]".
TEST_F(MenuPlanTest, CopyPathCaptionIsTheSelection) {
  Select({files_.File("one.txt")});
  MenuLevel top{"", {}, {{1, "<command>[copypath]</command><icon>x.dll,3</icon>"}}};
  bool pending = false;
  const MenuPlan plan = PlanContextMenu(top, 0, 1, 10, pending);
  ASSERT_EQ(plan.entries.size(), 1u);
  EXPECT_EQ(plan.entries[0].caption, files_.File("one.txt"));
  EXPECT_EQ(plan.entries[0].icon, "x.dll,3");
}

}  // namespace
}  // namespace carvex
