// The SQLite store behind the registry on systems that have none.

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace carvex::platform {
namespace {

using test::TempDir;

constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;

// Restores an environment variable when the test ends.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (saved_)
      ::setenv(name_, saved_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

class RegistryStoreTest : public testing::Test {
 protected:
  void SetUp() override { SetRegistryDatabasePath(database_); }
  void TearDown() override { SetRegistryDatabasePath(""); }

  TempDir temp_;
  std::string database_ = temp_.File("registry.db");
};

using test::ExitCode;
using test::RunInChild;

TEST_F(RegistryStoreTest, SubkeysEnumerateInCreationOrder) {
  // Windows itself lists subkeys sorted by name; only the store promises creation order.
  RegistryKey base = RegistryKey::Create(kUser, "Software\\Order");
  for (const char* name : {"zeta", "Alpha", "mid"}) base.CreateSubKey(name);
  EXPECT_EQ(base.SubKeyNames(), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
  base.DeleteSubKeyTree("Alpha");
  base.CreateSubKey("ALPHA");
  EXPECT_EQ(base.SubKeyNames(), (std::vector<std::string>{"zeta", "mid", "ALPHA"}));
}

TEST_F(RegistryStoreTest, ATransactionKeepsAllItsChangesOrNone) {
  for (const bool commit : {false, true}) {
    RegistryKey::Create(kUser, "Software\\T").DeleteSubKeyTree("K");
    {
      RegistryTransaction transaction;
      RegistryKey key = RegistryKey::Create(kUser, "Software\\T\\K\\Sub");
      key.SetString("a", "1");
      // A refused operation undoes only itself.
      EXPECT_THROW(RegistryKey::Open(kUser, "Software\\T")->DeleteKey("K"), RuntimeError);
      key.SetString("b", "2");
      if (commit) transaction.Commit();
    }
    const auto key = RegistryKey::Open(kUser, "Software\\T\\K\\Sub");
    EXPECT_EQ(key ? key->Values().size() : 0u, commit ? 2u : 0u);
  }
}

TEST_F(RegistryStoreTest, RootsAreSeparate) {
  RegistryKey::Create(RegistryRoot::kCurrentUser, "Software\\Same").SetString("v", "user");
  RegistryKey::Create(RegistryRoot::kLocalMachine, "Software\\Same").SetString("v", "machine");
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::kCurrentUser, "Software\\Same")->QueryString("v"), "user");
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::kLocalMachine, "Software\\Same")->QueryString("v"), "machine");
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::kClassesRoot, "Software\\Same"));
}

TEST_F(RegistryStoreTest, KeyPathsWithEmptyNamesAreRefused) {
  EXPECT_THROW(RegistryKey::Create(kUser, "\\Software"), RuntimeError);
  EXPECT_THROW(RegistryKey::Create(kUser, "Software\\\\x"), RuntimeError);
  // A trailing separator is harmless, as in Windows.
  RegistryKey::Create(kUser, "Software\\y\\").SetString("v", "1");
  EXPECT_EQ(RegistryKey::Open(kUser, "Software\\y")->QueryString("v"), "1");
}

TEST_F(RegistryStoreTest, ValuesSurviveReopeningTheDatabase) {
  RegistryKey::Create(kUser, "Software\\Kept").SetValue("v", RegistryType::kBinary, "abc");
  SetRegistryDatabasePath(database_);
  EXPECT_EQ(RegistryKey::Open(kUser, "Software\\Kept")->QueryValue("v"),
            (RegistryValue{RegistryType::kBinary, "abc"}));
}

TEST_F(RegistryStoreTest, KeysFromAnotherDatabaseAreRefused) {
  RegistryKey old = RegistryKey::Create(kUser, "Software\\Old");
  SetRegistryDatabasePath(temp_.File("other.db"));
  EXPECT_THROW(old.SetString("v", "x"), RuntimeError);
  EXPECT_FALSE(RegistryKey::Open(kUser, "Software\\Old"));
}

