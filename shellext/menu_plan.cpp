#include "menu_plan.h"

#include <algorithm>
#include <utility>

namespace carvex {

namespace {

// The file manager hands a chosen item back in the low 16 bits of a verb, and takes the count
// of identifiers used from the 16-bit code of an HRESULT: the offsets stop where both still fit.
constexpr std::uint32_t kHighestOffset = 0xFFFE;

class Planner {
 public:
  Planner(std::uint32_t lastOffset, bool& pendingColumnBreak, const HeldSelection* selection, MenuPlan& plan)
      : lastOffset_(lastOffset), pending_(pendingColumnBreak), selection_(selection), plan_(plan) {}

  // Plans one level into `entries`, its first entry at `position`. Item numbers run in walk
  // order, so once one item does not fit, nothing after it in the walk does either.
  void PlanLevel(const MenuLevel& level, std::uint32_t position, std::vector<PlannedEntry>& entries) {
    for (const MenuLevel& submenu : level.submenus) {
      // The submenu's first item, if it has any, takes the number the walk stands at.
      if (nextNumber_ > lastOffset_) return;
      PlannedEntry entry;
      entry.kind = PlannedEntry::Kind::kSubmenu;
      entry.position = position++;
      entry.caption = submenu.caption;
      PlanLevel(submenu, 0, entry.entries);
      entries.push_back(std::move(entry));
    }
    for (const MenuItemRecord& item : level.items) {
      if (item.number > lastOffset_) return;
      nextNumber_ = item.number + 1;
      plan_.identifiersUsed = item.number + 1;
      // A column break inserts nothing but still takes its position and its number.
      const std::uint32_t at = position++;
      MenuEntry shown = DescribeMenuEntry(item.record, selection_);
      if (shown.kind == MenuEntry::Kind::kColumnBreak) {
        pending_ = true;
        continue;
      }
      PlannedEntry entry;
      entry.position = at;
      entry.offset = item.number;
      if (shown.kind == MenuEntry::Kind::kSeparator) {
        entry.kind = PlannedEntry::Kind::kSeparator;
      } else {
        entry.kind = PlannedEntry::Kind::kText;
        entry.caption = std::move(shown.caption);
        entry.literalCaption = shown.literalCaption;
        entry.icon = std::move(shown.icon);
        entry.columnBreak = std::exchange(pending_, false);
      }
      plan_.offsets.push_back(item.number);
      entries.push_back(std::move(entry));
    }
  }

 private:
  std::uint32_t lastOffset_;
  std::uint32_t nextNumber_ = 1;
  bool& pending_;
  const HeldSelection* selection_;
  MenuPlan& plan_;
};

}  // namespace

bool MenuPlan::Holds(std::uint32_t offset) const {
  return std::find(offsets.begin(), offsets.end(), offset) != offsets.end();
}

MenuPlan PlanContextMenu(const MenuLevel& top, std::uint32_t indexMenu, std::uint32_t idCmdFirst,
                         std::uint32_t idCmdLast, bool& pendingColumnBreak, const HeldSelection* selection) {
  MenuPlan plan;
  // No identifier granted: nothing can be added, and none is used.
  if (idCmdLast < idCmdFirst) return plan;
  // The first identifier itself is never given to an item: item numbers start at 1. It counts
  // as used all the same, so an empty menu uses one.
  plan.identifiersUsed = 1;
  Planner planner(std::min(idCmdLast - idCmdFirst, kHighestOffset), pendingColumnBreak, selection, plan);
  planner.PlanLevel(top, indexMenu, plan.entries);
  return plan;
}

}  // namespace carvex
