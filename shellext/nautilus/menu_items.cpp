#include "menu_items.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "menu_config.h"
#include "menu_plan.h"
#include "summary.h"
#include "ui/app.h"
#include "ui/backend.h"

namespace carvex::nautilus {

namespace {

using Paths = std::vector<std::string>;

// The file manager's process has no place for a dialog, and a box raised while it builds a
// menu would stop it: a faulty record warns when the runner carries it out instead.
class SilentBackend final : public ui::Backend {
 public:
  ui::MsgBoxResult ShowMsgBox(const ui::MsgBoxRequest&) override { return ui::MsgBoxResult::kOk; }
  void DoEvents() override {}
  void ShowForm(ui::Form&, bool) override {}
  bool ShowOpen(ui::CommonDialog&) override { return false; }
  std::string BrowseForFolder(ui::Form*, const std::string&) override { return {}; }
  bool ShellOpen(const std::string&, ui::Form*) override { return false; }
  void SetClipboardText(const std::string&) override {}
  void EndProgram() override {}
};

SilentBackend silentBackend;

constexpr char kSelectionKey[] = "verbhook-selection";
constexpr char kRunnerVariable[] = "VERBHOOK_RUNNER";

// The runner: VERBHOOK_RUNNER when set; otherwise `verbhook` in the bin folder of the prefix
// this module is installed under; otherwise whatever `verbhook` the search path finds.
std::string RunnerProgram() {
  if (const char* runner = g_getenv(kRunnerVariable); runner && *runner) return runner;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&RunnerProgram), &info) && info.dli_fname) {
    const std::string module = info.dli_fname;
    const std::string folder = module.substr(0, module.find_last_of('/'));
    const std::string tail = "/" VERBHOOK_EXTENSION_DIR;
    if (folder.size() > tail.size() && folder.ends_with(tail)) {
      const std::string beside = folder.substr(0, folder.size() - tail.size()) + "/" VERBHOOK_BIN_DIR "/verbhook";
      if (g_file_test(beside.c_str(), G_FILE_TEST_IS_EXECUTABLE)) return beside;
    }
  }
  return "verbhook";
}

// The selection goes to the runner in a file of its own, each path ended by a zero byte: a
// path may hold any other byte, and ten thousand of them do not fit on a command line.
std::optional<std::string> WriteSelectionFile(const Paths& paths) {
  std::string bytes;
  for (const std::string& path : paths) bytes.append(path).push_back('\0');
  gchar* name = nullptr;
  GError* error = nullptr;
  const int fd = g_file_open_tmp("verbhook-selection-XXXXXX", &name, &error);
  if (fd < 0) {
    g_warning("Verbhook: cannot hand the selection over: %s", error->message);
    g_error_free(error);
    return std::nullopt;
  }
  std::string file = name;
  g_free(name);
  bool written = true;
  for (std::size_t done = 0; done < bytes.size() && written;) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else
      written = n < 0 && errno == EINTR;
  }
  written = ::close(fd) == 0 && written;
  if (!written) {
    g_warning("Verbhook: cannot hand the selection over: %s", g_strerror(errno));
    g_unlink(file.c_str());
    return std::nullopt;
  }
  return file;
}

void ActivateItem(NautilusMenuItem* item, gpointer) {
  const auto number = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kItemNumberKey));
  const auto* selection = static_cast<const std::shared_ptr<const Paths>*>(g_object_get_data(G_OBJECT(item), kSelectionKey));
  if (!selection) return;
  const std::optional<std::string> file = WriteSelectionFile(**selection);
  if (!file) return;
  const std::string program = RunnerProgram();
  const std::string numberText = std::to_string(number);
  gchar* argv[] = {const_cast<gchar*>(program.c_str()), const_cast<gchar*>("run"),
                   const_cast<gchar*>(numberText.c_str()), const_cast<gchar*>("--selection-file"),
                   const_cast<gchar*>(file->c_str()), nullptr};
  GError* error = nullptr;
  // Reaped by GLib: the file manager neither waits for the runner nor keeps its zombie.
  if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error)) {
    g_warning("Verbhook: cannot start %s: %s", program.c_str(), error->message);
    g_error_free(error);
    g_unlink(file->c_str());
  }
}

// An `<icon>` element as the file manager can show it: the icon file of "file,index" (an
// image has one picture, so the index is moot), or a theme icon's name. Nothing for "EMPTY".
std::string IconFor(const std::string& element) {
  if (element.empty() || element == "EMPTY") return {};
  if (const auto source = ParseIconElement(element))
    return g_file_test(source->file.c_str(), G_FILE_TEST_IS_REGULAR) ? source->file : std::string();
  if (element.find('/') == std::string::npos && element.find(',') == std::string::npos) return element;
  return g_file_test(element.c_str(), G_FILE_TEST_IS_REGULAR) ? element : std::string();
}

// The records of one read of the tree, by item number, so that each menu's tips come from the
// configuration its captions came from.
using Records = std::map<std::uint32_t, std::string>;

void CollectRecords(const MenuLevel& level, Records& records) {
  for (const MenuLevel& submenu : level.submenus) CollectRecords(submenu, records);
  for (const MenuItemRecord& item : level.items) records[item.number] = item.record;
}