TEST_F(RegistryStoreTest, DatabaseFileFollowsTheChosenPathThenVariableThenConfigFolder) {
  struct Case {
    const char* label;
    bool choosePath;
    const char* variable;  // null: unset
    std::string expected;
  };
  const std::string chosen = temp_.File("chosen.db");
  const std::string variable = temp_.File("variable.db");
  const std::string config = temp_.File("config") + "/carvex/registry.db";
  const Case cases[] = {
      {"chosen path wins", true, variable.c_str(), chosen},
      {"variable", false, variable.c_str(), variable},
      {"empty variable", false, "", config},
      {"no variable", false, nullptr, config},
  };
  const ScopedVariable xdg("XDG_CONFIG_HOME", temp_.File("config").c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ScopedVariable override("CARVEX_REGISTRY_DB", c.variable);
    SetRegistryDatabasePath(c.choosePath ? chosen : "");
    RegistryKey::Create(kUser, "Software\\Here").SetString("case", c.label);
    SetRegistryDatabasePath(c.expected);
    std::optional<RegistryKey> key = RegistryKey::Open(kUser, "Software\\Here");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryString("case"), c.label);
  }
}

TEST_F(RegistryStoreTest, AFileThatIsNoDatabaseIsAClearError) {
  temp_.Write("garbage.db", std::string(8192, 'x'));
  SetRegistryDatabasePath(temp_.File("garbage.db"));
  try {
    RegistryKey::Create(kUser, "Software\\X");
    FAIL() << "a text file was used as the database";
  } catch (const RuntimeError& error) {
    EXPECT_NE(error.Description().find("not a database"), std::string::npos) << error.Description();
    EXPECT_NE(error.Description().find(temp_.File("garbage.db")), std::string::npos) << error.Description();
  }
  // The failed attempt leaves nothing behind: the next file works.
  SetRegistryDatabasePath(database_);
  RegistryKey::Create(kUser, "Software\\X").SetString("v", "fine");
  EXPECT_EQ(RegistryKey::Open(kUser, "Software\\X")->QueryString("v"), "fine");
}

TEST_F(RegistryStoreTest, ProcessesWritingAndReadingAtOnceSeeWholeValues) {
  const std::string first = test::PatternBytes(256 * 1024, 1);
  const std::string second = test::PatternBytes(256 * 1024, 2);
  RegistryKey::Create(kUser, "Software\\Shared").SetValue("blob", RegistryType::kBinary, first);
  // The children find the database through the variable, as separate programs would.
  const ScopedVariable variable("CARVEX_REGISTRY_DB", database_.c_str());
  SetRegistryDatabasePath("");

  const auto writer = [&](std::uint32_t seed) {
    return [&, seed] {
      RegistryKey key = *RegistryKey::Open(kUser, "Software\\Shared");
      for (std::uint32_t i = 0; i < 120; ++i)
        key.SetValue("blob", RegistryType::kBinary, (i + seed) % 2 ? first : second);
      return 0;
    };
  };
  const auto reader = [&] {
    RegistryKey key = *RegistryKey::Open(kUser, "Software\\Shared", RegistryAccess::kRead);
    for (int i = 0; i < 300; ++i) {
      const std::optional<RegistryValue> value = key.QueryValue("blob");
      if (!value || (value->data != first && value->data != second)) return 1;
    }
    return 0;
  };
  const pid_t children[] = {RunInChild(writer(0)), RunInChild(writer(1)), RunInChild(reader)};
  for (pid_t child : children) EXPECT_EQ(ExitCode(child), 0) << "1: torn value, 2: error";

  const std::optional<RegistryValue> last = RegistryKey::Open(kUser, "Software\\Shared")->QueryValue("blob");
  ASSERT_TRUE(last);
  EXPECT_TRUE(last->data == first || last->data == second);
}

TEST_F(RegistryStoreTest, AWriterKilledMidWayLeavesAReadableStore) {
  const std::string first = test::PatternBytes(512 * 1024, 3);
  const std::string second = test::PatternBytes(512 * 1024, 4);
  RegistryKey::Create(kUser, "Software\\Crash").SetValue("blob", RegistryType::kBinary, first);
  SetRegistryDatabasePath(database_);
  for (int round = 0; round < 3; ++round) {
    const pid_t child = RunInChild([&] {
      RegistryKey key = *RegistryKey::Open(kUser, "Software\\Crash");
      for (std::uint32_t i = 0;; ++i) {
        key.SetValue("blob", RegistryType::kBinary, i % 2 ? first : second);
        key.CreateSubKey("k" + std::to_string(i));
      }
      return 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + 70 * round));
    ::kill(child, SIGKILL);
    EXPECT_EQ(ExitCode(child), 128 + SIGKILL);
  }
  SetRegistryDatabasePath(database_);
  RegistryKey key = *RegistryKey::Open(kUser, "Software\\Crash");
  const std::optional<RegistryValue> value = key.QueryValue("blob");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->data == first || value->data == second);
  key.SetString("after", "writable");
  EXPECT_EQ(key.QueryString("after"), "writable");
  EXPECT_TRUE(key.DeleteSubKeyTree("k0"));
}


