// The DSX texts one at a time: the flight list byte by byte, the flight
// request, and which pilot fields go back to the recorder.
#include <gtest/gtest.h>

#include "protocols/dsx/flight_list.h"
#include "protocols/dsx/pilot_data.h"

namespace skylode::dsx {
namespace {

struct Parsed {
  std::vector<DsxFlight> flights;
  int error = 0;
};

Parsed Parse(std::string_view text) {
  FlightListParser parser;
  Parsed p;
  for (char c : text) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r < 0) {
      p.error = -r;
      break;
    }
  }
  p.flights = parser.flights();
  return p;
}

std::string Lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    char line[40];
    std::snprintf(line, sizeof line, "%03d recs n.%06d x\r\n", i % 1000, i * 10);
    text += line;
  }
  return text;
}

TEST(DsxFlightList, LinesAndErrors) {
  using F = std::vector<std::pair<int, int32_t>>;
  struct Case {
    std::string text;
    F flights;
    int error;
  } const cases[] = {
      {"001 recs n.000120 02.08.26\r\n002 recs n.004711 x\r\n#", {{1, 120}, {2, 4711}}, 0},
      {"\r\n#\r\n007 recs n.000001 \r\n", {{7, 1}}, 0},
      // Ended right after the count: the next line fills the same entry.
      {"003 recs n.000050\r\n004 recs n.000060 y\r\n", {{4, 60}}, 0},
      {"003 recs n.000050\r\n", {}, 0},
      {"007 recs n.000001 no line end yet", {}, 0},
      {"0a1 recs n.000001 x\r\n", {}, 1},
      {"#007 recs n.000001 x\r\n", {{7, 1}}, 0},  // '#' first on the line is skipped
      {"07 recs n.000001 x\r\n", {}, 1},
      {"0071 recs n.000001 x\r\n", {}, 2},
      {"007 recs m.000001 x\r\n", {}, 3},
      {"007 rec n.000001 x\r\n", {}, 3},
      {"007 recs n.00001 x\r\n", {}, 4},
      {"007 recs n.0000012\r\n", {}, 5},
      {"001 recs n.000001 x\r\n002 bad\r\n", {{1, 1}}, 3},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.text);
    EXPECT_EQ(p.error, c.error) << c.text;
    F got;
    for (const DsxFlight& f : p.flights) got.push_back({f.number, f.records});
    EXPECT_EQ(got, c.flights) << c.text;
  }
}

// The list has room for 100 flights; the line after them is refused
// without touching the entries.
TEST(DsxFlightList, HundredFlightsFitAndTheNextIsRefused) {
  const Parsed full = Parse(Lines(100));
  EXPECT_EQ(full.error, 0);
  ASSERT_EQ(full.flights.size(), 100u);
  EXPECT_EQ(full.flights.back().number, 100);
  EXPECT_EQ(full.flights.back().records, 1000);

  const Parsed over = Parse(Lines(101));
  EXPECT_EQ(over.error, 6);
  ASSERT_EQ(over.flights.size(), 100u);
  EXPECT_EQ(over.flights.back().number, 100);
  EXPECT_EQ(over.flights.back().records, 1000);
}

TEST(DsxFlightList, FlightRequest) {
  const std::pair<int, std::string_view> cases[] = {{7, "F007\r"}, {0, "F000\r"}, {123, "F123\r"}, {999, "F999\r"}};
  for (auto [n, text] : cases) EXPECT_EQ(FlightCommand(n), text) << n;
}

TEST(DsxPilotData, OnlyChangedFieldsGoBack) {
  const std::array<std::string, kPilotFieldCount> stored = {
      "Maximilian Alexander Muster-Oberhuber von und zu Hintertupfingen am See", "17", "12345",
      "Advance Iota 2 Ultralight", "Skylode"};
  // What the form shows of the stored values: each cut to its field.
  const std::vector<std::string> shown = {stored[0].substr(0, 62), "17", "12345", stored[3].substr(0, 14), "Skylode",
                                          ""};
  struct Case {
    std::vector<std::string> answers;
    std::vector<std::string> commands;
  } const cases[] = {
      {{"", "", "", "", "", ""}, {}},
      {shown, {}},  // unchanged, though shown cut: nothing written back shortened
      {{"Anna", "", "", "", "", ""}, {"H1Anna\r"}},
      {{stored[0], "18", "12345", "", "", "+41 79 000"}, {"H218\r", "C1+41 79 000\r"}},
      {{"", "", "", "Ozone Zeno", "Nobody", ""}, {"H4Ozone Zeno\r", "H5Nobody\r"}},
      {{"", "", "", "", "", std::string(90, '7')}, {"C1" + std::string(80, '7') + "\r"}},
      {{"", "17 "}, {"H217 \r"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ChangedFieldCommands(stored, c.answers), c.commands);
}

TEST(DsxPilotData, FormRefusesNothingPrintableAndSendsNothingEmpty) {
  const std::vector<std::string> empty(6);
  EXPECT_EQ(CheckForm(kPilotDataForm, empty).kind, FormVerdict::Kind::kNothingToSend);
  std::vector<std::string> some(6);
  some[3] = "Iota, 2 * $";
  EXPECT_EQ(CheckForm(kPilotDataForm, some).kind, FormVerdict::Kind::kAccept);
  some[3] = "line\rbreak";
  EXPECT_EQ(CheckForm(kPilotDataForm, some).kind, FormVerdict::Kind::kRefuse);
  some[3] = "";
  some[1] = "1234567";  // Comp. ID holds six
  EXPECT_EQ(CheckForm(kPilotDataForm, some).kind, FormVerdict::Kind::kRefuse);
}

}  // namespace
}  // namespace skylode::dsx
