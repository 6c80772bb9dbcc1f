#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "protocols/garmin/records.h"

namespace skylode::garmin {
namespace {

const uint16_t kAllWaypointTypes[] = {100, 101, 102, 103, 104, 107, 108, 109, 110, 150, 151, 152, 154, 155};

bool IsStringType(uint16_t t) { return t >= 108 && t <= 110; }
bool HasSymbol(uint16_t t) { return t != 100 && (t < 150 || t >= 154); }
bool HasHeight(uint16_t t) { return t >= 108; }

TEST(GarminWaypointRecords, RoundTripThroughEveryType) {
  Waypoint w;
  w.id = "ab-1";
  w.name = "Take off, north 2";
  w.latitude = 555555555;
  w.longitude = -123456789;
  w.height = 1234;
  w.symbol = 42;
  w.time = 987654321;
  for (uint16_t type : kAllWaypointTypes) {
    SCOPED_TRACE(type);
    const GarminPacket p = GarminWaypointToPacket(type, w);
    EXPECT_EQ(p.id, kPidWaypointData);
    // Fixed types are sent at their full size; string types grow by the two
    // strings and their terminators.
    const size_t expected = GarminWaypointMinSize(type) + (IsStringType(type) ? 4 + 1 + 17 + 1 : 0);
    EXPECT_EQ(p.size, expected);
    WaypointPacketError err;
    auto back = GarminWaypointFromPacket(type, p, &err);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(err, WaypointPacketError::kNone);
    EXPECT_EQ(back->id, "AB-1");
    EXPECT_EQ(back->name, IsStringType(type) ? "TAKE OFF  NORTH 2" : "TAKE OFF- NORTH 2");
    EXPECT_EQ(back->latitude, w.latitude);
    EXPECT_EQ(back->longitude, w.longitude);
    EXPECT_EQ(back->height, HasHeight(type) ? 1234 : 0);
    EXPECT_EQ(back->symbol, HasSymbol(type) ? 42 : kDefaultWaypointSymbol);
    EXPECT_EQ(back->time, type == 110 ? w.time : 0u);
  }
}

TEST(GarminWaypointRecords, FixedFieldsArePaddedAndCut) {
  Waypoint w;
  w.id = "x_y";
  w.name = std::string(45, 'a');
  w.name += 'b';  // one operator+ here trips a false array-bounds warning in gcc 12
  const GarminPacket p = GarminWaypointToPacket(103, w);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data.data()), 6), "X Y   ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data.data() + 18), 40), std::string(40, 'A'));
  auto back = GarminWaypointFromPacket(103, p);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->id, "X Y");
  EXPECT_EQ(back->name, std::string(40, 'A'));
}

TEST(GarminWaypointRecords, HeaderBytesOfStringTypes) {
  Waypoint w;
  w.id = "A";
  struct Case {
    uint16_t type;
    uint8_t b0, b1, b2, b3;
  } cases[] = {{108, 0, 0xFF, 0, 0x60}, {109, 1, 0, 0x1F, 0x70}, {110, 1, 0, 0x1F, 0x80}};
  for (const auto& c : cases) {
    const GarminPacket p = GarminWaypointToPacket(c.type, w);
    EXPECT_EQ(p.data[0], c.b0) << c.type;
    EXPECT_EQ(p.data[1], c.b1) << c.type;
    EXPECT_EQ(p.data[2], c.b2) << c.type;
    EXPECT_EQ(p.data[3], c.b3) << c.type;
  }
}

