// The registry of systems that have none: one SQLite database per user. Every operation is
// one transaction, so a reader never sees half a value and a crash leaves the last commit;
// WAL lets the application read while the shell extension in another process writes.

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <type_traits>

#include "platform/error.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "registry_data.h"

namespace carvex::platform {

namespace {

constexpr int kSchemaVersion = 1;
// Writers queue behind one another; an operation is a handful of rows, so a wait this long
// means something is stuck.
constexpr int kDefaultBusyTimeoutMs = 5000;
constexpr const char* kDatabaseVariable = "CARVEX_REGISTRY_DB";

constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER,
  name TEXT NOT NULL,
  folded TEXT NOT NULL);
CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);
CREATE TABLE key_values(
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE UNIQUE INDEX values_by_name ON key_values(key, folded);
INSERT INTO keys(id, parent, name, folded) VALUES
  (1, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
  (2, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),
  (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
PRAGMA user_version = 1;
)sql";

// A failure inside an operation; the operation adds what it was doing and to which key.
struct StoreError {
  int number;
  std::string reason;
};

[[noreturn]] void Refuse(int number, const std::string& what, const std::string& where,
                         const std::string& reason) {
  throw RuntimeError(number, what + " '" + where + "': " + reason);
}

// ---- Names

// The simple one-to-one upper-case mapping of the scripts whose letters have case within
// one block (Latin, Greek, Cyrillic, Armenian, fullwidth Latin), which is how Windows
// compares registry names. Other characters compare exactly.
char32_t SimpleUpper(char32_t c) {
  const auto odd = [c] { return (c & 1) != 0; };
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return odd() ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return odd() ? c : c - 1;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3C2) return 0x3A3;
  if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 0x20;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
    return odd() ? c - 1 : c;
  if (c >= 0x4C1 && c <= 0x4CE) return odd() ? c : c - 1;
  if (c == 0x4CF) return 0x4C0;
  if (c >= 0x561 && c <= 0x586) return c - 0x30;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
  return c;
}

// The form under which names are looked up. Bytes that are not UTF-8 stay as they are.
std::string FoldName(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t start = i;
    const char32_t c = DecodeUtf8(name, i);
    const char32_t upper = SimpleUpper(c);
    if (upper == c)
      folded.append(name.substr(start, i - start));
    else
      AppendUtf8(folded, upper);
  }
  return folded;
}

// Key names between "\" separators. Like Windows, a trailing separator is tolerated and an
// empty name anywhere else is not.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t slash = path.find('\\', start);
    std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (name.empty()) throw StoreError{EINVAL, "the key path has an empty key name in it"};
    names.push_back(std::move(name));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return names;
}

// The row ids the schema gives the roots.
std::int64_t RootId(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return 2;
    case RegistryRoot::kLocalMachine:
      return 3;
    case RegistryRoot::kCurrentUser:
      break;
  }
  return 1;
}

std::string ValueText(const std::string& name) {
  return name.empty() ? "the default registry value of" : "the registry value '" + name + "' of";
}

// ---- SQLite

[[noreturn]] void ThrowSqlite(sqlite3* db) {
  throw StoreError{sqlite3_extended_errcode(db), sqlite3_errmsg(db)};
}

void Execute(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db);
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) ThrowSqlite(db);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t number) {
    Check(sqlite3_bind_int64(statement_, index, number));
    return *this;
  }
  // Binding a null pointer would store NULL instead of an empty string.
  Statement& BindText(int index, std::string_view text) {
    Check(sqlite3_bind_text(statement_, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob64(statement_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT));
    return *this;
  }

  // True while there is a row to read.
  bool Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqlite(db_);
  }

  // Ready to run again with new bindings.
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

  std::int64_t Number(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string();
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) ThrowSqlite(db_);
  }

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// What an operation gets to work with: the connection, inside its transaction, and the
// database's generation, which keys opened now carry.
struct Session {
  sqlite3* db;
  std::uint64_t generation;
};

// The process's one connection. Keys carry the generation of the database they were opened
// in, so a key left over from before SetRegistryDatabasePath fails instead of reaching into
// another file.
class Store {
 public:
  static Store& Instance() {
    static Store store;
    return store;
  }

  ~Store() { Close(); }

