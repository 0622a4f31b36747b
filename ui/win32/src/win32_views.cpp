// One window per control of the model, created when a form loads and kept in step with it;
// the window procedures that turn the user's input into the controls' user-input methods.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "win32_accessible.h"
#include "platform/wide.h"
#include "ui/app.h"
#include "win32_view.h"

namespace carvex::ui {

namespace {

using FormView = Win32Backend::FormView;

// A combo box's window includes its drop-down list; the model gives the closed box's height.
constexpr int kDropDownRows = 10;

bool Live(const std::shared_ptr<bool>& alive) { return *alive && !SyncScope::Active(); }

FormView* ViewFromWindow(HWND window) {
  return reinterpret_cast<FormView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

template <class T>
T& As(Control& control) {
  return static_cast<T&>(control);
}

// Functions of newer systems than the oldest one the program runs on.
template <class F>
F UserFunction(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

void AdjustForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, UINT dpi) {
  using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const Fn adjust = UserFunction<Fn>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&rect, style, menu, exStyle, dpi)) AdjustWindowRectEx(&rect, style, menu, exStyle);
}

// The dialog font of the system at the window's DPI: the forms are laid out for its 8 points.
HFONT CreateFormFont(UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

std::wstring WithCrLf(const std::string& text) {
  std::wstring out;
  const std::wstring wide = W(text);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\n' && (i == 0 || wide[i - 1] != L'\r')) out += L'\r';
    out += wide[i];
  }
  return out;
}

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// The window that holds a control: its frame's panel, or the form's window.
HWND ParentWindow(FormView& view, Control& control) {
  if (Control* container = control.Container(); container && container->Kind() == ControlKind::kFrame)
    if (const auto it = view.handles.find(container); it != view.handles.end()) return it->second;
  return view.window;
}

struct WindowKind {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

WindowKind KindOf(Control& control) {
  constexpr DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
  switch (control.Kind()) {
    case ControlKind::kLabel:
      return {L"Static", child | SS_LEFT | SS_NOTIFY, 0};
    case ControlKind::kFrame:
      return {kWin32PanelClass, child, WS_EX_CONTROLPARENT};
    case ControlKind::kTextBox: {
      auto& box = As<TextBox>(control);
      DWORD style = child | WS_TABSTOP | ES_LEFT;
      if (box.MultiLine)
        style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL;
      else
        style |= ES_AUTOHSCROLL;
      if (box.Locked) style |= ES_READONLY;
      if (box.PasswordChar != '\0') style |= ES_PASSWORD;
      return {L"Edit", style, WS_EX_CLIENTEDGE};
    }
    case ControlKind::kCommandButton:
      return {L"Button",
              child | WS_TABSTOP | (As<CommandButton>(control).IsDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0};
    case ControlKind::kCheckBox:
      // The model decides what the box shows, so the button does not tick itself.
      return {L"Button", child | WS_TABSTOP | BS_CHECKBOX | BS_MULTILINE, 0};
    case ControlKind::kOptionButton:
      // The model clears the other buttons of the container, not the window's group.
      return {L"Button", child | WS_TABSTOP | BS_RADIOBUTTON | BS_MULTILINE, 0};
    case ControlKind::kListView:
      return {WC_LISTVIEWW,
              child | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS |
                  (As<ListView>(control).MultiSelect ? 0 : LVS_SINGLESEL),
              WS_EX_CLIENTEDGE};
    case ControlKind::kProgressBar:
      return {PROGRESS_CLASSW, child, 0};
    case ControlKind::kSlider:
      return {TRACKBAR_CLASSW, child | WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM, 0};
    case ControlKind::kVScrollBar:
      return {UPDOWN_CLASSW, child, 0};
    case ControlKind::kComboBox:
      return {WC_COMBOBOXW, child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlKind::kDriveListBox:
      return {WC_COMBOBOXEXW, child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlKind::kTabStrip:
      return {WC_TABCONTROLW, child | WS_TABSTOP | TCS_TOOLTIPS, 0};
    case ControlKind::kPictureBox:
    case ControlKind::kImage:
      return {L"Static", child | SS_OWNERDRAW | SS_NOTIFY, 0};
    case ControlKind::kForm:
    case ControlKind::kImageList:
    case ControlKind::kMenu:
    case ControlKind::kCommonDialog:
      break;
  }
  return {nullptr, 0, 0};
}

void ApplyControl(FormView& view, Control& control, Property property);
void RebuildList(FormView& view, ListView& list);
void RebuildMenus(FormView& view);

LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data);

HWND CreateControlWindow(FormView& view, Control& control);

HWND EnsureWindow(FormView& view, Control& control) {
  if (const auto it = view.handles.find(&control); it != view.handles.end()) return it->second;
  if (Control* container = control.Container(); container && container->Kind() == ControlKind::kFrame)
    EnsureWindow(view, *container);
  return CreateControlWindow(view, control);
}

HWND CreateControlWindow(FormView& view, Control& control) {
  const WindowKind kind = KindOf(control);
  if (!kind.className) return nullptr;
  HWND parent = ParentWindow(view, control);
  DWORD style = kind.style;
  // The first control of each container starts its group of the dialog navigation.
  if (!GetWindow(parent, GW_CHILD)) style |= WS_GROUP;
  const int id = Win32ControlId(control.Name());
  HWND hwnd = CreateWindowExW(kind.exStyle, kind.className, L"", style, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return nullptr;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(view.font), FALSE);
  view.handles.emplace(&control, hwnd);
  view.controls.emplace(hwnd, &control);
  view.byId.emplace(id, &control);
  SetWindowSubclass(hwnd, ControlProc, 1, reinterpret_cast<DWORD_PTR>(&control));

  switch (control.Kind()) {
    case ControlKind::kFrame:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&view));
      if (!As<Frame>(control).Caption().empty()) {
        HWND group = CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, 0, 0, 0, 0, hwnd,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(group, WM_SETFONT, reinterpret_cast<WPARAM>(view.font), FALSE);
        view.groupBoxes.emplace(&control, group);
      }
      break;
    case ControlKind::kListView: {
      auto& list = As<ListView>(control);
      ListView_SetExtendedListViewStyle(hwnd, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
      if (list.OnDropFiles) DragAcceptFiles(hwnd, TRUE);
      break;
    }
    case ControlKind::kVScrollBar:
      // Up raises the value: the arrows only report a step, the model keeps the value.
      SendMessageW(hwnd, UDM_SETRANGE32, 0, 100);
      SendMessageW(hwnd, UDM_SETPOS32, 0, 50);
      break;
    case ControlKind::kDriveListBox:
      SendMessageW(hwnd, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(SystemSmallImages()));
      break;
    case ControlKind::kSlider:
      SendMessageW(hwnd, TBM_SETPAGESIZE, 0, 1);
      break;
    case ControlKind::kProgressBar:
      SendMessageW(hwnd, PBM_SETRANGE32, 0, 1);
      break;
    default:
      break;
  }
  if (view.toolTip && control.Kind() != ControlKind::kFrame) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = view.window;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(view.toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  return hwnd;
}

// The range of a progress bar is its width in pixels, so a new value that does not move the
// bar by a pixel costs nothing: a job sets the value once per chunk. A value that does move it
// invalidates the bar, which is painted on the next turn of the loop.
void ApplyProgress(FormView& view, ProgressBar& model, HWND bar, bool resized) {
  FormView::BarState& state = view.bars[&model];
  if (resized || state.steps == 0) {
    RECT rect{};
    GetClientRect(bar, &rect);
    state.steps = std::max<int>(1, rect.right - rect.left);
    SendMessageW(bar, PBM_SETRANGE32, 0, state.steps);
    state.position = -1;
  }
  const double span = model.Max() - model.Min();
  const double share = span > 0 ? (model.Value() - model.Min()) / span : 0.0;
  const int position = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * state.steps));
  if (position == state.position) return;
  state.position = position;
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void PostFlush(FormView& view) {
  if (view.flushPosted) return;
  view.flushPosted = true;
  PostMessageW(view.window, kFlushMessage, 0, 0);
}

void ApplyGeometry(FormView& view, Control& control, HWND hwnd) {
  const Rect& g = control.Geometry();
  const int width = std::max(0, Px(g.width, view.dpi));
  int height = std::max(0, Px(g.height, view.dpi));
  if (control.Kind() == ControlKind::kComboBox || control.Kind() == ControlKind::kDriveListBox)
    height *= kDropDownRows;
  SetWindowPos(hwnd, nullptr, Px(g.left, view.dpi), Px(g.top, view.dpi), width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (const auto group = view.groupBoxes.find(&control); group != view.groupBoxes.end())
    SetWindowPos(group->second, HWND_BOTTOM, 0, 0, width, height, SWP_NOACTIVATE);
  switch (control.Kind()) {
    case ControlKind::kProgressBar:
      ApplyProgress(view, As<ProgressBar>(control), hwnd, true);
      break;
    case ControlKind::kListView: {
      const auto& columns = As<ListView>(control).Columns();
      for (std::size_t i = 0; i < columns.size(); ++i)
        ListView_SetColumnWidth(hwnd, static_cast<int>(i), Px(columns[i].width, view.dpi));
      break;
    }
    default:
      break;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
}

void ApplyCaption(FormView& view, Control& control, HWND hwnd) {
  const std::string& caption = As<Captioned>(control).Caption();
  switch (control.Kind()) {
    case ControlKind::kFrame:
      if (const auto it = view.groupBoxes.find(&control); it != view.groupBoxes.end())
        SetWindowTextW(it->second, W(caption).c_str());
      break;
    case ControlKind::kLabel:
    case ControlKind::kCommandButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      SetWindowTextW(hwnd, W(caption).c_str());
      break;
    default:
      break;
  }
}

void ApplyValue(FormView& view, Control& control, HWND hwnd) {
  switch (control.Kind()) {
    case ControlKind::kCheckBox: {
      const int value = As<CheckBox>(control).Value();
      SendMessageW(hwnd, BM_SETCHECK,
                   value == CheckBox::kChecked   ? BST_CHECKED
                   : value == CheckBox::kGrayed ? BST_INDETERMINATE
                                                : BST_UNCHECKED,
                   0);
      break;
    }
    case ControlKind::kOptionButton:
      SendMessageW(hwnd, BM_SETCHECK, As<OptionButton>(control).Value() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::kProgressBar:
      ApplyProgress(view, As<ProgressBar>(control), hwnd, false);
      break;
    case ControlKind::kSlider: {
      auto& model = As<Slider>(control);
      SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, model.Min());
      SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, model.Max());
      SendMessageW(hwnd, TBM_SETTICFREQ, std::max(1, model.TickFrequency), 0);
      SendMessageW(hwnd, TBM_SETPOS, TRUE, model.Value());
      break;
    }
    default:
      break;
  }
}

int TextIndex(const std::string& text, std::size_t bytes) {
  return static_cast<int>(W(text.substr(0, std::min(bytes, text.size()))).size());
}

void ApplySelection(FormView& view, Control& control, HWND hwnd) {
  switch (control.Kind()) {
    case ControlKind::kListView: {
      auto& model = As<ListView>(control);
      if (view.staleLists.count(&model)) return;
      const int count = std::min<int>(ListView_GetItemCount(hwnd), static_cast<int>(model.Count()));
      for (int i = 0; i < count; ++i) {
        const bool selected = model.Item(static_cast<std::size_t>(i) + 1).selected;
        ListView_SetItemState(hwnd, i, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
      }
      break;
    }
    case ControlKind::kComboBox:
      SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(As<ComboBox>(control).ListIndex()), 0);
      break;
    case ControlKind::kDriveListBox: {
      auto& model = As<DriveListBox>(control);
      const auto& items = model.Items();
      const auto it = std::find(items.begin(), items.end(), model.Drive());
      SendMessageW(hwnd, CB_SETCURSEL, it == items.end() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(it - items.begin()),
                   0);
      break;
    }
    case ControlKind::kTabStrip:
      TabCtrl_SetCurSel(hwnd, As<TabStrip>(control).SelectedIndex() - 1);
      break;
    case ControlKind::kTextBox: {
      // The model counts bytes of UTF-8; the window counts UTF-16 units.
      auto& model = As<TextBox>(control);
      const int start = TextIndex(model.Text(), model.SelStart());
      const int end = TextIndex(model.Text(), model.SelStart() + model.SelLength());
      SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
      break;
    }
    default:
      break;
  }
}

void ApplyItems(FormView& view, Control& control, HWND hwnd) {
  switch (control.Kind()) {
    case ControlKind::kListView:
      // A list is filled one call at a time (an entry, then each of its columns): it is drawn
      // once, on the next turn of the loop, not once per call.
      view.staleLists.insert(&As<ListView>(control));
      PostFlush(view);
      break;
    case ControlKind::kImageList:
      for (auto& [other, window] : view.handles)
        if (other->Kind() == ControlKind::kListView && static_cast<const ListView*>(other)->SmallIcons == &control)
          ApplyItems(view, *const_cast<Control*>(other), window);
      break;
    case ControlKind::kComboBox: {
      SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
      for (const std::string& item : As<ComboBox>(control).Items())
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item).c_str()));
      ApplySelection(view, control, hwnd);
      break;
    }
    case ControlKind::kDriveListBox: {
      SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
      int index = 0;
      for (const std::string& item : As<DriveListBox>(control).Items()) {
        // "c: [System]": the icon is the one of the drive's root.
        std::wstring text = W(item);
        COMBOBOXEXITEMW entry{};
        entry.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        entry.iItem = index++;
        entry.pszText = text.data();
        entry.iImage = entry.iSelectedImage = SystemIconIndex(item.substr(0, 2) + "\\");
        SendMessageW(hwnd, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
      }
      ApplySelection(view, control, hwnd);
      break;
    }
    case ControlKind::kTabStrip: {
      auto& model = As<TabStrip>(control);
      TabCtrl_DeleteAllItems(hwnd);
      int index = 0;
      for (const std::string& caption : model.Tabs()) {
        std::wstring text = W(caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(hwnd, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
      }
      ApplySelection(view, control, hwnd);
      break;
    }
    default:
      break;
  }
}

void ApplyText(Control& control, HWND hwnd) {
  if (control.Kind() != ControlKind::kTextBox) return;
  auto& box = As<TextBox>(control);
  const std::wstring text = box.MultiLine ? WithCrLf(box.Text()) : W(box.Text());
  if (WideWindowText(hwnd) != text) SetWindowTextW(hwnd, text.c_str());
}

void ApplyControl(FormView& view, Control& control, Property property) {
  if (control.Kind() == ControlKind::kImageList) {
    if (property == Property::kItems) ApplyItems(view, control, nullptr);
    return;
  }
  const auto it = view.handles.find(&control);
  if (it == view.handles.end()) return;
  HWND hwnd = it->second;
  switch (property) {
    case Property::kGeometry:
      ApplyGeometry(view, control, hwnd);
      break;
    case Property::kAccessibleName:
      // Read from the model whenever a screen reader asks (WM_GETOBJECT).
      break;
    case Property::kEnabled:
      EnableWindow(hwnd, control.Enabled());
      break;
    case Property::kVisible:
      ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Property::kToolTip:
      // The tip's text is asked for when it shows.
      break;
    case Property::kCaption:
      // A job's status line changes once per piece, thousands of times a second: it is set
      // once per turn of the loop.
      if (control.Kind() == ControlKind::kLabel) {
        view.staleLabels.insert(&As<Label>(control));
        PostFlush(view);
      } else {
        ApplyCaption(view, control, hwnd);
      }
      break;
    case Property::kText:
      ApplyText(control, hwnd);
      break;
    case Property::kValue:
    case Property::kRange:
      ApplyValue(view, control, hwnd);
      break;
    case Property::kItems:
      ApplyItems(view, control, hwnd);
      break;
    case Property::kSelection:
      ApplySelection(view, control, hwnd);
      break;
    case Property::kPicture:
      InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case Property::kFocus:
      if (IsWindowVisible(hwnd) && GetFocus() != hwnd) ::SetFocus(hwnd);
      break;
    case Property::kChecked:
      break;
  }
}

void ApplyAll(FormView& view, Control& control) {
  for (Property p : {Property::kGeometry, Property::kText, Property::kRange, Property::kValue, Property::kEnabled,
                     Property::kVisible})
    ApplyControl(view, control, p);
  const auto it = view.handles.find(&control);
  if (it == view.handles.end()) return;
  if (control.Kind() == ControlKind::kLabel || control.Kind() == ControlKind::kFrame ||
      control.Kind() == ControlKind::kCommandButton || control.Kind() == ControlKind::kCheckBox ||
      control.Kind() == ControlKind::kOptionButton)
    ApplyCaption(view, control, it->second);
  if (control.Kind() == ControlKind::kListView)
    RebuildList(view, As<ListView>(control));
  else
    ApplyItems(view, control, it->second);
}

// The list's small icons: the shell's own image list when every picture is a file's icon,
// else a list of the form's own that holds both kinds.
HIMAGELIST ListImages(FormView& view, ListView& model) {
  if (const auto it = view.imageLists.find(&model); it != view.imageLists.end()) {
    ImageList_Destroy(it->second);
    view.imageLists.erase(it);
  }
  if (!model.SmallIcons) return nullptr;
  bool ownPictures = false;
  for (std::size_t i = 1; i <= model.SmallIcons->Count(); ++i)
    ownPictures |= model.SmallIcons->At(i).source == Picture::Source::kResource;
  if (!ownPictures) return SystemSmallImages();
  const int side = GetSystemMetrics(SM_CXSMICON);
  HIMAGELIST images = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 4, 4);
  for (std::size_t i = 1; i <= model.SmallIcons->Count(); ++i)
    ImageList_AddIcon(images, PictureIcon(model.SmallIcons->At(i), side));
  view.imageLists.emplace(&model, images);
  return images;
}

void RebuildList(FormView& view, ListView& model) {
  view.staleLists.erase(&model);
  const auto it = view.handles.find(&model);
  if (it == view.handles.end()) return;
  HWND list = it->second;
  SyncScope sync;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  const auto& columns = model.Columns();
  const int shown = Header_GetItemCount(ListView_GetHeader(list));
  if (shown != static_cast<int>(columns.size())) {
    for (int i = shown - 1; i >= 0; --i) ListView_DeleteColumn(list, i);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      std::wstring header = W(columns[i].header);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = header.data();
      column.cx = Px(columns[i].width, view.dpi);
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
  }
  HIMAGELIST images = ListImages(view, model);
  ListView_SetImageList(list, images, LVSIL_SMALL);
  const bool system = images && view.imageLists.count(&model) == 0;
  ListView_DeleteAllItems(list);
  for (std::size_t i = 1; i <= model.Count(); ++i) {
    const ListItem& entry = model.Item(i);
    std::wstring text = W(entry.text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = static_cast<int>(i - 1);
    item.pszText = text.data();
    item.iImage = -1;
    if (model.SmallIcons && entry.smallIcon >= 1 && entry.smallIcon <= model.SmallIcons->Count()) {
      const Picture& picture = model.SmallIcons->At(entry.smallIcon);
      item.iImage = system ? SystemIconIndex(picture.name) : static_cast<int>(entry.smallIcon) - 1;
    }
    item.state = entry.selected ? LVIS_SELECTED : 0;
    item.stateMask = LVIS_SELECTED;
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (std::size_t c = 0; c < entry.subItems.size(); ++c) {
      std::wstring sub = W(entry.subItems[c]);
      LVITEMW cell{};
      cell.iSubItem = static_cast<int>(c) + 1;
      cell.pszText = sub.data();
      SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void AddMenu(FormView& view, HMENU into, Menu& menu) {
  if (!menu.Visible()) return;
  if (menu.IsSeparator()) {
    AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
    return;
  }
  const UINT state = (menu.Enabled() ? MF_ENABLED : MF_GRAYED) | (menu.Checked() ? MF_CHECKED : MF_UNCHECKED);
  if (!menu.Children().empty()) {
    HMENU sub = CreatePopupMenu();
    for (Menu* child : menu.Children()) AddMenu(view, sub, *child);
    AppendMenuW(into, MF_POPUP | MF_STRING | state, reinterpret_cast<UINT_PTR>(sub), W(menu.Caption()).c_str());
    return;
  }
  const int id = Win32ControlId(menu.Name());
  view.menus[id] = &menu;
  AppendMenuW(into, MF_STRING | state, static_cast<UINT_PTR>(id), W(menu.Caption()).c_str());
}

// Win32 menus cannot hide an entry: the bar is built again from the model when one changes.
void RebuildMenus(FormView& view) {
  if (view.form->Menus().empty()) return;
  HMENU bar = CreateMenu();
  view.menus.clear();
  for (Menu* menu : view.form->Menus())
    if (!menu->ParentMenu()) AddMenu(view, bar, *menu);
  HMENU old = view.menuBar;
  view.menuBar = bar;
  SetMenu(view.window, bar);
  if (old) DestroyMenu(old);
  DrawMenuBar(view.window);
}

void OnCommand(FormView& view, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  const std::shared_ptr<bool> alive = view.alive;
  HWND from = reinterpret_cast<HWND>(lParam);
  if (!from) {
    if (const auto it = view.menus.find(id); it != view.menus.end()) {
      if (Live(alive)) it->second->Click();
      return;
    }
    // Dialog navigation: Escape asks for IDCANCEL, Enter with no default button for IDOK, and
    // Enter for the default button names it by its identifier only when it lies in a frame.
    if (id == IDCANCEL || id == IDOK) {
      if (Live(alive)) view.form->PressButton(id == IDOK);
      return;
    }
    const auto it = view.byId.find(id);
    if (it == view.byId.end()) return;
    from = view.handles[it->second];
  }
  Control* control = nullptr;
  if (const auto it = view.controls.find(from); it != view.controls.end()) control = it->second;
  if (!control || !Live(alive)) return;
  switch (control->Kind()) {
    case ControlKind::kCommandButton:
      if (code == BN_CLICKED) As<CommandButton>(*control).Click();
      break;
    case ControlKind::kCheckBox:
      if (code == BN_CLICKED) {
        As<CheckBox>(*control).Click();
        if (*alive) ApplyProperty(view, *control, Property::kValue);
      }
      break;
    case ControlKind::kOptionButton:
      if (code == BN_CLICKED) {
        As<OptionButton>(*control).Click();
        if (*alive) ApplyProperty(view, *control, Property::kValue);
      }
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) {
        auto& box = As<TextBox>(*control);
        std::string text = WindowText(from);
        box.SetText(box.MultiLine ? WithoutCr(std::move(text)) : std::move(text));
      }
      break;
    case ControlKind::kComboBox:
      if (code == CBN_SELCHANGE)
        As<ComboBox>(*control).SetListIndex(static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0)));
      break;
    case ControlKind::kDriveListBox:
      if (code == CBN_SELCHANGE) {
        auto& drives = As<DriveListBox>(*control);
        const auto index = static_cast<std::size_t>(SendMessageW(from, CB_GETCURSEL, 0, 0));
        if (index < drives.Items().size()) drives.SetDrive(drives.Items()[index]);
        if (*alive) ApplyProperty(view, *control, Property::kSelection);
      }
      break;
    default:
      break;
  }
}

LRESULT OnNotify(FormView& view, NMHDR& header) {
  const std::shared_ptr<bool> alive = view.alive;
  if (header.code == TTN_GETDISPINFOW) {
    auto& info = reinterpret_cast<NMTTDISPINFOW&>(header);
    std::string text;
    if (header.hwndFrom == view.toolTip) {
      if (const auto it = view.controls.find(reinterpret_cast<HWND>(header.idFrom)); it != view.controls.end())
        text = it->second->ToolTipText();
    } else {
      for (auto& [control, hwnd] : view.handles)
        if (control->Kind() == ControlKind::kTabStrip && TabCtrl_GetToolTips(hwnd) == header.hwndFrom) {
          const auto& strip = static_cast<const TabStrip&>(*control);
          const auto index = static_cast<int>(header.idFrom) + 1;
          if (index >= 1 && index <= static_cast<int>(strip.Tabs().size())) text = strip.TabToolTip(index);
        }
    }
    view.tipText = W(text);
    info.lpszText = view.tipText.data();
    return 0;
  }
  const auto it = view.controls.find(header.hwndFrom);
  if (it == view.controls.end()) return 0;
  Control& control = *it->second;
  switch (control.Kind()) {
    case ControlKind::kTabStrip:
      if (header.code == TCN_SELCHANGE && Live(alive)) {
        As<TabStrip>(control).Click(TabCtrl_GetCurSel(header.hwndFrom) + 1);
        // A strip that takes no input keeps its tab.
        if (*alive) ApplyProperty(view, control, Property::kSelection);
      }
      break;
    case ControlKind::kListView: {
      auto& model = As<ListView>(control);
      if (header.code == LVN_ITEMCHANGED && Live(alive)) {
        const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (!(change.uChanged & LVIF_STATE) || change.iItem < 0 ||
            ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) == 0)
          break;
        const auto index = static_cast<std::size_t>(change.iItem) + 1;
        const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
        if (index <= model.Count() && model.Item(index).selected != selected) model.SetSelected(index, selected);
      } else if (header.code == NM_DBLCLK && Live(alive)) {
        model.DoubleClick();
      }
      break;
    }
    case ControlKind::kVScrollBar:
      if (header.code == UDN_DELTAPOS) {
        const auto& delta = reinterpret_cast<NMUPDOWN&>(header);
        if (Live(alive)) {
          auto& spin = As<VScrollBar>(control);
          if (delta.iDelta > 0)
            spin.SpinUp();
          else if (delta.iDelta < 0)
            spin.SpinDown();
        }
        return 1;  // the control's own position stays where it is
      }
      break;
    default:
      break;
  }
  return 0;
}

void OnScroll(FormView& view, HWND from) {
  const auto it = view.controls.find(from);
  if (it == view.controls.end() || it->second->Kind() != ControlKind::kSlider || !Live(view.alive)) return;
  As<Slider>(*it->second).SetValue(static_cast<int>(SendMessageW(from, TBM_GETPOS, 0, 0)));
}

void DrawPicture(FormView& view, const DRAWITEMSTRUCT& item) {
  const auto it = view.controls.find(item.hwndItem);
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (it == view.controls.end()) return;
  const Picture& picture = As<PictureBox>(*it->second).GetPicture();
  const int width = item.rcItem.right - item.rcItem.left;
  const int height = item.rcItem.bottom - item.rcItem.top;
  const int side = std::min(width, height);
  if (HICON icon = PictureIcon(picture, side))
    DrawIconEx(item.hDC, item.rcItem.left + (width - side) / 2, item.rcItem.top + (height - side) / 2, icon, side, side,
               0, nullptr, DI_NORMAL);
}

// Keeps the model's idea of the focus, passes on double-clicks in text boxes and files dropped
// on lists.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* control = reinterpret_cast<Control*>(data);
  switch (message) {
    case WM_SETFOCUS:
      if (!SyncScope::Active() && control->Parent().IsLoaded() && control->Kind() != ControlKind::kFrame)
        control->SetFocus();
      break;
    case WM_LBUTTONDBLCLK:
      if (control->Kind() == ControlKind::kTextBox) {
        // After the box's own handling, which selects a word, so the handler has the last say.
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        if (!SyncScope::Active() && control->Parent().IsLoaded()) As<TextBox>(*control).DoubleClick();
        return result;
      }
      break;
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wParam);
      std::vector<std::string> paths;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(U(path));
      }
      DragFinish(drop);
      if (control->Kind() == ControlKind::kListView && control->Parent().IsLoaded())
        As<ListView>(*control).DropFiles(paths);
      return 0;
    }
    case WM_GETOBJECT: {
      // A frame's caption is drawn by the group box inside it, so the frame itself is named by
      // the caption; any other control keeps its own text unless the form named it.
      const std::string name =
          control->Kind() == ControlKind::kFrame ? AccessibleNameOf(*control) : control->AccessibleName();
      if (!name.empty())
        if (const LRESULT named = AccessibleObjectNamed(hwnd, wParam, lParam, W(name))) return named;
      break;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, ControlProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  FormView* raw = ViewFromWindow(hwnd);
  if (message == kDestroyMessage) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (!raw) return DefWindowProcW(hwnd, message, wParam, lParam);
  // A handler may unload the form and drop this view while it runs.
  const std::shared_ptr<FormView> view = raw->shared_from_this();
  const std::shared_ptr<bool> alive = view->alive;
  Form& form = *view->form;
  if (message == TaskbarButtonCreatedMessage()) {
    view->backend->TaskbarButtonCreated(hwnd);
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      OnCommand(*view, wParam, lParam);
      return 0;
    case WM_NOTIFY:
      return OnNotify(*view, *reinterpret_cast<NMHDR*>(lParam));
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lParam) OnScroll(*view, reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_DRAWITEM:
      DrawPicture(*view, *reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case DM_GETDEFID:
      for (Control* control : form.Controls())
        if (control->Kind() == ControlKind::kCommandButton && As<CommandButton>(*control).IsDefault)
          return MAKELRESULT(Win32ControlId(control->Name()), DC_HASDEFID);
      return 0;
    case WM_CLOSE:
      // A disabled window takes no input, its close button included (the main window during a
      // job); the form decides whether it closes.
      if (*alive && form.Enabled() && view->modalBlocks == 0) form.CloseByUser();
      return 0;
    case WM_MOVE:
      if (*alive && !SyncScope::Active() && IsWindowVisible(hwnd) && !IsIconic(hwnd)) {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        const Rect& g = form.Geometry();
        const int dpi = static_cast<int>(view->dpi);
        form.Move(MulDiv(rect.left, 1440, dpi), MulDiv(rect.top, 1440, dpi), g.width, g.height);
      }
      return 0;
    case WM_ACTIVATE:
      // The focus comes back to the control that had it when the window was left.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) view->lastFocus = focus;
      } else if (view->lastFocus && IsWindow(view->lastFocus) && IsWindowVisible(view->lastFocus)) {
        SyncScope sync;
        ::SetFocus(view->lastFocus);
        return 0;
      } else if (LOWORD(wParam) != WA_INACTIVE) {
        FocusOnShow(*view);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      // Moved to a screen of another scale: the same layout in twips, at the new pixel size.
      ApplyDpi(*view, HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
      if (*alive) PlaceWindow(*view);
      return 0;
    }
    case kFlushMessage:
      if (*alive) FlushDeferred(*view);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A frame's panel passes what its controls report on to the form's window.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClassOnce(const std::wstring& name, WNDPROC proc, bool form) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = form ? CS_DBLCLKS : 0;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (form) {
    wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR | LR_SHARED));
  }
  RegisterClassExW(&wc);
}

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

void ApplyFormGeometry(FormView& view) {
  const Form& form = *view.form;
  const int menuLine = form.Menus().empty() ? 0 : Form::kMenuBarHeight;
  RECT rect{0, 0, std::max<LONG>(1, Px(form.ClientWidth(), view.dpi)),
            std::max<LONG>(1, Px(form.ClientHeight() - menuLine, view.dpi))};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(view.window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(view.window, GWL_EXSTYLE));
  AdjustForDpi(rect, style, view.menuBar != nullptr, exStyle, view.dpi);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!view.placed) flags |= SWP_NOMOVE;
  SetWindowPos(view.window, nullptr, Px(form.Geometry().left, view.dpi), Px(form.Geometry().top, view.dpi),
               rect.right - rect.left, rect.bottom - rect.top, flags);
}

