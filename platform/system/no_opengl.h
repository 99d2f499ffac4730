// The saver never draws with OpenGL, yet Qt's platform plugins would load
// an OpenGL integration (on Wayland the EGL one, which brings in Mesa's
// driver and LLVM: some 50 MB of memory). Naming one that does not exist
// keeps them out. The variables are Qt's own; whatever the user had set is
// given back once Qt has read them, so that programs the saver starts (the
// browser) get the environment it was given.
#pragma once

#include <QByteArray>

#include "common/no_copy.h"

namespace tw::platform {

class NoOpenGL : private common::NoCopy {
 public:
  // Before QApplication: names no integration.
  NoOpenGL();

  // After QApplication: Qt's Wayland plugin reads its variable the first time
  // it is asked about OpenGL, which is asked here, while the message Qt gives
  // about the integration it could not load is left out. Then gives the
  // variables back as they were.
  void settle();

 private:
  struct Setting {
    const char* name;
    bool wasSet = false;
    QByteArray was;
  };
  Setting settings_[2] = {{"QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", false, {}},
                          {"QT_XCB_GL_INTEGRATION", false, {}}};
};

}  // namespace tw::platform
