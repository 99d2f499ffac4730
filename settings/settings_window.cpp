#include "settings/settings_window.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QSaveFile>
#include <QShortcut>
#include <QStringList>
#include <QVBoxLayout>
#include <utility>

#include "common/small_file.h"

namespace tw::settings {

namespace {

constexpr int kSecondsPerMinute = 60;
// Often enough to follow a film that starts holding idle back, seldom
// enough that the launcher's status, which asks the desktop, costs nothing.
constexpr int kStatusEveryMs = 2000;
constexpr int kCommandWidthInCharacters = 24;
// What the lock field offers while the lock is off.
constexpr int kSuggestedLockMinutes = 10;
constexpr int kLockerDesktop = 0;
constexpr int kLockerCommand = 1;
const char* const kStatusPrefix = "trenchwalk-idle: ";

// The minutes the page shows for a delay in seconds: rounded up, so that a
// delay under a minute shows as one.
int minutesOf(unsigned seconds) {
  return static_cast<int>((seconds + kSecondsPerMinute - 1) / kSecondsPerMinute);
}

}  // namespace

SettingsWindow::SettingsWindow(std::string path, QString folder)
    : path_(std::move(path)), folder_(std::move(folder)) {
  setWindowTitle(tr("Trenchwalk Settings"));

  enabled_.setText(tr("Start the saver when the session is &idle"));
  delayMinutes_.setRange(1, static_cast<int>(idle::kLongestDelaySeconds) / kSecondsPerMinute);
  delayMinutes_.setSuffix(tr(" min"));
  delayMinutes_.setAccessibleName(tr("Start after, in minutes of no input"));
  lock_.setText(tr("&Lock the session after the saver has run for"));
  lockMinutes_.setRange(1, static_cast<int>(idle::kLongestLockAfterMinutes));
  lockMinutes_.setSuffix(tr(" min"));
  lockMinutes_.setAccessibleName(tr("Lock after, in minutes of the saver"));
  lockerKind_.addItems({tr("The desktop's own"), tr("This command:")});
  lockerKind_.setAccessibleName(tr("Locker"));
  lockerCommand_.setPlaceholderText(tr("swaylock -f"));
  lockerCommand_.setAccessibleName(tr("Locker command"));
  previewButton_.setText(tr("&Preview"));
  previewButton_.setAccessibleDescription(tr("Runs the saver now; a key or a click ends it"));
  saveButton_.setText(tr("&Save"));
  closeButton_.setText(tr("&Close"));
  // Unwrapped lines, broken where the text says, so that the page's size
  // follows them (a wrapped label leaves a window squeezed).
  for (QLabel* label : {&status_, &advice_, &message_}) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  status_.setAccessibleName(tr("What the launcher sees now"));
  advice_.hide();

  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  form->addRow(&enabled_);
  auto* delayLabel = new QLabel(tr("Start &after:"));
  delayLabel->setBuddy(&delayMinutes_);
  form->addRow(delayLabel, &delayMinutes_);
  auto* lockRow = new QHBoxLayout;
  lockRow->addWidget(&lock_);
  lockRow->addWidget(&lockMinutes_);
  lockRow->addStretch();
  form->addRow(lockRow);
  auto* lockerLabel = new QLabel(tr("Loc&ker:"));
  lockerLabel->setBuddy(&lockerKind_);
  auto* lockerRow = new QHBoxLayout;
  lockerRow->addWidget(&lockerKind_);
  lockerRow->addWidget(&lockerCommand_, 1);
  form->addRow(lockerLabel, lockerRow);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(&previewButton_);
  buttons->addStretch();
  buttons->addWidget(&saveButton_);
  buttons->addWidget(&closeButton_);
  auto* page = new QVBoxLayout(this);
  page->addLayout(form);
  page->addWidget(&status_);
  page->addWidget(&advice_);
  page->addWidget(&message_);
  page->addStretch();
  page->addLayout(buttons);
  // The page grows with the status and the messages, never squeezing the
  // fields; the command's width follows the desktop's font.
  page->setSizeConstraint(QLayout::SetMinimumSize);
  lockerCommand_.setMinimumWidth(fontMetrics().averageCharWidth() * kCommandWidthInCharacters);

  connect(&enabled_, &QCheckBox::toggled, this, &SettingsWindow::showEnabledState);
  connect(&lock_, &QCheckBox::toggled, this, &SettingsWindow::showEnabledState);
  connect(&lockerKind_, &QComboBox::currentIndexChanged, this, &SettingsWindow::showEnabledState);
  connect(&previewButton_, &QPushButton::clicked, this, &SettingsWindow::preview);
  connect(&saveButton_, &QPushButton::clicked, this, &SettingsWindow::save);
  connect(&closeButton_, &QPushButton::clicked, this, &QWidget::close);
  connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this,
          &SettingsWindow::save);
  connect(new QShortcut(QKeySequence::Close, this), &QShortcut::activated, this, &QWidget::close);

  // The status is asked in a process of its own, never waited for: a
  // desktop slow to answer it never stops the page.
  statusProcess_.setProgram(folder_ + "/trenchwalk-idle");
  statusProcess_.setArguments({"--status"});
  // Its line only: a warning of a library on its way would widen the page.
  statusProcess_.setStandardErrorFile(QProcess::nullDevice());
  connect(&statusProcess_, &QProcess::finished, this, &SettingsWindow::statusRead);
  connect(&statusProcess_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
      status_.setText(tr("Now: %1 cannot be run (%2).")
                          .arg(statusProcess_.program(), statusProcess_.errorString()));
  });
  connect(&statusTimer_, &QTimer::timeout, this, &SettingsWindow::askStatus);
  statusTimer_.start(kStatusEveryMs);

  load();
  askStatus();
}

