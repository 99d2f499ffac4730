// trenchwalk-settings: the settings window, one per user.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/executable_folder.h"
#include "common/lock_file.h"
#include "idle/config/idle_settings.h"
#include "settings/settings_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("trenchwalk-settings"));
  QApplication::setApplicationDisplayName(QObject::tr("Trenchwalk Settings"));
  QApplication::setDesktopFileName(QStringLiteral("trenchwalk-settings"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("trenchwalk")));

  const std::optional<std::string> path =
      tw::idle::settingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  const std::string folder = tw::common::executableFolder();
  if (!path || folder.empty()) {
    QMessageBox::critical(nullptr, QObject::tr("Trenchwalk Settings"),
                          !path ? QObject::tr("Neither XDG_CONFIG_HOME nor HOME is set, so the "
                                              "settings file has no place.")
                                : QObject::tr("This program cannot find its own folder."));
    return 1;
  }

  // One window per user: the runtime folder is the user's own. Without one,
  // a second window can open, and the last to save wins.
  tw::common::LockFile lock;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    constexpr mode_t kLockFileMode = 0600;
    int error = 0;
    if (lock.tryLock(std::string(runtime) + "/trenchwalk-settings.lock", kLockFileMode, error) ==
        tw::common::LockOutcome::HeldElsewhere) {
      QMessageBox::information(nullptr, QObject::tr("Trenchwalk Settings"),
                               QObject::tr("Trenchwalk Settings is already open."));
      return 0;
    }
  }

  tw::settings::SettingsWindow window(*path, QString::fromStdString(folder));
  window.show();
  return QApplication::exec();
}
