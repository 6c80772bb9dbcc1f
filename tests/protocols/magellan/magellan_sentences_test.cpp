// The unit's sentences read field by field, with the number of each broken
// rule, and the waypoint sentence sent to it.
#include <gtest/gtest.h>

#include "access/sentence.h"
#include "protocols/magellan/sentences.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::magellan {
namespace {

std::vector<std::string_view> Split(const std::string& sentence) {
  std::vector<std::string_view> f;
  EXPECT_GE(CheckAndSplitSentence(sentence, f, 20), 0) << sentence;
  return f;
}

int Track(const std::string& body, TrackPoint& p, bool& has) {
  std::string s = "$" + body;
  AppendChecksum(s);
  s.resize(s.size() - 2);
  return ParseMagellanTrackSentence(Split(s), p, has);
}

TEST(MagellanTrackSentence, ReadsEveryFieldOrNamesTheBrokenRule) {
  struct Case {
    const char* body;
    int code;
    bool point;
  };
  const Case cases[] = {
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005.60,A,,020826", 1, true},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005.60,V,,020826", 1, false},  // no fix: passed over
      {"PMGNCMD,END", 0, false},
      {"PMGNCMD,NMEAOFF", 1, false},
      {"GPGGA,1,2,3", 1, false},
      {"PMGNTRK,45x8.774,N,00614.754,E,01250,M,120005,A,,020826", 2, false},
      {"PMGNTRK,9000.000,N,00614.754,E,01250,M,120005,A,,020826", 3, false},
      {"PMGNTRK,4548.774", 4, false},
      {"PMGNTRK,4548.774,Q,00614.754,E,01250,M,120005,A,,020826", 5, false},
      {"PMGNTRK,4548.774,N", 6, false},
      {"PMGNTRK,4548.774,N,0061y.754,E,01250,M,120005,A,,020826", 7, false},
      {"PMGNTRK,4548.774,N,18000.000,E,01250,M,120005,A,,020826", 8, false},
      {"PMGNTRK,4548.774,N,00614.754", 9, false},
      {"PMGNTRK,4548.774,N,00614.754,X,01250,M,120005,A,,020826", 10, false},
      {"PMGNTRK,4548.774,N,00614.754,E", 11, false},
      {"PMGNTRK,4548.774,N,00614.754,E,12a,M,120005,A,,020826", 12, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250", 13, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,Y,120005,A,,020826", 14, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M", 15, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,126005,A,,020826", 16, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005", 17, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A", 18, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,", 19, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,02o826", 20, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,1020826", 21, false},
      // Month and day are checked before the calendar looks them up.
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,020026", 20, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,021326", 20, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,000826", 20, false},
      {"PMGNTRK,4548.774,N,00614.754,E,01250,M,120005,A,,320826", 20, false},
  };
  for (const Case& c : cases) {
    TrackPoint p;
    bool has = true;
    EXPECT_EQ(Track(c.body, p, has), c.code) << c.body;
    EXPECT_EQ(has, c.point) << c.body;
  }
  TrackPoint p;
  bool has = false;
  ASSERT_EQ(Track(cases[0].body, p, has), 1);
  // 05.60 s rounds up to 06.
  EXPECT_EQ(p.time, *CalendarToTime({2026, 8, 2, 12, 0, 6, 0}));
  EXPECT_EQ(p.gpsHeight, 12500);
  EXPECT_NEAR(p.latitude, *DegreesToLatitude(45 + 48.774 / 60), 2);
  EXPECT_NEAR(p.longitude, *DegreesToLongitude(6 + 14.754 / 60), 2);
  ASSERT_EQ(Track("PMGNTRK,4548.774,S,00614.754,W,1000,F,120005,A,,020826", p, has), 1);
  EXPECT_EQ(p.gpsHeight, 3048);
  EXPECT_LT(p.latitude, 0);
  EXPECT_LT(p.longitude, 0);
}

TEST(MagellanWaypointSentence, ReadsIdentifierAndCommentThroughTheNameRules) {
  struct Case {
    const char* sentence;
    int code;
    const char* id;
    const char* name;
    int height;
  };
  const Case cases[] = {
      {"$PMGNWPL,4548.774,N,00614.754,E,0001250,M,FORCLA,Forclaz deco,a", 1, "FORCLA", "Forclaz deco", 1250},
      {"$PMGNWPL,4548.774,N,00614.754,E,1000,F,forcla", 1, "FORCLA", "", 305},
      {"$PMGNWPL,4548.774,N,00614.754,E,0100,M,DOUSSA,Dous/sa<script>", 1, "DOUSSA", "Dous-sa-script-", 100},
      {"$PMGNWPL,4548.774,N,00614.754,E,0100,M", 15, "", "", 0},
      {"$PMGNWPL,4548.774,N,00614.754,E,0100,M,TOOLONGID,x", 16, "", "", 0},
      {"$PMGNWPL,4548.774,N,00614.754,E,0100,M,A/B,x", 16, "", "", 0},
      {"$PMGNWPL,4548.774,N,00614.754,E,0100,K,ABC,x", 14, "", "", 0},
      {"$PMGNCMD,END", 0, "", "", 0},
  };
  for (const Case& c : cases) {
    std::string s = c.sentence;
    AppendChecksum(s);
    s.resize(s.size() - 2);
    Waypoint w;
    bool has = false;
    EXPECT_EQ(ParseMagellanWaypointSentence(Split(s), w, has), c.code) << c.sentence;
    EXPECT_EQ(has, c.code == 1) << c.sentence;
    if (has) {
      EXPECT_EQ(w.id, c.id) << c.sentence;
      EXPECT_EQ(w.name, c.name) << c.sentence;
      EXPECT_EQ(w.height, c.height) << c.sentence;
      EXPECT_EQ(w.symbol, 18);
    }
  }
}

TEST(MagellanReader, KeepsAHundredCharactersAndNamesEachBrokenFrame) {
  const std::string longName(120, 'x');
  std::string good = "$PMGNWPL,4548.774,N,00614.754,E,0100,M,ABC," + longName;
  AppendChecksum(good);
  std::string lower = "$PMGNCMD,END*3d\r\n";
  struct Case {
    std::string bytes;
    int result;  // of the last byte
  };
  const Case cases[] = {
      {good, 0},
      {lower, 0},
      {"$PMGNCMD,END*3G", 2},
      {"$PMGNCMD,END*3D\n", 3},
      {"$PMGNCMD,END*3C\r", 3},
      {"$PMGNCMD,END*3D\rX", 4},
      {"$PMGNCMD,END*3D\r\n\r\n", 1},
      // A sentence whose '$' came garbled is not passed over.
      {"$PMGNCMD,END*3D\r\n%", 5},
      {"\r\nP", 5},
  };
  for (const Case& c : cases) {
    MagellanSentenceReader reader;
    int last = 1;
    for (char ch : c.bytes) last = reader.Feed(static_cast<uint8_t>(ch));
    EXPECT_EQ(last, c.result) << c.bytes;
  }
  MagellanSentenceReader reader;
  for (char ch : good) reader.Feed(static_cast<uint8_t>(ch));
  ASSERT_EQ(reader.fields().size(), 9u);
  EXPECT_EQ(reader.fields()[0], "$PMGNWPL");
  // 100 characters after the '$' are kept.
  EXPECT_EQ(reader.fields()[8].size(), 100u - std::string("PMGNWPL,4548.774,N,00614.754,E,0100,M,ABC,").size());
}

TEST(MagellanWaypointSentence, SendsMinutesHeightAndChecksum) {
  Waypoint w;
  w.latitude = *DegreesToLatitude(45 + 48.774 / 60);
  w.longitude = *DegreesToLongitude(-(6 + 14.754 / 60));
  w.height = 620;
  w.id = "FORCLA";
  w.name = "Forclaz deco";
  EXPECT_EQ(MagellanWaypointSentence(w), "$PMGNWPL,4548.774,N,00614.754,W,0620,M,FORCLA,Forclaz deco*44\r\n");
  w.height = -5;
  EXPECT_NE(MagellanWaypointSentence(w).find(",0000,M,"), std::string::npos);
}

}  // namespace
}  // namespace skylode::magellan
