// The saver. It reads no command line: however it is started, it behaves the same.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "platform/start/display_check.h"
#include "platform/system/end_signals.h"
#include "platform/system/fontconfig_warm_up.h"
#include "platform/system/heartbeat.h"
#include "platform/start/log_claim.h"
#include "platform/system/no_opengl.h"
#include "platform/system/process_limits.h"
#include "platform/start/qt_arguments.h"
#include "platform/start/saver_run.h"
#include "common/lock_file.h"
#include "platform/start/start_messages.h"
#include "platform/driver/tick_observer.h"

namespace {

int failWith(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  return 1;
}

}  // namespace

int main() {
  namespace platform = tw::platform;
  platform::survivePipesAndFileLimits();
  // Before any thread starts: the signals that end the run are blocked in
  // every thread and read by the event loop, and the environment is changed
  // only while no thread can read it. A signal before the run has started
  // ends it as soon as it has.
  platform::EndSignals endSignals;
  platform::Heartbeat heartbeat(platform::takeHeartbeatDescriptor());
  if (!platform::roomToStart()) return 1;
  // Before anything else: without a display there is nothing to do but say so.
  platform::SystemDisplayProbe probe;
  const platform::StartPlan plan =
      platform::planStart(platform::DisplayEnvironment::ofThisProcess(), probe);
  if (!plan.error.empty()) return failWith(plan.error);

  platform::QtArguments arguments(plan.platformArgument);
  platform::FontconfigWarmUp fontconfig;
  platform::NoOpenGL noOpenGL;
  platform::StartMessages startMessages;
  QApplication app(arguments.count(), arguments.values());
  noOpenGL.settle();
  startMessages.end();
  probe.letGo();
  if (!QGuiApplication::primaryScreen())
    return failWith(platform::noScreenFailure(QGuiApplication::platformName().toStdString()));
  QApplication::setApplicationName(QStringLiteral("trenchwalk"));
  QApplication::setQuitOnLastWindowClosed(false);
  fontconfig.finish();

  platform::LogClaim log;
  if (log.take(std::cerr) == tw::common::LockOutcome::HeldElsewhere) return 0;
  const std::unique_ptr<platform::TickObserver> observer = platform::makeTickObserver();
  return platform::runSaver(log.folder(), observer.get(), endSignals, heartbeat);
}
