#include "platform/start/start_messages.h"

#include <unistd.h>

#include <QString>
#include <cstdio>
#include <string>

#include "platform/start/display_check.h"

namespace tw::platform {
namespace {

void startMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    const std::string line = qtStartFailure(message.toStdString(),
                                            qEnvironmentVariable("QT_QPA_PLATFORM").toStdString());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    ::_exit(1);
  }
  if (context.category && (qstrcmp(context.category, "qt.qpa.plugin") == 0 ||
                           qstrcmp(context.category, "qt.qpa.xcb") == 0 ||
                           qstrcmp(context.category, "qt.qpa.wayland") == 0))
    return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

StartMessages::StartMessages() : previous_(qInstallMessageHandler(startMessage)) {}

void StartMessages::end() {
  if (ended_) return;
  ended_ = true;
  qInstallMessageHandler(previous_);
}

}  // namespace tw::platform
