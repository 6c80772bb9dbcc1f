// Every IQ Basic operation end to end through the serial layer against the
// virtual instrument: product data, the flight list and the choice of
// flights, the IGC download, and waypoints both ways.
#include <gtest/gtest.h>

#include "iqbasic_rig.h"
#include "records/angles.h"
#include "sim/flytec/igc_text.h"

namespace skylode::iqbasic {
namespace {

using namespace testing;

TrackLogPayload Track(const TransferResult& r) { return std::get<TrackLogPayload>(r.payload); }

std::vector<std::string> Texts(const std::vector<Shown>& shown) {
  std::vector<std::string> t;
  for (const Shown& s : shown) t.push_back(s.text);
  return t;
}

TEST(IqTrackDownload, ChosenFlightArrivesWithItsOwnText) {
  const sim::IqBasicSimConfig config = ShortConfig();
  Screen screen;
  screen.selection = std::vector<int32_t>{2};
  const IqRun run = RunIq(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  EXPECT_EQ(run.result.code, 1);  // signed
  const TrackLogPayload t = Track(run.result);
  flytec::testing::ExpectSamePoints(t.log.points, config.flights[1].points);
  EXPECT_EQ(t.raw.text, sim::BuildIgcText(config.flights[1]));
  EXPECT_EQ(t.raw.loggerSerial, "S01");
  EXPECT_EQ(t.log.source, TrackLogSource::kIqBasic);
  EXPECT_EQ(t.log.instrumentText, "IQ-BASIC");
  EXPECT_EQ(t.log.modelName, "IQ-BASIC");
  EXPECT_EQ(t.log.identification, "IQ-BASIC:1137");
  EXPECT_TRUE(t.log.hasBaroHeight);
  EXPECT_EQ(t.log.sourceProtocol, ProtocolType::kIqBasic);

  EXPECT_EQ(run.log->Commands(),
            (std::vector<std::string>{"RPA_00", "RPA_01", "RPA_02", "ACT_20_  ", "ACT_21_02"}));
  ASSERT_EQ(screen.dialogTitles.size(), 1u);
  EXPECT_EQ(screen.dialogTitles[0], "Track List (sim:iqbasic, IQ-BASIC)");
  ASSERT_EQ(screen.dialogEntries[0].size(), 2u);
  EXPECT_EQ(screen.dialogEntries[0][0].flightNumber, 1);
  EXPECT_EQ(screen.dialogEntries[0][0].text, "  1   02.08.26   12:00:00   00:00:11");
  EXPECT_EQ(screen.dialogEntries[0][1].flightNumber, 2);
  EXPECT_EQ(screen.products.back(), "IQ-BASIC, SW 1.1.05, S/N 1137");
  EXPECT_TRUE(screen.SawStatus("Product data read"));
  EXPECT_TRUE(screen.SawStatus("15 points received"));
  EXPECT_TRUE(screen.Messages().empty());
}

// The dialog answers with flight numbers, not rows: the instrument numbers
// its flights from wherever its memory stands.
TEST(IqTrackDownload, DialogAnswersAreFlightNumbers) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.firstFlightNumber = 25;
  config.deviceType = 0;
  Screen screen;
  screen.selection = std::vector<int32_t>{26};
  const IqRun run = RunIq(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(run.log->Commands().back(), "ACT_21_1A");
  EXPECT_EQ(Track(run.result).log.points.size(), 15u);
  EXPECT_EQ(Track(run.result).log.modelName, "6015");
  EXPECT_EQ(screen.dialogTitles[0], "Track List (sim:iqbasic, 6015)");

  // A number the list did not offer is never asked for.
  Screen stray;
  stray.selection = std::vector<int32_t>{1};
  const IqRun refused = RunIq(config, {}, stray.Callbacks());
  EXPECT_EQ(refused.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(refused.log->Commands().back(), "ACT_20_  ");
}

TEST(IqTrackDownload, SeveralFlightsJoinInTimeOrder) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.flights[1].signedFlight = false;
  Screen screen;
  screen.selection = std::vector<int32_t>{2, 1};
  const IqRun run = RunIq(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(run.result.code, 0);  // one flight unsigned
  const TrackLogPayload t = Track(run.result);
  ASSERT_EQ(t.log.points.size(), 27u);
  EXPECT_EQ(t.log.points.front().time, config.flights[0].points.front().time);
  EXPECT_EQ(t.raw.text, sim::BuildIgcText(config.flights[1]) + sim::BuildIgcText(config.flights[0]));
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"No G-records found"}));
}

TEST(IqTrackDownload, FlightListLimits) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.flights.resize(1);
  // Flights the request cannot name and lines past the list's room.
  config.extraListLines = {"256;02.08.26;13:00:00;x;00:01:00", "4;02.08.26;13:00:00;00:01:00"};
  for (int n = 3; n < 3 + 120; ++n) config.extraListLines.push_back(std::to_string(n % 256) + ";d;t;x;0:01:00");
  Screen screen;
  screen.selection = std::vector<int32_t>{1};
  const IqRun run = RunIq(config, {}, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  ASSERT_EQ(screen.dialogEntries.size(), 1u);
  const auto& entries = screen.dialogEntries[0];
  ASSERT_EQ(entries.size(), 100u);
  EXPECT_EQ(entries[0].flightNumber, 1);
  EXPECT_EQ(entries[1].flightNumber, 3);
  EXPECT_EQ(entries[99].flightNumber, 101);
  for (const auto& e : entries) EXPECT_LE(e.flightNumber, 255);
}

TEST(IqTrackDownload, EndsWithoutFlights) {
  struct Case {
    std::vector<std::string> lines;
  } const cases[] = {{{}}, {{"1;02.08.26;12:00:00;00:00:11"}}, {{"300;d;t;x;1:00:00"}}};
  for (const Case& c : cases) {
    sim::IqBasicSimConfig config = ShortConfig();
    config.flights.clear();
    config.extraListLines = c.lines;
    Screen screen;
    const IqRun run = RunIq(config, {}, screen.Callbacks());
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
    EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"No tracks found"}));
    EXPECT_TRUE(screen.dialogTitles.empty());
  }
}