void ApplyFormProperty(FormView& view, Property property) {
  Form& form = *view.form;
  switch (property) {
    case Property::kCaption:
      SetWindowTextW(view.window, W(form.Caption()).c_str());
      break;
    case Property::kEnabled:
      ApplyFormEnabled(view);
      break;
    case Property::kGeometry:
      ApplyFormGeometry(view);
      break;
    // Showing is ShowForm's: a form is visible in the model before it is first shown.
    case Property::kVisible:
      if (!form.Visible()) view.backend->FormHiding(form);
      break;
    default:
      break;
  }
}

}  // namespace

Win32Backend::FormView::~FormView() {
  for (auto& [list, images] : imageLists) ImageList_Destroy(images);
  if (menuBar && !IsWindow(window)) DestroyMenu(menuBar);
  if (font) DeleteObject(font);
}

int Px(int twips, UINT dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>((scaled + (scaled >= 0 ? 720 : -720)) / 1440);
}

std::wstring W(std::string_view utf8) { return platform::Widen(utf8); }
std::string U(std::wstring_view wide) { return platform::Narrow(wide); }

std::wstring WideWindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::string WindowText(HWND window) { return U(WideWindowText(window)); }

UINT WindowDpi(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  static const Fn forWindow = UserFunction<Fn>("GetDpiForWindow");
  if (forWindow)
    if (const UINT dpi = forWindow(window)) return dpi;
  HDC dc = GetDC(window);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(window, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::shared_ptr<FormView> CreateFormView(Win32Backend& backend, Form& form) {
  auto view = std::make_shared<FormView>();
  view->backend = &backend;
  view->form = &form;
  const std::wstring className = Win32FormClass(form.Name());
  RegisterClassOnce(className, FormProc, true);
  RegisterClassOnce(kWin32PanelClass, PanelProc, false);
  SyncScope sync;
  view->window = CreateWindowExW(WS_EX_CONTROLPARENT, className.c_str(), W(form.Caption()).c_str(), kFormStyle,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr),
                                 nullptr);
  SetWindowLongPtrW(view->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view.get()));
  AllowTaskbarMessages(view->window);
  view->dpi = WindowDpi(view->window);
  view->font = CreateFormFont(view->dpi);
  view->toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, view->window, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  SendMessageW(view->toolTip, TTM_SETMAXTIPWIDTH, 0, Px(6000, view->dpi));
  RebuildMenus(*view);
  for (Control* control : form.Controls())
    if (control->Kind() != ControlKind::kMenu) EnsureWindow(*view, *control);
  // New windows go under their siblings; the tab strip must lie under the panels it switches.
  for (auto& [control, hwnd] : view->handles)
    if (control->Kind() == ControlKind::kTabStrip)
      SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (Control* control : form.Controls())
    if (control->Kind() != ControlKind::kMenu) ApplyAll(*view, *control);
  for (Property p : {Property::kCaption, Property::kEnabled, Property::kGeometry}) ApplyFormProperty(*view, p);
  return view;
}

