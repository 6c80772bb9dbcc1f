#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "protocols/garmin/protocol_set.h"

namespace skylode::garmin {
namespace {

std::vector<uint8_t> Array(const std::string& spec) {
  // "P000 L001 A010 A100 D109" -> 3-byte entries.
  std::vector<uint8_t> out;
  for (size_t at = 0; at + 4 <= spec.size(); at += 5) {
    const int n = std::stoi(spec.substr(at + 1, 3));
    out.push_back(static_cast<uint8_t>(spec[at]));
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(n >> 8));
  }
  return out;
}

TEST(GarminProtocolArray, FillsTheSlotsOfEachApplicationProtocol) {
  GarminProtocolSet s;
  auto r = ParseGarminProtocolArray(
      Array("P000 L001 A010 A100 D109 A201 D202 D109 D210 A301 D310 D301 A400 D403 A500 D501 A600 D600 A800 D800 T001"),
      s);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(s.link, 1);
  EXPECT_EQ(s.command, 10);
  EXPECT_EQ(s.waypointProtocol, 100);
  EXPECT_EQ(s.waypointType, 109);
  EXPECT_EQ(s.routeProtocol, 201);
  EXPECT_EQ(s.routeHeaderType, 202);
  EXPECT_EQ(s.routeWaypointType, 109);
  EXPECT_EQ(s.routeLinkType, 210);
  EXPECT_EQ(s.trackProtocol, 301);
  EXPECT_EQ(s.trackHeaderType, 310);
  EXPECT_EQ(s.trackPointType, 301);
  EXPECT_EQ(s.proximityProtocol, 400);
  EXPECT_EQ(s.proximityType, 403);
  EXPECT_EQ(s.almanacProtocol, 500);
  EXPECT_EQ(s.almanacType, 501);
  EXPECT_EQ(s.tagT, 1);
  EXPECT_TRUE(CheckGarminProtocols(s).ok());
}

TEST(GarminProtocolArray, DataTypesOfUnknownProtocolsDoNotLeakIntoOthers) {
  GarminProtocolSet s;
  // D300 after A800 must not become a track point type; D100 after A600 not a waypoint type.
  ASSERT_TRUE(ParseGarminProtocolArray(Array("L001 A010 A800 D300 A600 D100"), s).ok());
  EXPECT_EQ(s.trackPointType, 0);
  EXPECT_EQ(s.waypointType, 0);
  EXPECT_EQ(s.waypointProtocol, 0);
}

TEST(GarminProtocolArray, RefusesBadSizesAndTags) {
  struct Case {
    std::vector<uint8_t> data;
    const char* error;
  } cases[] = {
      {std::vector<uint8_t>(10, 'L'), "Bad protocol data packet"},
      {{'L', 1}, "Bad protocol data packet"},
      {{'L', 1, 0, 'X', 0, 0}, "Bad protocol tag character"},
      {{'a', 100, 0}, "Bad protocol tag character"},
  };
  for (const auto& c : cases) {
    GarminProtocolSet s;
    auto r = ParseGarminProtocolArray(c.data, s);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::kProtocol);
    EXPECT_EQ(r.error().text, c.error);
  }
}

TEST(GarminCheckProtocols, NamesTheFirstUnusableCapability) {
  struct Case {
    std::string array;
    const char* error;  // nullptr: usable
  } cases[] = {
      {"L001 A010 A100 D108 A302 D312 D302", nullptr},
      {"L001 A010", nullptr},  // no waypoints, no tracks: still usable
      {"L002 A010 A100 D108", "E180 Unsupported link protocol"},
      {"L001 A011 A100 D108", "E181 Unsupported device command protocol"},
      {"L001 A010 A100", "E183 Unsupported waypoint data type"},
      {"L001 A010 A100 D105", "E183 Unsupported waypoint data type"},
      {"L001 A010 A100 D110 A301 D310", "E185 Unsupported track log data type"},
      {"L001 A010 A100 D110 A301 D305", "E185 Unsupported track log data type"},
      {"L001 A010 A100 D155 A300 D304", nullptr},
  };
  for (const auto& c : cases) {
    GarminProtocolSet s;
    ASSERT_TRUE(ParseGarminProtocolArray(Array(c.array), s).ok()) << c.array;
    const Status e = CheckGarminProtocols(s);
    if (c.error) {
      ASSERT_FALSE(e.ok()) << c.array;
      EXPECT_EQ(e.error().kind, ErrorKind::kUnsupported);
      EXPECT_EQ(e.error().text, c.error) << c.array;
    } else {
      EXPECT_TRUE(e.ok()) << c.array << ": " << e.error().text;
    }
  }
}