TEST(IqTrackDownload, CancelledDialogEndsQuietly) {
  Screen screen;  // no selection: cancel
  const IqRun run = RunIq(ShortConfig(), {}, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(run.log->Commands().back(), "ACT_20_  ");
}

TEST(IqTrackDownload, CompetitionModeScansTheWaypointsFirst) {
  Screen screen;
  screen.selection = std::vector<int32_t>{1};
  IqRequest request;
  request.competitionMode = true;
  const IqRun run = RunIq(ShortConfig(), request, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(run.log->Commands(),
            (std::vector<std::string>{"RPA_00", "RPA_01", "RPA_02", "ACT_31_00", "ACT_20_  ", "ACT_21_01"}));
  ASSERT_EQ(screen.identified.size(), 2u);
  EXPECT_EQ(screen.identified[0].id, "FORCLA");
}

TEST(IqProductData, RepliesThatEndTheTransfer) {
  struct Case {
    std::optional<std::string> serial, type, version;
    std::string_view message;
    size_t serialRequests;
  } const cases[] = {
      {"RPA_00_7104000001", {}, {}, "No valid response from GPS", 2},  // five byte pairs
      {"RPA_00_", {}, {}, "No valid response from GPS", 2},
      {"RPA_01_01", {}, {}, "No valid response from GPS", 2},
      {{}, "RPA_00_01", {}, "Device type response error", 1},
      {{}, "RPA_01_0", {}, "Device type format error", 1},
      {{}, "RPA_01_0000000000", {}, "Device type format error", 1},
      {{}, {}, "RPA_2_5104", "Software version response error", 1},
      {{}, {}, "RPA_02_51 4", "Software version format error", 1},
  };
  for (const Case& c : cases) {
    sim::IqBasicSimConfig config = ShortConfig();
    config.serialReply = c.serial;
    config.deviceTypeReply = c.type;
    config.versionReply = c.version;
    Screen screen;
    const IqRun run = RunIq(config, {}, screen.Callbacks());
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure) << c.message;
    EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{std::string(c.message)}));
    const auto commands = run.log->Commands();
    EXPECT_EQ(static_cast<size_t>(std::count(commands.begin(), commands.end(), "RPA_00")), c.serialRequests);
  }
}

