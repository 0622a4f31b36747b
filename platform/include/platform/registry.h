#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace carvex::platform {

// The registry roots the program touches.
enum class RegistryRoot { kCurrentUser, kClassesRoot, kLocalMachine };

// Value types carry the Windows REG_* numbers, so a type read back is the type written on
// every platform; numbers without a name here are stored and returned just the same.
enum class RegistryType : std::uint32_t {
  kNone = 0,          // REG_NONE
  kString = 1,        // REG_SZ
  kExpandString = 2,  // REG_EXPAND_SZ
  kBinary = 3,        // REG_BINARY
  kDword = 4,         // REG_DWORD (little-endian)
  kDwordBigEndian = 5,
  kLink = 6,
  kMultiString = 7,  // REG_MULTI_SZ
  kQword = 11,       // REG_QWORD (little-endian)
};

// A value's type and its bytes exactly as the Windows registry holds them: string types are
// UTF-16LE with their terminating zero (see EncodeRegistryString), numbers little-endian.
struct RegistryValue {
  RegistryType type = RegistryType::kNone;
  std::string data;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

// A key opened for reading can be queried and enumerated, and refuses changes to its values.
enum class RegistryAccess { kRead, kReadWrite };

// An open registry key, closed by the destructor. Paths are relative to the root or to this
// key, with "\" between key names; names of keys and values compare without regard to case.
// The value name "" is the key's default value. Failures throw RuntimeError, except that a
// missing key or value is an answer (nullopt, false), not a failure.
//
// Windows uses its registry. Other systems keep a per-user SQLite database,
// $XDG_CONFIG_HOME/carvex/registry.db (see UserConfigFolder), shared safely by processes
// running at once; the environment variable CARVEX_REGISTRY_DB, when set, names another
// database file instead, which lets tests point separate processes at a throwaway store.
// The store ignores case as Windows does for Latin, Greek, Cyrillic and Armenian letters,
// and compares other characters exactly.
class RegistryKey {
 public:
  // nullopt when the key does not exist. An empty path opens the root itself.
  static std::optional<RegistryKey> Open(RegistryRoot root, const std::string& path,
                                         RegistryAccess access = RegistryAccess::kReadWrite);
  // Opens the key, creating it and every missing parent first.
  static RegistryKey Create(RegistryRoot root, const std::string& path);

  std::optional<RegistryKey> OpenSubKey(const std::string& path,
                                        RegistryAccess access = RegistryAccess::kReadWrite) const;
  RegistryKey CreateSubKey(const std::string& path) const;

  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  // "HKEY_CURRENT_USER\Software\…", as the key was opened; used in error descriptions.
  const std::string& Path() const noexcept { return path_; }

  // Creates the value or replaces its type and data; a replaced value keeps its name's
  // spelling and its place in the enumeration.
  void SetValue(const std::string& name, RegistryType type, std::string_view data);
  void SetString(const std::string& name, std::string_view text, RegistryType type = RegistryType::kString);
  // SetString for each (name, text) in turn, as one operation of the SQLite store: a list of
  // thousands of values costs one statement, not thousands. Stops at the first failure.
  void SetStrings(const std::vector<std::pair<std::string, std::string>>& values);

  std::optional<RegistryValue> QueryValue(const std::string& name) const;
  // The text of a REG_SZ or REG_EXPAND_SZ value, up to its first zero character; nullopt
  // when the value is missing. A value of another type is an error.
  std::optional<std::string> QueryString(const std::string& name) const;

  // False when there was no such value.
  bool DeleteValue(const std::string& name);

  // The name of the value at `index`, nullopt past the last one. Values come in creation
  // order (but see RegistryValuesInCreationOrder).
  std::optional<std::string> EnumValueName(std::uint32_t index) const;
  std::vector<std::pair<std::string, RegistryValue>> Values() const;
  // The names of all values, in the order EnumValueName gives them, without their data.
  std::vector<std::string> ValueNames() const;
  // Subkeys come in creation order in the SQLite store; Windows sorts them by name.
  std::vector<std::string> SubKeyNames() const;