void ApplyProperty(FormView& view, Control& control, Property property) {
  SyncScope sync;
  if (control.Kind() == ControlKind::kForm) {
    ApplyFormProperty(view, property);
    return;
  }
  if (control.Kind() == ControlKind::kMenu) {
    RebuildMenus(view);
    return;
  }
  ApplyControl(view, control, property);
}

void FlushDeferred(FormView& view) {
  view.flushPosted = false;
  while (!view.staleLists.empty()) RebuildList(view, **view.staleLists.begin());
  SyncScope sync;
  for (Label* label : view.staleLabels)
    if (const auto it = view.handles.find(label); it != view.handles.end()) ApplyCaption(view, *label, it->second);
  view.staleLabels.clear();
}

void PlaceWindow(FormView& view) {
  Form& form = *view.form;
  if (!view.placed) {
    view.placed = true;
    const Rect& g = form.Geometry();
    if (g.left == 0 && g.top == 0) {
      RECT area{};
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
      const int dpi = static_cast<int>(view.dpi);
      const int x = area.left + std::max<LONG>(0, (area.right - area.left - Px(g.width, view.dpi)) / 2);
      const int y = area.top + std::max<LONG>(0, (area.bottom - area.top - Px(g.height, view.dpi)) / 2);
      SyncScope sync;
      form.Move(MulDiv(x, 1440, dpi), MulDiv(y, 1440, dpi), g.width, g.height);
    }
  }
  SyncScope sync;
  ApplyFormGeometry(view);
}

