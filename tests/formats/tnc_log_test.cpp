#include "formats/tnc_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "records/calendar.h"

namespace skylode {
namespace {

// "@TN", variant, S/N 0x1234, 2026-08-02, and the fields only checked for digits.
std::string Header(char variant = '1') {
  std::string h = std::string("@TN ") + variant + "1234" + "      " + "260802" + "12345678" + "FF" +
                  std::string(11, ' ') + std::string(28, 'A') + "  " + "00FF00";
  EXPECT_EQ(h.size(), 78u);
  return h;
}

std::string Position(int32_t lat, int32_t lon, int height) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%06X%06X%04X%014d", static_cast<unsigned>(lat) & 0xFFFFFF,
                static_cast<unsigned>(lon) & 0xFFFFFF, static_cast<unsigned>(height) & 0xFFFF, 0);
  return buf;
}

std::string Block(const char* hhmmss) { return std::string(hhmmss) + "00A05AC0"; }

std::string File(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

const uint32_t kDay = *CalendarToTime({2026, 8, 2, 0, 0, 0, 0});

TEST(TncLogFile, BlocksOfOneSecondPositions) {
  const std::string good = Position(274877, 37479, 1250);  // 45 48.774' N, 6 14.790' E
  const auto read = ReadTncLogFile(File({"junk before the log", Header(), Block("113000"), good, good, "",
                                         Block("113030"), good, Block("235950"), good, Block("000020"), good, "@EOF",
                                         "after the end"}));
  ASSERT_TRUE(read.ok()) << read.error().text;
  const auto& p = read->points;
  ASSERT_EQ(p.size(), 5u);
  const uint32_t t0 = kDay + 11 * 3600 + 30 * 60;
  EXPECT_EQ(p[0].time, t0);
  EXPECT_EQ(p[1].time, t0 + 1);
  EXPECT_EQ(p[2].time, t0 + 30);
  EXPECT_EQ(p[3].time, kDay + 23 * 3600 + 59 * 60 + 50);
  // A block time going backwards is the next day.
  EXPECT_EQ(p[4].time, kDay + 86400 + 20);
  EXPECT_EQ(p[0].flags, 1u);
  EXPECT_EQ(p[1].flags, 0u);
  EXPECT_EQ(p[0].latitude, static_cast<int32_t>(274877 * 1988.410785185 + 0.5));
  EXPECT_EQ(p[0].gpsHeight, 12500);
  EXPECT_FALSE(read->hasBaroHeight);
}

TEST(TncLogFile, BlockStartingWithABadRecordEndsAtItsThirtiethSecond) {
  const std::string good = Position(270000, 374790, 100);
  const auto read = ReadTncLogFile(File({Header(), Block("100000"), "garbage", good, good, Block("100100"), good, "@EOF"}));
  ASSERT_TRUE(read.ok()) << read.error().text;
  ASSERT_EQ(read->points.size(), 3u);
  const uint32_t t0 = kDay + 10 * 3600;
  // Three records aligned to the block's end: the valid ones are 28 and 29.
  EXPECT_EQ(read->points[0].time, t0 + 28);
  EXPECT_EQ(read->points[1].time, t0 + 29);
  EXPECT_EQ(read->points[2].time, t0 + 60);
}

TEST(TncLogFile, Errors) {
  const std::string good = Position(270000, 374790, 100);
  const std::string beyondPole = Position(540001, 0, 0);
  struct Case {
    std::vector<std::string> lines;
    const char* message;
  };
  const std::vector<std::string> many(41, good);
  std::vector<std::string> tooMany = {Header(), Block("100000")};
  tooMany.insert(tooMany.end(), many.begin(), many.end());
  tooMany.push_back("@EOF");
  const Case cases[] = {
      {{"no header here", "@EOF"}, "Missing start record"},
      {{Header(), Block("100000"), good}, "Missing end-of-file record"},
      {{Header(), good, "@EOF"}, "Error 1 on line 2"},
      {{Header(), Block("100000"), good, Block("100029"), good, "@EOF"}, "Error 2 on block line 4"},
      {tooMany, "Error 3 on line 43"},
      // A bad record after a good one in a block aligned to its end.
      {{Header(), Block("100000"), "bad", good, "bad", Block("100100"), "@EOF"}, "Error 21 on block line 6"},
      {{Header(), Block("100000"), "bad", good, "bad", "@EOF"}, "Error 10 on line 6"},
      // Out of range is a bad record, not a position in the sea beyond the pole.
      {{Header(), Block("100000"), beyondPole, good, "@EOF"}, "Error 10 on line 5"},
  };
  for (const Case& c : cases) {
    const auto read = ReadTncLogFile(File(c.lines));
    ASSERT_FALSE(read.ok()) << c.message;
    EXPECT_EQ(read.error().text, c.message);
  }
}

TEST(TncDecoder, XcTrainerHeightsFromTheHeader) {
  TncDecoder d(true);
  ASSERT_EQ(d.Feed(Header('2')), 0);
  ASSERT_EQ(d.Feed(Block("100000")), 0);
  ASSERT_EQ(d.Feed(Position(270000, 374790, 900) + "04D2"), 0);
  ASSERT_EQ(d.Feed("@EOF"), 0);
  ASSERT_EQ(d.points().size(), 1u);
  EXPECT_EQ(d.points()[0].baroHeight, 900);
  EXPECT_EQ(d.points()[0].gpsHeight, 0);  // the field at 16-19 of this line holds zeros
  EXPECT_TRUE(d.hasBaroHeight());
}

}  // namespace
}  // namespace skylode
