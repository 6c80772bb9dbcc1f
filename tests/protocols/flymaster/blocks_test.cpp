// The block stream's framing, the positions it carries and the track list
// lines, byte by byte.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "protocols/flymaster/blocks.h"
#include "protocols/flymaster/link.h"
#include "protocols/flymaster/track_list.h"
#include "records/calendar.h"
#include "sim/flymaster/flymaster_instrument.h"

namespace skylode::flymaster {
namespace {

using Bytes = std::vector<uint8_t>;

struct Fed {
  std::vector<BlockResult> results;  // only the complete and damaged ones
  std::vector<uint8_t> ids;
  std::vector<Bytes> payloads;
};

Fed FeedAll(const Bytes& bytes) {
  BlockDecoder d;
  Fed out;
  for (uint8_t b : bytes) {
    const BlockResult r = d.Feed(b);
    if (r == BlockResult::kIncomplete) continue;
    out.results.push_back(r);
    out.ids.push_back(d.id());
    out.payloads.emplace_back(d.payload().begin(), d.payload().end());
  }
  return out;
}

TEST(FlymasterBlockDecoder, FramesBlocks) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<BlockResult> results;
    std::vector<uint8_t> ids;
  };
  const auto good = sim::FlymasterBlock(0xA2, Bytes{1, 2, 3, 4, 5, 6});
  Bytes damaged = good;
  damaged.back() ^= 1;
  Bytes noisy = {0x00, 0x55, 0xA1, 0x10};  // a lone identifier then noise: not a block
  noisy.insert(noisy.end(), good.begin(), good.end());
  const std::vector<Case> cases = {
      {"one block", good, {BlockResult::kComplete}, {0xA2}},
      {"bad checksum", damaged, {BlockResult::kBadChecksum}, {0xA2}},
      {"noise before", noisy, {BlockResult::kComplete}, {0xA2}},
      {"end marker", {0xA3, 0xA3}, {BlockResult::kComplete}, {0xA3}},
      // A0 then A3 is neither an end nor a block to trust: one of the two
      // was damaged, so the block is read to its end and asked for again.
      {"A0 then A3", {0xA0, 0xA3, 0x01, 0x07, 0x06}, {BlockResult::kBadChecksum}, {0xA0}},
      {"A2 then A3 is no end", {0xA2, 0xA3, 0x01, 0x07, 0x06, 0xA3, 0xA3},
       {BlockResult::kBadChecksum, BlockResult::kComplete}, {0xA2, 0xA3}},
      // An empty block is its checksum at once; the next block is read whole.
      {"empty block", Bytes{0xA2, 0xA2, 0x00, 0x00, 0xA3, 0xA3}, {BlockResult::kComplete, BlockResult::kComplete},
       {0xA2, 0xA3}},
  };
  for (const Case& c : cases) {
    const Fed f = FeedAll(c.bytes);
    EXPECT_EQ(f.results, c.results) << c.what;
    EXPECT_EQ(f.ids, c.ids) << c.what;
  }
  EXPECT_EQ(FeedAll(good).payloads.front(), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(FeedAll({0xA2, 0xA2, 0x00, 0x00}).payloads.front().empty());
}

TEST(FlymasterBlockDecoder, LongestBlockStaysInItsBuffer) {
  Bytes payload(255);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
  const Fed f = FeedAll(sim::FlymasterBlock(0xA0, payload));
  ASSERT_EQ(f.payloads.size(), 1u);
  EXPECT_EQ(f.payloads[0], payload);
}

Bytes Key(int32_t lat, int32_t lon, int16_t alt, int16_t p, uint32_t t) {
  Bytes k = {0};
  for (uint32_t v : {static_cast<uint32_t>(lat), static_cast<uint32_t>(lon)})
    for (int i = 0; i < 4; ++i) k.push_back(static_cast<uint8_t>(v >> (8 * i)));
  for (int16_t v : {alt, p}) {
    k.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
    k.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  for (int i = 0; i < 4; ++i) k.push_back(static_cast<uint8_t>(t >> (8 * i)));
  return k;
}

std::basic_string_view<uint8_t> View(const Bytes& b) { return {b.data(), b.size()}; }

TEST(FlymasterFlightDecoder, KeyAndRecordsMakePoints) {
  FlightDecoder d;
  ASSERT_FALSE(d.Apply(kKeyPositionBlock, View(Key(600000, 1000000, 1250, 8988, 0)), false));
  const Bytes records = {0, 1, 0xFF, 0xFE, 3, 2, /**/ 0, 0x80, 0x7F, 0, 0, 255};
  ASSERT_FALSE(d.Apply(kPositionsBlock, View(records), false));
  const auto& pts = d.points();
  ASSERT_EQ(pts.size(), 3u);
  // 10 degrees north; a longitude value of +1,000,000 is 16.67 degrees WEST.
  EXPECT_EQ(pts[0].latitude, 119304647);
  EXPECT_EQ(pts[0].longitude, -198841079);
  EXPECT_EQ(pts[0].gpsHeight, 12500);
  EXPECT_NEAR(pts[0].baroHeight, 1000, 2);
  EXPECT_EQ(pts[0].flags, kTrackPointStartsSegment);
  const CalendarTime t = SecondsToDateTime(pts[0].time);
  EXPECT_EQ(t.year, 2000);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  // Each record moves the position by signed steps and the time by unsigned ones.
  EXPECT_EQ(pts[1].flags, 0u);
  EXPECT_EQ(pts[1].time, pts[0].time + 2);
  EXPECT_EQ(pts[1].gpsHeight, 12480);
  EXPECT_EQ(pts[2].time, pts[0].time + 257);
  EXPECT_EQ(pts[2].latitude, static_cast<int32_t>(std::lround((600000 + 1 - 128) * 198.8410785185)));
  EXPECT_EQ(pts[2].longitude, -static_cast<int32_t>(std::lround((1000000 - 1 + 127) * 198.8410785185)));
}

TEST(FlymasterFlightDecoder, RefusesWhatCannotBeAPosition) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint8_t, Bytes>> blocks;
    std::string error;
  };
  const Bytes key = Key(0, 0, 0, 10132, 100);
  const std::vector<Case> cases = {
      {"positions before a key block", {{kPositionsBlock, Bytes(6)}}, "E205 Missing key track position block"},
      {"short key block", {{kKeyPositionBlock, Bytes(16)}}, "E205 Bad key track position block length"},
      {"short flight info", {{kFlightInfoBlock, Bytes(62)}}, "E205 Bad flight info block length"},
      {"records of 5", {{kKeyPositionBlock, key}, {kPositionsBlock, Bytes(5)}}, "E205 Bad track position block length"},
      {"latitude past the pole",
       {{kKeyPositionBlock, Key(5400001, 0, 0, 0, 0)}},
       "E205 Latitude outside valid range"},
      {"longitude past the date line",
       {{kKeyPositionBlock, Key(0, -10800001, 0, 0, 0)}},
       "E205 Longitude value outside valid range"},
      // A step may not carry the position over the edge either.
      {"step past the pole",
       {{kKeyPositionBlock, Key(5400000, 0, 0, 0, 0)}, {kPositionsBlock, Bytes{0, 1, 0, 0, 0, 1}}},
       "E205 Latitude outside valid range"},
      {"step past the date line",
       {{kKeyPositionBlock, Key(0, -10800000, 0, 0, 0)}, {kPositionsBlock, Bytes{0, 0, 0xFF, 0, 0, 1}}},
       "E205 Longitude value outside valid range"},
      {"time past the scale", {{kKeyPositionBlock, Key(0, 0, 0, 0, 0xFFFFFFF0u)}}, "E205 Time outside valid range"},
  };
  for (const Case& c : cases) {
    FlightDecoder d;
    std::string error;
    for (const auto& [id, payload] : c.blocks) {
      if (auto e = d.Apply(id, View(payload), false)) {
        error = e->text;
        break;
      }
    }
    EXPECT_EQ(error, c.error) << c.what;
  }
}

