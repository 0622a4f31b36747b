// Loads the Nautilus module as the file manager does and hands it selections of file-info
// objects of our own; the store is a throwaway database, the runner a recorder of its argv.
#include <glib-object.h>
#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "handoff.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

// ---- A file-info object: what the file manager passes for each selected item.
struct TestFileInfo {
  GObject parent;
  GFile* location;
  gboolean directory;
};
struct TestFileInfoClass {
  GObjectClass parent;
};

namespace {

GFile* InfoLocation(NautilusFileInfo* info) {
  return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}
char* InfoUri(NautilusFileInfo* info) { return g_file_get_uri(reinterpret_cast<TestFileInfo*>(info)->location); }
char* InfoName(NautilusFileInfo* info) { return g_file_get_basename(reinterpret_cast<TestFileInfo*>(info)->location); }
gboolean InfoIsDirectory(NautilusFileInfo* info) { return reinterpret_cast<TestFileInfo*>(info)->directory; }

void InitFileInfo(NautilusFileInfoInterface* iface) {
  iface->get_location = InfoLocation;
  iface->get_uri = InfoUri;
  iface->get_name = InfoName;
  iface->is_directory = InfoIsDirectory;
}

}  // namespace

G_DEFINE_TYPE_WITH_CODE(TestFileInfo, test_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, InitFileInfo))

static void test_file_info_finalize(GObject* object) {
  g_clear_object(&reinterpret_cast<TestFileInfo*>(object)->location);
  G_OBJECT_CLASS(test_file_info_parent_class)->finalize(object);
}
static void test_file_info_class_init(TestFileInfoClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = test_file_info_finalize;
}
static void test_file_info_init(TestFileInfo*) {}

// ---- The type module that the extension registers its types in, as the file manager's does.
struct HostModule {
  GTypeModule parent;
};
struct HostModuleClass {
  GTypeModuleClass parent;
};

namespace {

using InitializeFunction = void (*)(GTypeModule*);
using ListTypesFunction = void (*)(const GType**, int*);
GModule* loadedModule = nullptr;

gboolean HostLoad(GTypeModule* module) {
  gpointer initialize = nullptr;
  if (!g_module_symbol(loadedModule, "nautilus_module_initialize", &initialize)) return FALSE;
  reinterpret_cast<InitializeFunction>(initialize)(module);
  return TRUE;
}
void HostUnload(GTypeModule*) {}

}  // namespace

G_DEFINE_TYPE(HostModule, host_module, G_TYPE_TYPE_MODULE)
static void host_module_class_init(HostModuleClass* klass) {
  G_TYPE_MODULE_CLASS(klass)->load = HostLoad;
  G_TYPE_MODULE_CLASS(klass)->unload = HostUnload;
}
static void host_module_init(HostModule*) {}

namespace carvex {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

// One store and one runner for the whole process: the module reads its database's name once.
struct Host {
  test::TempDir temp;
  GObject* provider = nullptr;
  std::string runner;

