// What the saver's windows tell the driver: the input they receive, a close
// from outside and the first picture on the screen. The windows call it; the
// driver answers without calling back into the window that called.
#pragma once

#include <QPoint>

class QKeyEvent;

namespace tw::platform {

class WindowInput {
 public:
  virtual void keyPressed(const QKeyEvent& event) = 0;
  virtual void keyReleased(const QKeyEvent& event) = 0;
  virtual void focusLost() = 0;
  // A click on the scene window, at a point of it in logical pixels.
  virtual void clicked(QPoint logicalPixel) = 0;
  // A click on a cover, where nothing of the scene lies.
  virtual void clickedOutside() = 0;
  // The scene window was closed from outside.
  virtual void windowClosed() = 0;
  // The scene window has sent its first picture to the screen.
  virtual void firstFrameShown() = 0;

 protected:
  ~WindowInput() = default;
};

}  // namespace tw::platform