TEST(GarminWaypointRecords, RefusesShortPacketsAndBadHeaders) {
  Waypoint w;
  w.id = "A";
  for (uint16_t type : kAllWaypointTypes) {
    GarminPacket p = GarminWaypointToPacket(type, w);
    p.size = static_cast<uint8_t>(GarminWaypointMinSize(type) - 1);
    WaypointPacketError err;
    EXPECT_FALSE(GarminWaypointFromPacket(type, p, &err)) << type;
    EXPECT_EQ(err, WaypointPacketError::kBadPacket) << type;
  }
  struct Case {
    uint16_t type;
    size_t at;
    uint8_t value;
  } headers[] = {{109, 0, 0}, {109, 3, 0x80}, {110, 0, 2}, {110, 3, 0x70}};
  for (const auto& c : headers) {
    GarminPacket p = GarminWaypointToPacket(c.type, w);
    p.data[c.at] = c.value;
    WaypointPacketError err;
    EXPECT_FALSE(GarminWaypointFromPacket(c.type, p, &err)) << c.type;
    EXPECT_EQ(err, WaypointPacketError::kBadHeader) << c.type;
  }
  WaypointPacketError err;
  EXPECT_FALSE(GarminWaypointFromPacket(105, GarminWaypointToPacket(100, w), &err));
  EXPECT_EQ(err, WaypointPacketError::kBadPacket);
}

TEST(GarminWaypointRecords, StringScanStopsAtTheDataSize) {
  // Unterminated strings: every byte behind the header is a letter, also the
  // bytes past the data size, which must never be read.
  struct Case {
    uint16_t type;
    size_t size;
    const char* id;
    const char* name;
  } cases[] = {
      {108, 48, "", ""},
      {108, 51, "QQQ", ""},
      {109, 60, "QQQQQQ", ""},      // ident cut to 6, unterminated, no cmnt
      {110, 62, "", ""},
      {110, 66, "QQQQ", ""},
  };
  for (const auto& c : cases) {
    GarminPacket p = GarminWaypointToPacket(c.type, Waypoint{});
    std::memset(p.data.data() + GarminWaypointMinSize(c.type), 'Q', kMaxPacketData - GarminWaypointMinSize(c.type));
    p.size = static_cast<uint8_t>(c.size);
    auto w = GarminWaypointFromPacket(c.type, p);
    ASSERT_TRUE(w) << c.type << "/" << c.size;
    EXPECT_EQ(w->id, c.id) << c.type << "/" << c.size;
    EXPECT_EQ(w->name, c.name) << c.type << "/" << c.size;
  }
  // A terminated ident with a comment that runs into the end of the data.
  GarminPacket p = GarminWaypointToPacket(108, Waypoint{});
  const char tail[] = "ab\0cdefg";
  std::memcpy(p.data.data() + 48, tail, 8);
  std::memset(p.data.data() + 56, 'Z', 50);
  p.size = 56;
  auto w = GarminWaypointFromPacket(108, p);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->id, "AB");
  EXPECT_EQ(w->name, "CDEFG");
}

TEST(GarminWaypointRecords, TextFromTheUnitIsCleaned) {
  GarminPacket p = GarminWaypointToPacket(100, Waypoint{});
  std::memcpy(p.data.data(), "ab\0xyz", 6);   // a NUL ends a fixed field
  std::memcpy(p.data.data() + 18, "caf\xe9\t  ", 7);
  auto w = GarminWaypointFromPacket(100, p);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->id, "AB");
  EXPECT_EQ(w->name, "CAF\xC3\xA9");  // Latin-1 e acute as UTF-8, tab and trailing blanks gone
}

TEST(GarminAltitudes, FloatsOutsideThePlausibleRangeAreMissing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double metres;
    int32_t waypoint;  // metres
    int32_t track;     // decimetres
  } cases[] = {
      {0, 0, 0},          {123.5, 124, 1235},     {-123.5, -124, -1235}, {-12.35, -12, -124},
      {20000, 20000, 200000}, {20000.5, 0, 200005}, {-20001, 0, -200010}, {1.0e25, 0, 0},
      {5e9, 0, 0},        {-5e9, 0, 0},           {1e10, 0, 0},          {nan, 0, 0},
      {inf, 0, 0},        {-inf, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WaypointAltitudeFromFloat(c.metres), c.waypoint) << c.metres;
    EXPECT_EQ(TrackAltitudeFromFloat(c.metres), c.track) << c.metres;
  }
}

