#include <gtest/gtest.h>

#include "protocols/flytec/track_list.h"
#include "sentence_fixtures.h"

namespace skylode::flytec {
namespace {

using testing::FeedAll;
using testing::Sentence;

TEST(FlytecTrackList, ParsesEntriesAndDurations) {
  TrackList list;
  TrackListParser parser(list);
  const std::string text = "noise$PBRXX," + Sentence("PBRTL,3,0,15.07.26,10:12:40,01:35:20") +
                           Sentence("PBRTL,3,1,14.07.26,11:02:03,00:00:59") +
                           "$PBRTL,3,12,11.07.26,09:00:00,12:00:00*4D\r\n";
  ASSERT_EQ(FeedAll(parser, Sentence("PBRTL,3,0,15.07.26,10:12:40,01:35:20")), 1);
  EXPECT_EQ(list.entries[0].text, "00   15.07.26   10:12:40   01:35:20");
  EXPECT_EQ(list.entries[0].durationSeconds, 5720);

  list.Clear();
  TrackListParser again(list);
  ASSERT_EQ(FeedAll(again, text), 1);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.FlightNumbers(), (std::vector<int>{0, 1, 12}));
  EXPECT_EQ(list.entries[1].durationSeconds, 59);
  EXPECT_EQ(list.entries[12].text, "12   11.07.26   09:00:00   12:00:00");
  EXPECT_EQ(list.entries[12].durationSeconds, 43200);
}

TEST(FlytecTrackList, LowerCaseChecksumDigitsAccepted) {
  TrackList list;
  TrackListParser parser(list);
  // PBRTL,3,1,14.07.26,11:02:03,00:00:59 has the checksum 0x7D.
  ASSERT_EQ(FeedAll(parser, "$PBRTL,3,1,14.07.26,11:02:03,00:00:59*7d\r\n"), 1);
  EXPECT_EQ(list.entries[1].durationSeconds, 59);
}

TEST(FlytecTrackList, OverlongLineIsAFormatErrorNotACutEntry) {
  // The shared line collector keeps 80 bytes; the rest of the line, its
  // checksum with it, is lost, so the line can only fail.
  TrackList list;
  TrackListParser parser(list);
  EXPECT_LT(FeedAll(parser, Sentence("PBRTL,1,4," + std::string(100, 'D') + "," + std::string(100, 'T') +
                                     ",01:00:00")),
            0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(FlytecTrackList, FormatErrors) {
  // Lines that never reach their '*' are named by the field they broke off
  // in; lines with a good checksum by the field that is wrong.
  const struct {
    std::string text;
    int error;
  } cases[] = {
      {"$PBRTL,3\r\n", -1},
      {Sentence("PBRTL,3x,1,d,t,01:00:00"), -2},
      {Sentence("PBRTL,3"), -2},
      {"$PBRTL,3,1\n", -3},
      {Sentence("PBRTL,3,1a,d,t,01:00:00"), -4},
      // A third digit cannot name one of the 100 slots; it must not be
      // capped onto flight 99.
      {Sentence("PBRTL,3,123,d,t,01:00:00"), -4},
      {"$PBRTL,3,1,15.07.26\r\n", -5},
      {Sentence("PBRTL,3,1,15.07.26"), -5},
      {"$PBRTL,3,1,15.07.26,10:00:00\n", -6},
      {Sentence("PBRTL,3,1,d,t,01x"), -7},
      {Sentence("PBRTL,3,1,d,t,01"), -7},
      {Sentence("PBRTL,3,1,d,t,01:3x"), -8},
      {Sentence("PBRTL,3,1,d,t,01:30:2,"), -9},
      {Sentence("PBRTL,3,1,d,t,01:30:2:0"), -9},
      {"$PBRTL,3,1,d,t,01:30:20\r\n", -9},
      {"$PBRTL,3,1,d,t,01:30:20*\r\n", -10},
      {"$PBRTL,3,1,d,t,01:30:20*7\r\n", -10},
      {"$PBRTL,3,1,d,t,01:30:20*G\r\n", -11},
      {"$PBRTL,3,1,d,t,01:30:20*00 \r\n", -12},
      {"$PBRTL,3,1,d,t,01:30:20*00\n", -12},
      {"$PBRTL,3,1,d,t,01:30:20*00\r\n", -13},
  };
  for (const auto& c : cases) {
    TrackList list;
    TrackListParser parser(list);
    EXPECT_EQ(FeedAll(parser, c.text), c.error) << c.text;
    EXPECT_EQ(list.Count(), 0) << c.text;
  }
  // A wrong checksum on an otherwise good line.
  TrackList list;
  TrackListParser parser(list);
  std::string bad = Sentence("PBRTL,3,0,15.07.26,10:12:40,01:35:20");
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
  EXPECT_EQ(FeedAll(parser, bad), -13);
}

TEST(FlytecTrackList, OnlyAStartedTrackListLineCountsAsCutOff) {
  TrackList list;
  TrackListParser parser(list);
  EXPECT_EQ(FeedAll(parser, "$PBRTX,3,1"), 1);
  EXPECT_FALSE(parser.InSentence());
  EXPECT_EQ(FeedAll(parser, "\r\n$PBRTL"), 1);
  EXPECT_FALSE(parser.InSentence());
  EXPECT_EQ(FeedAll(parser, ",3,0,15.07"), 1);
  EXPECT_TRUE(parser.InSentence());
  EXPECT_EQ(FeedAll(parser, Sentence("PBRTL,3,0,15.07.26,10:12:40,01:35:20").substr(16)), 1);
  EXPECT_FALSE(parser.InSentence());
}

TEST(FlytecTrackList, MismatchedNameIsSkippedSilently) {
  TrackList list;
  TrackListParser parser(list);
  EXPECT_EQ(FeedAll(parser, "$PBRTX,3,1,garbage\r\n$GPGGA,1,2*00\r\n"), 1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(FlytecTrackList, HugeDurationFieldsStayFinite) {
  TrackList list;
  TrackListParser parser(list);
  ASSERT_EQ(FeedAll(parser, Sentence("PBRTL,1,2,d,t,99999999999999:99999999999:9999999999")), 1);
  EXPECT_GT(list.entries[2].durationSeconds, 0);
}

}  // namespace
}  // namespace skylode::flytec
