#include "walk/wave.h"

namespace tw {
namespace {

constexpr int kFirstWaveFrame = 1;

}  // namespace

void Wave::startWave() {
  if (motion_.mode() != Mode::Walking) return;
  constexpr int32_t kWaveInterval = 100;
  // The wave pictures are taller than the walking ones; lifting the sprite
  // keeps the walker standing on the lane.
  constexpr int32_t kWaveLift = 30;
  waveFrame_ = kFirstWaveFrame;
  motion_.wave(kWaveInterval);
  scene_.walker.top = static_cast<float>(course_.walkerTop() - kWaveLift);
}

void Wave::waveTick() {
  scene_.showTimeOfDay();
  scene_.walker.picture = scene_.waveFrames.picture(waveFrame_);
  constexpr int kLastWaveFrame = 10;
  if (waveFrame_ >= kLastWaveFrame) {
    waveFrame_ = kFirstWaveFrame;
  } else {
    ++waveFrame_;
  }
}

void Wave::messageTimedOut() {
  scene_.message.visible = false;
  if (motion_.mode() == Mode::Waving) {
    motion_.walk();
    standOnLane();
  }
  messageTimeout_.setEnabled(false);
}

void Wave::showMessage(const std::string& text) {
  scene_.message.setCaption(text);
  scene_.message.visible = true;
}

void Wave::startTimeOut() { messageTimeout_.setEnabled(true); }

void Wave::hideMessage() {
  scene_.message.setCaption("");
  if (scene_.message.visible) standOnLane();
  scene_.message.visible = false;
  if (motion_.mode() != Mode::Falling) motion_.walk();
}

void Wave::standOnLane() { scene_.walker.top = static_cast<float>(course_.walkerTop()); }

}  // namespace tw
