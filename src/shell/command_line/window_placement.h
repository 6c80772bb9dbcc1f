// Where /POSX and /POSY put the window: on the screen, whatever was asked.
#pragma once

#include <cstdint>

namespace skylode {

struct WindowGeometry {
  int32_t width = 0;
  int32_t height = 0;
  int32_t captionHeight = 0;
};

struct ScreenSize {
  int32_t width = 0;
  int32_t height = 0;
};

struct WindowPosition {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const WindowPosition&, const WindowPosition&) = default;
};

// The position for POSX and POSY, or nothing when either is 0 (no position
// asked). At least 7 pixels stay visible at the left, the left edge is no
// further right than 5 pixels before the screen's edge, the caption is never
// above the screen and the top edge is at least 7 pixels above its bottom.
bool PlaceWindow(int32_t posX, int32_t posY, const WindowGeometry& window, const ScreenSize& screen,
                 WindowPosition& out);

}  // namespace skylode