  void UsePath(const std::string& path) {
    std::lock_guard lock(mutex_);
    Close();
    chosenPath_ = path;
    ++generation_;
  }

  // Runs `body(Session&)` in one transaction, IMMEDIATE for writes so that a writer waits
  // for the lock at the start rather than failing halfway. `generation` 0 skips the check.
  template <class Body>
  auto Run(bool write, std::uint64_t generation, const std::string& what, const std::string& where,
           Body&& body) {
    std::lock_guard lock(mutex_);
    try {
      if (generation != 0 && generation != generation_)
        throw StoreError{EBADF, "the key belongs to a registry database that has been closed"};
      Session session{Connection(), generation_};
      // Inside a RegistryTransaction each operation is a savepoint of it, so that a failed
      // operation undoes its own part and leaves the caller to decide about the rest.
      const bool nested = inTransaction_;
      if (write && nested && readTransaction_)
        throw StoreError{EACCES, "a change was asked for while the registry is being read"};
      Execute(session.db, nested ? "SAVEPOINT operation" : write ? "BEGIN IMMEDIATE" : "BEGIN");
      const char* const done = nested ? "RELEASE operation" : "COMMIT";
      try {
        if constexpr (std::is_void_v<decltype(body(session))>) {
          body(session);
          Execute(session.db, done);
        } else {
          auto result = body(session);
          Execute(session.db, done);
          return result;
        }
      } catch (...) {
        sqlite3_exec(session.db, nested ? "ROLLBACK TO operation; RELEASE operation" : "ROLLBACK", nullptr,
                     nullptr, nullptr);
        throw;
      }
    } catch (const StoreError& error) {
      Refuse(error.number, what, where, error.reason);
    }
  }

