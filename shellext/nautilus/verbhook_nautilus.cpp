// Verbhook in GNOME Files: a menu provider that records the selection in the hand-off key and
// offers the configured menu. Everything the menu shows comes from the core; a chosen item is
// carried out by `verbhook run N`, a process of its own, so that no command can take the file
// manager down or hold it up.
#include <glib-object.h>
#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <dlfcn.h>

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "handoff.h"
#include "menu_config.h"
#include "menu_plan.h"
#include "summary.h"
#include "ui/app.h"
#include "ui/backend.h"

namespace {

using carvex::PlannedEntry;

// The file manager's process has no place for a dialog, and a box raised while it builds a
// menu would stop it: a faulty record warns when the runner carries it out instead.
class SilentBackend final : public carvex::ui::Backend {
 public:
  carvex::ui::MsgBoxResult ShowMsgBox(const carvex::ui::MsgBoxRequest&) override {
    return carvex::ui::MsgBoxResult::kOk;
  }
  void DoEvents() override {}
  void ShowForm(carvex::ui::Form&, bool) override {}
  bool ShowOpen(carvex::ui::CommonDialog&) override { return false; }
  std::string BrowseForFolder(carvex::ui::Form*, const std::string&) override { return {}; }
  bool ShellOpen(const std::string&, carvex::ui::Form*) override { return false; }
  void SetClipboardText(const std::string&) override {}
  void EndProgram() override {}
};

SilentBackend silentBackend;

constexpr char kItemNumberKey[] = "verbhook-item-number";
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

void ActivateItem(NautilusMenuItem* item, gpointer) {
  const auto number = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kItemNumberKey));
  const std::string program = RunnerProgram();
  const std::string numberText = std::to_string(number);
  gchar* argv[] = {const_cast<gchar*>(program.c_str()), const_cast<gchar*>("run"),
                   const_cast<gchar*>(numberText.c_str()), nullptr};
  GError* error = nullptr;
  // Reaped by GLib: the file manager neither waits for the runner nor keeps its zombie.
  if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error)) {
    g_warning("Verbhook: cannot start %s: %s", program.c_str(), error->message);
    g_error_free(error);
  }
}

// An `<icon>` element as the file manager can show it: the icon file of "file,index" (an
// image has one picture, so the index is moot), or a theme icon's name. Nothing for "EMPTY".
std::string IconFor(const std::string& element) {
  if (element.empty() || element == "EMPTY") return {};
  if (const auto source = carvex::ParseIconElement(element))
    return g_file_test(source->file.c_str(), G_FILE_TEST_IS_REGULAR) ? source->file : std::string();
  if (element.find('/') == std::string::npos && element.find(',') == std::string::npos) return element;
  return g_file_test(element.c_str(), G_FILE_TEST_IS_REGULAR) ? element : std::string();
}

// The records of one read of the tree, by item number, so that each menu's tips come from the
// configuration its captions came from.
using Records = std::map<std::uint32_t, std::string>;

void CollectRecords(const carvex::MenuLevel& level, Records& records) {
  for (const carvex::MenuLevel& submenu : level.submenus) CollectRecords(submenu, records);
  for (const carvex::MenuItemRecord& item : level.items) records[item.number] = item.record;
}

GList* MenuItems(const std::vector<PlannedEntry>& entries, const Records& records, const std::string& path);

