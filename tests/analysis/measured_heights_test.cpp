#include "analysis/measured_heights.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace skylode {
namespace {

// A track from (gps decimetres, baro metres, measured) triples.
struct Fix {
  int32_t gps;
  int32_t baro;
  bool measured;
};
std::vector<TrackPoint> Track(std::initializer_list<Fix> fixes) {
  std::vector<TrackPoint> points;
  for (const Fix& f : fixes) {
    TrackPoint p;
    p.time = static_cast<uint32_t>(points.size());
    p.gpsHeight = f.gps;
    p.baroHeight = f.baro;
    p.flags = (points.empty() ? kTrackPointStartsSegment : 0) | (f.measured ? 0 : kTrackPointNoGpsHeight);
    points.push_back(p);
  }
  return points;
}

TEST(MeasuredHeights, UnmeasuredHeightsHoldOrFollowThePressure) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    bool pressure;
    std::vector<int32_t> heights;  // decimetres
  } cases[] = {
      {"all measured", Track({{100, 5, true}, {0, 6, true}}), true, {100, 0}},
      {"held", Track({{1000, 90, true}, {0, 95, false}, {0, 99, false}, {1200, 97, true}}), false,
       {1000, 1000, 1000, 1200}},
      {"follows the pressure", Track({{1000, 90, true}, {0, 95, false}, {0, 99, false}, {1200, 97, true}}), true,
       {1000, 1050, 1090, 1200}},
      {"no pressure sensor (0): held", Track({{1000, 0, true}, {0, 0, false}}), true, {1000, 1000}},
      {"starts unmeasured: the first measured stands in", Track({{0, 80, false}, {700, 90, true}}), true,
       {600, 700}},
      {"nothing measured: the pressure height", Track({{0, 80, false}, {0, 0, false}}), true, {800, 0}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TrackPoint> filled = c.points;
    FillUnmeasuredGpsHeights(filled, c.pressure);
    for (size_t i = 0; i < filled.size(); ++i) {
      EXPECT_EQ(filled[i].gpsHeight, c.heights[i]) << "fix " << i;
      EXPECT_EQ(filled[i].flags, c.points[i].flags) << "fix " << i;
      // One fix at a time gives the same as the whole track.
      EXPECT_EQ(MeasuredGpsHeight(c.points, i, c.pressure), c.heights[i]) << "fix " << i;
    }
    std::vector<TrackPoint> twice = filled;
    FillUnmeasuredGpsHeights(twice, c.pressure);
    EXPECT_EQ(twice, filled);
  }
}

}  // namespace
}  // namespace skylode
