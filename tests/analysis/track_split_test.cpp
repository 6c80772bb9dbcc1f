#include "analysis/track_split.h"

#include <gtest/gtest.h>

#include "analysis/track_fixtures.h"
#include "records/calendar.h"

namespace skylode {
namespace {

// Fixes 10 s apart, with the given extra pauses (seconds) before the listed fixes.
std::vector<TrackPoint> Timed(size_t n, std::vector<std::pair<size_t, uint32_t>> pauses = {}) {
  std::vector<TrackPoint> out;
  uint32_t t = fixtures::kMorning;
  for (size_t i = 0; i < n; ++i) {
    for (auto& [at, extra] : pauses)
      if (at == i) t += extra;
    TrackPoint p = fixtures::PointAt(46.5, 8.0, {static_cast<double>(i), 0}, t);
    p.baroHeight = static_cast<int32_t>(i);  // identifies the fix after moves
    out.push_back(p);
    t += 10;
  }
  return out;
}

TEST(TrackSplitCut, GapsAndSegmentStartsCut) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    std::vector<TrackPart> expected;
  };
  auto segment = Timed(20);
  segment[8].flags = kTrackPointStartsSegment;
  auto sameTimeSegment = Timed(20);
  sameTimeSegment[8].time = sameTimeSegment[7].time;
  sameTimeSegment[8].flags = kTrackPointStartsSegment;
  auto backwards = Timed(20, {{12, 1300}});
  backwards[10].time = fixtures::kMorning;  // a step back: no cut, clock not reset
  Case cases[] = {
      {"one flight", Timed(20), {{0, 19, true}}},
      {"gap just at the limit", Timed(20, {{10, 1190}}), {{0, 19, true}}},
      {"gap beyond the limit", Timed(20, {{10, 1191}}), {{0, 9, true}, {10, 19, true}}},
      {"segment start", segment, {{0, 7, true}, {8, 19, true}}},
      {"segment start at a repeated time", sameTimeSegment, {{0, 19, true}}},
      {"time step back", backwards, {{0, 11, true}, {12, 19, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CutTrackParts(c.points.data(), c.points.size(), 1200), c.expected);
  }
}

TEST(TrackSplitCut, AHundredthPartRunsToTheEnd) {
  std::vector<std::pair<size_t, uint32_t>> pauses;
  for (size_t g = 1; g <= 150; ++g) pauses.push_back({g * 3, 5000});
  const auto points = Timed(460, pauses);
  const auto parts = CutTrackParts(points.data(), points.size(), 1200);
  ASSERT_EQ(parts.size(), 100u);
  EXPECT_EQ(parts[98].first, 294);
  EXPECT_EQ(parts[98].last, 296);
  EXPECT_EQ(parts[99].first, 297);
  EXPECT_EQ(parts[99].last, 459);
}

TEST(TrackSplitSelect, KeepsThePickedPartsInOrder) {
  const auto twoFlights = Timed(30, {{10, 5000}, {22, 5000}});  // parts 0-9, 10-21, 22-29
  struct Case {
    const char* name;
    std::vector<bool> pick;  // nullopt-like: empty means Cancel
    size_t expected;
    int32_t firstKept;
  } cases[] = {
      {"earliest only", {true, false, false}, 10, 0},
      {"latest only", {false, false, true}, 8, 22},
      {"outer two", {true, false, true}, 18, 0},
      {"all", {true, true, true}, 30, 0},
      {"none", {false, false, false}, 0, -1},
      {"cancel", {}, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto points = twoFlights;
    bool asked = false;
    const size_t kept = SelectTrackParts(points, 1200, [&](std::vector<TrackPart>& parts) {
      asked = true;
      EXPECT_EQ(parts.size(), 3u);
      for (const TrackPart& p : parts) EXPECT_FALSE(p.selected);
      if (c.pick.empty()) return false;
      for (size_t i = 0; i < parts.size(); ++i) parts[i].selected = c.pick[i];
      return true;
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(kept, c.expected);
    ASSERT_EQ(points.size(), c.expected);
    if (kept == 0) continue;
    EXPECT_EQ(points.front().baroHeight, c.firstKept);
    for (size_t i = 1; i < points.size(); ++i) EXPECT_LT(points[i - 1].baroHeight, points[i].baroHeight);
  }
  if (true) {
    std::vector<bool> pick{false, true, true};
    auto points = twoFlights;
    SelectTrackParts(points, 1200, [&](std::vector<TrackPart>& parts) {
      for (size_t i = 0; i < parts.size(); ++i) parts[i].selected = pick[i];
      return true;
    });
    ASSERT_EQ(points.size(), 20u);
    for (size_t i = 0; i < points.size(); ++i) EXPECT_EQ(points[i], twoFlights[i + 10]);
  }
}

TEST(TrackSplitSelect, NothingToChooseOrNoOneToAsk) {
  int asked = 0;
  const TrackPartChooser chooser = [&](std::vector<TrackPart>&) {
    ++asked;
    return false;
  };
  auto one = Timed(30);
  EXPECT_EQ(SelectTrackParts(one.data(), one.size(), 1200, chooser), 30u);
  auto single = Timed(1);
  EXPECT_EQ(SelectTrackParts(single.data(), single.size(), 1200, chooser), 1u);
  EXPECT_EQ(asked, 0);
  // A hidden run has no chooser and keeps every part.
  auto two = Timed(30, {{10, 5000}});
  const auto before = two;
  EXPECT_EQ(SelectTrackParts(two.data(), two.size(), 1200, TrackPartChooser{}), 30u);
  EXPECT_EQ(two, before);
}

TEST(TrackSplitText, RowAndTitle) {
  const auto start = CalendarToTime({2024, 7, 15, 10, 5, 9, 0});
  ASSERT_TRUE(start);
  std::vector<TrackPoint> points(2);
  points[0].time = *start;
  points[1].time = *start + 3725;
  EXPECT_EQ(FormatTrackPartRow(points.data(), {0, 1, false}), "15-07-2024   10:05:09   1:02:05");
  EXPECT_EQ(SplitDialogTitle("COM3", ""), "Split track (COM3)");
  EXPECT_EQ(SplitDialogTitle("/dev/ttyUSB0", "Flytec 6030"), "Split track (/dev/ttyUSB0, Flytec 6030)");
}

}  // namespace
}  // namespace skylode
