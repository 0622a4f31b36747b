#include "launcher_entry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

namespace carvex::ui {

namespace {

// A signal, not a service: the docks that draw launcher progress listen for it from any sender,
// and its path is ours to choose.
constexpr char kPath[] = "/com/orvane/carvex/launcher";
constexpr char kInterface[] = "com.canonical.Unity.LauncherEntry";
constexpr char kAppUri[] = "application://carvex.desktop";

// Only a bus that already runs: asked for a session bus without one, D-Bus would start one for
// a progress bar that nobody could see.
bool SessionBusRuns() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

void ShowOnLauncher(const TaskProgress& progress) {
  static const bool connected = SessionBusRuns() && QDBusConnection::sessionBus().isConnected();
  if (!connected) return;
  QDBusMessage update = QDBusMessage::createSignal(QString::fromLatin1(kPath),
                                                   QString::fromLatin1(kInterface), QStringLiteral("Update"));
  QVariantMap properties;
  properties.insert(QStringLiteral("progress"), progress.Fraction());
  properties.insert(QStringLiteral("progress-visible"), progress.state != TaskState::kNone);
  // A job that waits for an answer, or has failed, wants the user.
  properties.insert(QStringLiteral("urgent"),
                    progress.state == TaskState::kPaused || progress.state == TaskState::kError);
  update << QString::fromLatin1(kAppUri) << properties;
  QDBusConnection::sessionBus().send(update);
}

}  // namespace carvex::ui
