#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "menu_config.h"

namespace carvex {

// One entry that the context menu gets, in the order the entries are inserted.
struct PlannedEntry {
  enum class Kind { kSubmenu, kSeparator, kText };
  Kind kind = Kind::kText;
  // Where the entry goes in its menu, counted from 0. Every record takes a position, so a
  // column break leaves one out.
  std::uint32_t position = 0;
  // The item number, which is the entry's identifier less the first one granted; 0 for a
  // submenu, which has no identifier.
  std::uint32_t offset = 0;
  std::string caption;
  // The caption is data, to be shown with every "&" as it is.
  bool literalCaption = false;
  // A text item's `<icon>` element ("EMPTY" for none).
  std::string icon;
  // A text item that starts a new column.
  bool columnBreak = false;
  // A submenu's own entries.
  std::vector<PlannedEntry> entries;
};

struct MenuPlan {
  std::vector<PlannedEntry> entries;
  // What QueryContextMenu returns: the highest identifier offset used, plus one.
  std::uint32_t identifiersUsed = 0;
  // The offsets of the separators and text items placed, in any menu of the plan.
  std::vector<std::uint32_t> offsets;

  bool Holds(std::uint32_t offset) const;
};

// Lays the configuration tree out as the context menu shows it: a level's submenus first, from
// `indexMenu` on, then its records, each at the next position with its item number as its
// identifier offset. Only identifiers from `idCmdFirst` to `idCmdLast` are handed out: an item
// whose identifier falls past `idCmdLast` is left off, with every entry after it in the walk,
// and so is a submenu that would hold nothing but such items. `pendingColumnBreak` comes in
// from the last menu built and goes out for the next one: a "[vseparator]" sets it and the next
// text item takes it. Records are described as DescribeMenuEntry does, warnings included, with
// the path and summary of `selection`, or without one of the hand-off key.
MenuPlan PlanContextMenu(const MenuLevel& top, std::uint32_t indexMenu, std::uint32_t idCmdFirst,
                         std::uint32_t idCmdLast, bool& pendingColumnBreak,
                         const HeldSelection* selection = nullptr);

}  // namespace carvex
