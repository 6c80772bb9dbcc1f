#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "records/angles.h"
#include "records/numeric.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {
namespace {

TEST(TimeOrder, CountsPointsBelowTheRunningMaximum) {
  struct Case {
    std::vector<uint32_t> times;
    int32_t bad;
    int32_t first;
  } cases[] = {
      {{}, 0, -1},
      {{5}, 0, -1},
      {{10, 30, 20}, 1, 2},
      {{10, 30, 20, 25}, 2, 2},
      {{10, 10, 10}, 0, -1},
      {{1, 2, 3, 0}, 1, 3},
  };
  for (const auto& c : cases) {
    std::vector<TrackPoint> pts;
    for (auto t : c.times) pts.push_back(TrackPoint{0, t, 0, 0, 0, 0, 0});
    auto r = CheckTimeOrder(pts);
    EXPECT_EQ(r.badPoints, c.bad);
    EXPECT_EQ(r.firstBadIndex, c.first);
  }
}

TEST(TrackPoint, GpsHeightRoundsHalfAwayFromZero) {
  const std::pair<int32_t, int32_t> cases[] = {{-15, -2}, {14, 1}, {15, 2}, {-14, -1},
                                               {0, 0},    {-5, -1}, {4, 0},  {-4, 0}};
  for (auto [dm, m] : cases) EXPECT_EQ(GpsHeightMetres(TrackPoint{0, 0, 0, 0, dm, 0, 0}), m) << dm;
}

TEST(TrackLog, ClearKeepsTheSourceUntilTheNextLog) {
  TrackLog log;
  RawIgcBuffer raw;
  log.points.resize(3);
  log.source = TrackLogSource::kFlytec;
  log.sourceClassFlag = true;
  log.gRecordValid = log.saved = log.hasBaroHeight = true;
  log.extraData = {1, 2};
  raw.text = "AXXX";
  raw.manufacturer = "XXX";
  ClearTrackLog(log, raw);
  EXPECT_TRUE(log.points.empty());
  EXPECT_TRUE(log.extraData.empty());
  EXPECT_FALSE(log.gRecordValid || log.saved || log.hasBaroHeight);
  EXPECT_TRUE(raw.empty());
  EXPECT_TRUE(raw.manufacturer.empty());
  EXPECT_EQ(log.source, TrackLogSource::kFlytec);
  EXPECT_TRUE(log.sourceClassFlag);
}

TEST(WaypointId, FollowsTheIdentifierRules) {
  struct Case {
    const char* in;
    const char* out;  // nullptr: rejected
  } cases[] = {
      {"ab-1", "AB-1"}, {"  ab-1", "AB-1"}, {"AB   ", "AB"}, {"ABCDEF", "ABCDEF"},
      {"ABCDEFG", nullptr}, {"AB_1", nullptr}, {"AB C", nullptr}, {"", ""},
      {"ABCDEF ", "ABCDEF"}, {"\xC3\xA9", nullptr},
  };
  for (const auto& c : cases) {
    auto r = ParseWaypointId(c.in);
    if (c.out == nullptr) {
      EXPECT_FALSE(r.has_value()) << c.in;
    } else {
      ASSERT_TRUE(r.has_value()) << c.in;
      EXPECT_EQ(*r, c.out);
    }
  }
}

TEST(WaypointId, LenientModeReplacesAndCuts) {
  EXPECT_EQ(NormaliseWaypointId("ab_1", true).value(), "AB-1");
  EXPECT_EQ(NormaliseWaypointId("abcdefgh", true).value(), "ABCDEF");
  EXPECT_EQ(NormaliseWaypointId("z\xC3\xBCri", true).value(), "Z-RI");
  EXPECT_FALSE(NormaliseWaypointId("ab_1", false).has_value());
}

TEST(WaypointName, KeepsLettersDigitsBlanksAndDashes) {
  EXPECT_EQ(NormaliseDescription("Take-off, Col (1200m)  "), "Take-off- Col -1200m-");
  EXPECT_EQ(NormaliseDescription(std::string(50, 'a')), std::string(40, 'a'));
  EXPECT_EQ(NormaliseDescription("Z\xC3\xBCrich"), "Z-rich");
  EXPECT_EQ(NormaliseDescription("   "), "");
}

TEST(CheckedConversion, NeverCastsWhatDoesNotFit) {
  EXPECT_EQ(CheckedRound<int32_t>(2.5).value(), 3);
  EXPECT_EQ(CheckedRound<int32_t>(-2.5).value(), -3);
  EXPECT_EQ(CheckedRound<int32_t>(2147483647.4).value(), 2147483647);
  EXPECT_FALSE(CheckedRound<int32_t>(2147483647.5).has_value());
  EXPECT_EQ(CheckedRound<int32_t>(-2147483648.4).value(), std::numeric_limits<int32_t>::min());
  EXPECT_FALSE(CheckedRound<int32_t>(-2147483648.5).has_value());
  EXPECT_FALSE(CheckedRound<int32_t>(std::nan("")).has_value());
  EXPECT_FALSE(CheckedRound<int32_t>(INFINITY).has_value());
  EXPECT_FALSE(CheckedRound<int32_t>(5e10).has_value());
  EXPECT_EQ(ClampRound<int32_t>(5e10), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ClampRound<int32_t>(std::nan(""), 0), 0);
  EXPECT_EQ(CheckedRound<uint32_t>(-0.4).value(), 0u);
  EXPECT_FALSE(CheckedRound<uint32_t>(-0.5).has_value());
}

TEST(Angles, SemicircleConversionsRoundAndStayInRange) {
  EXPECT_EQ(DegreesToLatitude(90.0).value(), 1073741824);
  EXPECT_EQ(DegreesToLatitude(91.0).value(), 1073741824);  // clamped to the pole
  EXPECT_EQ(DegreesToLatitude(-45.0).value(), -536870912);
  // 180 E does not fit in 32 bits: it is the same meridian as 180 W.
  EXPECT_EQ(DegreesToLongitude(180.0).value(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToLongitude(179.0 + 60.0 / 60.0).value(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToLongitude(-180.0).value(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(DegreesToLongitude(190.0).value(), DegreesToLongitude(-170.0).value());
  EXPECT_FALSE(RadiansToLongitude(std::nan("")).has_value());
  EXPECT_FALSE(RadiansToLatitude(INFINITY).has_value());
  EXPECT_EQ(RadiansToLatitude(1.0).value(), 683565276);
  EXPECT_EQ(RadiansToLatitude(-1.0).value(), -683565276);
  EXPECT_EQ(SemicirclesToMilliMinutes(1073741824), 5400000);
  EXPECT_EQ(SemicirclesToCentiSeconds(-1073741824), -32400000);
  EXPECT_EQ(CentiMinutesToSemicircles(540000, false), 1073741824);
  EXPECT_EQ(CentiMinutesToSemicircles(540000, true), -1073741824);
  EXPECT_EQ(CentiMinutesToSemicircles(0xFFFFFF, false), std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace skylode

#include "records/text_encoding.h"

namespace skylode {
namespace {

TEST(TextEncoding, Windows1252BecomesWellFormedUtf8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Col", "Col"},
      {"Z\xFC" "rich", "Z\xC3\xBC" "rich"},           // Latin-1 range
      {"\x80 5", "\xE2\x82\xAC 5"},                    // euro sign from the 0x80 block
      {"\x81", "\xEF\xBF\xBD"},                        // unassigned: replacement character
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Windows1252ToUtf8(c.in), c.out);
}

TEST(TextEncoding, AppendUtf8NeverWritesSurrogatesOrOutOfRangeValues) {
  const std::pair<char32_t, std::string> cases[] = {
      {U'A', "A"}, {0x7FF, "\xDF\xBF"}, {0xFFFF, "\xEF\xBF\xBF"}, {0x1F600, "\xF0\x9F\x98\x80"},
      {0xD800, "\xEF\xBF\xBD"}, {0x110000, "\xEF\xBF\xBD"},
  };
  for (const auto& [cp, bytes] : cases) {
    std::string out;
    AppendUtf8(out, cp);
    EXPECT_EQ(out, bytes) << static_cast<uint32_t>(cp);
  }
}

}  // namespace
}  // namespace skylode