  Host() {
    const std::string db = temp.File("registry.db");
    g_setenv("CARVEX_REGISTRY_DB", db.c_str(), TRUE);
    platform::SetRegistryDatabasePath(db);
    temp.MakeFolder("runner");
    runner = temp.File("runner") + "/verbhook";
    std::filesystem::copy_file(CARVEX_ARGV_RECORDER, runner);
    g_setenv("VERBHOOK_RUNNER", runner.c_str(), TRUE);

    loadedModule = g_module_open(VERBHOOK_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
    if (!loadedModule) ADD_FAILURE() << g_module_error();
    GTypeModule* module = G_TYPE_MODULE(g_object_new(host_module_get_type(), nullptr));
    if (!g_type_module_use(module)) ADD_FAILURE() << "nautilus_module_initialize is missing";
    gpointer listTypes = nullptr;
    gpointer shutdown = nullptr;
    EXPECT_TRUE(g_module_symbol(loadedModule, "nautilus_module_shutdown", &shutdown));
    if (!g_module_symbol(loadedModule, "nautilus_module_list_types", &listTypes)) {
      ADD_FAILURE() << "nautilus_module_list_types is missing";
      return;
    }
    const GType* types = nullptr;
    int count = 0;
    reinterpret_cast<ListTypesFunction>(listTypes)(&types, &count);
    for (int i = 0; i < count; ++i)
      if (g_type_is_a(types[i], NAUTILUS_TYPE_MENU_PROVIDER)) provider = G_OBJECT(g_object_new(types[i], nullptr));
    EXPECT_NE(provider, nullptr) << "no menu provider among the module's types";
  }
};

Host& TheHost() {
  static Host* host = new Host();
  return *host;
}

GObject* MakeInfo(const std::string& path, bool directory) {
  auto* info = reinterpret_cast<TestFileInfo*>(g_object_new(test_file_info_get_type(), nullptr));
  info->location = g_file_new_for_path(path.c_str());
  info->directory = directory;
  return G_OBJECT(info);
}

std::string Property(GObject* object, const char* name) {
  gchar* value = nullptr;
  g_object_get(object, name, &value, nullptr);
  std::string text = value ? value : "";
  g_free(value);
  return text;
}

// One line per entry: the submenus with their entries indented below them, an item as its
// number, label, tip and icon.
void Render(GList* items, const std::string& indent, std::string& out) {
  for (GList* entry = items; entry; entry = entry->next) {
    GObject* item = G_OBJECT(entry->data);
    NautilusMenu* submenu = nullptr;
    g_object_get(item, "menu", &submenu, nullptr);
    if (submenu) {
      out += indent + Property(item, "label") + " >\n";
      GList* children = nautilus_menu_get_items(submenu);
      Render(children, indent + "  ", out);
      nautilus_menu_item_list_free(children);
      g_object_unref(submenu);
      continue;
    }
    out += indent + std::to_string(GPOINTER_TO_UINT(g_object_get_data(item, "verbhook-item-number"))) + " " +
           Property(item, "label") + " | " + Property(item, "tip");
    if (const std::string icon = Property(item, "icon"); !icon.empty()) out += " | " + icon;
    out += "\n";
  }
}

class NautilusModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = &TheHost();
    ASSERT_NE(host_->provider, nullptr);
    if (auto top = RegistryKey::Open(RegistryRoot::kCurrentUser, kHandOffKeyPath))
      top->DeleteSubKeyTree("Contents");
    std::filesystem::remove(host_->temp.File("runner") + "/args.txt");
  }
  void TearDown() override { nautilus_menu_item_list_free(items_); }

  RegistryKey Contents(const std::string& sub = "") {
    return RegistryKey::Create(RegistryRoot::kCurrentUser,
                               std::string(kHandOffKeyPath) + "\\Contents" + (sub.empty() ? "" : "\\" + sub));
  }

  // Right-clicks the selection and renders the menu the module offers.
  std::string RightClick(const std::vector<std::pair<std::string, bool>>& selection) {
    GList* files = nullptr;
    for (const auto& [path, directory] : selection) files = g_list_append(files, MakeInfo(path, directory));
    nautilus_menu_item_list_free(items_);
    items_ = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(host_->provider), files);
    g_list_free_full(files, g_object_unref);
    std::string out;
    Render(items_, "", out);
    return out;
  }

  NautilusMenuItem* FindItem(GList* items, std::uint32_t number) {
    for (GList* entry = items; entry; entry = entry->next) {
      GObject* item = G_OBJECT(entry->data);
      if (GPOINTER_TO_UINT(g_object_get_data(item, "verbhook-item-number")) == number)
        return NAUTILUS_MENU_ITEM(item);
      NautilusMenu* submenu = nullptr;
      g_object_get(item, "menu", &submenu, nullptr);
      if (!submenu) continue;
      GList* children = nautilus_menu_get_items(submenu);
      NautilusMenuItem* found = FindItem(children, number);
      nautilus_menu_item_list_free(children);
      g_object_unref(submenu);
      if (found) return found;
    }
    return nullptr;
  }

  std::string RunnerArguments() {
    const std::string file = host_->temp.File("runner") + "/args.txt";
    for (int i = 0; i < 200 && !std::filesystem::exists(file); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return test::TempDir::Exists(file) ? test::ReadFileBytes(file) : "(the runner did not start)";
  }

  Host* host_ = nullptr;
  test::TempDir files_;
  GList* items_ = nullptr;
};

