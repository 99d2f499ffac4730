// The black windows over every screen but the primary one.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QScreen>
#include <memory>

#include "platform/surface/surface.h"
#include "platform/windows/saver_window.h"
#include "platform/windows/window_input.h"

namespace tw::platform {

// A plain black window over one screen other than the primary. Keys, the loss
// of the focus and clicks go to the driver exactly as the scene window's do, so
// whichever window the desktop gives the keyboard or the pointer to, the
// saver answers the same. It is painted only when the window system asks.
class CoverWindow : public SaverWindow {
 public:
  // Placed on `screen` and sized to it; nothing is created or shown yet.
  CoverWindow(WindowInput& input, QScreen* screen, const QIcon& icon);
  ~CoverWindow() override;

  // Creates the native window on its screen and shows it full-screen there.
  void showOnItsScreen();
  // The screen it was made for; null once that screen is gone.
  QScreen* coveredScreen() const { return covered_; }
  // The surface it shows black through, once it has been exposed; for the
  // tests.
  const Surface* surface() const { return surface_.get(); }

 protected:
  void exposeEvent(QExposeEvent* event) override;
  bool event(QEvent* event) override;
  void clickedAt(QPoint at) override;

 private:
  void paintBlack();

  QPointer<QScreen> covered_;
  std::unique_ptr<Surface> surface_;
};

}  // namespace tw::platform
