#pragma once

// Looking at real Win32 windows from inside a test: a screenshot of a window as the screen shows
// it, and a check of a form's layout (text that does not fit its control, controls that overlap
// or reach out of their container). Windows only.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace carvex::test {

// Writes what the screen shows of `window` (its window rectangle, frame included) to a PNG file
// at `path` (UTF-8), after the window and all its children have painted. False when the
// capture or the file fails.
bool SaveWindowPng(HWND window, const std::string& path);

// How a problem names a control; without one, by class and control identifier ("Button #1005").
using ControlNamer = std::function<std::string(HWND)>;

// Every layout problem among the visible descendants of `form` that have a control identifier,
// one sentence each, empty when the layout is sound:
// - a label's wrapped text taller than the label, or one of its words wider;
// - a button's text (and its check or radio glyph) wider or taller than the button;
// - a control lying on a group box's caption line, a caption wider than its box;
// - an edit box lower than a line of its font;
// - a control reaching out of its parent's client area;
// - two siblings overlapping (the tab control lies under its pages, and a group box holds
//   what lies wholly inside it, so neither counts).
std::vector<std::string> LayoutProblems(HWND form, const ControlNamer& name = {});

}  // namespace carvex::test
