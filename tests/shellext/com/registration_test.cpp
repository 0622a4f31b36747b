// verbhook.dll registered and unregistered by the system's own regsvr32, with every entry read
// back from the real registry of the test's Wine prefix.
#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

#include "platform/wide.h"
#include "explorer_walk.h"
#include "support/system_fixtures.h"
#include "support/temp_dir.h"
#include "verbhook_com.h"

namespace carvex::test {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

struct Entry {
  RegistryRoot root;
  std::string key;
  std::string value;
  std::string data;
};

// Every value that registration writes, with the prefix under which the class entries go.
std::vector<Entry> EntriesWritten(RegistryRoot classes, const std::string& prefix,
                                  const std::string& library) {
  return {
      {classes, prefix + kClassKey, "", kDescription},
      {classes, prefix + kServerKey, "", library},
      {classes, prefix + kServerKey, "ThreadingModel", "Apartment"},
      {classes, prefix + kCommandClassKey, "", kDescription},
      {classes, prefix + kCommandServerKey, "", library},
      {classes, prefix + kCommandServerKey, "ThreadingModel", "Apartment"},
      {classes, prefix + "*\\shellex", "", ""},
      {classes, prefix + "*\\shellex\\ContextMenuHandlers", "", ""},
      {classes, prefix + "*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex", "", kClsidText},
      {classes, prefix + "*\\shellex\\ContextMenuHandlers\\Carvex", "", kClsidText},
      {classes, prefix + "Directory\\shellex", "", ""},
      {classes, prefix + "Directory\\shellex\\ContextMenuHandlers", "", ""},
      {classes, prefix + "Directory\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex", "", kClsidText},
      {classes, prefix + "Directory\\shellex\\ContextMenuHandlers\\Carvex", "", kClsidText},
  };
}

void ExpectEntries(const std::vector<Entry>& entries) {
  for (const Entry& entry : entries)
    EXPECT_EQ(ReadString(entry.root, entry.key, entry.value), entry.data) << entry.key << " " << entry.value;
}

// Everything below a key, one line per value and key, to compare one registration with another.
void Dump(const RegistryKey& key, const std::string& indent, std::string& out) {
  for (const auto& [name, value] : key.Values())
    out += indent + "'" + name + "' " + std::to_string(static_cast<int>(value.type)) + " " +
           platform::DecodeRegistryString(value.data) + "\n";
  for (const std::string& name : key.SubKeyNames()) {
    out += indent + name + "\\\n";
    if (auto sub = key.OpenSubKey(name, platform::RegistryAccess::kRead)) Dump(*sub, indent + "  ", out);
  }
}
std::string Dump(RegistryRoot root, const std::string& path) {
  std::string out;
  if (auto key = RegistryKey::Open(root, path, platform::RegistryAccess::kRead)) Dump(*key, "", out);
  return out;
}
std::string DumpRegistration() {
  return Dump(RegistryRoot::kClassesRoot, kClassKey) + Dump(RegistryRoot::kClassesRoot, kCommandClassKey) +
         Dump(RegistryRoot::kClassesRoot, "*\\shellex") +
         Dump(RegistryRoot::kClassesRoot, "Directory\\shellex") +
         ReadString(RegistryRoot::kLocalMachine, kApprovedKey, kClsidText).value_or("no approval") +
         Dump(RegistryRoot::kCurrentUser, kContentsKey);
}

void DeleteApproval() {
  if (auto approved = RegistryKey::Open(RegistryRoot::kLocalMachine, kApprovedKey))
    approved->DeleteValue(kClsidText);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(VerbhookRegistration, RegsvrWritesEveryEntryOnceAndUnregisterLeavesWhatItDoesNotOwn) {
  ASSERT_EQ(RunRegsvr32("/s /u " + Quoted(LibraryFile())), 0u);
  DeleteApproval();
  if (auto contents = RegistryKey::Open(RegistryRoot::kCurrentUser, "SOFTWARE\\Orvane Software\\Carvex"))
    contents->DeleteSubKeyTree("Ravelin");

  ASSERT_EQ(RunRegsvr32("/s " + Quoted(LibraryFile())), 0u);
  ExpectEntries(EntriesWritten(RegistryRoot::kClassesRoot, "", LibraryFile()));
  EXPECT_EQ(ReadString(RegistryRoot::kLocalMachine, kApprovedKey, kClsidText), kDescription);
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, kContentsKey));
  const std::string once = DumpRegistration();
  ASSERT_EQ(RunRegsvr32("/s " + Quoted(LibraryFile())), 0u);
  EXPECT_EQ(DumpRegistration(), once);

  ASSERT_EQ(RunRegsvr32("/s /u " + Quoted(LibraryFile())), 0u);
  EXPECT_FALSE(KeyExists(RegistryRoot::kClassesRoot, kClassKey));
  EXPECT_FALSE(KeyExists(RegistryRoot::kClassesRoot, kCommandClassKey));
  for (const std::string type : {"*", "Directory"}) {
    const std::string handlers = type + "\\shellex\\ContextMenuHandlers\\Orvane Software";
    EXPECT_TRUE(KeyExists(RegistryRoot::kClassesRoot, handlers)) << handlers;
    EXPECT_FALSE(KeyExists(RegistryRoot::kClassesRoot, handlers + "\\Carvex")) << handlers;
    EXPECT_FALSE(KeyExists(RegistryRoot::kClassesRoot, type + "\\shellex\\ContextMenuHandlers\\Carvex")) << type;
    EXPECT_EQ(ReadString(RegistryRoot::kClassesRoot, type + "\\shellex", ""), "");
  }
  EXPECT_EQ(ReadString(RegistryRoot::kLocalMachine, kApprovedKey, kClsidText), kDescription);
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, kContentsKey));
  // Nothing left to remove is no failure.
  EXPECT_EQ(RunRegsvr32("/s /u " + Quoted(LibraryFile())), 0u);
}

