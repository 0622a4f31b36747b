#!/usr/bin/python3
"""Drives GNOME Files as a user does, with the keyboard and the mouse (xdotool), and reads what
it shows through the accessibility bus (AT-SPI), the way a screen reader reads it.

Usage: nautilus_drive.py --recording FILE --single FILE --six FOLDER --piece FILE
                         [--screenshots FOLDER] [--log FILE] [--seconds N]

Runs inside a display and a session bus of its own (nautilus_test.sh starts them), with the
Verbhook module installed and the first menu written with a stand-in program that records the
arguments it receives in FILE, NUL-separated.

  split:     FILE (the only file of its folder) selected, its context menu opened with
             Shift+F10, Carvex > "Split with Carvex": the stand-in receives exactly /s and the
             file's path.
  copy path: the same menu, the item captioned with the file's path: another process reads
             the path from the clipboard.
  two windows: every file of FOLDER selected in one window, the only file of PIECE's folder in
             a second one (its menu opened and closed), then back to the first: its menu's
             "Several files selected" puts the first window's paths on the clipboard, one a
             line, not the second window's file.
  open piece: PIECE double-clicked opens the installed Carvex (the desktop's default program
             for a piece) in Build mode with PIECE listed, read with atspi_list_rows.py.

Prints one line per check and a count last; exits 0 when every check passed.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

import pyatspi

APPLICATION = "org.gnome.Nautilus"
SUBMENU = "Carvex"
SPLIT_ITEM = "Split with Carvex"
SEVERAL_ITEM = "Several files selected"
CARVEX_BUILD_MODE = "Carvex - Build Mode"
LIST_ROWS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_list_rows.py")
# A window is a few thousand objects at most; the bounds keep a runaway tree from stalling us.
MAX_DEPTH = 40
MAX_OBJECTS = 20000
# The windows are laid side by side so that a click meant for one cannot land on another.
WINDOW_SIZE = (640, 500)
PLACES = [(0, 0), (640, 0), (0, 512)]


class Failure(Exception):
    pass


class OutOfTime(BaseException):
    """Raised by the alarm; no wait may take it for a passing hiccup."""


def log(message):
    print(f"nautilus_drive: {message}", flush=True)


def command(args, seconds=15, codes=(0,)):
    """Runs a tool and returns what it printed; a tool that fails or hangs is a failure."""
    try:
        done = subprocess.run(args, capture_output=True, timeout=seconds)
    except subprocess.TimeoutExpired:
        raise Failure(f"{args[0]} did not finish within {seconds}s: {args}") from None
    if done.returncode not in codes:
        raise Failure(f"{args} exited {done.returncode}: {done.stderr.decode(errors='replace').strip()}")
    return done.stdout.decode(errors="replace")


def xdotool(*args):
    return command(["xdotool", *[str(a) for a in args]])


def wait_for(what, probe, seconds, interval=0.15):
    """Polls probe until it returns something true; the accessibility bus may drop a call while a
    window changes, so an error counts as not yet."""
    deadline = time.monotonic() + seconds
    error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Failure:
            raise
        except Exception as e:  # the tree changed under us
            error = e
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {seconds}s waiting for {what}" + (f" (last error: {error})" if error else ""))
        time.sleep(interval)


# ---- The accessibility tree

def children(accessible):
    try:
        count = min(accessible.childCount, MAX_OBJECTS)
    except Exception:
        return []
    found = []
    for i in range(count):
        try:
            child = accessible.getChildAtIndex(i)
        except Exception:
            child = None
        if child is not None:
            found.append(child)
    return found


def walk(root):
    """Every object under root with its index path, depth first."""
    stack, seen = [(root, ())], 0
    while stack and seen < MAX_OBJECTS:
        accessible, path = stack.pop()
        seen += 1
        yield accessible, path
        if len(path) < MAX_DEPTH:
            stack.extend((c, path + (i,)) for i, c in reversed(list(enumerate(children(accessible)))))


def has_state(accessible, state):
    try:
        return accessible.getState().contains(state)
    except Exception:
        return False


def role(accessible):
    try:
        return accessible.getRole()
    except Exception:
        return None


def find_frame(title):
    """The window called title; the file manager names a window after its folder."""
    desktop = pyatspi.Registry.getDesktop(0)
    for application in children(desktop):
        try:
            if application.name != APPLICATION:
                continue
        except Exception:
            continue
        for window in children(application):
            if role(window) == pyatspi.ROLE_FRAME and window.name == title:
                return window
    return None


def frame(title):
    window = find_frame(title)
    if window is None:
        raise Failure(f"no window '{title}' on the accessibility bus")
    return window


def files_shown(window):
    """{file name: (selected, (x, y, width, height) within the window)} of the folder view. A
    grid item is a cell holding a cell named after the file; the outer one carries the
    selection."""
    shown = {}
    for accessible, _ in walk(window):
        if role(accessible) != pyatspi.ROLE_TABLE_CELL:
            continue
        for inner in children(accessible):
            if role(inner) == pyatspi.ROLE_TABLE_CELL and inner.name:
                box = accessible.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
                shown[inner.name] = (has_state(accessible, pyatspi.STATE_SELECTED),
                                     (box.x, box.y, box.width, box.height))
    return shown


def selection(window):
    return sorted(name for name, (selected, _) in files_shown(window).items() if selected)


def open_menu(window):
    """The popover menu open in the window, if any: it is in the tree only while it is shown."""
    for accessible, _ in walk(window):
        if role(accessible) == pyatspi.ROLE_MENU and has_state(accessible, pyatspi.STATE_VISIBLE):
            return accessible
    return None


def menu_items(menu):
    """[(path, caption, focused)] of every item of the menu, the submenus' pages included."""
    return [(path, item.name, has_state(item, pyatspi.STATE_FOCUSED))
            for item, path in walk(menu) if role(item) == pyatspi.ROLE_MENU_ITEM]