GarminPacket TrackPacket(uint16_t type, uint32_t time, float alt, uint8_t newTrack, float depth = 7.5f) {
  GarminPacket p;
  p.id = kPidTrackData;
  p.size = static_cast<uint8_t>(GarminTrackPointMinSize(type));
  PutU32(p.data.data(), static_cast<uint32_t>(-400000000));
  PutU32(p.data.data() + 4, 300000000);
  PutU32(p.data.data() + 8, time);
  if (type != 300) PutF32(p.data.data() + 12, alt);
  if (type == 301 || type == 302) PutF32(p.data.data() + 16, depth);
  const size_t flagAt = type == 300 ? 12 : type == 301 ? 20 : type == 302 ? 24 : type == 303 ? 16 : 20;
  p.data[flagAt] = newTrack;  // for D303/D304 this byte is a heart rate
  return p;
}

TEST(GarminTrackRecords, ConvertsEveryPointType) {
  struct Case {
    uint16_t type;
    uint32_t time;
    float alt;
    uint32_t wantTime;
    int32_t wantHeight;
    uint32_t wantFlags;
  } cases[] = {
      {300, 1000, 0, 1000, 0, 1},
      {301, 0xFFFFFFFFu, 1.0e25f, 0, 0, 1},
      {301, 0x7FFFFFFFu, 512.26f, 0, 5123, 1},
      {302, 77, -3.25f, 77, -33, 1},
      {303, 78, 100, 78, 1000, 0},
      {304, 79, 5e9f, 79, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    auto t = GarminTrackPointFromPacket(c.type, TrackPacket(c.type, c.time, c.alt, 1));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->latitude, -400000000);
    EXPECT_EQ(t->longitude, 300000000);
    EXPECT_EQ(t->time, c.wantTime);
    EXPECT_EQ(t->gpsHeight, c.wantHeight);
    EXPECT_EQ(t->flags, c.wantFlags);
    EXPECT_EQ(t->baroHeight, 0);
    EXPECT_EQ(t->depth, (c.type == 301 || c.type == 302) ? 7.5f : 0.0f);
    GarminPacket shortOne = TrackPacket(c.type, c.time, c.alt, 1);
    shortOne.size--;
    EXPECT_FALSE(GarminTrackPointFromPacket(c.type, shortOne));
  }
  EXPECT_FALSE(GarminTrackPointFromPacket(305, TrackPacket(304, 1, 1, 0)));
  auto nanAlt = GarminTrackPointFromPacket(301, TrackPacket(301, 5, std::numeric_limits<float>::quiet_NaN(), 0));
  ASSERT_TRUE(nanAlt);
  EXPECT_EQ(nanAlt->gpsHeight, 0);
  EXPECT_EQ(nanAlt->flags, 0u);
}

TEST(GarminTrackRecords, UploadPacketsCarryOnlyThePosition) {
  for (auto [protocol, size] : {std::pair<uint16_t, size_t>{300, 13}, {301, 21}, {302, 25}}) {
    GarminPacket p = GarminTrackPointToPacket(protocol, -5, 70000);
    EXPECT_EQ(p.id, kPidTrackData);
    ASSERT_EQ(p.size, size);
    EXPECT_EQ(static_cast<int32_t>(GetU32(p.payload(), 0)), -5);
    EXPECT_EQ(static_cast<int32_t>(GetU32(p.payload(), 4)), 70000);
    for (size_t i = 8; i < size; ++i) EXPECT_EQ(p.data[i], 0) << protocol << " byte " << i;
  }
  GarminPacket h = GarminTrackHeaderPacket(std::string(60, 'N'));
  EXPECT_EQ(h.id, kPidTrackHeader);
  EXPECT_EQ(h.size, 2 + 50 + 1);
  EXPECT_EQ(h.data[0], 1);
  EXPECT_EQ(h.data[1], 0);
  EXPECT_EQ(h.data[52], 0);
}

}  // namespace
}  // namespace skylode::garmin
