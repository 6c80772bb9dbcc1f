#include "shell/command_line/window_placement.h"

#include <algorithm>

namespace skylode {

bool PlaceWindow(int32_t posX, int32_t posY, const WindowGeometry& window, const ScreenSize& screen,
                 WindowPosition& out) {
  if (posX == 0 || posY == 0) return false;
  // 64-bit on the way: a position near the ends of the range must not wrap.
  int64_t x = posX;
  int64_t y = posY;
  if (x + window.width < 7) x = 7 - static_cast<int64_t>(window.width);
  if (x > static_cast<int64_t>(screen.width) - 5) x = static_cast<int64_t>(screen.width) - 5;
  if (y + window.captionHeight < 5) y = 5 - static_cast<int64_t>(window.captionHeight);
  if (y > static_cast<int64_t>(screen.height) - 7) y = static_cast<int64_t>(screen.height) - 7;
  out.x = static_cast<int32_t>(x);
  out.y = static_cast<int32_t>(y);
  return true;
}

}  // namespace skylode
