// What a dock reads of a split: the launcher-entry signals on the session bus, for the program's
// desktop entry, climbing from 0 to 1 and ending hidden, a few a second. The test program runs
// on a private session bus of its own (dbus-run-session).
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>
#include <chrono>
#include <vector>

#include "mod_public.h"
#include "platform/files.h"
#include "progress_status.h"
#include "qt_test_support.h"
#include "splitter.h"
#include "support/headless.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

class LauncherListener : public QObject {
  Q_OBJECT

 public:
  struct Update {
    QString appUri;
    double progress;
    bool visible;
    bool urgent;
  };

  // A connection of its own, as a dock has: what the program sends reaches it through the bus.
  LauncherListener()
      : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"))) {
    listening = bus_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                             QStringLiteral("Update"), this, SLOT(OnUpdate(QString, QVariantMap)));
    // The bus answers in order: once the ping is back, the subscription is in place.
    bus_.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
  }

  bool listening = false;
  std::vector<Update> updates;

 public slots:
  void OnUpdate(const QString& appUri, const QVariantMap& properties) {
    updates.push_back({appUri, properties.value(QStringLiteral("progress"), -1.0).toDouble(),
                       properties.value(QStringLiteral("progress-visible")).toBool(),
                       properties.value(QStringLiteral("urgent")).toBool()});
  }

 private:
  QDBusConnection bus_;
};

TEST(LauncherEntry, ASplitsProgressClimbsFromZeroToOneAFewTimesASecondAndEndsHidden) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run under dbus-run-session";
  LauncherListener dock;
  ASSERT_TRUE(dock.listening);

  // A job runs while the program has a window.
  ui::FormSlot<test::StubMainForm> main;
  ui::App().MainForm = &main.Get();
  test::TempDir app, src, dest;
  OverrideAppFolders(app.Path(), app.Path());
  ClearList = ShowFinish = WriteJoinScript = kFalse;
  WriteChecksums = kTrue;
  ShowFinishedDialog = nullptr;
  CurrentMode = 1;
  src.Write("big.bin", test::PatternBytes(24 << 20, 5));
  SplitSourcePath = src.File("big.bin");
  SplitFileName = "big.bin";
  SplitFileSize = 24 << 20;
  SplitPieceSize = 1 << 20;
  SplitDestination = dest.Folder();
  SplitInProgress = true;
  const auto start = std::chrono::steady_clock::now();
  SplitFile();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(platform::PathExists(dest.File(PieceFileName("big.bin", 24))));
  OverrideAppFolders("", "");
  main.Reset();

  const auto& updates = dock.updates;
  ASSERT_TRUE(test::WaitUntil([&] { return !updates.empty() && !updates.back().visible; }))
      << updates.size() << " updates, none that hides the bar";
  ASSERT_GE(updates.size(), 3u);
  EXPECT_EQ(updates.front().progress, 0.0);
  EXPECT_TRUE(updates.front().visible);
  for (std::size_t i = 0; i < updates.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(updates[i].appUri, QStringLiteral("application://carvex.desktop"));
    EXPECT_FALSE(updates[i].urgent) << "nothing asked the user";
    if (i > 0) {
      EXPECT_GE(updates[i].progress, updates[i - 1].progress);
    }
  }
  // The full bar is shown before it goes, and the end keeps the position.
  EXPECT_EQ(updates[updates.size() - 2].progress, 1.0);
  EXPECT_TRUE(updates[updates.size() - 2].visible);
  EXPECT_EQ(updates.back().progress, 1.0);
  // 240 chunks, each of which moved the bar: besides the first, the full bar and the end, one
  // update per interval at most.
  EXPECT_LE(updates.size(), static_cast<std::size_t>(took / ui::kTaskProgressInterval) + 3)
      << "in " << took.count();
}

}  // namespace
}  // namespace carvex

#include "launcher_entry_test.moc"
