#include "platform/windows/saver_window.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/windows/cursor.h"

namespace tw::platform {

SaverWindow::SaverWindow(WindowInput& input) : input_(input) {
  setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setCursor(saverCursor());
}

void SaverWindow::keyPressEvent(QKeyEvent* event) { input_.keyPressed(*event); }

void SaverWindow::keyReleaseEvent(QKeyEvent* event) { input_.keyReleased(*event); }

void SaverWindow::focusOutEvent(QFocusEvent* event) {
  input_.focusLost();
  QWindow::focusOutEvent(event);
}

void SaverWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton ||
      event->button() == Qt::MiddleButton)
    pressed_ = true;
}

void SaverWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->buttons() != Qt::NoButton) return;
  pressed_ = false;
  clickedAt(event->position().toPoint());
}

}  // namespace tw::platform