  // The outer transaction of a RegistryTransaction: IMMEDIATE for changes, so that other
  // processes neither write in between nor see a half-done change; deferred for reading,
  // which sees one snapshot and waits for no writer.
  void Begin(bool write) {
    std::lock_guard lock(mutex_);
    try {
      Execute(Connection(), write ? "BEGIN IMMEDIATE" : "BEGIN");
      inTransaction_ = true;
      readTransaction_ = !write;
    } catch (const StoreError& error) {
      Refuse(error.number, write ? "Cannot begin a change of" : "Cannot begin reading", "registry", error.reason);
    }
  }
  void End(bool commit) {
    std::lock_guard lock(mutex_);
    if (!inTransaction_) return;
    inTransaction_ = false;
    if (!commit) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return;
    }
    try {
      Execute(db_, "COMMIT");
    } catch (const StoreError& error) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      Refuse(error.number, "Cannot commit a change of", "registry", error.reason);
    }
  }

  void SetBusyTimeout(int milliseconds) {
    std::lock_guard lock(mutex_);
    busyTimeoutMs_ = milliseconds;
    if (db_ && pid_ == ::getpid()) sqlite3_busy_timeout(db_, busyTimeoutMs_);
  }

 private:
  Store() = default;

  void Close() {
    inTransaction_ = false;
    // A connection inherited through fork belongs to the parent: closing it here would
    // release the parent's locks and could checkpoint under its feet. It is left alone.
    if (db_ && pid_ == ::getpid()) sqlite3_close(db_);
    db_ = nullptr;
  }

  std::string DatabasePath() {
    if (!chosenPath_.empty()) return chosenPath_;
    if (const char* variable = std::getenv(kDatabaseVariable); variable && *variable) return variable;
    const std::string folder = UserConfigFolder();
    // A folder that cannot be made shows as a database that cannot be opened, which is read
    // as an empty store where the folder cannot be written at all.
    try {
      CreateFolders(folder);
    } catch (const RuntimeError&) {
    }
    return folder + "/registry.db";
  }

  // The ways in: writable; read-only, for a file or folder the user may not change; and
  // immutable, for a folder where not even the WAL's shared-memory file can be made (no
  // writer can work there either, so nothing changes under the reader).
  sqlite3* Connection() {
    if (db_ && pid_ != ::getpid()) db_ = nullptr;
    if (db_) return db_;
    const std::string path = DatabasePath();
    struct Attempt {
      std::string name;
      int flags;
    };
    const Attempt attempts[] = {
        {path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE},
        {path, SQLITE_OPEN_READONLY},
        {"file:" + UriPath(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI},
    };
    std::optional<StoreError> failure;
    for (const Attempt& attempt : attempts) {
      sqlite3* db = nullptr;
      const int rc = sqlite3_open_v2(attempt.name.c_str(), &db, attempt.flags, nullptr);
      try {
        if (rc != SQLITE_OK) {
          if (!db) throw StoreError{rc, sqlite3_errstr(rc)};
          ThrowSqlite(db);
        }
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, busyTimeoutMs_);
        Prepare(db, sqlite3_db_readonly(db, "main") == 0);
        return Keep(db);
      } catch (const StoreError& error) {
        sqlite3_close(db);
        if (!failure) failure = error;
        if (error.number == kNoSchema) break;
        if (!IsAccessProblem(error.number)) Refuse(error.number, "Cannot open the registry database", path, error.reason);
      }
    }
    // Nothing to read and no way to write it: an empty store that refuses every change.
    if (failure->number == kNoSchema || ::access(path.c_str(), F_OK) != 0) {
      sqlite3* db = nullptr;
      try {
        if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) ThrowSqlite(db);
        sqlite3_extended_result_codes(db, 1);
        Execute(db, kSchema);
        Execute(db, "PRAGMA query_only = 1");
        return Keep(db);
      } catch (const StoreError& error) {
        sqlite3_close(db);
        failure = error;
      }
    }
    Refuse(failure->number, "Cannot open the registry database", path, failure->reason);
  }

  sqlite3* Keep(sqlite3* db) {
    db_ = db;
    pid_ = ::getpid();
    return db_;
  }

  static bool IsAccessProblem(int code) {
    switch (code & 0xFF) {
      case SQLITE_READONLY:
      case SQLITE_CANTOPEN:
      case SQLITE_PERM:
      case SQLITE_AUTH:
        return true;
      default:
        return false;
    }
  }

  // A path as the file: URI takes it: the characters that would end or escape it encoded.
  static std::string UriPath(const std::string& path) {
    std::string uri;
    for (const char c : path) {
      if (c == '%' || c == '?' || c == '#') {
        static constexpr char kHex[] = "0123456789ABCDEF";
        uri += '%';
        uri += kHex[static_cast<unsigned char>(c) >> 4];
        uri += kHex[c & 0xF];
      } else {
        uri += c;
      }
    }
    return uri;
  }

  // A store in use needs nothing written to be read: only a new or older database takes the
  // write lock, for as long as it takes to lay the schema down.
  static void Prepare(sqlite3* db, bool writable) {
    if (writable) {
      if (JournalMode(db) != "wal") Execute(db, "PRAGMA journal_mode = WAL");
      // With WAL, NORMAL may lose the last commits on power loss but never corrupts the file;
      // an fsync per value written would make every right-click wait for the disk.
      Execute(db, "PRAGMA synchronous = NORMAL");
    }
    if (SchemaVersion(db) == kSchemaVersion) return;
    if (!writable) throw StoreError{kNoSchema, "the database holds no keys and cannot be written"};
    Execute(db, "BEGIN IMMEDIATE");
    try {
      // Another process may have laid it down while this one waited for the lock.
      if (SchemaVersion(db) == 0) Execute(db, kSchema);
      Execute(db, "COMMIT");
    } catch (...) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // Read in a statement of its own, which must be done before the mode can change.
  static std::string JournalMode(sqlite3* db) {
    Statement mode(db, "PRAGMA journal_mode");
    return mode.Step() ? mode.Bytes(0) : std::string();
  }

  static std::int64_t SchemaVersion(sqlite3* db) {
    Statement version(db, "PRAGMA user_version");
    const std::int64_t found = version.Step() ? version.Number(0) : 0;
    if (found > kSchemaVersion)
      throw StoreError{EPROTO, "the database was written by a newer version of the program"};
    return found;
  }

  // Not an SQLite code: a store with no schema that this process may not write.
  static constexpr int kNoSchema = -1;

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  pid_t pid_ = 0;
  std::string chosenPath_;
  std::uint64_t generation_ = 1;
  bool inTransaction_ = false;
  bool readTransaction_ = false;
  int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

// ---- Keys and values

void RequireKey(sqlite3* db, std::int64_t id) {
  if (id == 0) throw StoreError{EBADF, "the key is not open"};
  Statement s(db, "SELECT 1 FROM keys WHERE id = ?1");
  if (!s.Bind(1, id).Step()) throw StoreError{ENOENT, "the key has been deleted"};
}

// Values are changed only through keys opened for writing, as Windows insists; a program
// that forgets it then fails here too, not only on Windows.
void RequireWritable(bool writable) {
  if (!writable) throw StoreError{EACCES, "the key was opened for reading only"};
}

// How many levels below its root the key `id` lies.
std::size_t Depth(sqlite3* db, std::int64_t id) {
  Statement up(db,
               "WITH RECURSIVE up(id, level) AS (SELECT ?1, 0 UNION ALL "
               "SELECT keys.parent, up.level + 1 FROM keys JOIN up ON keys.id = up.id "
               "WHERE keys.parent IS NOT NULL) SELECT max(level) FROM up");
  return up.Bind(1, id).Step() ? static_cast<std::size_t>(up.Number(0)) : 0;
}

// The key at `path` below `id`, made with its missing parents when `create` is set. A key
// is made only where Windows could make it too.
std::optional<std::int64_t> Walk(sqlite3* db, std::int64_t id, const std::string& path, bool create) {
  const std::vector<std::string> names = SplitPath(path);
  if (create && !names.empty()) {
    for (const std::string& name : names)
      if (RegistryNameLength(name) > kMaxRegistryKeyName)
        throw StoreError{ENAMETOOLONG, "a key name is longer than " + std::to_string(kMaxRegistryKeyName) +
                                           " characters"};
    if (Depth(db, id) + names.size() > kMaxRegistryDepth)
      throw StoreError{ELOOP, "the key would lie more than " + std::to_string(kMaxRegistryDepth) +
                                  " levels deep"};
  }
  for (const std::string& name : names) {
    const std::string folded = FoldName(name);
    Statement find(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    if (find.Bind(1, id).BindText(2, folded).Step()) {
      id = find.Number(0);
      continue;
    }
    if (!create) return std::nullopt;
    Statement add(db, "INSERT INTO keys(parent, name, folded) VALUES (?1, ?2, ?3)");
    add.Bind(1, id).BindText(2, name).BindText(3, folded).Step();
    id = sqlite3_last_insert_rowid(db);
  }
  return id;
}

bool HasSubKeys(sqlite3* db, std::int64_t id) {
  Statement s(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  return s.Bind(1, id).Step();
}

// The subkey at `path`, for a deletion: nullopt when it is missing.
std::optional<std::int64_t> FindForDeletion(sqlite3* db, std::int64_t id, const std::string& path) {
  RequireKey(db, id);
  if (path.empty()) throw StoreError{EINVAL, "no subkey was named"};
  return Walk(db, id, path, false);
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path,
                                             RegistryAccess access) {
  const std::string where = Below(RootName(root), path);
  std::optional<RegistryKey> key;
  Store::Instance().Run(false, 0, "Cannot open the registry key", where, [&](Session& s) {
    if (std::optional<std::int64_t> id = Walk(s.db, RootId(root), path, false))
      key.emplace(RegistryKey(*id, s.generation, access == RegistryAccess::kReadWrite, where));
  });
  return key;
}

RegistryKey RegistryKey::Create(RegistryRoot root, const std::string& path) {
  const std::string where = Below(RootName(root), path);
  return Store::Instance().Run(true, 0, "Cannot create the registry key", where, [&](Session& s) {
    return RegistryKey(*Walk(s.db, RootId(root), path, true), s.generation, true, where);
  });
}

std::optional<RegistryKey> RegistryKey::OpenSubKey(const std::string& path, RegistryAccess access) const {
  const std::string where = Below(path_, path);
  std::optional<RegistryKey> key;
  Store::Instance().Run(false, generation_, "Cannot open the registry key", where, [&](Session& s) {
    RequireKey(s.db, id_);
    if (std::optional<std::int64_t> id = Walk(s.db, id_, path, false))
      key.emplace(RegistryKey(*id, s.generation, access == RegistryAccess::kReadWrite, where));
  });
  return key;
}

RegistryKey RegistryKey::CreateSubKey(const std::string& path) const {
  const std::string where = Below(path_, path);
  return Store::Instance().Run(true, generation_, "Cannot create the registry key", where, [&](Session& s) {
    RequireKey(s.db, id_);
    return RegistryKey(*Walk(s.db, id_, path, true), s.generation, true, where);
  });
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : id_(std::exchange(other.id_, 0)),
      generation_(other.generation_),
      writable_(other.writable_),
      path_(std::move(other.path_)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    id_ = std::exchange(other.id_, 0);
    generation_ = other.generation_;
    writable_ = other.writable_;
    path_ = std::move(other.path_);
  }
  return *this;
}

RegistryKey::~RegistryKey() = default;

namespace {

// Replacing only type and data keeps the row, and with it the name's spelling and the value's
// place in the enumeration, as Windows does.
constexpr char kUpsertValue[] =
    "INSERT INTO key_values(key, name, folded, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data";

void CheckValueName(const std::string& name) {
  if (RegistryNameLength(name) > kMaxRegistryValueName)
    throw StoreError{ENAMETOOLONG, "the value name is longer than " + std::to_string(kMaxRegistryValueName) +
                                       " characters"};
}

// One value through the prepared upsert, which is left ready for the next.
void Upsert(Statement& upsert, std::int64_t key, const std::string& name, RegistryType type, std::string_view data) {
  CheckValueName(name);
  upsert.Bind(1, key)
      .BindText(2, name)
      .BindText(3, FoldName(name))
      .Bind(4, static_cast<std::int64_t>(type))
      .BindBlob(5, data)
      .Step();
  upsert.Reset();
}

}  // namespace

void RegistryKey::SetValue(const std::string& name, RegistryType type, std::string_view data) {
  Store::Instance().Run(true, generation_, "Cannot write " + ValueText(name), path_, [&](Session& s) {
    RequireKey(s.db, id_);
    RequireWritable(writable_);
    Statement upsert(s.db, kUpsertValue);
    Upsert(upsert, id_, name, type, data);
  });
}

void RegistryKey::SetStrings(const std::vector<std::pair<std::string, std::string>>& values) {
  if (values.empty()) return;
  Store::Instance().Run(true, generation_, "Cannot write the registry values of", path_, [&](Session& s) {
    RequireKey(s.db, id_);
    RequireWritable(writable_);
    Statement upsert(s.db, kUpsertValue);
    for (const auto& [name, text] : values) Upsert(upsert, id_, name, RegistryType::kString, EncodeRegistryString(text));
  });
}

void RegistryKey::SetString(const std::string& name, std::string_view text, RegistryType type) {
  SetValue(name, type, EncodeRegistryString(text));
}

std::optional<RegistryValue> RegistryKey::QueryValue(const std::string& name) const {
  return Store::Instance().Run(false, generation_, "Cannot read " + ValueText(name), path_, [&](Session& s) {
    RequireKey(s.db, id_);
    Statement query(s.db, "SELECT type, data FROM key_values WHERE key = ?1 AND folded = ?2");
    std::optional<RegistryValue> value;
    if (query.Bind(1, id_).BindText(2, FoldName(name)).Step())
      value = RegistryValue{static_cast<RegistryType>(query.Number(0)), query.Bytes(1)};
    return value;
  });
}

std::optional<std::string> RegistryKey::QueryString(const std::string& name) const {
  std::optional<RegistryValue> value = QueryValue(name);
  if (!value) return std::nullopt;
  if (value->type != RegistryType::kString && value->type != RegistryType::kExpandString)
    Refuse(EINVAL, "Cannot read " + ValueText(name) + " as text", path_, "the value is not text");
  return DecodeRegistryString(value->data);
}

bool RegistryKey::DeleteValue(const std::string& name) {
  return Store::Instance().Run(true, generation_, "Cannot delete " + ValueText(name), path_, [&](Session& s) {
    RequireKey(s.db, id_);
    RequireWritable(writable_);
    Statement erase(s.db, "DELETE FROM key_values WHERE key = ?1 AND folded = ?2");
    erase.Bind(1, id_).BindText(2, FoldName(name)).Step();
    return sqlite3_changes(s.db) > 0;
  });
}

std::optional<std::string> RegistryKey::EnumValueName(std::uint32_t index) const {
  return Store::Instance().Run(
      false, generation_, "Cannot list the values of the registry key", path_, [&](Session& s) {
        RequireKey(s.db, id_);
        Statement query(s.db, "SELECT name FROM key_values WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2");
        std::optional<std::string> name;
        if (query.Bind(1, id_).Bind(2, index).Step()) name = query.Bytes(0);
        return name;
      });
}

std::vector<std::pair<std::string, RegistryValue>> RegistryKey::Values() const {
  return Store::Instance().Run(
      false, generation_, "Cannot list the values of the registry key", path_, [&](Session& s) {
        RequireKey(s.db, id_);
        Statement query(s.db, "SELECT name, type, data FROM key_values WHERE key = ?1 ORDER BY seq");
        query.Bind(1, id_);
        std::vector<std::pair<std::string, RegistryValue>> values;
        while (query.Step())
          values.emplace_back(query.Bytes(0),
                              RegistryValue{static_cast<RegistryType>(query.Number(1)), query.Bytes(2)});
        return values;
      });
}

namespace {

// The names one query lists for the key `id`, in the store's order.
std::vector<std::string> ListNames(std::uint64_t generation, const std::string& path, std::int64_t id,
                                   const char* failure, const char* sql) {
  return Store::Instance().Run(false, generation, failure, path, [&](Session& s) {
    RequireKey(s.db, id);
    Statement query(s.db, sql);
    query.Bind(1, id);
    std::vector<std::string> names;
    while (query.Step()) names.push_back(query.Bytes(0));
    return names;
  });
}

}  // namespace

std::vector<std::string> RegistryKey::ValueNames() const {
  return ListNames(generation_, path_, id_, "Cannot list the values of the registry key",
                   "SELECT name FROM key_values WHERE key = ?1 ORDER BY seq");
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  return ListNames(generation_, path_, id_, "Cannot list the subkeys of the registry key",
                   "SELECT name FROM keys WHERE parent = ?1 ORDER BY id");
}

bool RegistryKey::DeleteSubKeyTree(const std::string& path) {
  return Store::Instance().Run(
      true, generation_, "Cannot delete the registry key", Below(path_, path), [&](Session& s) {
        const std::optional<std::int64_t> id = FindForDeletion(s.db, id_, path);
        if (!id) return false;
        const char* const tree =
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
            "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
        Statement values(s.db, (std::string(tree) + "DELETE FROM key_values WHERE key IN tree").c_str());
        values.Bind(1, *id).Step();
        Statement keys(s.db, (std::string(tree) + "DELETE FROM keys WHERE id IN tree").c_str());
        keys.Bind(1, *id).Step();
        return true;
      });
}

bool RegistryKey::DeleteKey(const std::string& path) {
  return Store::Instance().Run(true, generation_, "Cannot delete the registry key", Below(path_, path),
                               [&](Session& s) {
                                 const std::optional<std::int64_t> id = FindForDeletion(s.db, id_, path);
                                 if (!id) return false;
                                 if (HasSubKeys(s.db, *id))
                                   throw StoreError{ENOTEMPTY, "the key has subkeys"};
                                 Statement values(s.db, "DELETE FROM key_values WHERE key = ?1");
                                 values.Bind(1, *id).Step();
                                 Statement key(s.db, "DELETE FROM keys WHERE id = ?1");
                                 key.Bind(1, *id).Step();
                                 return true;
                               });
}

std::string FoldRegistryName(std::string_view name) { return FoldName(name); }

bool RegistryValuesInCreationOrder() { return true; }

void SetRegistryDatabasePath(const std::string& path) { Store::Instance().UsePath(path); }

void SetRegistryBusyTimeout(int milliseconds) { Store::Instance().SetBusyTimeout(milliseconds); }

RegistryTransaction::RegistryTransaction(Kind kind) { Store::Instance().Begin(kind == Kind::kWrite); }
RegistryTransaction::~RegistryTransaction() {
  if (!committed_) Store::Instance().End(false);
}
void RegistryTransaction::Commit() {
  committed_ = true;
  Store::Instance().End(true);
}

}  // namespace carvex::platform
