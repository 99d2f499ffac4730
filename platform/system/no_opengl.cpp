#include "platform/system/no_opengl.h"

#include <QOpenGLContext>
#include <QtGlobal>

namespace tw::platform {

NoOpenGL::NoOpenGL() {
  for (Setting& s : settings_) {
    s.wasSet = qEnvironmentVariableIsSet(s.name);
    s.was = qgetenv(s.name);
    qputenv(s.name, QByteArrayLiteral("none"));
  }
}

void NoOpenGL::settle() {
  (void)QOpenGLContext::supportsThreadedOpenGL();
  for (const Setting& s : settings_) {
    if (s.wasSet)
      qputenv(s.name, s.was);
    else
      qunsetenv(s.name);
  }
}

}  // namespace tw::platform
