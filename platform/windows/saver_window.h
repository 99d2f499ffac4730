// What the scene window and the covers have in common: frameless, above other
// windows, the saver's cursor, and the input they take, which goes to the
// driver the same way from either, so that whichever window the desktop gives
// the keyboard or the pointer to, the saver answers the same.
#pragma once

#include <QPoint>
#include <QWindow>

#include "platform/windows/window_input.h"

namespace tw::platform {

class SaverWindow : public QWindow {
 public:
  explicit SaverWindow(WindowInput& input);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // A click (a press of any of the three buttons, then the release of the
  // last button held) ended at `at`, in logical pixels of this window.
  virtual void clickedAt(QPoint at) = 0;

  WindowInput& input_;

 private:
  bool pressed_ = false;
};

}  // namespace tw::platform