TEST_F(NautilusModuleTest, OneFileIsHandedOverAsTheSelectedPath) {
  files_.Write("report.txt", "12345");
  Contents().SetString("1", "<caption>Path</caption><command>[copypath]</command>");
  Contents().SetString("2", "<caption>Info</caption><command>[props]</command>");
  const std::string path = files_.File("report.txt");
  const std::string menu = RightClick({{path, false}});
  EXPECT_EQ(ReadHandOffFileName(), path);
  const std::string summary = ReadSelectionSummary();
  EXPECT_TRUE(summary.ends_with(" 5 bytes")) << summary;
  EXPECT_EQ(menu, "1 " + path + " | CRavelin\n2 " + summary + " | CRavelin\n");
}

TEST_F(NautilusModuleTest, SeveralItemsAreHandedOverInOrderWhateverTheirCase) {
  files_.MakeFolder("a folder");
  files_.Write("Caf\xC3\xA9 \xD0\xAF.txt", std::string(1000, 'x'));
  files_.Write("Photo.JPG", "0123456789");
  files_.Write("photo.jpg", "01234");
  const std::vector<std::string> paths = {files_.File("a folder"), files_.File("Caf\xC3\xA9 \xD0\xAF.txt"),
                                          files_.File("Photo.JPG"), files_.File("photo.jpg")};
  Contents().SetString("1", "<caption>Path</caption><command>[copypath]</command>");
  Contents().SetString("2", "<command>[props]</command>");
  const std::string menu =
      RightClick({{paths[0], true}, {paths[1], false}, {paths[2], false}, {paths[3], false}});
  EXPECT_EQ(ReadHandOffFileName(), "*");
  EXPECT_EQ(ReadHandOffList(), paths);
  EXPECT_EQ(ReadSelectionSummary(), "1+3, 1.015 bytes");
  EXPECT_EQ(menu, "1 Several files selected | CRavelin\n2 1+3, 1.015 bytes | CRavelin\n");
}

// Submenus above a level's items, names sorted without regard to case, one number per value
// in walk order; separators and column breaks show nothing but keep their numbers.
TEST_F(NautilusModuleTest, MenuFollowsTheConfigurationInOrderAndNumbering) {
  files_.Write("a.bin", "x");
  Contents("0001Tools").SetString("1", "<caption>Split</caption><command>/usr/bin/carvex</command>"
                                       "<commandline>/s</commandline><sendfile><description>Split it</description>");
  Contents("0001Tools").SetString("2", "<command>[hseparator]</command>");
  Contents("0001Tools").SetString("3", "<caption>Zip</caption><command>x</command><icon>package-x-generic</icon>");
  Contents("0001Tools\\0000 Deeper").SetString("z", "<caption>Inner</caption><command>x</command>");
  Contents("0002More");
  Contents().SetString("b", "<caption>lower b</caption><command>x</command>");
  Contents().SetString("A", "<command>[vseparator]</command>");
  Contents().SetString("c", "<caption>No command</caption>");
  EXPECT_EQ(RightClick({{files_.File("a.bin"), false}}),
            "Tools >\n"
            "   Deeper >\n"
            "    1 Inner | CRavelin\n"
            "  2 Split | Split it\n"
            "  4 Zip | CRavelin | package-x-generic\n"
            "More >\n"
            "6 lower b | CRavelin\n"
            "7 No command | CRavelin\n");
}

TEST_F(NautilusModuleTest, NoConfigurationGivesNoItems) {
  files_.Write("a.bin", "x");
  EXPECT_EQ(RightClick({{files_.File("a.bin"), false}}), "");
  EXPECT_EQ(ReadHandOffFileName(), files_.File("a.bin"));
}

TEST_F(NautilusModuleTest, ChoosingAnItemStartsTheRunnerWithItsNumber) {
  files_.Write("a.bin", "x");
  Contents("0001Sub").SetString("1", "<caption>One</caption><command>x</command>");
  Contents().SetString("1", "<caption>Two</caption><command>x</command>");
  Contents().SetString("2", "<caption>Three</caption><command>x</command>");
  RightClick({{files_.File("a.bin"), false}});
  NautilusMenuItem* item = FindItem(items_, 3);
  ASSERT_NE(item, nullptr);
  nautilus_menu_item_activate(item);
  EXPECT_EQ(RunnerArguments(), "run\n3\n");
}

}  // namespace
}  // namespace carvex
