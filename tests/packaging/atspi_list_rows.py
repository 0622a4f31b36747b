#!/usr/bin/python3
"""Reads the rows of the lists that a running program shows, through the desktop's
accessibility bus (AT-SPI), the way a screen reader reads them.

Usage: atspi_list_rows.py PROGRAM_NAME CELL_TEXT SECONDS [WINDOW_TITLE]

Waits up to SECONDS for an application called PROGRAM_NAME whose window holds a list (a
table, a tree or a list box) with a cell that reads CELL_TEXT. Then prints the application's
process id on the first line and every row of that list on the following lines, its cells
separated by tabs, and exits 0. Exits 1, printing what it saw, when no such list appeared.

With WINDOW_TITLE only a window of that title counts, which tells a mode shown in the title;
an empty CELL_TEXT then waits for the window alone and prints only the process id.
"""
import sys
import time

import pyatspi

LIST_ROLES = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST}
# A form is a few hundred objects deep and wide; the bounds keep a wrong tree from stalling us.
MAX_DEPTH = 30
MAX_OBJECTS = 5000


def children(accessible):
    try:
        count = accessible.childCount
    except Exception:
        return []
    return [c for c in (accessible.getChildAtIndex(i) for i in range(min(count, MAX_OBJECTS))) if c]


def lists_in(application):
    found, stack, seen = [], [(application, 0)], 0
    while stack and seen < MAX_OBJECTS:
        accessible, depth = stack.pop()
        seen += 1
        try:
            role = accessible.getRole()
        except Exception:
            continue
        if role in LIST_ROLES:
            found.append(accessible)
        elif depth < MAX_DEPTH:
            stack.extend((c, depth + 1) for c in children(accessible))
    return found


def rows_of(listing):
    """The list's rows as lists of cell texts, by the table interface where there is one."""
    try:
        table = listing.queryTable()
    except NotImplementedError:
        table = None
    if table is not None:
        rows = []
        for row in range(table.nRows):
            cells = []
            for column in range(table.nColumns):
                cell = table.getAccessibleAt(row, column)
                cells.append(cell.name if cell else "")
            rows.append(cells)
        return rows
    return [[item.name] for item in children(listing)]


def windows_of(application, title):
    if title is None:
        return [application]
    return [w for w in children(application) if w.name == title]


def main():
    program, wanted, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    title = sys.argv[4] if len(sys.argv) > 4 else None
    desktop = pyatspi.Registry.getDesktop(0)
    deadline = time.monotonic() + seconds
    seen = []
    while True:
        seen = []
        for application in children(desktop):
            try:
                if application.name != program:
                    continue
                for window in windows_of(application, title):
                    if not wanted:
                        print(application.get_process_id())
                        return 0
                    for listing in lists_in(window):
                        rows = rows_of(listing)
                        seen.append(rows)
                        if any(wanted in row for row in rows):
                            print(application.get_process_id())
                            for row in rows:
                                print("\t".join(row))
                            return 0
            except Exception as error:  # the program may be starting or ending meanwhile
                seen.append([[f"({error})"]])
        if time.monotonic() >= deadline:
            break
        time.sleep(0.5)
    names = []
    for application in children(desktop):
        try:
            names.append((application.name, [w.name for w in children(application)]))
        except Exception:
            pass
    where = f" in a window {title!r}" if title is not None else ""
    print(f"no list of {program}{where} shows {wanted!r}; applications and their windows: {names}; "
          f"lists: {seen}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
