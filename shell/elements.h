// What the scene is made of: colours, captions, the walker's sprite, lines and
// the sets of pictures the walker is drawn from. Positions and sizes are
// twips, held in single precision.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "shell/runtime.h"
#include "shell/services.h"

namespace tw {

// The core's unit of length: a pixel of the screen is this many twips. The
// core measures in twips because every place, step and margin of the walk was
// laid out in them, and keeping them exactly as laid out keeps each comparison
// (is the walker past the trench's edge?) exactly as it was designed; only
// the painting turns them into pixels.
inline constexpr float kTwipsPerPixel = 15;

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
constexpr Rgb RGB(int red, int green, int blue) {
  return Rgb{static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)};
}

class Label {
 public:
  struct Design {
    std::string caption;
    Rgb color;
    Font font;
    bool autoSize = false;
    bool visible = true;
    bool opaque = false;  // an opaque black box behind the text
    float left = 0, top = 0, width = 0, height = 0;
  };

  Label(Services& services, Design d)
      : left(d.left), top(d.top), visible(d.visible), color(d.color),
        services_(&services), caption_(std::move(d.caption)), font_(std::move(d.font)),
        autoSize_(d.autoSize), opaque_(d.opaque), width_(d.width), height_(d.height) {}

  float left, top;
  bool visible;
  Rgb color;  // of the text

  const std::string& caption() const { return caption_; }
  // The clock and the distance are set on every tick and change far less
  // often: an unchanged caption costs a comparison, no copy.
  void setCaption(std::string_view caption) {
    if (caption == caption_) return;
    caption_.assign(caption);
    fit();
  }
  const Font& font() const { return font_; }
  void setFontName(std::string name) { font_.name = std::move(name); fit(); }
  void setFontSize(float size) { font_.size = size; fit(); }
  bool autoSize() const { return autoSize_; }
  void setAutoSize(bool on) { autoSize_ = on; fit(); }
  bool opaque() const { return opaque_; }
  float width() const { return width_; }
  float height() const { return height_; }

 private:
  // An auto-sized label takes the extent of its caption in its font.
  void fit() {
    if (!autoSize_) return;
    const Extent e = services_->measureText(caption_, font_);
    width_ = e.width;
    height_ = e.height;
  }

  Services* services_;
  std::string caption_;
  Font font_;
  bool autoSize_;
  bool opaque_;
  float width_, height_;
};

// One picture of a frame set, addressed by its set (1 to 3) and 1-based index.
struct Picture {
  int set = 0;
  int index = 0;
  friend bool operator==(const Picture&, const Picture&) = default;
};

struct PixelSize {
  int width = 0, height = 0;
};

class FrameSet {
 public:
  static constexpr int kMaxImages = 10;
  FrameSet(int set, std::initializer_list<PixelSize> sizes) : set_(set) {
    for (PixelSize s : sizes) sizes_[static_cast<size_t>(count_++)] = s;
  }
  int set() const { return set_; }
  int count() const { return count_; }
  // The picture of image `index`, 1-based; an index outside the set is a
  // run-time error.
  Picture picture(int index) const {
    if (index < 1 || index > count_)
      throw RunTimeError(kIndexOutOfBoundsError, kIndexOutOfBoundsMessage);
    return Picture{set_, index};
  }
  PixelSize size(int index) const { return sizes_.at(static_cast<size_t>(index - 1)); }

 private:
  int set_;
  int count_ = 0;
  std::array<PixelSize, kMaxImages> sizes_{};
};

// The walker: one picture at a time at its own size, top-left at (left, top).
struct Sprite {
  float left = 0, top = 0;
  bool visible = true;
  std::optional<Picture> picture;
};

struct Line {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Rgb color;
  bool visible = false;
};

}  // namespace tw
