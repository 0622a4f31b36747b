// Resource identifiers shared by the resource script and the code. All are numbers: the shell
// shows a program's first icon group, and named groups would sort before the program's own.
#pragma once

#define CARVEX_ICON_PROGRAM 1
#define CARVEX_ICON_SPLIT 101
#define CARVEX_ICON_BUILD 102
#define CARVEX_ICON_PIECE 103
#define CARVEX_ICON_ZIP 104
#define CARVEX_ICON_FINISHED 105