  // Deletes the subkey at `path` with all its values and subkeys. False when it was missing.
  bool DeleteSubKeyTree(const std::string& path);
  // Deletes the subkey at `path` and its values; a subkey that has subkeys of its own is an
  // error, as it is in Windows. False when it was missing.
  bool DeleteKey(const std::string& path);

 private:
#ifdef _WIN32
  RegistryKey(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_ = nullptr;
#else
  RegistryKey(std::int64_t id, std::uint64_t generation, bool writable, std::string path)
      : id_(id), generation_(generation), writable_(writable), path_(std::move(path)) {}
  std::int64_t id_ = 0;
  std::uint64_t generation_ = 0;
  bool writable_ = false;
#endif
  std::string path_;
};

// Makes the changes this thread makes through RegistryKey until Commit one change: other
// processes see all of them or none, and without Commit (an exception, say) none is kept.
// The SQLite store holds its write lock for the whole transaction. Windows' registry has no
// such transaction here: there the changes are made one by one, and callers check what they
// can before the first.
class RegistryTransaction {
 public:
  // kRead takes no lock in the SQLite store: it reads one consistent snapshot, which no writer
  // waits for, and refuses changes.
  enum class Kind { kWrite, kRead };
  explicit RegistryTransaction(Kind kind = Kind::kWrite);
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;
  void Commit();

 private:
  bool committed_ = false;
};

// UTF-8 text as REG_SZ data: UTF-16LE with a terminating zero. A byte that is not part of a
// UTF-8 sequence becomes the lone surrogate U+DC00 + byte, which DecodeRegistryString turns
// back into that byte: text in any byte encoding round-trips.
std::string EncodeRegistryString(std::string_view utf8);
// REG_SZ data as UTF-8 text, up to the first zero character; an odd last byte is ignored.
// Other lone surrogates become U+FFFD.
std::string DecodeRegistryString(std::string_view data);
// REG_MULTI_SZ data: each string with its zero, then one more zero.
std::string EncodeRegistryMultiString(const std::vector<std::string>& strings);
std::vector<std::string> DecodeRegistryMultiString(std::string_view data);

// `name` as the registry tells names apart: two names of keys or values are the same name
// exactly when their folded forms are equal. Windows folds as its registry does, with the
// system's upper-case table.
std::string FoldRegistryName(std::string_view name);

// Whether values enumerate in creation order: true in Windows' registry and in the SQLite
// store, false under Wine, whose registry keeps values sorted by name.
bool RegistryValuesInCreationOrder();

// What Windows allows: a key lies at most 512 levels below its root; a key name has at most
// 255 UTF-16 units and a value name 16,383. The SQLite store refuses the same, so that no menu
// made on one system is out of reach on the other.
inline constexpr std::size_t kMaxRegistryDepth = 512;
inline constexpr std::size_t kMaxRegistryKeyName = 255;
inline constexpr std::size_t kMaxRegistryValueName = 16383;
// The UTF-16 length of `utf8`, as Windows measures names.
std::size_t RegistryNameLength(std::string_view utf8);

// How long an operation of the SQLite store waits for another process's write lock before it
// fails, for this process's connections from now on; 5 seconds until set. A caller that must
// never keep its user waiting (the file manager's menu) sets a short one. Windows ignores it.
void SetRegistryBusyTimeout(int milliseconds);

// Chooses the SQLite store's database file for this process; "" goes back to the default
// (CARVEX_REGISTRY_DB, else the per-user file). Each call closes the current connection;
// keys opened before it throw RuntimeError when used after it. Windows has its real registry and
// ignores the call, which lets tests set up both platforms alike.
void SetRegistryDatabasePath(const std::string& path);

}  // namespace carvex::platform
