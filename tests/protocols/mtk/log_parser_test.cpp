// The logger's memory decoded: sector kinds, format changes, satellite
// entries, and the records that must not become points.
#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <cmath>
#include <limits>

#include "protocols/mtk/log_parser.h"
#include "records/angles.h"
#include "sim/mtk/memory_builder.h"

namespace skylode::mtk {
namespace {

using sim::MtkFix;
using sim::MtkMemoryBuilder;

constexpr uint32_t kStart = 1785672000;  // 2026-08-02 12:00:00 UTC
constexpr uint32_t kEpoch = 631065600;

MtkFix Fix(int i, uint16_t sats = 6) {
  return {.utc = kStart + uint32_t(i), .valid = 2, .latitude = 45.8 + i * 1e-3, .longitude = -6.25 - i * 1e-3,
          .height = 1234.56f + float(i), .satellites = sats};
}

std::vector<uint8_t> Image(const MtkMemoryBuilder& b) {
  std::vector<uint8_t> image = b.bytes();
  image.resize((image.size() + kSectorSize - 1) / kSectorSize * kSectorSize, 0xFF);
  return image;
}

TEST(MtkLog, DecodesLittleEndianFieldsOfClosedAndOpenSectors) {
  MtkMemoryBuilder b;
  b.BeginSector();
  for (int i = 0; i < 3; ++i) b.Add(Fix(i));
  b.CloseSector();
  b.BeginSector(0x1F);
  for (int i = 3; i < 5; ++i) b.Add(Fix(i));
  const ParsedLog log = ParseMtkLog(Image(b));
  ASSERT_EQ(log.error, "");
  ASSERT_EQ(log.points.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const TrackPoint& p = log.points[i];
    EXPECT_EQ(p.time, kStart + uint32_t(i) - kEpoch);
    EXPECT_EQ(p.latitude, *DegreesToLatitude(45.8 + i * 1e-3));
    EXPECT_EQ(p.longitude, *DegreesToLongitude(-6.25 - i * 1e-3));
    EXPECT_EQ(p.gpsHeight, static_cast<int32_t>((1234.56f + float(i)) * 10.0));
    EXPECT_EQ(p.baroHeight, 0);
    EXPECT_EQ(p.flags, i == 0 ? 1u : 0u);
  }
}

TEST(MtkLog, KnowsFieldsByTheFormatInForceAndEverySatelliteCount) {
  MtkMemoryBuilder b;
  b.BeginSector();
  b.Add(Fix(0, 0));
  b.Add(Fix(1, 1));
  b.Add(Fix(2, 32));
  b.ChangeFormat(0x1F | (1u << 19) | (1u << 18) | (1u << 17) | (1u << 13));  // fewer and other fields
  b.Add(Fix(3, 0));
  b.Add(Fix(4, 32));
  b.ChangeFormat(MtkMemoryBuilder::kDefaultFormat | 0xF80);  // DGPS and DOP fields as well
  b.Add(Fix(5, 3));
  b.CloseSector();
  const ParsedLog log = ParseMtkLog(Image(b));
  ASSERT_EQ(log.error, "");
  ASSERT_EQ(log.points.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(log.points[i].time, kStart + uint32_t(i) - kEpoch) << i;
}

// Records that are no fix, or whose time or position is missing or
// unusable, are passed over; the rest of the sector still counts.
TEST(MtkLog, MakesPointsOnlyFromPresentFiniteInRangeValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    uint32_t format;
    MtkFix fix;
  };
  const Case cases[] = {
      {"no fix", 0x1F, {.utc = kStart, .valid = 1, .latitude = 45, .longitude = 6}},
      {"no time", 0x1E, {.valid = 2, .latitude = 45, .longitude = 6}},
      {"no longitude", 0x17, {.utc = kStart, .valid = 2, .latitude = 45}},
      {"NaN latitude", 0x1F, {.utc = kStart, .valid = 2, .latitude = nan, .longitude = 6}},
      {"infinite longitude", 0x1F, {.utc = kStart, .valid = 2, .latitude = 45, .longitude = inf}},
      {"latitude past the pole", 0x1F, {.utc = kStart, .valid = 2, .latitude = 90.5, .longitude = 6}},
      {"longitude past 180", 0x1F, {.utc = kStart, .valid = 2, .latitude = 45, .longitude = -181}},
      {"time before 1990", 0x1F, {.utc = 86400, .valid = 2, .latitude = 45, .longitude = 6}},
  };
  for (const Case& c : cases) {
    MtkMemoryBuilder b;
    b.BeginSector(c.format);
    b.Add(c.fix);
    b.ChangeFormat(0x1F);
    b.Add(Fix(7));
    b.CloseSector();
    const ParsedLog log = ParseMtkLog(Image(b));
    EXPECT_EQ(log.error, "") << c.what;
    ASSERT_EQ(log.points.size(), 1u) << c.what;
    EXPECT_EQ(log.points[0].time, kStart + 7 - kEpoch) << c.what;
    EXPECT_EQ(log.points[0].flags, 1u) << c.what;
  }
  // A non-finite height keeps the point, without a height.
  MtkMemoryBuilder b;
  b.BeginSector(0x1F);
  MtkFix f = Fix(0);
  f.height = std::numeric_limits<float>::quiet_NaN();
  b.Add(f);
  const ParsedLog log = ParseMtkLog(Image(b));
  ASSERT_EQ(log.points.size(), 1u);
  EXPECT_EQ(log.points[0].gpsHeight, 0);
}

TEST(MtkLog, RefusesBrokenHeadersAndRecords) {
  struct Case {
    const char* what;
    std::function<void(MtkMemoryBuilder&)> build;
    const char* error;
  };
  const Case cases[] = {
      {"header word 10 set", [](MtkMemoryBuilder& b) { b.bytes()[10] = 1; }, "Bad header block"},
      {"header mark", [](MtkMemoryBuilder& b) { b.bytes()[506] = 0; }, "Bad header block"},
      {"header end word", [](MtkMemoryBuilder& b) { b.bytes()[511] = 0; }, "Bad header block"},
      {"record checksum", [](MtkMemoryBuilder& b) { b.bytes()[512 + 40] ^= 0x10; }, "Bad data block"},
      {"record without star", [](MtkMemoryBuilder& b) { b.bytes()[512 + 26] = '#'; }, "Bad data block"},
      {"closed count past the records",
       [](MtkMemoryBuilder& b) {
         b.bytes()[0] = 3;
         b.bytes().resize(kSectorSize, 0);  // zeros, not the end marker
       },
       "Bad data block"},
      {"more than 32 satellites",
       [](MtkMemoryBuilder& b) {
         b.ChangeFormat(0x1F | (1u << 13));
         b.Add(Fix(9, 33));
       },
       "Bad data block"},
  };
  for (const Case& c : cases) {
    MtkMemoryBuilder b;
    b.BeginSector(0x1F);
    b.Add(Fix(0));
    b.Add(Fix(1));
    c.build(b);
    EXPECT_EQ(ParseMtkLog(Image(b)).error, c.error) << c.what;
  }
}

// The walk tests an end marker or a special record only where its bytes
// remain: memory cut just after the last record is read to its end and not
// a byte further (the image is exactly that long).
TEST(MtkLog, TestsMarkersOnlyWhereTheBytesRemain) {
  struct Case {
    std::vector<uint8_t> tail;
    const char* error;
    size_t points;
  };
  const std::vector<uint8_t> special = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 2,
                                       0x1F, 0,    0,    0,    0xBB, 0xBB, 0xBB, 0xBB};
  const Case cases[] = {
      {{}, "", 2},
      {{0xFF}, "", 2},
      {{0xFF, 0xFF, 0xFF}, "", 2},
      {{0xFF, 0xFF, 0xFF, 0xFF}, "", 2},
      {std::vector<uint8_t>(8, 0xAA), "Bad data block", 0},  // too short for a special record
      {special, "", 2},
  };
  for (const Case& c : cases) {
    MtkMemoryBuilder b;
    b.BeginSector(0x1F);
    b.Add(Fix(0));
    b.Add(Fix(1));
    b.AddRaw(c.tail);
    const std::vector<uint8_t> image = b.bytes();
    const ParsedLog log = ParseMtkLog(image);
    EXPECT_EQ(log.error, c.error) << c.tail.size();
    if (log.error.empty()) {
      EXPECT_EQ(log.points.size(), c.points) << c.tail.size();
    }
  }
}

}  // namespace
}  // namespace skylode::mtk