// The file manager reads InprocServer32 without quotes, so a space in the library's path would
// split it; the short form has none and names the same file, and COM loads the library by it.
TEST(VerbhookRegistration, LibraryInAFolderWithASpaceRegistersItsShortPath) {
  TempDir temp;
  temp.MakeFolder("Program Files");
  const std::string copy = temp.File("Program Files\\verb hook.dll");
  ASSERT_TRUE(::CopyFileW(platform::Widen(LibraryFile()).c_str(), platform::Widen(copy).c_str(), FALSE));
  ASSERT_EQ(RunRegsvr32("/s " + Quoted(copy)), 0u);
  const std::string registered = ReadString(RegistryRoot::kClassesRoot, kServerKey, "").value_or("");
  EXPECT_EQ(registered.find(' '), std::string::npos) << registered;
  std::wstring longForm(32768, L'\0');
  longForm.resize(::GetLongPathNameW(platform::Widen(registered).c_str(), longForm.data(),
                                     static_cast<DWORD>(longForm.size())));
  EXPECT_EQ(platform::Widen(copy), longForm) << registered;

  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  {
    Com<IUnknown> handler;
    EXPECT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, handler.Put()), S_OK);
  }
  // The copy goes with the folder, so COM must let it go first.
  ::CoUninitialize();
  EXPECT_EQ(RunRegsvr32("/s /u " + Quoted(copy)), 0u);
}

// "regsvr32 /n /i:user" is for a user without administrator rights: the same class entries
// under the user's own classes, nothing for the machine, and "/u" takes them away again.
TEST(VerbhookRegistration, UserInstallWritesOnlyUnderTheCurrentUser) {
  ASSERT_EQ(RunRegsvr32("/s /u " + Quoted(LibraryFile())), 0u);
  DeleteApproval();
  ASSERT_EQ(RunRegsvr32("/s /n /i:user " + Quoted(LibraryFile())), 0u);
  ExpectEntries(EntriesWritten(RegistryRoot::kCurrentUser, "Software\\Classes\\", LibraryFile()));
  EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine, std::string("Software\\Classes\\") + kClassKey));
  EXPECT_FALSE(KeyExists(RegistryRoot::kLocalMachine,
                         "Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex"));
  EXPECT_EQ(ReadString(RegistryRoot::kLocalMachine, kApprovedKey, kClsidText), std::nullopt);

  ASSERT_EQ(RunRegsvr32("/s /u /n /i:user " + Quoted(LibraryFile())), 0u);
  for (const char* key : {kClassKey, kCommandClassKey, "*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex",
                          "Directory\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex",
                          "*\\shellex\\ContextMenuHandlers\\Carvex", "Directory\\shellex\\ContextMenuHandlers\\Carvex"})
    EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, std::string("Software\\Classes\\") + key)) << key;
  // Other command lines are refused.
  EXPECT_NE(RunRegsvr32("/s /n /i:everyone " + Quoted(LibraryFile())), 0u);
}

// What File Explorer finds of ours for files and for folders: the keys that resolve to our class.
std::vector<FoundHandler> OursFound(HKEY classes, const std::wstring& type) {
  std::vector<FoundHandler> ours;
  for (FoundHandler& handler : WalkContextMenuHandlers(classes, type))
    if (handler.clsid == platform::Widen(kClsidText)) ours.push_back(std::move(handler));
  return ours;
}

// File Explorer looks one level below ContextMenuHandlers and creates what it finds there, as
// Microsoft documents its lookup: once registered, it finds the handler of files and of folders
// under one key each and creates it from the registered library; once unregistered, nothing.
TEST(VerbhookRegistration, FileExplorersLookupFindsTheHandlerOnlyWhileRegistered) {
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  HKEY userClasses = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr,
                              &userClasses, nullptr),
            ERROR_SUCCESS);
  const struct {
    const char* scope;
    HKEY classes;
    std::string install, uninstall;
  } scopes[] = {
      {"machine", HKEY_CLASSES_ROOT, "/s", "/s /u"},
      {"user", userClasses, "/s /n /i:user", "/s /u /n /i:user"},
  };
  ASSERT_EQ(RunRegsvr32("/s /u " + Quoted(LibraryFile())), 0u);
  for (const auto& scope : scopes) {
    SCOPED_TRACE(scope.scope);
    ASSERT_EQ(RunRegsvr32(scope.install + " " + Quoted(LibraryFile())), 0u);
    for (const std::wstring type : {L"*", L"Directory"}) {
      const std::vector<FoundHandler> ours = OursFound(scope.classes, type);
      ASSERT_EQ(ours.size(), 1u) << platform::Narrow(type);
      EXPECT_EQ(ours[0].key, L"Carvex");
      EXPECT_EQ(ours[0].server, platform::Widen(LibraryFile()));
      // Wine's COM looks classes up among the machine's alone; Windows merges the user's in.
      if (scope.classes == HKEY_CLASSES_ROOT || !RunningUnderWine()) {
        EXPECT_EQ(ours[0].created, S_OK);
      }
    }
    ASSERT_EQ(RunRegsvr32(scope.uninstall + " " + Quoted(LibraryFile())), 0u);
    for (const std::wstring type : {L"*", L"Directory"})
      EXPECT_TRUE(OursFound(scope.classes, type).empty()) << platform::Narrow(type);
  }
  ::RegCloseKey(userClasses);
  ::CoUninitialize();
}

}  // namespace
}  // namespace carvex::test