// The instrument only listens at its own speed.
TEST(IqProductData, WrongSpeedFindsNoInstrument) {
  Screen screen;
  IqRequest request;
  request.baud = 9600;
  const IqRun run = RunIq(ShortConfig(), request, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"No valid response from GPS"}));
  EXPECT_TRUE(screen.SawStatus("Requesting product info (2)"));
  EXPECT_TRUE(screen.SawStatus("Requesting product info (1)"));
}

TEST(IqIgcDialectTest, MessagesQuoteNoNumbers) {
  const flytec::IgcDialect& d = IqIgcDialect();
  EXPECT_EQ(d.flightCommand(26), "ACT_21_1A\r\n");
  EXPECT_EQ(d.byteError({flytec::IgcByteResult::kBadRecordType, 0x0b}, ""), "Bad record type (0B)");
  EXPECT_EQ(d.byteError({flytec::IgcByteResult::kTooLongSentence, 0}, ""), "Too long sentence");

  // A broken date quotes its line; other broken records give their number.
  struct Case {
    std::string_view text, message;
  } const cases[] = {
      {"HFDTE320826\r\n", "HFDTE sentence error: HFDTE320826"},
      {"HFDTE021326\r\n", "HFDTE sentence error: HFDTE021326"},
      {"HFDTE020826\r\nB1200004548774N00614754EA0123801250\r\nB12\r\n", "Format error 24 in IGC sentence"},
      {"AFL\r\n", "Format error 28 in IGC sentence"},
  };
  for (const Case& c : cases) {
    flytec::IgcFlightReceiver receiver;
    flytec::IgcByteResult error;
    for (char ch : c.text) {
      error = receiver.Feed(static_cast<uint8_t>(ch));
      if (!error.ok()) break;
    }
    ASSERT_FALSE(error.ok()) << c.text;
    EXPECT_EQ(d.byteError(error, receiver.failedLine()), c.message);
  }
}

TEST(IqWaypointDownload, ListEndedByDone) {
  Screen screen;
  IqRequest request;
  request.access = AccessType::kReadWaypoints;
  const IqRun run = RunIq(ShortConfig(), request, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  const auto& list = std::get<WaypointList>(run.result.payload);
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items[0].id, "FORCLA");
  EXPECT_EQ(list.items[0].name, "FORCLA Forclaz");
  EXPECT_EQ(list.items[0].height, 1250);
  EXPECT_NEAR(SemicirclesToDegrees(list.items[0].latitude), 45.8129, 1e-4);
  EXPECT_EQ(list.items[1].id, "DOUSSA");
  EXPECT_NEAR(SemicirclesToDegrees(list.items[1].latitude), -45.78, 1e-4);
  EXPECT_NEAR(SemicirclesToDegrees(list.items[1].longitude), -6.2218, 1e-4);
  EXPECT_EQ(list.sourceText, "IQ-BASIC, SW 1.1.05, S/N 1137");
  EXPECT_TRUE(screen.SawStatus("2 waypoints received"));
  EXPECT_EQ(run.log->Commands().back(), "ACT_31_00");
}

TEST(IqWaypointDownload, EmptyListLeavesTheProgramsListAlone) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.waypoints.clear();
  Screen screen;
  IqRequest request;
  request.access = AccessType::kReadWaypoints;
  const IqRun run = RunIq(config, request, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload));
  EXPECT_TRUE(screen.SawStatus("0 waypoints received"));
}

