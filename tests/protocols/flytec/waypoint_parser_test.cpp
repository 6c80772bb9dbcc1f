#include <gtest/gtest.h>

#include "protocols/flytec/waypoint_parser.h"
#include "sentence_fixtures.h"
#include "records/angles.h"

namespace skylode::flytec {
namespace {

using testing::FeedAll;
using testing::Sentence;

constexpr double kMinute = 0.0002908882086657;

TEST(FlytecWaypoints, ParsesSentences) {
  const struct {
    std::string text;
    double lat, lon;  // minutes
    std::string_view shortName, longName;
    int32_t altitude;
  } cases[] = {
      {"$PBRWPS,4548.774,N,00614.754,E,FORCLA,FORCLAZ TAKEOFF,1250*27\r\n", 2748.774, 374.754, "FORCLA",
       "FORCLAZ TAKEOFF", 1250},
      {Sentence("PBRWPS,4548.774,S,00614.754,W,,LE MONT BLANC,4807"), -2748.774, -374.754, "", "LE MONT BLANC",
       4807},
      {Sentence("PBRWPS,0000.000,N,00000.000,E,,,-012"), 0, 0, "", "", -12},
      {Sentence("PBRWPS,4548,N,00614,E,AB,,0000"), 2748, 374, "AB", "", 0},
      {Sentence("PBRWPS,4548.774,N,00614.754,E,SHORT"), 2748.774, 374.754, "SHORT", "", 0},
      // Empty hemispheres are north and east.
      {Sentence("PBRWPS,4548.5,,00614.25,,X,Y,0100"), 2748.5, 374.25, "X", "Y", 100},
  };
  for (const auto& c : cases) {
    WaypointSentenceParser p;
    ASSERT_EQ(FeedAll(p, "junk" + c.text, 1), 0) << c.text;
    const FlytecWaypoint& w = p.waypoint();
    EXPECT_NEAR(w.latitude, c.lat * kMinute, 1e-12) << c.text;
    EXPECT_NEAR(w.longitude, c.lon * kMinute, 1e-12) << c.text;
    EXPECT_EQ(w.shortName, c.shortName);
    EXPECT_EQ(w.longName, c.longName);
    EXPECT_EQ(w.altitude, c.altitude);
  }
}

TEST(FlytecWaypoints, SeveralSentencesInARow) {
  WaypointSentenceParser p;
  std::string text = Sentence("PBRWPS,4548.774,N,00614.754,E,A,ONE,0001") +
                     Sentence("PBRWPS,4548.774,N,00614.754,E,B,TWO,0002");
  std::vector<std::string> names;
  for (char c : text) {
    const int r = p.Feed(static_cast<uint8_t>(c));
    ASSERT_GE(r, 0);
    if (r == 0) names.push_back(p.waypoint().longName);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ONE", "TWO"}));
}

TEST(FlytecWaypoints, FormatErrors) {
  const struct {
    std::string text;
    int error;
  } cases[] = {
      {"$PBRWPS,8960", -1},
      {"$PBRWPS,45x", -2},
      {"$PBRWPS,45.7x", -3},
      {"$PBRWPS,4548.7,X", -4},
      {"$PBRWPS,4548.7,NX", -5},
      {"$PBRWPS,4548.7,N,17960", -6},
      {"$PBRWPS,4548.7,N,6x", -7},
      {"$PBRWPS,4548.7,N,6.1x", -8},
      {"$PBRWPS,4548.7,N,6.1,N", -9},
      {"$PBRWPS,4548.7,N,6.1,EE", -10},
      {"$PBRWPS,1,N,1,E,ABC\r", -11},
      {"$PBRWPS,1,N,1,E,ABCDEFG", -12},
      {"$PBRWPS,1,N,1,E,A,LONG\n", -13},
      {"$PBRWPS,1,N,1,E,A,ABCDEFGHIJKLMNOPQR", -14},
      {"$PBRWPS,1,N,1,E,A,B,12x", -15},
      {"$PBRWPS,1,N,1,E,A,B,+123", -15},
      {"$PBRWPS,1,N,1,E,A,B,12345", -16},
      {"$PBRWPS,1,N,1,E,A,B,123*", -15},
      {"$PBRWPS,1,N,1,E,A,B,1234*g", -17},
      {"$PBRWPS,1,N,1,E,A,B,1234*0g", -18},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\n", -19},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\r\r", -21},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\r\n", -20},
  };
  for (const auto& c : cases) {
    WaypointSentenceParser p;
    EXPECT_EQ(FeedAll(p, c.text), c.error) << c.text;
  }
}

TEST(FlytecWaypoints, ADollarInsideASentenceBreaksItsChecksum) {
  WaypointSentenceParser p;
  EXPECT_EQ(FeedAll(p, Sentence("PBRWPS,4548.774,N,00614.754,E,A$B,ONE,0001"), 1), -20);
}

TEST(FlytecWaypoints, ConvertedToWaypoints) {
  const struct {
    std::string_view shortName, longName;
    std::string_view id, name;
  } cases[] = {
      {"forcla", "Forclaz takeoff", "FORCLA", "FORCLAZ TAKEOFF"},
      {"", "montmin col", "MONTMI", "MONTMIN COL"},
      {"", "le mont blanc", "LE", "LE MONT BLANC"},
      {"", "", "Z", ""},
  };
  for (const auto& c : cases) {
    FlytecWaypoint f{2748.774 * kMinute, -374.754 * kMinute, std::string(c.shortName), std::string(c.longName),
                     1250};
    const Waypoint w = ToWaypoint(f, 123456);
    EXPECT_EQ(w.id, c.id);
    EXPECT_EQ(w.name, c.name);
    EXPECT_EQ(w.height, 1250);
    EXPECT_EQ(w.time, 123456u);
    EXPECT_EQ(w.symbol, 18);
    EXPECT_NEAR(SemicirclesToDegrees(w.latitude), 2748.774 / 60, 1e-6);
    EXPECT_NEAR(SemicirclesToDegrees(w.longitude), -374.754 / 60, 1e-6);
  }
}

}  // namespace
}  // namespace skylode::flytec
