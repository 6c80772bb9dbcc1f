// Where a visible command-line run puts the window, and whether a command
// line that cannot be read still asks for a window to say so.
#include "shell/command_line/window_placement.h"

#include <gtest/gtest.h>

#include "shell/command_line/command_line.h"

namespace skylode {
namespace {

TEST(WindowPlacement, PositionsAreKeptOnTheScreen) {
  const WindowGeometry window{400, 300, 20};
  const ScreenSize screen{1920, 1080};
  const struct {
    int32_t x, y;
    bool placed;
    WindowPosition at;
  } cases[] = {
      {100, 200, true, {100, 200}},
      {0, 200, false, {}},  // both must be given
      {100, 0, false, {}},
      {-393, 50, true, {-393, 50}},    // exactly 7 pixels still visible
      {-394, 50, true, {-393, 50}},    // less: 7 pixels shown
      {1915, 50, true, {1915, 50}},    // 5 pixels before the right edge
      {5000, 50, true, {1915, 50}},
      {50, -15, true, {50, -15}},      // the caption's lower 5 pixels show
      {50, -400, true, {50, -15}},
      {50, 1073, true, {50, 1073}},
      {50, 9999, true, {50, 1073}},
      {INT32_MIN, INT32_MAX, true, {-393, 1073}},  // no overflow at the ends
  };
  for (const auto& c : cases) {
    WindowPosition at;
    EXPECT_EQ(PlaceWindow(c.x, c.y, window, screen, at), c.placed) << c.x << "," << c.y;
    if (c.placed) {
      EXPECT_EQ(at, c.at) << c.x << "," << c.y;
    }
  }
}

TEST(WindowPlacement, ABadCommandLineStillTellsWhetherAWindowIsWanted) {
  const struct {
    std::vector<std::string> args;
    bool noWindow;
  } cases[] = {
      {{"/GPS=NOPE", "/KML_LOG=a.kml"}, false},
      {{"/GPS=NOPE", "/win=0"}, true},
      {{"/WIN=0", "stray"}, true},
      {{"/WIN=1", "/COM=0"}, false},
      {{"/IGC2KML=a.igc", "/BAD"}, true},
      {{"/WIN=00"}, false},
      {{"WIN=0"}, false},  // a file name, not a keyword
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentsAskForNoWindow(c.args), c.noWindow) << c.args[0];
}

}  // namespace
}  // namespace skylode