void SettingsWindow::load() {
  const common::SmallFile file = common::readSmallFile(path_);
  const idle::SettingsReading reading = idle::readingOf(path_, file.text, file.problem);
  loaded_ = idle::settle(idle::CommandLine{}, reading.settings);
  enabled_.setChecked(loaded_.enabled);
  delayMinutes_.setValue(minutesOf(loaded_.delaySeconds));
  lock_.setChecked(loaded_.lockAfterMinutes != 0);
  lockMinutes_.setValue(loaded_.lockAfterMinutes == 0 ? kSuggestedLockMinutes
                                                      : static_cast<int>(loaded_.lockAfterMinutes));
  lockerKind_.setCurrentIndex(loaded_.locker.empty() ? kLockerDesktop : kLockerCommand);
  lockerCommand_.setText(QString::fromStdString(loaded_.locker));
  showEnabledState();
  // The launcher's own warnings, the file's name left out: the page is about it.
  QStringList problems;
  const QString prefix = QString::fromStdString(path_) + ':';
  for (const std::string& warning : reading.warnings) {
    QString problem = QString::fromStdString(warning);
    if (problem.startsWith(prefix)) problem = tr("Line %1").arg(problem.mid(prefix.size()));
    problems << problem;
  }
  tell(problems.join('\n'));
}

void SettingsWindow::showEnabledState() {
  delayMinutes_.setEnabled(enabled_.isChecked());
  lock_.setEnabled(enabled_.isChecked());
  lockMinutes_.setEnabled(enabled_.isChecked() && lock_.isChecked());
  lockerKind_.setEnabled(enabled_.isChecked() && lock_.isChecked());
  lockerCommand_.setEnabled(lockerKind_.isEnabled() &&
                            lockerKind_.currentIndex() == kLockerCommand);
}

std::optional<idle::IdleSettings> SettingsWindow::shown() {
  idle::IdleSettings settings;
  settings.enabled = enabled_.isChecked();
  // A delay the page rounded to show stays as the file had it until changed.
  const int minutes = delayMinutes_.value();
  settings.delaySeconds = minutes == minutesOf(loaded_.delaySeconds)
                              ? loaded_.delaySeconds
                              : static_cast<unsigned>(minutes * kSecondsPerMinute);
  settings.lockAfterMinutes = lock_.isChecked() ? static_cast<unsigned>(lockMinutes_.value()) : 0;
  if (lockerKind_.currentIndex() == kLockerCommand) {
    const QString command = lockerCommand_.text().trimmed();
    if (command.isEmpty() && lock_.isChecked()) {
      tell(tr("Not saved: give the locker's command, or choose the desktop's own."));
      return std::nullopt;
    }
    // The file reads a # after a space as a comment.
    if (command.startsWith('#') || command.contains(" #") || command.contains("\t#")) {
      tell(tr("Not saved: the locker's command cannot hold a # after a space."));
      return std::nullopt;
    }
    settings.locker = command.toStdString();
  }
  return settings;
}

bool SettingsWindow::save() {
  const std::optional<idle::IdleSettings> settings = shown();
  if (!settings) return false;
  // Read again, so that lines written since the page opened are kept too;
  // a file that is there but cannot be read is never written over.
  const common::SmallFile now = common::readSmallFile(path_);
  if (!now.problem.empty()) {
    tell(tr("Not saved: %1 cannot be read (%2),\nand writing it would lose what it holds.")
             .arg(QString::fromStdString(path_), QString::fromStdString(now.problem)));
    return false;
  }
  const QString path = QString::fromStdString(path_);
  const std::string text = idle::rewriteSettings(now.text.value_or(""), *settings);
  QSaveFile file(path);
  const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) &&
                       file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) ==
                           static_cast<qint64>(text.size()) &&
                       file.commit();
  if (!written) {
    tell(tr("Not saved: %1: %2").arg(path, file.errorString()));
    return false;
  }
  loaded_ = *settings;
  tell(tr("Saved in %1.\nA running launcher follows it within a second.").arg(path));
  return true;
}

void SettingsWindow::askStatus() {
  if (statusProcess_.state() == QProcess::NotRunning) statusProcess_.start();
}

void SettingsWindow::statusRead(int exitCode, QProcess::ExitStatus how) {
  QString line = QString::fromLocal8Bit(statusProcess_.readAll()).trimmed();
  if (how != QProcess::NormalExit || exitCode != 0) {
    status_.setText(tr("Now: the launcher's status could not be read: %1").arg(line));
    return;
  }
  if (line.startsWith(kStatusPrefix)) line.remove(0, static_cast<int>(qstrlen(kStatusPrefix)));
  status_.setText(tr("What the launcher sees now:\n    %1").arg(line.split("; ").join("\n    ")));
  const bool running = line.contains(QStringLiteral("launcher: running"));
  advice_.setVisible(!running);
  advice_.setText(
      tr("The launcher is not running, so the saver does not come by itself.\n"
         "Start it with:\n    systemctl --user enable --now trenchwalk-idle.service\n"
         "or, outside systemd, add trenchwalk-idle to your session's autostart\n"
         "(see trenchwalk-idle(1))."));
}

void SettingsWindow::preview() {
  const QString saver = folder_ + "/trenchwalk";
  if (!QProcess::startDetached(saver, {}))
    tell(tr("The saver could not be started: %1").arg(saver));
}

void SettingsWindow::tell(const QString& text) { message_.setText(text); }

}  // namespace tw::settings