TEST(FlymasterFlightDecoder, OnlyKeyBlocksMakeAValidFlight) {
  FlightDecoder d;
  ASSERT_FALSE(d.Apply(kKeyPositionBlock, View(Key(0, 0, 10, 10132, 5)), false));
  ASSERT_FALSE(d.Apply(kKeyPositionBlock, View(Key(60000, -60000, 20, 10100, 900)), false));
  ASSERT_EQ(d.points().size(), 2u);
  EXPECT_EQ(d.points()[1].flags, 0u);
  EXPECT_EQ(d.points()[1].longitude, -static_cast<int32_t>(std::lround(-60000 * 198.8410785185)));
}

TEST(FlymasterPositions, DateLineEitherWayIsTheSameMeridian) {
  EXPECT_EQ(LongitudeSemicircles(10800000), INT32_MIN);   // 180 W
  EXPECT_EQ(LongitudeSemicircles(-10800000), INT32_MIN);  // 180 E, never +2^31
  EXPECT_EQ(LongitudeSemicircles(0), 0);
  EXPECT_EQ(PressureAltitude(10132), 0);
  EXPECT_GT(PressureAltitude(5000), 5500);
}

TEST(FlymasterFlightInfo, IdsAreNumbersOrNone) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"17     ", 17}, {"  4711 ", 4711}, {"       ", -1}, {"", -1}, {std::string(7, '\0'), -1},
      {"0      ", 0},  {"-3     ", -3},   {"12a    ", -1}, {"1 2    ", -1},
  };
  for (const auto& [text, id] : cases) EXPECT_EQ(ParseIdText(text), id) << '"' << text << '"';

  Bytes info(63, ' ');
  info[0] = 1;
  info[1] = 21;
  info[4] = 0x67;
  info[5] = 0x12;
  info[6] = info[7] = 0;
  for (bool b1 : {false, true}) {
    FlightDecoder d;
    ASSERT_FALSE(d.Apply(kFlightInfoBlock, View(info), b1));
    EXPECT_EQ(d.info()->serialNumber, 0x1267u);
    EXPECT_EQ(d.info()->firmwareMinor, 21);
    // Only the B1 NAV carries a CIVL ID.
    EXPECT_EQ(d.info()->civlId.size(), b1 ? 7u : 0u);
  }
}

