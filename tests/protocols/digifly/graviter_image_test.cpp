// Graviter memory images built by the bit-stream encoder and decoded back:
// short and long forms, the ring's wrap, tracks without points, and the
// images a broken line or a broken memory gives.
#include <gtest/gtest.h>

#include <cmath>

#include "protocols/digifly/graviter_image.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "sim/mlr/graviter_image_builder.h"

namespace skylode::graviter {
namespace {

using sim::GraviterRecord;
using sim::GraviterTrack;

Decoded Decode(const std::string& image) {
  return DecodeImage(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(image.data()), image.size()));
}

void ExpectTrack(const Decoded& d, size_t first, const GraviterTrack& t) {
  const uint32_t start = *CalendarToTime({static_cast<uint16_t>(2000 + t.year), static_cast<uint16_t>(t.month),
                                          static_cast<uint16_t>(t.day), static_cast<uint16_t>(t.hour),
                                          static_cast<uint16_t>(t.minute), 0, 0});
  ASSERT_GE(d.points.size(), first + t.records.size());
  for (size_t i = 0; i < t.records.size(); ++i) {
    const TrackPoint& p = d.points[first + i];
    const GraviterRecord& r = t.records[i];
    EXPECT_EQ(p.time, start + r.offset) << i;
    EXPECT_EQ(p.gpsHeight, r.height * 10) << i;
    EXPECT_EQ(p.flags, i == 0 ? 1u : 0u) << i;
    // Deltas of 1e-7 radian, rounded, add up over the short records.
    EXPECT_NEAR(p.latitude, r.latitude * kRadiansToSemicircles, 1000) << i;
    EXPECT_NEAR(p.longitude, r.longitude * kRadiansToSemicircles, 1000) << i;
  }
}

TEST(GraviterImage, TracksDecodeInChainOrder) {
  GraviterTrack a;
  a.records = sim::DemoGraviterRecords(60);
  GraviterTrack b;
  b.day = 16;
  b.hour = 14;
  b.records = sim::DemoGraviterRecords(25);
  for (auto& r : b.records) {
    r.latitude = -r.latitude;  // southern hemisphere, negative deltas
    r.height -= 1500;          // below sea level, negative heights
  }
  const Decoded d = Decode(sim::BuildGraviterImage({a, b}));
  ASSERT_EQ(d.error, 0);
  ASSERT_EQ(d.points.size(), 85u);
  ExpectTrack(d, 0, a);
  ExpectTrack(d, 60, b);
  EXPECT_TRUE(d.empty.empty());
}

TEST(GraviterImage, TrackWrapsRoundTheRing) {
  GraviterTrack t;
  t.address = kRingEnd - 30;  // the records run on from the ring's start
  t.records = sim::DemoGraviterRecords(40);
  const std::string image = sim::BuildGraviterImage({t});
  ASSERT_EQ(image.size(), kRingEnd - kImageOffset + 1 + 4);
  const Decoded d = Decode(image);
  ASSERT_EQ(d.error, 0);
  ASSERT_EQ(d.points.size(), 40u);
  ExpectTrack(d, 0, t);
}

TEST(GraviterImage, TracksWithoutPositionsAreNoted) {
  GraviterTrack type2;
  type2.type = 2;
  GraviterTrack unpositioned;
  unpositioned.day = 3;
  unpositioned.records = sim::DemoGraviterRecords(3);
  for (auto& r : unpositioned.records) r.positioned = false;
  GraviterTrack good;
  good.records = sim::DemoGraviterRecords(5);
  GraviterRecord repeat = good.records.back();
  good.records.push_back(repeat);  // the same time and place: not stored twice
  const Decoded d = Decode(sim::BuildGraviterImage({type2, unpositioned, good}));
  ASSERT_EQ(d.error, 0);
  EXPECT_EQ(d.points.size(), 5u);
  ASSERT_EQ(d.empty.size(), 2u);
  EXPECT_EQ(d.empty[1].day, 3);
  EXPECT_EQ(d.empty[0].year, 2026);
}

TEST(GraviterImage, EmptyChainSucceedsWithNoPoints) {
  const Decoded d = Decode(sim::BuildGraviterImage({}));
  EXPECT_EQ(d.error, 0);
  EXPECT_TRUE(d.points.empty());
}

TEST(GraviterImage, BrokenImagesAreRefused) {
  GraviterTrack t;
  t.records = sim::DemoGraviterRecords(30);
  const std::string good = sim::BuildGraviterImage({t});
  auto resum = [](std::string s) {
    uint8_t x = 0;
    for (size_t i = 1; i + 4 < s.size(); ++i) x ^= static_cast<uint8_t>(s[i]);
    s[s.size() - 3] = static_cast<char>(x);
    return s;
  };
  auto header = [&](int field, int value) {
    std::string s = good;
    s[4 + 3 + static_cast<size_t>(field)] = static_cast<char>(value);
    return resum(s);
  };
  GraviterTrack cyclic = t;
  cyclic.nextOverride = kRingStart;  // points back at itself
  GraviterTrack late = t;
  late.year = 100;
  GraviterTrack pole = t;
  pole.records[0].latitude = 1.6;
  GraviterTrack nan = t;
  nan.records[0].longitude = std::nan("");
  // Cut inside the records, then closed as a whole image would be.
  std::string truncated = good.substr(0, good.size() - 4 - 30);
  truncated += "*";
  truncated.push_back(0);
  truncated += "\r\n";
  std::string pointerOut = good;
  pointerOut[1] = 0x7F;
  struct Case {
    const char* name;
    std::string image;
    int error;
  };
  const Case cases[] = {
      {"short", good.substr(0, 20), 1},
      {"no 'y'", "x" + good.substr(1), 2},
      {"no LF", good.substr(0, good.size() - 1) + "x", 2},
      {"checksum", good.substr(0, 10) + static_cast<char>(good[10] ^ 1) + good.substr(11), 3},
      {"first pointer outside the ring", resum(pointerOut), 4},
      {"day", header(0, 32), 12},
      {"month", header(1, 13), 13},
      {"start hour", header(3, 24), 14},
      {"start minute", header(4, 60), 15},
      {"end hour", header(5, 24), 16},
      {"end minute", header(6, 60), 17},
      {"type", header(7, 4), 18},
      {"year 2100", sim::BuildGraviterImage({late}), kBadYear},
      {"cyclic chain", sim::BuildGraviterImage({cyclic}), kCyclicChain},
      {"latitude past the pole", sim::BuildGraviterImage({pole}), kBadPosition},
      {"NaN longitude", sim::BuildGraviterImage({nan}), kBadPosition},
      {"too long for the buffer", "y" + std::string(kBufferSize - kImageOffset, '\0'), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.image).error, c.error);
  }
  const Decoded cut = Decode(resum(truncated));
  EXPECT_GE(cut.error, 20);
  EXPECT_LE(cut.error, 37);
}

}  // namespace
}  // namespace skylode::graviter
