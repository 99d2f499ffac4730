#include "walk/wave.h"

namespace tw {
namespace {

constexpr int kFirstWaveFrame = 1;

}  // namespace

void Wave::startWave() {
  if (timers_.fallTimer.enabled()) return;
  constexpr int32_t kWaveInterval = 100;
  // The wave pictures are taller than the walking ones; lifting the sprite
  // keeps the walker standing on the lane.
  constexpr int32_t kWaveLift = 30;
  waveFrame = kFirstWaveFrame;
  timers_.waveTimer.setInterval(kWaveInterval);
  timers_.waveTimer.setEnabled(true);
  timers_.walkTimer.setEnabled(false);
  scene_.walker.top = static_cast<float>(course_.walkerTop - kWaveLift);
}

void Wave::waveTick() {
  scene_.showTimeOfDay();
  scene_.walker.picture = scene_.waveFrames.picture(waveFrame);
  constexpr int kLastWaveFrame = 10;
  if (waveFrame >= kLastWaveFrame) {
    waveFrame = kFirstWaveFrame;
  } else {
    ++waveFrame;
  }
}

void Wave::messageTimedOut() {
  scene_.message.visible = false;
  if (timers_.waveTimer.enabled()) {
    timers_.waveTimer.setEnabled(false);
    timers_.walkTimer.setEnabled(true);
    standOnLane();
  }
  timers_.messageTimeout.setEnabled(false);
}

void Wave::showMessage(const std::string& text) {
  scene_.message.setCaption(text);
  scene_.message.visible = true;
}

void Wave::hideMessage() {
  timers_.waveTimer.setEnabled(false);
  scene_.message.setCaption("");
  if (scene_.message.visible) standOnLane();
  scene_.message.visible = false;
  if (!timers_.fallTimer.enabled()) timers_.walkTimer.setEnabled(true);
}

void Wave::standOnLane() { scene_.walker.top = static_cast<float>(course_.walkerTop); }

}  // namespace tw