void DetachControls(FormView& view) {
  for (auto& [control, hwnd] : view.handles) RemoveWindowSubclass(hwnd, ControlProc, 1);
}

// A form that is shown puts the focus where the model has it, else, as a dialog does, on its
// first control that takes the Tab key.
void FocusOnShow(FormView& view) {
  HWND target = nullptr;
  if (Control* focus = view.form->ActiveControl())
    if (const auto it = view.handles.find(focus); it != view.handles.end() && IsWindowVisible(it->second))
      target = it->second;
  if (!target) target = GetNextDlgTabItem(view.window, nullptr, FALSE);
  if (target && IsWindowEnabled(target)) ::SetFocus(target);
}

void ApplyFormEnabled(FormView& view) {
  EnableWindow(view.window, view.form->Enabled() && view.modalBlocks == 0);
}

void ApplyDpi(FormView& view, UINT dpi) {
  if (dpi == 0 || dpi == view.dpi) return;
  view.dpi = dpi;
  HFONT old = view.font;
  view.font = CreateFormFont(dpi);
  SyncScope sync;
  for (auto& [control, hwnd] : view.handles) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(view.font), TRUE);
  for (auto& [control, group] : view.groupBoxes)
    SendMessageW(group, WM_SETFONT, reinterpret_cast<WPARAM>(view.font), TRUE);
  for (auto& [control, hwnd] : view.handles) ApplyGeometry(view, *const_cast<Control*>(control), hwnd);
  if (old) DeleteObject(old);
}

}  // namespace carvex::ui
