// Loads the Nautilus module as the file manager does and hands it selections of file-info
// objects of our own; the store is a throwaway database, the runner a recorder of its argv.
#include <glib-object.h>
#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "handoff.h"
#include "menu_items.h"
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

// Building the menu reads the configuration and the files' status and writes nothing: the
// file manager asks on every change of selection in any window.
TEST_F(NautilusModuleTest, MenusShowTheirOwnSelectionAndWriteNothing) {
  files_.MakeFolder("a folder");
  files_.Write("report.txt", "12345");
  files_.Write("Caf\xC3\xA9 \xD0\xAF.txt", std::string(1000, 'x'));
  files_.Write("Photo.JPG", "0123456789");
  const std::string one = files_.File("report.txt");
  const std::vector<std::string> several = {files_.File("a folder"), files_.File("Caf\xC3\xA9 \xD0\xAF.txt"),
                                            files_.File("Photo.JPG"), one};
  Contents().SetString("1", "<caption>Path</caption><command>[copypath]</command>");
  Contents().SetString("2", "<command>[props]</command>");
  WriteHandOff({"/earlier"}, "earlier summary");
  EXPECT_EQ(RightClick({{one, false}}), "1 " + one + " | CRavelin\n2 ---- 5 bytes | CRavelin\n");
  EXPECT_EQ(RightClick({{several[0], true}, {several[1], false}, {several[2], false}, {several[3], false}}),
            "1 Several files selected | CRavelin\n2 1+3, 1.015 bytes | CRavelin\n");
  EXPECT_EQ(ReadHandOffSelection(), std::vector<std::string>{"/earlier"});
  EXPECT_EQ(ReadSelectionSummary(), "earlier summary");
}

// Window A's menu, built before window B's selection changed, still acts on A's files.
TEST_F(NautilusModuleTest, AnItemHandsOverExactlyThePathsItWasBuiltFor) {
  const std::string latin1 = "report-\xE9t\xE9.txt";  // not UTF-8: the bytes must survive
  for (const char* name : {"a1", "a2", "b.001.cvx"}) files_.Write(name, "x");
  files_.Write(latin1, "x");
  Contents().SetString("1", "<caption>Path</caption><command>[copypath]</command>");
  const std::vector<std::string> windowA = {files_.File("a1"), files_.File(latin1), files_.File("a2")};
  RightClick({{windowA[0], false}, {windowA[1], false}, {windowA[2], false}});
  GList* menuA = std::exchange(items_, nullptr);
  RightClick({{files_.File("b.001.cvx"), false}});
  nautilus_menu_item_activate(FindItem(menuA, 1));
  nautilus_menu_item_list_free(menuA);
  const std::string arguments = RunnerArguments();
  const std::string prefix = "run\n1\n--selection-file\n";
  ASSERT_TRUE(arguments.starts_with(prefix)) << arguments;
  const std::string file = arguments.substr(prefix.size(), arguments.size() - prefix.size() - 1);
  EXPECT_EQ(test::ReadFileBytes(file), windowA[0] + '\0' + windowA[1] + '\0' + windowA[2] + '\0');
  std::filesystem::remove(file);
  // The one path's caption shows what the file manager can show, and stays valid text.
  const std::string menu = RightClick({{windowA[1], false}});
  EXPECT_TRUE(g_utf8_validate(menu.data(), static_cast<gssize>(menu.size()), nullptr)) << menu;
}

// Captions follow the file manager's convention, "_" marking the access key.
TEST_F(NautilusModuleTest, CaptionsShowWhatTheySay) {
  const std::pair<std::string_view, std::string_view> configured[] = {
      {"&Split", "_Split"}, {"Copy && paste", "Copy & paste"}, {"snake_case", "snake__case"},
      {"&&&x", "&_x"},      {"end&", "end"},
  };
  for (const auto& [caption, label] : configured) EXPECT_EQ(nautilus::MenuLabel(caption, false), label) << caption;
  EXPECT_EQ(nautilus::MenuLabel("/tmp/a_b__c & d.txt", true), "/tmp/a__b____c & d.txt");
  files_.Write("a_b__c.txt", "x");
  Contents("0001S&ub_menu").SetString("1", "<caption>&Go_on</caption><command>x</command>");
  Contents().SetString("2", "<command>[copypath]</command>");
  const std::string path = files_.File("a_b__c.txt");
  std::string doubled;
  for (const char c : path) doubled += c == '_' ? std::string("__") : std::string(1, c);
  EXPECT_EQ(RightClick({{path, false}}), "S_ub__menu >\n  1 _Go__on | CRavelin\n2 " + doubled + " | CRavelin\n");
}

// A writer that holds the store does not hold up the menu.
TEST_F(NautilusModuleTest, AStoreHeldByAWriterStillGivesTheMenu) {
  files_.Write("a.bin", "x");
  Contents().SetString("1", "<caption>One</caption><command>x</command>");
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(host_->temp.File("registry.db").c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(RightClick({{files_.File("a.bin"), false}}), "1 One | CRavelin\n");
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
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
  const std::string arguments = RunnerArguments();
  EXPECT_TRUE(arguments.starts_with("run\n3\n--selection-file\n")) << arguments;
}

}  // namespace
}  // namespace carvex
