#include "registration.h"

#include <iterator>
#include <optional>
#include <string_view>

#include "handoff.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace carvex::com {

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RuntimeError;

constexpr char kClsid[] = "{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}";
constexpr char kDescription[] = "Carvex by Orvane Software";
constexpr char kClassKey[] = "CLSID\\{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}";
constexpr char kServerKey[] = "CLSID\\{5B0C3F2E-7A41-4D9B-9E62-C1D8A4F70B35}\\InprocServer32";
// The commands of File Explorer's compact menu. A package names this class for the menu; the
// class entries here let it be created by its class wherever the library is registered.
constexpr char kCommandClassKey[] = "CLSID\\{9C9EE2C9-73E4-4362-B324-E4F4623F48B7}";
constexpr char kCommandServerKey[] = "CLSID\\{9C9EE2C9-73E4-4362-B324-E4F4623F48B7}\\InprocServer32";
constexpr char kContentsKey[] = "SOFTWARE\\Orvane Software\\Carvex\\Ravelin\\Contents";
static_assert(std::string_view(kClassKey).ends_with(kClsid));
static_assert(std::string_view(kServerKey).starts_with(kClassKey));
static_assert(std::string_view(kCommandServerKey).starts_with(kCommandClassKey));
static_assert(std::string_view(kContentsKey).starts_with(kHandOffKeyPath));

enum class Root { kClasses, kCurrentUser, kLocalMachine };

// What a value holds; kNoValue makes the key alone.
enum class Data { kNoValue, kEmpty, kDescription, kClsid, kLibraryPath, kApartment };

struct Entry {
  Root root;
  const char* key;
  const char* value;
  Data data;
  // Unregistering deletes the key (not its subkeys, and only when it has none left).
  bool deletedOnUnregister;
};

// Registration writes these in order; unregistration walks them backwards, so that a subkey
// goes before the key that holds it. The file manager looks for handlers of files ("*") and
// folders ("Directory") only one level below ContextMenuHandlers, at a key named by a class or
// holding one as its default value: that is the "Carvex" key. The two-level key
// "Orvane Software\Carvex" is written beside it for whatever looks the registration up by that
// name; the file manager never reads it.
constexpr Entry kEntries[] = {
    {Root::kClasses, kClassKey, "", Data::kDescription, true},
    {Root::kClasses, kServerKey, "", Data::kLibraryPath, true},
    {Root::kClasses, kServerKey, "ThreadingModel", Data::kApartment, false},
    {Root::kClasses, kCommandClassKey, "", Data::kDescription, true},
    {Root::kClasses, kCommandServerKey, "", Data::kLibraryPath, true},
    {Root::kClasses, kCommandServerKey, "ThreadingModel", Data::kApartment, false},
    {Root::kCurrentUser, kContentsKey, nullptr, Data::kNoValue, false},
    {Root::kClasses, "*\\shellex", "", Data::kEmpty, false},
    {Root::kClasses, "*\\shellex\\ContextMenuHandlers", "", Data::kEmpty, false},
    {Root::kClasses, "*\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex", "", Data::kClsid, true},
    {Root::kClasses, "*\\shellex\\ContextMenuHandlers\\Carvex", "", Data::kClsid, true},
    {Root::kClasses, "Directory\\shellex", "", Data::kEmpty, false},
    {Root::kClasses, "Directory\\shellex\\ContextMenuHandlers", "", Data::kEmpty, false},
    {Root::kClasses, "Directory\\shellex\\ContextMenuHandlers\\Orvane Software\\Carvex", "", Data::kClsid,
     true},
    {Root::kClasses, "Directory\\shellex\\ContextMenuHandlers\\Carvex", "", Data::kClsid, true},
    // Windows of the NT family list the extensions they may load here. Every Windows that this
    // library runs on is one.
    {Root::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", kClsid,
     Data::kDescription, false},
};

// The root and path of an entry in a scope; nullopt for an entry that the scope does not have.
struct Location {
  RegistryRoot root;
  std::string path;
};
std::optional<Location> Locate(const Entry& entry, RegistrationScope scope) {
  switch (entry.root) {
    case Root::kClasses:
      if (scope == RegistrationScope::kUser)
        return Location{RegistryRoot::kCurrentUser, std::string("Software\\Classes\\") + entry.key};
      return Location{RegistryRoot::kClassesRoot, entry.key};
    case Root::kCurrentUser:
      return Location{RegistryRoot::kCurrentUser, entry.key};
    case Root::kLocalMachine:
      if (scope == RegistrationScope::kUser) return std::nullopt;
      return Location{RegistryRoot::kLocalMachine, entry.key};
  }
  return std::nullopt;
}

std::string TextOf(Data data, const std::string& libraryPath) {
  switch (data) {
    case Data::kDescription:
      return kDescription;
    case Data::kClsid:
      return kClsid;
    case Data::kLibraryPath:
      return libraryPath;
    case Data::kApartment:
      return "Apartment";
    case Data::kNoValue:
    case Data::kEmpty:
      break;
  }
  return {};
}

void Write(const Entry& entry, const Location& where, const std::string& libraryPath) {
  try {
    RegistryKey key = RegistryKey::Create(where.root, where.path);
    if (entry.data != Data::kNoValue) key.SetString(entry.value, TextOf(entry.data, libraryPath));
  } catch (const RuntimeError& error) {
    if (entry.root != Root::kClasses) throw;
    throw RuntimeError(error.Number(), "Error creating system registry entry");
  }
}

// A key that is already gone, or that cannot go, is left as it is.
void Remove(const Location& where) {
  try {
    if (std::optional<RegistryKey> root = RegistryKey::Open(where.root, "")) root->DeleteKey(where.path);
  } catch (const RuntimeError&) {
  }
}

}  // namespace

void RegisterServerEntries(bool registering, RegistrationScope scope, const std::string& libraryPath) {
  if (registering) {
    for (const Entry& entry : kEntries)
      if (const std::optional<Location> where = Locate(entry, scope)) Write(entry, *where, libraryPath);
    return;
  }
  for (auto entry = std::rbegin(kEntries); entry != std::rend(kEntries); ++entry)
    if (entry->deletedOnUnregister)
      if (const std::optional<Location> where = Locate(*entry, scope)) Remove(*where);
}

}  // namespace carvex::com
