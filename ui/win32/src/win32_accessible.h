#pragma once

#include <windows.h>

#include <string>

namespace carvex::ui {

// The answer to WM_GETOBJECT for a control that a screen reader must call `name`, where its
// visible text ("...") or the lack of one would say nothing: the system's own accessible object
// for the window, with that name. 0 when the request is for another object or fails, which
// leaves the message to the control's own handling.
LRESULT AccessibleObjectNamed(HWND hwnd, WPARAM wParam, LPARAM lParam, const std::wstring& name);

}  // namespace carvex::ui