TEST(IqWaypointDownload, BadLineNamesItsError) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.waypoints[1].latitude = 95;  // written as N 95'...
  Screen screen;
  IqRequest request;
  request.access = AccessType::kReadWaypoints;
  const IqRun run = RunIq(config, request, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"Waypoint string parse error 4"}));
}

WaypointList UploadList() {
  WaypointList list;
  const std::tuple<const char*, const char*, double, double, int32_t> rows[] = {
      {"FORCLA", "Col de la Forclaz", 45.8129, 6.2459, 1250},
      {"DOUSSA", "Doussard", 45.78, 6.2218, 460},
      {"MONTMI", "Montmin", -45.801, -6.255, -2500},
  };
  for (const auto& [id, name, lat, lon, h] : rows) {
    Waypoint w;
    w.id = id;
    w.name = name;
    w.latitude = *DegreesToLatitude(lat);
    w.longitude = *DegreesToLongitude(lon);
    w.height = h;
    list.items.push_back(w);
  }
  return list;
}

TEST(IqWaypointUpload, EveryWaypointInItsMode) {
  struct Case {
    int mode;
    std::string_view firstName;
  } const cases[] = {{1, "Col de la Forcla"}, {2, "FORCLA Col de la"}, {3, "FORCLA          "}};
  for (const Case& c : cases) {
    Screen screen;
    IqRequest request;
    request.access = AccessType::kSendWaypoints;
    request.parameter = c.mode;
    request.input = UploadList();
    const IqRun run = RunIq(ShortConfig(), request, screen.Callbacks());
    ASSERT_TRUE(run.result.succeeded()) << c.mode;
    EXPECT_TRUE(run.log->Faults().empty());
    const auto got = run.log->Received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].longName, c.firstName);
    EXPECT_NEAR(got[0].latitude, 45.8129, 1e-4);
    EXPECT_EQ(got[1].altitude, 460);
    EXPECT_NEAR(got[2].longitude, -6.255, 1e-4);
    EXPECT_EQ(got[2].altitude, -2000);  // the instrument's lowest
    EXPECT_TRUE(screen.SawStatus("Waypoint 3 sent"));
    EXPECT_TRUE(screen.Messages().empty());
  }
}

TEST(IqWaypointUpload, RefusedWaypointsAreCountedAndTheFirstAnswerShown) {
  sim::IqBasicSimConfig config = ShortConfig();
  config.refusedNames = {"Doussard", "Montmin"};
  Screen screen;
  IqRequest request;
  request.access = AccessType::kSendWaypoints;
  request.parameter = 1;
  request.input = UploadList();
  const IqRun run = RunIq(config, request, screen.Callbacks());
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(run.log->Received().size(), 3u);  // the upload went on after the refusal
  const auto shown = screen.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Waypoint upload response error");
  EXPECT_EQ(shown[0].text, "1 of 3 waypoints ok. First error was \"ERR\"");
}

TEST(IqWaypointUpload, SilentInstrumentIsAMissingResponse) {
  sim::InstrumentOptions options;
  sim::IqBasicInstrument replies(ShortConfig());
  // Everything of the product data, then nothing.
  options.faults.silenceFrom = replies.ProductReply(0).size() + replies.ProductReply(1).size() +
                               replies.ProductReply(2).size();
  Screen screen;
  IqRequest request;
  request.access = AccessType::kSendWaypoints;
  request.parameter = 1;
  request.input = UploadList();
  const IqRun run = RunIq(ShortConfig(), request, screen.Callbacks(), options);
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(Texts(screen.Messages()), (std::vector<std::string>{"Missing response"}));
  EXPECT_EQ(run.log->Received().size(), 1u);
}

}  // namespace
}  // namespace skylode::iqbasic
