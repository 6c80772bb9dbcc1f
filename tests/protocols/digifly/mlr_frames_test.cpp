// The fast frames, the frame order and the product reply, fed byte by byte.
#include <gtest/gtest.h>

#include "protocols/digifly/mlr_frames.h"
#include "protocols/digifly/mlr_link.h"
#include "sim/mlr/mlr_instrument.h"

namespace skylode::mlr {
namespace {

using sim::MlrSimPoint;

// Every non-zero result of feeding `bytes`.
std::vector<int> FeedAll(FrameParser& parser, const std::string& bytes) {
  std::vector<int> results;
  for (char c : bytes)
    if (const int r = parser.Feed(static_cast<uint8_t>(c)); r != 0) results.push_back(r);
  return results;
}

MlrSimPoint Point(int i) { return {1468144800u + static_cast<uint32_t>(i), 547000000 + i, 74000000 - i, -15 + i, false}; }

std::string TrackData(uint8_t seq, int first, int count) {
  std::string records;
  for (int i = 0; i < count; ++i) records += sim::MlrTrackRecord(static_cast<uint16_t>(first + i), Point(first + i));
  return sim::MlrDataFrame(seq, false, count, records);
}

std::string Mutated(std::string s, size_t at, char value) {
  s[at] = value;
  return s;
}

TEST(MlrFrameParser, FramesAndTheirErrors) {
  const std::string data = TrackData(5, 1, 2);
  const std::string full27 = TrackData(5, 1, 27);
  std::string badCount = data;
  badCount[5] = 28;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<int> results;
  };
  const Case cases[] = {
      {"start", sim::MlrStartFrame(4, false), {1}},
      {"data", data, {2}},
      {"27 records", full27, {2}},
      {"end", sim::MlrEndFrame(6, false), {3}},
      {"noise before the frame is skipped", "\x01xyz\r\n" + sim::MlrEndFrame(6, false), {3}},
      {"waypoint frame is not a track frame", sim::MlrStartFrame(4, true), {}},
      {"a '$' inside a broken marker starts over", "$\x04T\x01" "DE$" + sim::MlrStartFrame(4, false).substr(1), {1}},
      {"no records", Mutated(data, 5, 0), {-kBadRecordCount}},
      {"28 records", badCount, {-kBadRecordCount}},
      {"sum", Mutated(data, data.size() - 3, static_cast<char>(data[data.size() - 3] ^ 1)), {-kSumMismatch}},
      {"no CR", Mutated(data, data.size() - 2, 'x'), {-kNoCr}},
      {"no LF", Mutated(data, data.size() - 1, 'x'), {-kNoLf}},
      {"parser recovers after an error", Mutated(data, 5, 0) + sim::MlrEndFrame(6, false), {-kBadRecordCount, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameParser parser(false);
    EXPECT_EQ(FeedAll(parser, c.bytes), c.results);
  }
}

TEST(MlrFrameParser, WaypointFramesTakeAtMost23Records) {
  std::string records;
  const sim::MlrSimWaypoint w{"ABC", "", Point(0)};
  for (int i = 0; i < 24; ++i) records += sim::MlrWaypointRecord(w);
  FrameParser parser(true);
  EXPECT_EQ(FeedAll(parser, sim::MlrDataFrame(1, true, 23, records.substr(0, 23 * 22))), std::vector<int>{2});
  EXPECT_EQ(FeedAll(parser, sim::MlrDataFrame(1, true, 24, records)), std::vector<int>{-kBadRecordCount});
}

// Feeds frames to a decoder; the last step and its error.
struct Decoded {
  FrameDecoder::Step step = FrameDecoder::Step::kContinue;
  std::string error;
  size_t points = 0;
};

Decoded DecodeAll(const std::string& bytes, bool waypoints = false) {
  FrameParser parser(waypoints);
  FrameDecoder decoder(waypoints);
  Decoded out;
  for (char c : bytes) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r <= 0) continue;
    out.step = decoder.Decode(static_cast<FrameKind>(r), parser, 1000);
    if (out.step != FrameDecoder::Step::kContinue) break;
  }
  out.error = decoder.error();
  out.points = waypoints ? decoder.waypoints().size() : decoder.points().size();
  return out;
}

TEST(MlrFrameDecoder, OrderOfFrames) {
  using S = FrameDecoder::Step;
  std::string badTimeFrame;
  {
    MlrSimPoint p = Point(1);
    p.gpsTime = 1000;
    badTimeFrame = sim::MlrDataFrame(2, false, 1, sim::MlrTrackRecord(1, p));
  }
  MlrSimPoint late = Point(1);
  late.gpsTime = 3471379200u + kGpsEpochOffset;  // 2100-01-01
  MlrSimPoint pastPole = Point(1);
  pastPole.latitude = (1 << 30) + 1;
  struct Case {
    const char* name;
    std::string bytes;
    S step;
    std::string error;
    size_t points;
  };
  const Case cases[] = {
      {"whole download", sim::MlrStartFrame(1, false) + TrackData(2, 1, 3) + TrackData(3, 4, 2) + sim::MlrEndFrame(4, false), S::kEnd, "", 5},
      {"frames before the start are ignored",
       TrackData(7, 1, 3) + sim::MlrEndFrame(8, false) + sim::MlrStartFrame(1, false) + TrackData(2, 1, 1) + sim::MlrEndFrame(3, false), S::kEnd, "", 1},
      {"second start", sim::MlrStartFrame(1, false) + sim::MlrStartFrame(2, false), S::kError, "E203 Bad sentence type sequence", 0},
      {"data out of sequence", sim::MlrStartFrame(1, false) + TrackData(3, 1, 1), S::kError, "E204 Bad sentence sequence", 0},
      {"end out of sequence", sim::MlrStartFrame(1, false) + sim::MlrEndFrame(1, false), S::kError, "E205 Bad sentence sequence", 0},
      {"point number", sim::MlrStartFrame(1, false) + TrackData(2, 2, 1), S::kError, "E206 Bad track point sequence", 0},
      {"sequence wraps after 255", sim::MlrStartFrame(254, false) + TrackData(255, 1, 1) + TrackData(0, 2, 1) + sim::MlrEndFrame(1, false), S::kEnd, "", 2},
      {"time before 1990", sim::MlrStartFrame(1, false) + badTimeFrame, S::kError, "E208 Format error 5", 0},
      {"year 2100", sim::MlrStartFrame(1, false) + sim::MlrDataFrame(2, false, 1, sim::MlrTrackRecord(1, late)), S::kError, "E208 Format error 5", 0},
      {"latitude past the pole", sim::MlrStartFrame(1, false) + sim::MlrDataFrame(2, false, 1, sim::MlrTrackRecord(1, pastPole)), S::kError, "E208 Format error 5", 0},
      {"waypoint second start", sim::MlrStartFrame(1, true) + sim::MlrStartFrame(2, true), S::kError, "E303 Bad sentence type sequence", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool waypoints = std::string(c.name).starts_with("waypoint");
    const Decoded d = DecodeAll(c.bytes, waypoints);
    EXPECT_EQ(d.step, c.step);
    EXPECT_EQ(d.error, c.error);
    EXPECT_EQ(d.points, c.points);
  }
}

TEST(MlrFrameDecoder, PointNumbersWrapWithTheirSixteenBits) {
  FrameParser parser(false);
  FrameDecoder decoder(false);
  std::string bytes = sim::MlrStartFrame(0, false);
  uint8_t seq = 0;
  for (int first = 1; first <= 65540; first += 27) {
    const int n = std::min(27, 65540 - first + 1);
    std::string records;
    for (int k = 0; k < n; ++k) records += sim::MlrTrackRecord(static_cast<uint16_t>(first + k), Point(k));
    bytes += sim::MlrDataFrame(++seq, false, n, records);
  }
  bytes += sim::MlrEndFrame(++seq, false);
  FrameDecoder::Step step = FrameDecoder::Step::kContinue;
  for (char c : bytes) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    ASSERT_GE(r, 0);
    if (r > 0) step = decoder.Decode(static_cast<FrameKind>(r), parser, 0);
    ASSERT_NE(step, FrameDecoder::Step::kError) << decoder.error();
  }
  EXPECT_EQ(step, FrameDecoder::Step::kEnd);
  EXPECT_EQ(decoder.points().size(), 65540u);
}

TEST(MlrFrameDecoder, WaypointRecords) {
  MlrSimPoint a = Point(0), b = Point(1);
  a.height = -15;
  b.height = 14;
  const std::string records = sim::MlrWaypointRecord({"FORCLA", "", a}) + sim::MlrWaypointRecord({"AB", "", b});
  FrameParser parser(true);
  FrameDecoder decoder(true);
  for (char c : sim::MlrStartFrame(9, true) + sim::MlrDataFrame(10, true, 2, records) + sim::MlrEndFrame(11, true))
    if (const int r = parser.Feed(static_cast<uint8_t>(c)); r > 0) decoder.Decode(static_cast<FrameKind>(r), parser, 777);
  ASSERT_EQ(decoder.waypoints().size(), 2u);
  const Waypoint& w = decoder.waypoints()[0];
  EXPECT_EQ(w.id, "FORCLA");
  EXPECT_EQ(w.height, -1);
  EXPECT_EQ(w.latitude, a.latitude);
  EXPECT_EQ(w.longitude, a.longitude);
  EXPECT_EQ(w.time, 777u);
  EXPECT_EQ(w.symbol, 18);
  EXPECT_EQ(decoder.waypoints()[1].id, "AB");
  EXPECT_EQ(decoder.waypoints()[1].height, 1);
}

TEST(MlrProductReply, ModelsAndBrokenReplies) {
  struct Case {
    const char* name;
    std::string bytes;
    bool complete;
    std::string model;
  };
  sim::MlrSimConfig digifly;
  digifly.product = "DGIFLY LEONARDO";
  sim::MlrSimConfig cpilot;
  cpilot.product = "CPILOT EVO";
  sim::MlrSimConfig mlr;
  sim::MlrSimConfig tooLong;
  tooLong.serial = std::string(41, '1');
  sim::MlrSimConfig blank;
  blank.second = " V2";
  std::string badSum = sim::MlrProductReply(mlr);
  badSum[badSum.size() - 3] ^= 1;
  const Case cases[] = {
      {"Digifly", sim::MlrProductReply(digifly), true, "Digifly"},
      {"CPilot", sim::MlrProductReply(cpilot), true, "CPilot"},
      {"MLR, after other sentences", "$GPGGA,1*00\r\n" + sim::MlrProductReply(mlr), true, "MLR"},
      {"field of 41 characters", sim::MlrProductReply(tooLong), false, ""},
      {"field starting with a blank", sim::MlrProductReply(blank), false, ""},
      {"checksum", badSum, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProductReplyParser parser;
    bool complete = false;
    for (char ch : c.bytes) {
      const auto r = parser.Add(static_cast<uint8_t>(ch));
      if (r == ProductReplyParser::Feed::kError) parser.Reset();
      if (r == ProductReplyParser::Feed::kComplete) complete = true;
    }
    ASSERT_EQ(complete, c.complete);
    if (complete) {
      EXPECT_EQ(parser.product().model, c.model);
    }
  }
  ProductReplyParser parser;
  for (char ch : sim::MlrProductReply(digifly)) parser.Add(static_cast<uint8_t>(ch));
  EXPECT_EQ(parser.product().identification, "Digifly: 123456");
}

}  // namespace
}  // namespace skylode::mlr
