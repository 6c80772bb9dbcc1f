// The "Show track" picture without the window: the selected points projected
// onto a plane about the middle of their longitudes, fitted into a one-bit
// image of any size with the same scale on both axes, north up, consecutive
// points joined by straight lines.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "records/track_log.h"

namespace skylode {

// Plane coordinates in metres and the box drawn around them.
struct TrackPlane {
  std::vector<double> x;
  std::vector<double> y;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
};

// The smallest box side in metres. Points that all lie at one spot (or on
// one meridian or parallel) would otherwise give a box of no size and a
// scale of width / 0.
inline constexpr double kMinTrackBox = 50.0;

// Projects the points and widens their bounding box by 5 % of its width and
// of its height on each side, after growing a side shorter than kMinTrackBox
// to that length about its middle.
TrackPlane ProjectTrack(std::span<const TrackPoint> points);

// A one-bit picture, rows of `stride` bytes, most significant bit leftmost,
// a set bit is black (drawn).
struct MonoBitmap {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<uint8_t> bits;
  bool Pixel(int x, int y) const;
  int BlackPixels() const;
};

// Draws the track centred in a white picture of the given size (at least one
// pixel each way).
MonoBitmap DrawTrack(const TrackPlane& plane, int width, int height);

}  // namespace skylode
