#include "analysis/speed_filter.h"

#include <array>

#include "analysis/geodesy.h"

namespace skylode {

namespace {

// Speed in m/s from `from` to `to`. The time difference is taken modulo 2^32,
// so a step back in time reads as a very slow pair rather than an impossible
// one; equal times give no speed at all.
double PairSpeed(const TrackPoint& from, const TrackPoint& to) {
  const uint32_t dt = to.time - from.time;
  if (dt == 0) return 0;
  const double metres = GeoDistanceSemicircles(from.latitude, from.longitude, to.latitude, to.longitude);
  const double v = metres / dt;
  return v > 1'000'000.0 ? 1'000'000.0 : v;
}

}  // namespace

size_t SpeedFilter(TrackPoint* points, size_t count) {
  // Fewer than two points give no pair to judge the others by.
  if (count < 2) return count;

  std::vector<double> pairSpeed(count - 1);
  std::array<size_t, 100> histogram{};
  for (size_t i = 1; i < count; ++i) {
    const double v = PairSpeed(points[i - 1], points[i]);
    pairSpeed[i - 1] = v;
    const size_t slot = v >= 99.0 ? 99 : static_cast<size_t>(v);
    ++histogram[slot];
  }

  // The threshold sits above the speed that 95 % of the pairs do not exceed.
  int64_t q = static_cast<int64_t>(19 * static_cast<uint64_t>(count) / 20);
  size_t k = 0;
  for (; k < histogram.size(); ++k) {
    q -= static_cast<int64_t>(histogram[k]);
    if (q <= 0) break;
  }
  const double threshold = 3.0 * static_cast<double>(k) + 1.0;

  // The anchor ends the first run of slow pairs long enough to be trusted.
  const size_t run = count <= 10 ? count - 1 : 10;
  size_t slow = 0;
  size_t anchor = count;
  for (size_t i = 1; i < count; ++i) {
    slow = pairSpeed[i - 1] < threshold ? slow + 1 : 0;
    if (slow == run) {
      anchor = i;
      break;
    }
  }
  if (anchor == count) return 0;

  // Each position is measured from the last one kept, so a single jump is
  // dropped while the neighbours on either side of it stay. While nothing
  // is dropped that is the pair the histogram has already measured.
  std::vector<bool> keep(count, false);
  keep[anchor] = true;
  size_t ref = anchor;
  for (size_t i = anchor; i-- > 0;) {
    const double v = ref == i + 1 ? pairSpeed[i] : PairSpeed(points[i], points[ref]);
    if (v < threshold) {
      keep[i] = true;
      ref = i;
    }
  }
  ref = anchor;
  for (size_t i = anchor + 1; i < count; ++i) {
    const double v = ref + 1 == i ? pairSpeed[ref] : PairSpeed(points[ref], points[i]);
    if (v < threshold) {
      keep[i] = true;
      ref = i;
    }
  }

  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (keep[i]) {
      if (kept != i) points[kept] = points[i];
      ++kept;
    }
  }
  return kept;
}

size_t SpeedFilter(std::vector<TrackPoint>& points) {
  const size_t kept = SpeedFilter(points.data(), points.size());
  if (kept != 0) points.resize(kept);
  return kept;
}

}  // namespace skylode
