// The LogIt replies and frames, a byte at a time: what completes, and the
// error number each broken piece gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocols/logit/frames.h"
#include "protocols/logit/link.h"
#include "protocols/logit/name_form.h"
#include "sim/logit/logit_instrument.h"

namespace skylode::logit {
namespace {

std::string Hex2(uint8_t v, bool lower = false) {
  char buf[4];
  std::snprintf(buf, sizeof buf, lower ? "%02x" : "%02X", v);
  return buf;
}

uint8_t Xor(const std::string& s) {
  uint8_t x = 0;
  for (char c : s) x ^= static_cast<uint8_t>(c);
  return x;
}

// "$<covered>*<hh>\r\n" with the XOR of `covered`, changed by `flip`.
std::string Sentence(const std::string& covered, uint8_t flip = 0, bool lower = false) {
  return "$" + covered + "*" + Hex2(Xor(covered) ^ flip, lower) + "\r\n";
}

// Feeds until the parser stops asking for more: its result and how many
// bytes it took.
template <typename Parser>
std::pair<int, size_t> Feed(Parser& parser, const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int r = parser.Add(static_cast<uint8_t>(bytes[i]));
    if (r != 1) return {r, i + 1};
  }
  return {1, bytes.size()};
}

TEST(LogItProductReply, FieldsChecksAndErrors) {
  const std::string twenty(20, 'M');
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    LogItProduct product;
  };
  const Case cases[] = {
      {"plain", Sentence("PMLR,IDGPS,01,LOGIT,HANS,004711,2.10"), 0, {"LOGIT", "HANS", "004711", "2.10"}},
      {"noise and blanks before the fields", "\r\n#x" + Sentence("PMLR,IDGPS,01,  LOGIT, HANS M,  9,  2.10"), 0,
       {"LOGIT", "HANS M", "9", "2.10"}},
      {"lowercase check digits", Sentence("PMLR,IDGPS,01,TRACKLOGGER,A,B,3.00", 0, true), 0,
       {"TRACKLOGGER", "A", "B", "3.00"}},
      {"longest fields", Sentence("PMLR,IDGPS,01," + twenty + "," + twenty + "," + twenty + "," + std::string(40, 'S')),
       0, {twenty, twenty, twenty, std::string(40, 'S')}},
      {"software 1.02 sends any check digits", Sentence("PMLR,IDGPS,01,LOGIT,HANS,1,1.02", 0x33), 0,
       {"LOGIT", "HANS", "1", "1.02"}},
      {"another start", "$PMLR,IDGPX,01,A,B,C,D*00\r\n", -1, {}},
      {"CR in the model", "$PMLR,IDGPS,01,LOG\rIT", -2, {}},
      {"model too long", "$PMLR,IDGPS,01," + twenty + "X,", -3, {}},
      {"LF in the user name", "$PMLR,IDGPS,01,LOGIT,HA\n", -4, {}},
      {"user name too long", "$PMLR,IDGPS,01,LOGIT," + twenty + "X", -5, {}},
      {"CR in the serial number", "$PMLR,IDGPS,01,LOGIT,HANS,12\r", -6, {}},
      {"serial number too long", "$PMLR,IDGPS,01,LOGIT,HANS," + twenty + "1", -7, {}},
      {"CR in the software", "$PMLR,IDGPS,01,LOGIT,HANS,1,2.1\r\n", -8, {}},
      {"software too long", "$PMLR,IDGPS,01,LOGIT,HANS,1," + std::string(41, 'S'), -9, {}},
      {"CR among the check digits", "$PMLR,IDGPS,01,LOGIT,HANS,1,2.10*4\r", -10, {}},
      {"no hex digit", "$PMLR,IDGPS,01,LOGIT,HANS,1,2.10*4G", -11, {}},
      {"no CR after the digits", "$PMLR,IDGPS,01,LOGIT,HANS,1,2.10*44\n", -12, {}},
      {"check value differs", Sentence("PMLR,IDGPS,01,LOGIT,HANS,1,2.10", 0x01), -13, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProductReplyParser parser;
    const auto [result, used] = Feed(parser, c.bytes);
    EXPECT_EQ(result, c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(used, c.bytes.size());  // the byte after CR closes the reply
    EXPECT_EQ(parser.product().model, c.product.model);
    EXPECT_EQ(parser.product().userName, c.product.userName);
    EXPECT_EQ(parser.product().serialNumber, c.product.serialNumber);
    EXPECT_EQ(parser.product().software, c.product.software);
  }
}

TEST(LogItProductReply, ResetListensAfreshAfterAnError) {
  ProductReplyParser parser;
  EXPECT_EQ(Feed(parser, "$PMLR,IDGPS,01,A\r").first, -2);
  parser.Reset();
  EXPECT_EQ(Feed(parser, sim::LogItProductReply({})).first, 0);
  EXPECT_EQ(parser.product().model, "LOGIT");
}

TEST(LogItPointCount, CountsChecksAndErrors) {
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    int32_t count;
  };
  const Case cases[] = {
      {"plain", Sentence("PMLR,NUMTRACKPOINTS,1234"), 0, 1234},
      {"no digits", Sentence("PMLR,NUMTRACKPOINTS,"), 0, 0},
      {"largest count", Sentence("PMLR,NUMTRACKPOINTS,2147483629"), 0, 2147483629},
      {"noise first", "ab,\r\n" + Sentence("PMLR,NUMTRACKPOINTS,7"), 0, 7},
      {"another start", "$PMLR,NUMTRACKPOINTX,1*00\r\n", -1, 0},
      {"CR among the digits", "$PMLR,NUMTRACKPOINTS,12\r", -2, 0},
      {"no digit", "$PMLR,NUMTRACKPOINTS,1x", -3, 0},
      {"count too large", "$PMLR,NUMTRACKPOINTS,2147483630", -4, 0},
      {"LF among the check digits", "$PMLR,NUMTRACKPOINTS,1*3\n", -5, 0},
      {"no hex digit", "$PMLR,NUMTRACKPOINTS,1*3Z", -6, 0},
      {"no CR after the digits", "$PMLR,NUMTRACKPOINTS,1*34 ", -7, 0},
      {"check value differs", Sentence("PMLR,NUMTRACKPOINTS,1234", 0x10), -8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PointCountParser parser;
    EXPECT_EQ(Feed(parser, c.bytes).first, c.result);
    if (c.result == 0) {
      EXPECT_EQ(parser.count(), c.count);
    }
  }
}

TEST(LogItPointCount, LowercaseCheckDigitsCountAsUppercase) {
  // Counts whose check values hold the letters A-F.
  int tried = 0;
  for (int32_t count = 0; count < 400 && tried < 6; ++count) {
    const std::string covered = "PMLR,NUMTRACKPOINTS," + std::to_string(count);
    const std::string upper = Hex2(Xor(covered));
    if (upper.find_first_of("ABCDEF") == std::string::npos) continue;
    ++tried;
    SCOPED_TRACE(covered);
    for (uint8_t flip : {0x00, 0x01, 0x20}) {
      PointCountParser a, b;
      const int lower = Feed(a, Sentence(covered, flip, true)).first;
      EXPECT_EQ(lower, Feed(b, Sentence(covered, flip, false)).first);
      EXPECT_EQ(lower, flip == 0 ? 0 : -8);
    }
  }
  EXPECT_EQ(tried, 6);
}

std::string Record(uint16_t number, uint32_t time = 500000000, int32_t height = 1000, uint8_t flag = 0) {
  return sim::LogItTrackRecord(number, {time, 1000, -2000, height, flag});
}

TEST(LogItFrames, ParserCompletesEveryKindAndNamesEachBrokenPart) {
  const std::string data = sim::LogItDataFrame(7, 2, Record(1) + Record(2));
  auto with = [](std::string frame, size_t at, char value) {
    frame[at] = value;
    return frame;
  };
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    FrameKind kind;
  };
  const Case cases[] = {
      {"start", sim::LogItStartFrame(3), 1, FrameKind::kStart},
      {"end", sim::LogItEndFrame(200), 1, FrameKind::kEnd},
      {"restart", sim::LogItRestartFrame(0), 1, FrameKind::kRestart},
      {"data", data, 1, FrameKind::kData},
      {"noise before the start byte", "$PMLR\r\n" + sim::LogItStartFrame(3), 1, FrameKind::kStart},
      {"sixteen records", sim::LogItDataFrame(1, 16, [] {
         std::string r;
         for (uint16_t i = 1; i <= 16; ++i) r += Record(i);
         return r;
       }()), 1, FrameKind::kData},
      {"not a track frame", with(sim::LogItStartFrame(3), 2, 'W'), -2, FrameKind::kStart},
      {"type not 1", with(sim::LogItStartFrame(3), 3, 2), -3, FrameKind::kStart},
      {"unknown kind", with(sim::LogItStartFrame(3), 4, 'X'), -4, FrameKind::kStart},
      {"broken start word", with(sim::LogItStartFrame(3), 8, 'X'), -5, FrameKind::kStart},
      {"broken end word", with(sim::LogItEndFrame(3), 6, 'M'), -6, FrameKind::kStart},
      {"broken restart word", with(sim::LogItRestartFrame(3), 10, 'X'), -7, FrameKind::kStart},
      {"no records", sim::LogItDataFrame(1, 0, ""), -8, FrameKind::kStart},
      {"seventeen records", sim::LogItDataFrame(1, 17, std::string(17 * 18, '\0')), -8, FrameKind::kStart},
      {"check sum differs", sim::LogItDataFrame(1, 2, Record(1) + Record(2), true), -9, FrameKind::kStart},
      {"record byte changed", with(data, 12, 'x'), -9, FrameKind::kStart},
      {"no CR", with(data, data.size() - 2, '\n'), -10, FrameKind::kStart},
      {"no LF", with(data, data.size() - 1, '\r'), -10, FrameKind::kStart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameParser parser;
    int result = 0;
    for (char b : c.bytes) {
      result = parser.Add(static_cast<uint8_t>(b));
      if (result != 0) break;
    }
    EXPECT_EQ(result, c.result);
    if (result == 1) {
      EXPECT_EQ(parser.kind(), c.kind);
    }
    // Whatever happened, the next frame is read whole.
    int next = 0;
    for (char b : sim::LogItEndFrame(9)) next = parser.Add(static_cast<uint8_t>(b));
    EXPECT_EQ(next, 1);
    EXPECT_EQ(parser.kind(), FrameKind::kEnd);
    EXPECT_EQ(parser.sequence(), 9);
  }
}

TEST(LogItFrames, RecordsBecomeTrackPoints) {
  struct Case {
    const char* name;
    sim::LogItSimPoint record;
    TrackPoint point;
  };
  const Case cases[] = {
      {"north-east", {315100800 + 1000, 0x12345678, 0x01020304, 12345, 0xF0}, {0, 1000, 0x12345678, 0x01020304, 12345, 0, 0}},
      {"south-west, below sea level", {400000000, -5000000, -7000000, -1, 0x00}, {0, 400000000 - 315100800, -5000000, -7000000, -1, 0, 0}},
      {"lowest height", {400000000, 1, 1, -0x800000, 0x11}, {1, 400000000 - 315100800, 1, 1, -0x800000, 0, 0}},
      {"highest height", {400000000, 1, 1, 0x7FFFFF, 0x01}, {1, 400000000 - 315100800, 1, 1, 0x7FFFFF, 0, 0}},
      {"flag with another low nibble", {400000000, 1, 1, 0, 0x03}, {0, 400000000 - 315100800, 1, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string r = sim::LogItTrackRecord(1, c.record);
    EXPECT_EQ(DecodeRecord(reinterpret_cast<const uint8_t*>(r.data())), c.point);
  }
  // The height's 24 bits as the logger sends them: all ones is -0.1 m.
  std::string raw = Record(1);
  raw[14] = raw[15] = raw[16] = static_cast<char>(0xFF);
  EXPECT_EQ(DecodeRecord(reinterpret_cast<const uint8_t*>(raw.data())).gpsHeight, -1);
}

// Feeds whole frames to a decoder; the last result.
int DecodeAll(FrameDecoder& decoder, const std::vector<std::string>& frames, std::vector<TrackPoint>& points) {
  FrameParser parser;
  int result = 0;
  for (const std::string& frame : frames) {
    for (char b : frame) {
      const int r = parser.Add(static_cast<uint8_t>(b));
      if (r < 0) return r;
      if (r == 1) result = decoder.Decode(parser, points);
    }
    if (result != 0) return result;
  }
  return result;
}

TEST(LogItFrames, DecoderKeepsOrderAndNumbering) {
  const auto data = [](uint8_t seq, std::vector<uint16_t> numbers) {
    std::string records;
    for (uint16_t n : numbers) records += Record(n, 500000000 + n, 0, n == 2 ? 0xF1 : 0xF0);
    return sim::LogItDataFrame(seq, static_cast<int>(numbers.size()), records);
  };
  struct Case {
    const char* name;
    bool afterResume;
    std::vector<std::string> frames;
    int result;
    size_t stored;
  };
  const Case cases[] = {
      {"whole log", false, {sim::LogItStartFrame(1), data(2, {1, 2}), data(3, {3}), sim::LogItEndFrame(4)}, 1, 3},
      {"sequence wraps", false, {sim::LogItStartFrame(254), data(255, {1}), data(0, {2}), sim::LogItEndFrame(1)}, 1, 2},
      {"empty log", false, {sim::LogItStartFrame(9), sim::LogItEndFrame(10)}, 1, 0},
      {"data before the start", false, {data(2, {1})}, -50, 0},
      {"restart before the start", false, {sim::LogItRestartFrame(1)}, -50, 0},
      {"start after a resume", true, {sim::LogItStartFrame(1)}, -51, 0},
      {"restart after a resume", true, {sim::LogItRestartFrame(77), data(78, {1, 2}), sim::LogItEndFrame(79)}, 1, 2},
      {"point number skips", false, {sim::LogItStartFrame(1), data(2, {1, 3})}, -52, 1},
      {"point numbers start again", false, {sim::LogItStartFrame(1), data(2, {1}), data(3, {1})}, -52, 1},
      {"data frame skipped", false, {sim::LogItStartFrame(1), data(2, {1}), data(4, {2})}, -53, 1},
      {"data frame repeated", false, {sim::LogItStartFrame(1), data(2, {1}), data(2, {1})}, -53, 1},
      {"end frame skipped", false, {sim::LogItStartFrame(1), data(2, {1}), sim::LogItEndFrame(4)}, -54, 1},
      {"second start", false, {sim::LogItStartFrame(1), sim::LogItStartFrame(2)}, -55, 0},
      {"restart while running", false, {sim::LogItStartFrame(1), sim::LogItRestartFrame(2)}, -55, 0},
      {"a damaged record's position past a pole", false,
       {sim::LogItStartFrame(1), data(2, {1}),
        sim::LogItDataFrame(3, 1, sim::LogItTrackRecord(2, {500000002, (1 << 30) + 1, 0, 0, 0xF1}))},
       -56, 1},
      {"a pole itself", false,
       {sim::LogItStartFrame(1), data(2, {1}),
        sim::LogItDataFrame(3, 1, sim::LogItTrackRecord(2, {500000002, -(1 << 30), 0, 0, 0xF1})), sim::LogItEndFrame(4)},
       1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameDecoder decoder;
    if (c.afterResume) decoder.ExpectRestart();
    std::vector<TrackPoint> points;
    EXPECT_EQ(DecodeAll(decoder, c.frames, points), c.result);
    ASSERT_EQ(points.size(), c.stored);
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i].time, 500000000u + i + 1 - kLoggerEpochOffset);
      // The first point and the record flagged so start a segment.
      EXPECT_EQ(points[i].flags, (i == 0 || i == 1) ? 1u : 0u) << i;
    }
  }
}

TEST(LogItFrames, APointAfterAResumeContinuesTheLog) {
  FrameDecoder decoder;
  std::vector<TrackPoint> points;
  ASSERT_EQ(DecodeAll(decoder, {sim::LogItStartFrame(1), sim::LogItDataFrame(2, 2, Record(1) + Record(2))}, points), 0);
  decoder.ExpectRestart();
  EXPECT_EQ(DecodeAll(decoder, {sim::LogItRestartFrame(40), sim::LogItDataFrame(41, 1, Record(1, 600000000)),
                                sim::LogItEndFrame(42)},
                      points),
            1);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[2].time, 600000000u - kLoggerEpochOffset);
  EXPECT_EQ(points[2].flags, 0u);  // only the download's first point starts a segment
}

TEST(LogItCommands, CheckDigitsAreTheCharacterSum) {
  struct Case {
    std::string built, expected;
  };
  const Case cases[] = {
      {WithCharacterSum("$PMLR,06,00,"), std::string(kStopCommand)},
      {WithCharacterSum("$PMLR,26,01,01,"), std::string(kProductQuery)},
      {WithCharacterSum("$PMLR,58,00,"), std::string(kPointCountCommand)},
      {WithCharacterSum("$PMLR,99,00,"), std::string(kEraseCommand)},
      {std::string(DownloadCommand(115200)), "$PMLR,24,02,0103,039B\r\n"},
      {std::string(DownloadCommand(57600)), "$PMLR,24,02,0102,039A\r\n"},
      {std::string(DownloadCommand(38400)), "$PMLR,24,02,0101,0399\r\n"},
      {std::string(DownloadCommand(19200)), "$PMLR,24,02,0100,0398\r\n"},
      {WithCharacterSum("$PMLR,24,02,0102,"), std::string(DownloadCommand(57600))},
      {std::string(DownloadCommand(9600)), ""},
      {ResumeCommand(1001), "$PMLR,59,1001,0313\r\n"},
      {ResumeCommand(1), WithCharacterSum("$PMLR,59,1,")},
      {OwnerNameCommand("Jo"), "$PMLR,IDGPS,01,Jo       ,       *00\r\n"},
      {OwnerNameCommand("ABCDEFGHI"), "$PMLR,IDGPS,01,ABCDEFGHI,       *00\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(LogItNameForm, PrintableAsciiWithoutSentenceCharacters) {
  struct Case {
    std::string name;
    FormVerdict::Kind verdict;
  };
  const Case cases[] = {
      {"Jo", FormVerdict::Kind::kAccept},
      {"ABCDEFGHI", FormVerdict::Kind::kAccept},
      {"A-B_C ~!", FormVerdict::Kind::kAccept},
      {"", FormVerdict::Kind::kNothingToSend},
      {"ABCDEFGHIJ", FormVerdict::Kind::kRefuse},
      {"Jo,Jo", FormVerdict::Kind::kRefuse},
      {"Jo*", FormVerdict::Kind::kRefuse},
      {"$Jo", FormVerdict::Kind::kRefuse},
      {"Jo\tX", FormVerdict::Kind::kRefuse},
      {"Jo\x7F", FormVerdict::Kind::kRefuse},
      {"J\xC3\xBCrg", FormVerdict::Kind::kRefuse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> values{c.name};
    EXPECT_EQ(CheckForm(kOwnerNameForm, values).kind, c.verdict);
  }
}

}  // namespace
}  // namespace skylode::logit