struct ListRun {
  std::vector<ListedFlight> list;
  int error = 0;
};

ListRun ParseList(const std::string& text) {
  ListRun r;
  TrackListParser p(r.list);
  for (char c : text) {
    const int e = p.Feed(static_cast<uint8_t>(c));
    if (e < 0) {
      r.error = -e;
      break;
    }
  }
  return r;
}

std::string Line(const std::string& body) { return sim::FlymasterSentence(body); }

TEST(FlymasterTrackList, ReadsLinesAndNumbersItsErrors) {
  const std::string good = Line("PFMLST,2,0,02.08.26,11:30:05,01:02:03");
  ListRun r = ParseList("noise $PF" + good + Line("PFMLST,2,1,01.08.26,09:00:00,00:30:00"));
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.list.size(), 2u);
  EXPECT_EQ(r.list[0].Line(), "2026.08.02   11:30:05   01:02:03");
  EXPECT_EQ(r.list[0].durationSeconds(), 3723);
  EXPECT_EQ(r.list[0].DownloadCommand(), "$PFMDNL,260802113005,*" + [] {
    std::string s = sim::FlymasterSentence("PFMDNL,260802113005,");
    std::string digits = s.substr(s.size() - 4, 2);
    for (char& c : digits) c = static_cast<char>(std::tolower(c));
    return digits;
  }() + "\r\n");

  std::string badSum = good;
  badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
  const std::vector<std::pair<std::string, int>> cases = {
      {"$PFMLST,x", 2},
      {"$PFMLST,2,0,02.08.26,11:30:05,01:02:03,", 12},
      {"$PFMLST,2,0,02/08", 4},
      {"$PFMLST,2,0,02.08.26,11:30:05,01:02:03*\r", 13},
      {"$PFMLST,2,0,02.08.26,11:30:05,01:02:03*G", 14},
      {"$PFMLST,2,0,02.08.26,11:30:05,01:02:03*00\n", 15},
      {badSum, 16},
      // Digits without end are noise, not a number to wrap.
      {"$PFMLST," + std::string(10, '9'), 2},
      {"$PFMLST,2,0,02.08.26,11:30:05,99999999999", 10},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ParseList(text).error, error) << text;
}

TEST(FlymasterTrackList, HoldsAThousandFlights) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += Line("PFMLST,1000," + std::to_string(i) + ",02.08.26,11:30:05,01:02:03");
  EXPECT_EQ(ParseList(text).list.size(), 1000u);
  EXPECT_EQ(ParseList(text + Line("PFMLST,1000,1000,02.08.26,11:30:05,01:02:03")).error, 1);
}

TEST(FlymasterProduct, RepliesAreCheckedAndSplit) {
  ProductData p;
  ASSERT_TRUE(ParseProductReply(sim::FlymasterSentence("PBRSNP,B1NAV,,12345,1.14").substr(0, 30), p) == false);
  const std::string reply = sim::FlymasterSentence("PBRSNP,B1NAV,x,12345,1.14");
  ASSERT_TRUE(ParseProductReply(reply.substr(0, reply.size() - 2), p));
  EXPECT_TRUE(p.b1Nav());
  EXPECT_EQ(p.InstrumentText(), "Flymaster B1NAV  SN12345  SW1.14");
  EXPECT_EQ(p.Identification(), "Flymaster: 12345");
  const std::string f1 = sim::FlymasterSentence("PBRSNP,GpsSD,,9,1.23");
  ASSERT_TRUE(ParseProductReply(f1.substr(0, f1.size() - 2), p));
  EXPECT_FALSE(p.b1Nav());
  const std::string other = sim::FlymasterSentence("PBRXXX,GpsSD,,9,1.23");
  EXPECT_FALSE(ParseProductReply(other.substr(0, other.size() - 2), p));
}

}  // namespace
}  // namespace skylode::flymaster