TEST(GarminDefaultProtocols, PicksTheRowByProductAndVersion) {
  const auto rows = GarminDefaultProtocols();
  EXPECT_EQ(rows.size(), 48u);
  for (const auto& r : rows) {
    EXPECT_EQ(r.link, 1) << r.productId;
    EXPECT_EQ(r.command, 10) << r.productId;
    EXPECT_TRUE(CheckGarminProtocols(r).ok()) << r.productId;
  }
  struct Case {
    int product;
    uint16_t version;
    uint16_t waypointType;
    uint16_t proximityType;
    uint16_t trackProtocol;
  } cases[] = {
      {29, 399, 101, 101, 300}, {29, 400, 102, 102, 300}, {36, 299, 152, 152, 300},
      {36, 300, 152, 0, 300},   {77, 0, 100, 400, 300},   {77, 300, 100, 400, 300},
      {77, 301, 103, 403, 300}, {77, 349, 103, 403, 300}, {77, 350, 103, 0, 300},
      {77, 360, 103, 0, 300},   {77, 361, 103, 403, 300}, {77, 65535, 103, 403, 300},
      {7, 123, 100, 0, 0},
  };
  for (const auto& c : cases) {
    auto row = FindGarminDefaultProtocols(c.product, c.version);
    ASSERT_TRUE(row.has_value()) << c.product << "/" << c.version;
    EXPECT_EQ(row->waypointType, c.waypointType) << c.product << "/" << c.version;
    EXPECT_EQ(row->proximityType, c.proximityType) << c.product << "/" << c.version;
    EXPECT_EQ(row->trackProtocol, c.trackProtocol) << c.product << "/" << c.version;
  }
  EXPECT_FALSE(FindGarminDefaultProtocols(9999, 100).has_value());
  EXPECT_FALSE(FindGarminDefaultProtocols(0, 0).has_value());
  EXPECT_FALSE(FindGarminDefaultProtocols(-1, 0).has_value());
}

// The built-in table must match the published one (tests/data/README.md
// says where that comes from).
TEST(GarminDefaultProtocols, MatchesTheReferenceTable) {
  FILE* f = std::fopen(SKYLODE_TEST_DATA "/garmin/default-protocols.csv", "r");
  ASSERT_NE(f, nullptr) << SKYLODE_TEST_DATA "/garmin/default-protocols.csv";
  char line[512];
  std::vector<std::vector<int>> rows;
  bool header = true;
  while (std::fgets(line, sizeof line, f)) {
    if (header) {
      header = false;
      continue;
    }
    std::vector<int> v;
    for (char* tok = std::strtok(line, ",\r\n"); tok; tok = std::strtok(nullptr, ",\r\n")) v.push_back(std::atoi(tok));
    if (!v.empty()) rows.push_back(v);
  }
  std::fclose(f);
  const auto table = GarminDefaultProtocols();
  ASSERT_EQ(rows.size(), table.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& t = table[i];
    const std::vector<int> mine = {t.productId, t.minVersion, t.maxVersion, t.link, t.command,
                                   t.waypointProtocol, t.waypointType, t.routeProtocol, t.routeHeaderType,
                                   t.routeWaypointType, t.routeLinkType, t.trackProtocol, t.trackHeaderType,
                                   t.trackPointType, t.proximityProtocol, t.proximityType, t.almanacProtocol,
                                   t.almanacType};
    EXPECT_EQ(mine, rows[i]) << "row " << i;
  }
}

}  // namespace
}  // namespace skylode::garmin