def focused_item(menu):
    for path, caption, focused in menu_items(menu):
        if focused:
            return path, caption
    return None


# ---- The user's hands

class Session:
    def __init__(self, screenshots):
        self.screenshots = screenshots
        self.windows = {}  # title -> X window id
        self.nautilus = None

    def screenshot(self, name):
        if not self.screenshots:
            return
        os.makedirs(self.screenshots, exist_ok=True)
        try:
            command(["import", "-window", "root", os.path.join(self.screenshots, name + ".png")], 30)
        except Exception as e:
            log(f"no screenshot {name}: {e}")

    def open_window(self, folder, log_file):
        """A window on folder, placed on its own part of the screen, its files listed."""
        title = os.path.basename(folder)
        args = ["nautilus", "--new-window", folder]
        if self.nautilus is None:
            # The first one stays as the application; the later ones hand their folder to it.
            self.nautilus = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file)
        else:
            command(args, 30)
        expected = sorted(os.listdir(folder))

        def listed():
            self.check_running()
            window = find_frame(title)
            return window and sorted(files_shown(window)) == expected
        wait_for(f"a window on {folder} listing {expected}", listed, 60)
        # The title can be a prefix of another's, so the X window is matched whole. xdotool
        # exits 1 while there is none.
        ids = wait_for(f"the X window '{title}'",
                       lambda: command(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                                       codes=(0, 1)).split(), 20)
        if len(ids) != 1:
            raise Failure(f"{len(ids)} windows are called '{title}'")
        wid = ids[0]
        x, y = PLACES[len(self.windows)]
        xdotool("windowsize", wid, *WINDOW_SIZE)
        xdotool("windowmove", wid, x, y)
        self.windows[title] = wid
        wait_for(f"'{title}' at {x},{y}",
                 lambda: f"Position: {x},{y} " in xdotool("getwindowgeometry", wid), 10)
        # The grid lays out again at the new size; the places must hold before they are clicked.
        def steady():
            before = files_shown(frame(title))
            time.sleep(0.3)
            return before == files_shown(frame(title))
        wait_for(f"the files of '{title}' laid out", steady, 10)
        return title

    def check_running(self):
        """A module that takes the file manager down must fail at once, not after a timeout."""
        if self.nautilus is not None and self.nautilus.poll() is not None:
            raise Failure(f"GNOME Files ended (exit status {self.nautilus.returncode})")

    def focus(self, title):
        """Makes the window the active one, as a window manager does for a click on its title
        bar, and rests the pointer on its empty sidebar corner, away from where menus open."""
        wid = self.windows[title]
        xdotool("windowfocus", "--sync", wid)
        xdotool("mousemove", "--window", wid, 40, WINDOW_SIZE[1] - 40)
        wait_for(f"'{title}' active", lambda: has_state(frame(title), pyatspi.STATE_ACTIVE), 10)

    def click_file(self, title, name):
        shown = files_shown(frame(title))
        if name not in shown:
            raise Failure(f"'{title}' shows no {name}: {sorted(shown)}")
        x, y, width, height = shown[name][1]
        wid = self.windows[title]
        xdotool("mousemove", "--window", wid, x + width // 2, y + height // 2, "click", "1")
        xdotool("mousemove", "--window", wid, 40, WINDOW_SIZE[1] - 40)

    def double_click_file(self, title, name):
        shown = files_shown(frame(title))
        if name not in shown:
            raise Failure(f"'{title}' shows no {name}: {sorted(shown)}")
        x, y, width, height = shown[name][1]
        wid = self.windows[title]
        xdotool("mousemove", "--window", wid, x + width // 2, y + height // 2, "click", "--repeat", 2,
                "--delay", 120, "1")
        xdotool("mousemove", "--window", wid, 40, WINDOW_SIZE[1] - 40)

    def choose(self, title, caption, shot):
        """Opens the selection's context menu from the keyboard, goes into the Carvex submenu
        and presses Return on the item with caption, checking through the accessibility bus
        that each key moved the focus where a user would see it go."""
        window = frame(title)
        if open_menu(window):
            raise Failure(f"a menu is already open in '{title}'")
        xdotool("key", "shift+F10")
        menu = wait_for(f"the context menu of '{title}'", lambda: open_menu(frame(title)), 10)
        self.walk_to(menu, "Down", lambda path, name: name == SUBMENU, SUBMENU)
        opener = focused_item(menu)[0]
        self.press(menu, "Right")
        if focused_item(menu)[0] == opener:
            raise Failure("Right did not open the Carvex submenu")
        self.walk_to(menu, "Down", lambda path, name: name == caption, f"{SUBMENU} > {caption}")
        self.screenshot(shot)
        xdotool("key", "Return")
        wait_for(f"the menu of '{title}' to close", lambda: not open_menu(frame(title)), 10)

    def glance_at_menu(self, title):
        xdotool("key", "shift+F10")
        wait_for(f"the context menu of '{title}'", lambda: open_menu(frame(title)), 10)
        xdotool("key", "Escape")
        wait_for(f"the menu of '{title}' to close", lambda: not open_menu(frame(title)), 10)

    def press(self, menu, key):
        before = focused_item(menu)
        xdotool("key", key)
        # GTK moves the focus on its next frame. A key that moved nothing is not an error here:
        # the caller sees the focus where it was.
        try:
            wait_for(f"{key} to move the focus", lambda: (now := focused_item(menu)) and now != before, 5)
        except Failure:
            pass

    def walk_to(self, menu, key, wanted, what):
        items = menu_items(menu)
        visited = []
        for _ in range(len(items) + 1):
            current = wait_for("a focused menu item", lambda: focused_item(menu), 5)
            if wanted(*current):
                return
            visited.append(current[1])
            self.press(menu, key)
        captions = [caption for _, caption, _ in items]
        raise Failure(f"no {what} in the menu; the focus went {visited}; the menu holds {captions}")

    def quit(self):
        if self.nautilus is None:
            return
        try:
            # It exits 255 even when the application heard it; the application's end is the answer.
            command(["nautilus", "-q"], 20, codes=range(256))
            self.nautilus.wait(20)
        except Exception as e:
            log(f"nautilus -q did not end GNOME Files ({e}); killing it")
            self.nautilus.kill()
            self.nautilus.wait(10)


def read_clipboard():
    done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return done.stdout.decode(errors="replace") if done.returncode == 0 else None


def wait_clipboard(matches, what):
    seen = []

    def probe():
        text = read_clipboard()
        if not seen or seen[-1] != text:
            seen.append(text)
        return matches(text)

    try:
        wait_for(what, probe, 15, 0.3)
    except Failure:
        raise Failure(f"the clipboard never held {what}; it held {seen}") from None


def path_lines(text):
    """The clipboard's lines, one path each; a final line break is allowed, a blank line or a
    carriage return is not."""
    if text is None:
        return None
    return text[:-1].split("\n") if text.endswith("\n") else text.split("\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--recording", required=True)
    parser.add_argument("--single", required=True)
    parser.add_argument("--six", required=True)
    parser.add_argument("--piece", required=True)
    parser.add_argument("--screenshots")
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--seconds", type=int, default=100)
    args = parser.parse_args()

    def out_of_time(*_):
        raise OutOfTime(f"the run took longer than {args.seconds}s")
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(args.seconds)

    session = Session(args.screenshots)
    results = []

    def check(name, steps):
        start = time.monotonic()
        try:
            steps()
            results.append(True)
            log(f"PASS {name} ({time.monotonic() - start:.1f}s)")
        except Exception as e:  # an error of the accessibility bus fails the check too
            results.append(False)
            log(f"FAIL {name}: {e if isinstance(e, Failure) else repr(e)}")
            try:
                session.check_running()
            except Failure as ended:
                log(f"FAIL {name}: {ended}")
            session.screenshot("failed-" + name.replace(" ", "-"))
            # A menu left open would take the next check's keys.
            subprocess.run(["xdotool", "key", "Escape", "Escape", "Escape"], timeout=10)

    single_folder = os.path.dirname(args.single)
    single_name = os.path.basename(args.single)
    six = sorted(os.path.join(args.six, name) for name in os.listdir(args.six))
    piece_name = os.path.basename(args.piece)

    with open(args.log, "ab") as log_file:
        try:
            single = session.open_window(single_folder, log_file)

            def split():
                if os.path.exists(args.recording):
                    os.remove(args.recording)
                session.focus(single)
                session.click_file(single, single_name)
                wait_for(f"{single_name} selected", lambda: selection(frame(single)) == [single_name], 10)
                session.choose(single, SPLIT_ITEM, "split-menu")
                wait_for("the stand-in to record its arguments", lambda: os.path.exists(args.recording), 20)
                with open(args.recording, "rb") as f:
                    received = f.read().split(b"\0")
                expected = [b"/s", os.fsencode(args.single), b""]
                if received != expected:
                    raise Failure(f"the stand-in received {received[:-1]}, not {expected[:-1]}")

            def copy_path():
                session.focus(single)
                if selection(frame(single)) != [single_name]:
                    raise Failure(f"the selection is {selection(frame(single))}, not {single_name}")
                session.choose(single, args.single, "copy-path-menu")
                wait_clipboard(lambda text: path_lines(text) == [args.single], repr(args.single))

            def two_windows():
                first = session.open_window(args.six, log_file)
                session.focus(first)
                session.click_file(first, os.path.basename(six[0]))
                wait_for("the first file selected", lambda: selection(frame(first)) == [os.path.basename(six[0])], 10)
                xdotool("key", "ctrl+a")
                names = sorted(os.path.basename(p) for p in six)
                wait_for(f"all of {names} selected in '{first}'", lambda: selection(frame(first)) == names, 10)
                second = session.open_window(os.path.dirname(args.piece), log_file)
                session.focus(second)
                session.click_file(second, piece_name)
                wait_for(f"{piece_name} selected in '{second}'", lambda: selection(frame(second)) == [piece_name], 10)
                # A look at this window's menu before turning back: whenever the file manager
                # builds its items, they have been built for this selection by now.
                session.glance_at_menu(second)
                session.focus(first)
                for title, wanted in ((first, names), (second, [piece_name])):
                    if selection(frame(title)) != wanted:
                        raise Failure(f"'{title}' has {selection(frame(title))} selected, not {wanted}")
                session.choose(first, SEVERAL_ITEM, "two-windows-menu")
                wait_clipboard(lambda text: path_lines(text) is not None and sorted(path_lines(text)) == six,
                               f"the paths of '{first}' one a line: {six}")

            def open_piece():
                folder = os.path.dirname(args.piece)
                title = os.path.basename(folder)
                if title not in session.windows:
                    session.open_window(folder, log_file)
                session.focus(title)
                session.double_click_file(title, piece_name)
                found = command([sys.executable, LIST_ROWS, "carvex", args.piece, "40", CARVEX_BUILD_MODE], 60)
                pid = int(found.splitlines()[0])
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        arguments = f.read().split(b"\0")[1:-1]
                    if arguments != [b"/b", os.fsencode(args.piece)]:
                        raise Failure(f"Carvex was started with {arguments}, not /b and the piece")
                    listed = [line.split("\t") for line in found.splitlines()[1:]]
                    if [(row[0], row[-1]) for row in listed] != [(piece_name, args.piece)]:
                        raise Failure(f"Carvex lists {listed}, not the piece alone")
                finally:
                    os.kill(pid, signal.SIGTERM)
                    wait_for("Carvex to end", lambda: not os.path.exists(f"/proc/{pid}"), 10)

            check("split", split)
            check("copy path", copy_path)
            check("two windows", two_windows)
            check("open piece", open_piece)
        except (OutOfTime, Exception) as e:
            log(f"FAIL {e if isinstance(e, (Failure, OutOfTime)) else repr(e)}")
            session.screenshot("failed-setup")
            results.append(False)
        finally:
            signal.alarm(0)
            session.quit()

    log(f"{results.count(True)} of {len(results)} checks passed")
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
