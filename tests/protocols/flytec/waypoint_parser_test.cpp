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
  // Lines that never reach their '*' are named by the field they broke off
  // in; lines with a good checksum by the field that is wrong.
  const struct {
    std::string text;
    int error;
  } cases[] = {
      {Sentence("PBRWPS,8960,N,1,E,A,B,1234"), -1},
      {Sentence("PBRWPS,45x,N,1,E,A,B,1234"), -2},
      {"$PBRWPS,4548\r\n", -2},
      {Sentence("PBRWPS,45.7x,N,1,E,A,B,1234"), -3},
      {Sentence("PBRWPS,45.7.1,N,1,E,A,B,1234"), -3},
      {Sentence("PBRWPS,4548.7,X,1,E,A,B,1234"), -4},
      {Sentence("PBRWPS,4548.7,NX,1,E,A,B,1234"), -5},
      {Sentence("PBRWPS,4548.7,N,17960,E,A,B,1234"), -6},
      {Sentence("PBRWPS,4548.7,N,6x,E,A,B,1234"), -7},
      {Sentence("PBRWPS,4548.7,N,6.1x,E,A,B,1234"), -8},
      {Sentence("PBRWPS,4548.7,N,6.1,N,A,B,1234"), -9},
      {Sentence("PBRWPS,4548.7,N,6.1,EE,A,B,1234"), -10},
      {"$PBRWPS,1,N,1,E,ABC\r\n", -11},
      {Sentence("PBRWPS,1,N,1,E,ABCDEFG,B,1234"), -12},
      {"$PBRWPS,1,N,1,E,A,LONG\n", -13},
      {Sentence("PBRWPS,1,N,1,E,A,LONG"), -13},
      {Sentence("PBRWPS,1,N,1,E,A,ABCDEFGHIJKLMNOPQR,1234"), -14},
      {Sentence("PBRWPS,1,N,1,E,A,B,12x4"), -15},
      {Sentence("PBRWPS,1,N,1,E,A,B,+123"), -15},
      {Sentence("PBRWPS,1,N,1,E,A,B,123"), -15},
      {Sentence("PBRWPS,1,N,1,E,A,B,12345"), -16},
      {Sentence("PBRWPS,1,N,1,E,A,B,1234,"), -16},
      {"$PBRWPS,1,N,1,E,A,B,1234\r\n", -16},
      {"$PBRWPS,1,N,1,E,A,B,1234*g0\r\n", -17},
      {"$PBRWPS,1,N,1,E,A,B,1234*\r\n", -17},
      {"$PBRWPS,1,N,1,E,A,B,1234*0g\r\n", -18},
      // The right checksum, but this instrument writes its digits in upper
      // case only.
      {"$PBRWPS,4548.774,N,00614.754,E,A,ONE,0001*0b\r\n", -18},
      {"$PBRWPS,1,N,1,E,A,B,1234*00 \r\n", -19},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\n", -19},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\r\r\n", -21},
      {"$PBRWPS,1,N,1,E,A,B,1234*00\r\n", -20},
  };
  for (const auto& c : cases) {
    WaypointSentenceParser p;
    EXPECT_EQ(FeedAll(p, c.text), c.error) << c.text;
  }
}

TEST(FlytecWaypoints, ASentenceBrokenOffByTheNextOneIsAnError) {
  // Bytes lost on the line: the next '$' arrives inside a sentence. The
  // waypoint of the broken one must not vanish without a word; the error
  // names the field it broke off in.
  const struct {
    std::string text;
    int error;
  } cases[] = {
      {"$PBRWPS,4548.774,N,006", -7},
      {"$PBRWPS,4548.774,N,00614.754,E,A,ONE,0001*0B", -19},
  };
  for (const auto& c : cases) {
    WaypointSentenceParser p;
    EXPECT_EQ(FeedAll(p, c.text + Sentence("PBRWPS,4548.774,N,00614.754,E,B,TWO,0002"), 1), c.error) << c.text;
  }
}

TEST(FlytecWaypoints, OnlyAStartedWaypointLineCountsAsCutOff) {
  WaypointSentenceParser p;
  EXPECT_EQ(FeedAll(p, "$PBRWP"), 1);
  EXPECT_FALSE(p.InSentence());
  EXPECT_EQ(FeedAll(p, "S,4548"), 1);
  EXPECT_TRUE(p.InSentence());
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
      // Accented letters and punctuation of the instrument's code page.
      {"f\xf6rc.1", "", "F-RC-1", ""},
      {"\xff\xe9", "", "--", ""},
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
