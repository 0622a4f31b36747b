#pragma once

#include <string>
#include <string_view>

#include "menu_config.h"

namespace carvex {

// The menu tree as the handler builds it, one line a submenu or item: its number, what it
// shows, its command, arguments and flags, and the configuration warning its record causes.
// Captions of "[copypath]" and "[props]" depend on the selection, so they are named, not shown.
// For a terminal, control characters of captions, commands and arguments show as escapes.
std::string FormatMenuList(const MenuLevel& top, bool forTerminal = false);

// The configuration key and everything below it as a registry file (see FormatRegFile), in
// the registry's enumeration order. Throws RuntimeError for a value that is not a string,
// which the file could not carry back.
std::string ExportMenu();

// Writes the keys and string values of a registry file below the configuration key; with
// `replace`, the key is emptied first. The whole file is checked before anything is written:
// a key outside the configuration key or anything ParseRegFile refuses throws RuntimeError
// and writes nothing. On the SQLite store the whole import is one transaction.
void ImportMenu(std::string_view bytes, bool replace);

}  // namespace carvex