// A label must be UTF-8; a path in another encoding shows its bytes as the file manager shows
// such names, while the item keeps the path itself.
std::string Displayable(const std::string& text) {
  gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  std::string shown = valid;
  g_free(valid);
  return shown;
}

class ItemMaker {
 public:
  ItemMaker(const Records& records, std::shared_ptr<const Paths> selection)
      : records_(records), selection_(std::move(selection)) {}

  // A menu here has one column and no separator lines: a separator and a column break show
  // nothing, and the items keep their numbers.
  GList* Items(const std::vector<PlannedEntry>& entries, const std::string& path) {
    GList* items = nullptr;
    std::uint32_t submenuIndex = 0;
    for (const PlannedEntry& entry : entries) {
      if (entry.kind == PlannedEntry::Kind::kSeparator) continue;
      items = g_list_prepend(items, Make(entry, path, submenuIndex));
      if (entry.kind == PlannedEntry::Kind::kSubmenu) ++submenuIndex;
    }
    return g_list_reverse(items);
  }

 private:
  NautilusMenuItem* Make(const PlannedEntry& entry, const std::string& path, std::uint32_t submenuIndex) {
    const std::string label = MenuLabel(Displayable(entry.caption), entry.literalCaption);
    if (entry.kind == PlannedEntry::Kind::kSubmenu) {
      const std::string name = "Verbhook::menu" + path + "/" + std::to_string(submenuIndex);
      NautilusMenuItem* item = nautilus_menu_item_new(name.c_str(), label.c_str(), nullptr, nullptr);
      NautilusMenu* submenu = nautilus_menu_new();
      GList* children = Items(entry.entries, path + "/" + std::to_string(submenuIndex));
      for (GList* child = children; child; child = child->next)
        nautilus_menu_append_item(submenu, NAUTILUS_MENU_ITEM(child->data));
      nautilus_menu_item_list_free(children);
      nautilus_menu_item_set_submenu(item, submenu);
      g_object_unref(submenu);
      return item;
    }
    const auto record = records_.find(entry.offset);
    const std::string tip =
        Displayable(ExtractElement(record == records_.end() ? std::string() : record->second, Element::kDescription));
    const std::string icon = IconFor(entry.icon);
    const std::string name = "Verbhook::item" + std::to_string(entry.offset);
    NautilusMenuItem* item =
        nautilus_menu_item_new(name.c_str(), label.c_str(), tip.c_str(), icon.empty() ? nullptr : icon.c_str());
    g_object_set_data(G_OBJECT(item), kItemNumberKey, GUINT_TO_POINTER(entry.offset));
    // Every item of one menu shares the one list of paths.
    g_object_set_data_full(G_OBJECT(item), kSelectionKey, new std::shared_ptr<const Paths>(selection_),
                           [](gpointer data) { delete static_cast<std::shared_ptr<const Paths>*>(data); });
    g_signal_connect(item, "activate", G_CALLBACK(ActivateItem), nullptr);
    return item;
  }

  const Records& records_;
  std::shared_ptr<const Paths> selection_;
};

// The file manager asks for items on every change of selection in any window: the tree of
// the last good read stands in while the store is busy, so that no click waits for it.
std::optional<MenuLevel>& LastTree() {
  static std::optional<MenuLevel> tree;
  return tree;
}

bool ShowsSummary(const Records& records) {
  for (const auto& [number, record] : records)
    if (FindBuiltIn(FindElement(record, Element::kCommand).value_or("")) == BuiltIn::kProps) return true;
  return false;
}

}  // namespace

std::string MenuLabel(std::string_view caption, bool literal) {
  std::string label;
  label.reserve(caption.size() + 4);
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = caption[i];
    if (c == '_') {
      label += "__";
    } else if (c == '&' && !literal) {
      // "&&" is one "&"; "&" before anything else marks that character; a last "&" marks nothing.
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        label += '&';
        ++i;
      } else if (i + 1 < caption.size()) {
        label += '_';
      }
    } else {
      label += c;
    }
  }
  return label;
}

GList* BuildMenuItems(std::vector<std::string> paths) {
  if (paths.empty()) return nullptr;
  // Nothing may escape into the file manager: a store that cannot be read shows the last menu
  // read, or none.
  try {
    ui::App().SetBackend(&silentBackend);
    try {
      LastTree() = ReadMenuTree();
    } catch (const std::exception& error) {
      g_warning("Verbhook: %s", error.what());
      if (!LastTree()) return nullptr;
    }
    const MenuLevel& tree = *LastTree();
    Records records;
    CollectRecords(tree, records);
    HeldSelection selection;
    // One status read a path, and only when a caption shows the summary.
    if (ShowsSummary(records)) selection.summary = SummarizePaths(paths);
    selection.paths = std::move(paths);
    // The file manager has no identifiers to grant: the item numbers are the identifiers.
    bool columnBreak = false;
    const MenuPlan plan = PlanContextMenu(tree, 0, 0, UINT32_MAX - 1, columnBreak, &selection);
    ItemMaker maker(records, std::make_shared<const Paths>(std::move(selection.paths)));
    return maker.Items(plan.entries, "");
  } catch (const std::exception& error) {
    g_warning("Verbhook: %s", error.what());
    return nullptr;
  }
}

}  // namespace carvex::nautilus