// Windows' limits, so that a menu made here can be written there, and a tree deep enough to
// exhaust a reader's stack cannot be made at all.
TEST_F(RegistryStoreTest, KeysAndNamesStayWithinWindowsLimits) {
  std::string deepest;
  for (std::size_t level = 1; level < kMaxRegistryDepth; ++level) deepest += "k\\";
  RegistryKey::Create(kUser, deepest + "last");
  const std::string tooLong(kMaxRegistryKeyName + 1, 'n');
  const std::function<void()> refused[] = {
      [&] { RegistryKey::Create(kUser, deepest + "last\\one more"); },
      [&] { RegistryKey::Open(kUser, deepest + "last")->CreateSubKey("one more"); },
      [&] { RegistryKey::Create(kUser, "Software\\" + tooLong); },
      [&] { RegistryKey::Create(kUser, "Software").SetString(std::string(kMaxRegistryValueName + 1, 'v'), ""); },
      [&] { RegistryKey::Create(kUser, "Software").SetStrings({{"fine", ""}, {std::string(kMaxRegistryValueName + 1, 'v'), ""}}); },
  };
  for (const auto& attempt : refused) EXPECT_THROW(attempt(), RuntimeError);
  EXPECT_FALSE(RegistryKey::Open(kUser, "Software")->QueryValue("fine")) << "a refused list was half written";
  // Names are measured in UTF-16 units, as Windows measures them: 255 letters of two bytes fit.
  std::string accented;
  for (std::size_t i = 0; i < kMaxRegistryKeyName; ++i) accented += "\xC3\xA9";
  RegistryKey::Create(kUser, "Software\\" + accented).SetString(std::string(kMaxRegistryValueName, 'v'), "x");
  EXPECT_EQ(RegistryNameLength(accented), kMaxRegistryKeyName);
}

// A reader neither takes nor waits for the write lock, and a store the user may not write
// (a read-only home) is still read.
TEST_F(RegistryStoreTest, ReadersNeverWaitForTheWriteLock) {
  RegistryKey::Create(kUser, "Software\\R").SetString("v", "kept");
  SetRegistryDatabasePath("");
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(database_.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  SetRegistryDatabasePath(database_);
  SetRegistryBusyTimeout(50);
  EXPECT_EQ(RegistryKey::Open(kUser, "Software\\R", RegistryAccess::kRead)->QueryString("v"), "kept");
  {
    RegistryTransaction snapshot(RegistryTransaction::Kind::kRead);
    EXPECT_EQ(RegistryKey::Open(kUser, "Software\\R")->QueryString("v"), "kept");
    EXPECT_THROW(RegistryKey::Open(kUser, "Software\\R")->SetString("v", "changed"), RuntimeError);
  }
  EXPECT_THROW(RegistryKey::Create(kUser, "Software\\R").SetString("v", "changed"), RuntimeError);
  SetRegistryBusyTimeout(5000);
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
}

TEST_F(RegistryStoreTest, AStoreThatCannotBeWrittenIsRead) {
  RegistryKey::Create(kUser, "Software\\R").SetString("v", "kept");
  SetRegistryDatabasePath("");
  const std::string folder = temp_.File("");
  ::chmod(folder.c_str(), 0555);
  ::chmod(database_.c_str(), 0444);
  // Root may write anywhere: the reader runs as nobody, as a user with a read-only home does.
  const pid_t child = RunInChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    for (const std::string& database : {database_, temp_.File("missing.db")}) {
      SetRegistryDatabasePath(database);
      const auto key = RegistryKey::Open(kUser, "Software\\R", RegistryAccess::kRead);
      if (database == database_ && (!key || key->QueryString("v") != "kept")) return 4;
      if (database != database_ && key) return 5;
      try {
        RegistryKey::Create(kUser, "Software\\R").SetString("v", "changed");
        return 6;
      } catch (const RuntimeError&) {
      }
    }
    return 0;
  });
  const int code = ExitCode(child);
  ::chmod(folder.c_str(), 0755);
  ::chmod(database_.c_str(), 0644);
  EXPECT_EQ(code, 0) << "2: error, 3: no unprivileged user, 4: not read, 5: a missing store, 6: written";
  SetRegistryDatabasePath(database_);
  EXPECT_EQ(RegistryKey::Open(kUser, "Software\\R")->QueryString("v"), "kept");
}

}  // namespace
}  // namespace carvex::platform