NautilusMenuItem* MakeItem(const PlannedEntry& entry, const Records& records, const std::string& path,
                           std::uint32_t submenuIndex) {
  if (entry.kind == PlannedEntry::Kind::kSubmenu) {
    const std::string name = "Verbhook::menu" + path + "/" + std::to_string(submenuIndex);
    NautilusMenuItem* item = nautilus_menu_item_new(name.c_str(), entry.caption.c_str(), nullptr, nullptr);
    NautilusMenu* submenu = nautilus_menu_new();
    GList* children = MenuItems(entry.entries, records, path + "/" + std::to_string(submenuIndex));
    for (GList* child = children; child; child = child->next)
      nautilus_menu_append_item(submenu, NAUTILUS_MENU_ITEM(child->data));
    nautilus_menu_item_list_free(children);
    nautilus_menu_item_set_submenu(item, submenu);
    g_object_unref(submenu);
    return item;
  }
  const auto record = records.find(entry.offset);
  const std::string tip = carvex::ExtractElement(record == records.end() ? std::string() : record->second,
                                                 carvex::Element::kDescription);
  const std::string icon = IconFor(entry.icon);
  const std::string name = "Verbhook::item" + std::to_string(entry.offset);
  NautilusMenuItem* item = nautilus_menu_item_new(name.c_str(), entry.caption.c_str(), tip.c_str(),
                                                  icon.empty() ? nullptr : icon.c_str());
  g_object_set_data(G_OBJECT(item), kItemNumberKey, GUINT_TO_POINTER(entry.offset));
  g_signal_connect(item, "activate", G_CALLBACK(ActivateItem), nullptr);
  return item;
}

// A menu here has one column and no separator lines: a separator and a column break show
// nothing, and the items keep their numbers.
GList* MenuItems(const std::vector<PlannedEntry>& entries, const Records& records, const std::string& path) {
  GList* items = nullptr;
  std::uint32_t submenuIndex = 0;
  for (const PlannedEntry& entry : entries) {
    if (entry.kind == PlannedEntry::Kind::kSeparator) continue;
    items = g_list_append(items, MakeItem(entry, records, path, submenuIndex));
    if (entry.kind == PlannedEntry::Kind::kSubmenu) ++submenuIndex;
  }
  return items;
}

GList* GetFileItems(NautilusMenuProvider*, GList* files) {
  std::vector<std::string> paths;
  for (GList* file = files; file; file = file->next) {
    GFile* location = nautilus_file_info_get_location(NAUTILUS_FILE_INFO(file->data));
    char* path = location ? g_file_get_path(location) : nullptr;
    if (location) g_object_unref(location);
    // The commands and the application work on local paths only.
    if (!path) return nullptr;
    paths.emplace_back(path);
    g_free(path);
  }
  if (paths.empty()) return nullptr;
  // Nothing may escape into the file manager: a store that cannot be read shows no menu.
  try {
    carvex::ui::App().SetBackend(&silentBackend);
    carvex::WriteHandOffSelection(paths);
    carvex::UpdateSummary(paths.size() == 1 ? 0 : paths.size());
    const carvex::MenuLevel tree = carvex::ReadMenuTree();
    // The file manager has no identifiers to grant: the item numbers are the identifiers.
    bool columnBreak = false;
    const carvex::MenuPlan plan = carvex::PlanContextMenu(tree, 0, 0, UINT32_MAX - 1, columnBreak);
    Records records;
    CollectRecords(tree, records);
    return MenuItems(plan.entries, records, "");
  } catch (const std::exception& error) {
    g_warning("Verbhook: %s", error.what());
    return nullptr;
  }
}

void InitMenuProvider(gpointer iface, gpointer) {
  static_cast<NautilusMenuProviderInterface*>(iface)->get_file_items = GetFileItems;
}

GType providerType = 0;

void RegisterProviderType(GTypeModule* module) {
  static const GTypeInfo info = {
      sizeof(GObjectClass), nullptr, nullptr, nullptr, nullptr, nullptr, sizeof(GObject), 0, nullptr, nullptr};
  providerType = g_type_module_register_type(module, G_TYPE_OBJECT, "VerbhookMenuProvider", &info, GTypeFlags(0));
  static const GInterfaceInfo menuProvider = {
      InitMenuProvider, nullptr, nullptr};
  g_type_module_add_interface(module, providerType, NAUTILUS_TYPE_MENU_PROVIDER, &menuProvider);
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module) { RegisterProviderType(module); }

G_MODULE_EXPORT void nautilus_module_shutdown(void) {}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
  static GType list[1];
  list[0] = providerType;
  *types = list;
  *count = 1;
}

}  // extern "C"
