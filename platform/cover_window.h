// The black windows over every screen but the primary one, and what they share
// with the scene window: the flags of a saver's window and what a click is.
#pragma once

#include <QBackingStore>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <memory>

#include "platform/x11_surface.h"

class QMouseEvent;

namespace tw::platform {

class Saver;

// Full screen, no frame, above other windows.
inline constexpr Qt::WindowFlags kSaverWindowFlags =
    Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

// A click, out of a window's mouse events: a press of any of the three
// buttons, then the release of the last button held.
class ClickTracker {
 public:
  void pressed(const QMouseEvent& event);
  // Whether this release completes a click.
  bool released(const QMouseEvent& event);

 private:
  bool pressed_ = false;
};

// A plain black window over one screen other than the primary. Keys, the loss
// of the focus and clicks go to the saver exactly as the scene window's do, so
// whichever window the desktop gives the keyboard or the pointer to, the
// saver answers the same. It is painted only when the window system asks.
class CoverWindow : public QWindow {
 public:
  // Placed on `screen` and sized to it; nothing is created or shown yet.
  CoverWindow(Saver& saver, QScreen* screen);
  ~CoverWindow() override;

  // Creates the native window on its screen and shows it full-screen there.
  void showOnItsScreen();
  // The screen it was made for; null once that screen is gone.
  QScreen* coveredScreen() const { return covered_; }

 protected:
  void exposeEvent(QExposeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void paintBlack();

  Saver& saver_;
  QPointer<QScreen> covered_;
  std::unique_ptr<X11Surface> x11_;
  std::unique_ptr<QBackingStore> store_;
  ClickTracker click_;
};

}  // namespace tw::platform
