// trenchwalk-settings' one page: when the saver comes (on or off, after how
// many minutes, a lock after it and with which locker), a Preview button, and
// a line with what the launcher sees now. It configures when the saver comes,
// never what it does, and only through the settings file the launcher reads.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>

#include "idle/config/idle_settings.h"

namespace tw::settings {

class SettingsWindow : public QWidget {
 public:
  // path: the settings file; folder: where trenchwalk and trenchwalk-idle lie.
  SettingsWindow(std::string path, QString folder);

  // Writes the file whole or not at all; false, with why shown, when it
  // could not.
  bool save();

 private:
  void load();
  // The settings as the page shows them; empty, with why shown, when a
  // field cannot be written as it stands.
  std::optional<idle::IdleSettings> shown();
  void showEnabledState();
  void askStatus();
  void statusRead(int exitCode, QProcess::ExitStatus how);
  void preview();
  void tell(const QString& text);

  std::string path_;
  QString folder_;
  // What was read, so that a delay the page cannot show in whole minutes is
  // kept while its minutes are left as they were.
  idle::IdleSettings loaded_;

  QCheckBox enabled_;
  QSpinBox delayMinutes_;
  QCheckBox lock_;
  QSpinBox lockMinutes_;
  QComboBox lockerKind_;
  QLineEdit lockerCommand_;
  QPushButton previewButton_;
  QPushButton saveButton_;
  QPushButton closeButton_;
  QLabel status_;
  QLabel advice_;
  QLabel message_;
  QTimer statusTimer_;
  QProcess statusProcess_;
};

}  // namespace tw::settings
