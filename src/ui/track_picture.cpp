#include "ui/track_picture.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "analysis/geodesy.h"
#include "records/angles.h"
#include "records/numeric.h"

namespace skylode {

namespace {

void GrowToMinimum(double& lo, double& hi) {
  if (hi - lo >= kMinTrackBox) return;
  const double mid = (lo + hi) / 2;
  lo = mid - kMinTrackBox / 2;
  hi = mid + kMinTrackBox / 2;
}

void SetPixel(MonoBitmap& bmp, int x, int y) {
  if (x < 0 || y < 0 || x >= bmp.width || y >= bmp.height) return;
  bmp.bits[static_cast<size_t>(y) * static_cast<size_t>(bmp.stride) + static_cast<size_t>(x / 8)] |=
      static_cast<uint8_t>(0x80u >> (x % 8));
}

void Line(MonoBitmap& bmp, int x0, int y0, int x1, int y1) {
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    SetPixel(bmp, x0, y0);
    if (x0 == x1 && y0 == y1) return;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

}  // namespace

TrackPlane ProjectTrack(std::span<const TrackPoint> points) {
  TrackPlane plane;
  if (points.empty()) return plane;
  int32_t minLon = points.front().longitude, maxLon = minLon;
  for (const auto& p : points) {
    minLon = std::min(minLon, p.longitude);
    maxLon = std::max(maxLon, p.longitude);
  }
  const double centralMeridian =
      SemicirclesToRadians(static_cast<int32_t>((static_cast<int64_t>(minLon) + maxLon) / 2));
  plane.x.reserve(points.size());
  plane.y.reserve(points.size());
  for (const auto& p : points) {
    const LocalTm tm = ToLocalTm(SemicirclesToRadians(p.latitude, p.longitude), centralMeridian);
    plane.x.push_back(tm.x);
    plane.y.push_back(tm.y);
  }
  const auto [xLo, xHi] = std::minmax_element(plane.x.begin(), plane.x.end());
  const auto [yLo, yHi] = std::minmax_element(plane.y.begin(), plane.y.end());
  plane.minX = *xLo;
  plane.maxX = *xHi;
  plane.minY = *yLo;
  plane.maxY = *yHi;
  GrowToMinimum(plane.minX, plane.maxX);
  GrowToMinimum(plane.minY, plane.maxY);
  const double mx = (plane.maxX - plane.minX) * 0.05;
  const double my = (plane.maxY - plane.minY) * 0.05;
  plane.minX -= mx;
  plane.maxX += mx;
  plane.minY -= my;
  plane.maxY += my;
  return plane;
}

bool MonoBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return bits[static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x / 8)] &
         (0x80u >> (x % 8));
}

int MonoBitmap::BlackPixels() const {
  int n = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) n += Pixel(x, y) ? 1 : 0;
  return n;
}

MonoBitmap DrawTrack(const TrackPlane& plane, int width, int height) {
  MonoBitmap bmp;
  bmp.width = std::max(width, 1);
  bmp.height = std::max(height, 1);
  // 32-bit aligned rows, the layout a one-bit QImage uses.
  bmp.stride = (bmp.width + 31) / 32 * 4;
  bmp.bits.assign(static_cast<size_t>(bmp.stride) * static_cast<size_t>(bmp.height), 0);
  if (plane.x.empty()) return bmp;
  const double boxW = plane.maxX - plane.minX;
  const double boxH = plane.maxY - plane.minY;
  if (!(boxW > 0) || !(boxH > 0)) return bmp;
  const double scale = std::min(bmp.width / boxW, bmp.height / boxH);
  const double offX = (bmp.width - boxW * scale) / 2;
  const double offY = (bmp.height - boxH * scale) / 2;
  // A picture coordinate lies in the pixel it falls into; the far edge
  // belongs to the last pixel.
  const auto pixel = [](double v, int size) { return std::clamp(ClampRound<int>(std::floor(v)), 0, size - 1); };
  const auto px = [&](size_t i) { return pixel(offX + (plane.x[i] - plane.minX) * scale, bmp.width); };
  // North up: larger y is nearer the top.
  const auto py = [&](size_t i) { return pixel(offY + (plane.maxY - plane.y[i]) * scale, bmp.height); };
  int lastX = px(0), lastY = py(0);
  SetPixel(bmp, lastX, lastY);
  for (size_t i = 1; i < plane.x.size(); ++i) {
    const int x = px(i), y = py(i);
    Line(bmp, lastX, lastY, x, y);
    lastX = x;
    lastY = y;
  }
  return bmp;
}

}  // namespace skylode
