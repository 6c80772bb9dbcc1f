// The IQ Basic texts one at a time: the RPA replies' hexadecimal numbers, the
// flight list lines, the flight request, and waypoint lines both ways.
#include <gtest/gtest.h>

#include <cmath>

#include "protocols/iqbasic/link.h"
#include "protocols/iqbasic/track_list.h"
#include "protocols/iqbasic/waypoints.h"
#include "records/angles.h"

namespace skylode::iqbasic {
namespace {

TEST(IqHexReply, LittleEndianPairsWithinThirtyTwoBits) {
  struct Case {
    std::string_view line;
    HexReply status;
    uint32_t value;
  } const cases[] = {
      {"RPA_00_71040000", HexReply::kOk, 1137},
      {"RPA_00_5104", HexReply::kOk, 1105},
      {"RPA_00_  7104", HexReply::kOk, 1137},      // blanks before the number
      {"RPA_00_ff", HexReply::kOk, 255},           // either case
      {"RPA_00_78563412", HexReply::kOk, 0x12345678},
      {"RPA_00_FFFFFFFF", HexReply::kOk, 0xFFFFFFFF},
      {"RPA_00_7104000001", HexReply::kFormatError, 0},  // a fifth pair does not fit
      {"RPA_00_", HexReply::kFormatError, 0},            // no pair at all
      {"RPA_00_   ", HexReply::kFormatError, 0},
      {"RPA_00_710", HexReply::kFormatError, 0},         // odd number of digits
      {"RPA_00_71G4", HexReply::kFormatError, 0},
      {"RPA_00_7104 ", HexReply::kFormatError, 0},       // trailing text
      {"RPA_01_7104", HexReply::kWrongPrefix, 0},
      {"RPA_0", HexReply::kWrongPrefix, 0},
      {"", HexReply::kWrongPrefix, 0},
  };
  for (const Case& c : cases) {
    uint32_t value = 0;
    EXPECT_EQ(ParseHexReply(c.line, "RPA_00_", value), c.status) << c.line;
    if (c.status == HexReply::kOk) {
      EXPECT_EQ(value, c.value) << c.line;
    }
  }
}

TEST(IqHexReply, AFailedReplyLeavesTheValueAlone) {
  uint32_t value = 42;
  EXPECT_EQ(ParseHexReply("RPA_02_123", "RPA_02_", value), HexReply::kFormatError);
  EXPECT_EQ(value, 42u);
}

TEST(IqProductText, ModelAndVersionDigits) {
  struct Case {
    IqProduct product;
    std::string_view text;
  } const cases[] = {
      {{1137, 1, 1105, "IQ-BASIC"}, "IQ-BASIC, SW 1.1.05, S/N 1137"},
      {{7, 0, 2399, "6015"}, "6015, SW 2.3.99, S/N 7"},
      {{4000000000u, 2, 10, "IQ-BASIC"}, "IQ-BASIC, SW 0.0.10, S/N 4000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(IdentificationText(c.product), c.text);
  EXPECT_EQ(ModelName(0), "6015");
  EXPECT_EQ(ModelName(1), "IQ-BASIC");
  EXPECT_EQ(ModelName(77), "IQ-BASIC");
}

TEST(IqLineReader, TextUpToCrEndedByLf) {
  LineReader reader;
  std::vector<std::string> lines;
  const std::string bytes = "RPA_00_01\r\nnoise after CR\rIGNORED\n\nlast";
  for (char c : bytes)
    if (reader.Feed(static_cast<uint8_t>(c))) lines.emplace_back(reader.line());
  EXPECT_EQ(lines, (std::vector<std::string>{"RPA_00_01", "noise after CR", ""}));
  EXPECT_TRUE(reader.InLine());

  // A line longer than the instrument's limit keeps its first 1000 characters.
  LineReader longReader;
  for (size_t i = 0; i < 1500; ++i) longReader.Feed('x');
  ASSERT_TRUE(longReader.Feed('\n'));
  EXPECT_EQ(longReader.line().size(), LineReader::kLineMax);
}

TEST(IqTrackList, LinesWithFiveFieldsAndFlightsThatCanBeAskedFor) {
  struct Case {
    std::string_view line;
    bool taken;
    int number;
    std::string_view date, time, duration;
    int32_t seconds;
  } const cases[] = {
      {"1;02.08.26;12:00:00; 1238m;01:02:03", true, 1, "02.08.26", "12:00:00", "01:02:03", 3723},
      {" 26;  02.08.26;  09:15:00;x;  00:10:00", true, 26, "02.08.26", "09:15:00", "00:10:00", 600},
      {"7;a very long date text here;t;x;0:0:5;extra;more", true, 7, "a very long dat", "t", "0:0:5", 5},
      {"255;d;t;x;1:00:00", true, 255, "d", "t", "1:00:00", 3600},
      {"0;d;t;x;00:00:01", true, 0, "d", "t", "00:00:01", 1},
      {"256;d;t;x;1:00:00", false, 0, "", "", "", 0},  // beyond two hexadecimal digits
      {"1000;d;t;x;1:00:00", false, 0, "", "", "", 0},
      {"-1;d;t;x;1:00:00", false, 0, "", "", "", 0},
      {"1;02.08.26;12:00:00;01:02:03", false, 0, "", "", "", 0},  // four fields
      {"abc;d;t;x;1:00:00", false, 0, "", "", "", 0},
      {";d;t;x;1:00:00", false, 0, "", "", "", 0},
      {"", false, 0, "", "", "", 0},
  };
  for (const Case& c : cases) {
    const auto e = ParseTrackListLine(c.line);
    ASSERT_EQ(e.has_value(), c.taken) << c.line;
    if (!e) continue;
    EXPECT_EQ(e->number, c.number) << c.line;
    EXPECT_EQ(e->date, c.date) << c.line;
    EXPECT_EQ(e->time, c.time) << c.line;
    EXPECT_EQ(e->duration, c.duration) << c.line;
    EXPECT_EQ(e->durationSeconds, c.seconds) << c.line;
  }
}

TEST(IqTrackList, RequestAndDialogLine) {
  const std::pair<int, std::string_view> commands[] = {
      {26, "ACT_21_1A\r\n"}, {0, "ACT_21_00\r\n"}, {255, "ACT_21_FF\r\n"}, {171, "ACT_21_AB\r\n"}};
  for (auto [n, text] : commands) EXPECT_EQ(FlightCommand(n), text) << n;
  TrackListEntry e{7, "02.08.26", "12:00:00", "01:02:03", 3723};
  EXPECT_EQ(DialogLine(e), "  7   02.08.26   12:00:00   01:02:03");
  e.number = 123;
  EXPECT_EQ(DialogLine(e), "123   02.08.26   12:00:00   01:02:03");
}

TEST(IqWaypointLine, FieldsAndErrors) {
  struct Case {
    std::string_view line;
    int error;
    std::string_view id, name;
    double lat, lon;
    int32_t height;
  } const cases[] = {
      {"HOME;N 47'30.5;E 8'15.25;620", 0, "HOME", "HOME", 47.508333, 8.254167, 620},
      {"  Forclaz   deco ;s  45'48.774;w 006'14.754", 0, "FORCLA", "Forclaz deco", -45.8129, -6.2459, 0},
      {"top;N 0'0;E 179'59.999;-12.5", 0, "TOP", "top", 0, 179.99998, -13},
      {"a.b;N 10'00;E 10'00; 99.4 ", 0, "A-B", "a-b", 10, 10, 99},
      {"HOME;N 47'30.5", 2, "", "", 0, 0, 0},
      {"HOME", 2, "", "", 0, 0, 0},
      {"HOME;N 47'30.5;E 8'15.25;6x0", 3, "", "", 0, 0, 0},
      {"HOME;N 47'30.5;E 8'15.25;-", 3, "", "", 0, 0, 0},
      {"HOME;X 47'30.5;E 8'15.25", 4, "", "", 0, 0, 0},
      {"HOME;N 90'00.0;E 8'15.25", 4, "", "", 0, 0, 0},
      {"HOME;N 47'60.0;E 8'15.25", 4, "", "", 0, 0, 0},
      {"HOME;N 47 30.5;E 8'15.25", 4, "", "", 0, 0, 0},
      {"HOME;N 47'30.5x;E 8'15.25", 4, "", "", 0, 0, 0},
      {"HOME;N 47'30.5;E 180'00.0", 5, "", "", 0, 0, 0},
      {"HOME;N 47'30.5;N 8'15.25", 5, "", "", 0, 0, 0},
      {"HOME;N 47'30.5;E '15.25", 5, "", "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const WaypointLine r = ParseWaypointLine(c.line, 12345);
    EXPECT_EQ(r.error, c.error) << c.line;
    ASSERT_EQ(r.waypoint.has_value(), c.error == 0) << c.line;
    if (!r.waypoint) continue;
    const Waypoint& w = *r.waypoint;
    EXPECT_EQ(w.id, c.id) << c.line;
    EXPECT_EQ(w.name, c.name) << c.line;
    EXPECT_NEAR(SemicirclesToDegrees(w.latitude), c.lat, 1e-5) << c.line;
    EXPECT_NEAR(SemicirclesToDegrees(w.longitude), c.lon, 1e-5) << c.line;
    EXPECT_EQ(w.height, c.height) << c.line;
    EXPECT_EQ(w.symbol, 18) << c.line;
    EXPECT_EQ(w.time, 12345u) << c.line;
  }
}

TEST(IqWaypointUpload, LineLayoutByMode) {
  Waypoint w;
  w.id = "FORCLA";
  w.name = "Col de la Forclaz";
  w.latitude = *DegreesToLatitude(45.8129);
  w.longitude = *DegreesToLongitude(6.2459);
  w.height = 1250;
  Waypoint south = w;
  south.latitude = *DegreesToLatitude(-5.5);
  south.longitude = *DegreesToLongitude(-120.25);
  south.name = "semi;colon";
  south.height = -3000;
  Waypoint high = w;
  high.height = 12000;
  high.name = "Gipfel";
  struct Case {
    const Waypoint* w;
    int mode;
    std::string_view line;
  } const cases[] = {
      {&w, 1, "Col de la Forcla;N  45'48.774;E 006'14.754;  1250;   400\r\n"},
      {&w, 0, "Col de la Forcla;N  45'48.774;E 006'14.754;  1250;   400\r\n"},
      {&w, 2, "FORCLA Col de la;N  45'48.774;E 006'14.754;  1250;   400\r\n"},
      {&w, 3, "FORCLA          ;N  45'48.774;E 006'14.754;  1250;   400\r\n"},
      {&south, 1, "semi colon      ;S  05'30.000;W 120'15.000; -2000;   400\r\n"},
      {&high, 1, "Gipfel          ;N  45'48.774;E 006'14.754; 10000;   400\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(UploadLine(*c.w, c.mode), c.line) << c.mode;
}

// What goes up comes back as the same place and height.
TEST(IqWaypointUpload, UploadedLineReadsBack) {
  Waypoint w;
  w.name = "Doussard";
  w.latitude = *DegreesToLatitude(45.78);
  w.longitude = *DegreesToLongitude(-6.2218);
  w.height = 460;
  std::string line = UploadLine(w, 1);
  line.resize(line.size() - 2);
  const WaypointLine back = ParseWaypointLine(line, 0);
  ASSERT_TRUE(back.waypoint) << back.error;
  EXPECT_EQ(back.waypoint->name, "Doussard");
  EXPECT_EQ(back.waypoint->height, 460);
  EXPECT_NEAR(back.waypoint->latitude, w.latitude, 18000);
  EXPECT_NEAR(back.waypoint->longitude, w.longitude, 18000);
}

}  // namespace
}  // namespace skylode::iqbasic
