// Verbhook in GNOME Files: a menu provider that offers the configured menu for the selection
// it is asked about. Everything the menu shows comes from the core; a chosen item is carried
// out by `verbhook run N`, a process of its own, on the paths that item was built for, so that
// no command can take the file manager down or hold it up, and none acts on the selection of
// another window.
#include <glib-object.h>
#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <string>
#include <vector>

#include "menu_items.h"
#include "platform/registry.h"

namespace {

// The file manager's main loop waits while the menu is built: a store held by a writer gets
// this long before the last good menu stands in.
constexpr int kStoreWaitMs = 100;

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
  return carvex::nautilus::BuildMenuItems(std::move(paths));
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

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module) {
  carvex::platform::SetRegistryBusyTimeout(kStoreWaitMs);
  RegisterProviderType(module);
}

G_MODULE_EXPORT void nautilus_module_shutdown(void) {}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
  static GType list[1];
  list[0] = providerType;
  *types = list;
  *count = 1;
}

}  // extern "C"
