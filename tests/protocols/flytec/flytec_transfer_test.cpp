// The Flytec workers end to end: dispatcher, serial layer, pseudo-terminal
// and the virtual Flytec.
#include <gtest/gtest.h>

#include <atomic>

#include "analysis/flight_statistics.h"
#include "flytec_harness.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"

namespace skylode::flytec {
namespace {

using namespace testing;
using sim::FlytecSimConfig;
using sim::FlytecSimLog;
using sim::InstrumentOptions;
using sim::SimFlight;

class FlytecTransfer : public ::testing::Test {
 protected:
  FlytecTransfer() { RegisterFlytecWorkers(dispatcher, FastTiming()); }
  ~FlytecTransfer() override { UnregisterVirtualInstrument(family_); }

  // Serves `config` as "sim:<test name>".
  std::string Serve(FlytecSimConfig config, InstrumentOptions options = {}) {
    family_ = std::string("flytec-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    log = std::make_shared<FlytecSimLog>();
    instrument = std::make_unique<sim::FlytecInstrument>(config, nullptr);
    sim::RegisterVirtualFlytec(family_, std::move(config), options, log);
    return "sim:" + family_;
  }

  RunOutcome ReadTrackLog(const std::string& port) {
    return RunTransfer(dispatcher, host, screen, AccessType::kReadTrackLog, port);
  }

  bool ShowedMessage(std::string_view caption, std::string_view text) {
    for (const auto& m : screen.Messages())
      if (m.caption == caption && m.text == text) return true;
    return false;
  }

  PumpingHost host;
  Dispatcher dispatcher{host};
  Screen screen;
  std::shared_ptr<FlytecSimLog> log;
  std::unique_ptr<sim::FlytecInstrument> instrument;  // the same replies, for expectations

 private:
  std::string family_;
};

FlytecSimConfig ThreeFlights() {
  FlytecSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 2, 12, 0), 40), LineFlight(At(2026, 7, 11, 13, 0), 30, 2),
               LineFlight(At(2026, 7, 4, 11, 30), 25, 5)};
  return c;
}

TEST_F(FlytecTransfer, OneFlightFromTheTrackList) {
  FlytecSimConfig config = ThreeFlights();
  screen.selection = std::vector<int32_t>{1};
  const auto port = Serve(config);
  const RunOutcome out = ReadTrackLog(port);

  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(out.result.code, 1);  // signed by the instrument
  EXPECT_EQ(out.result.kind, static_cast<int32_t>(TrackLogSource::kFlytec));
  const auto& track = std::get<TrackLogPayload>(out.result.payload);
  ExpectSamePoints(track.log.points, config.flights[1].points);
  EXPECT_TRUE(track.log.hasBaroHeight);
  EXPECT_EQ(track.log.sourceProtocol, ProtocolType::kFlytec);
  EXPECT_TRUE(track.log.instrumentText.empty());
  // The shell names the instrument in the split dialog with these.
  EXPECT_EQ(track.log.modelName, "Compeo+");
  EXPECT_EQ(track.log.identification, "Compeo+:10342");
  EXPECT_EQ(track.raw.text, instrument->FlightReply(1));
  EXPECT_EQ(track.raw.manufacturer, "FLY");
  EXPECT_EQ(track.raw.loggerSerial, "S01");
  EXPECT_EQ(track.raw.flightTime, config.flights[1].points.front().time);

  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,", "PBRTR,01"}));
  ASSERT_EQ(screen.dialogTitles.size(), 1u);
  EXPECT_EQ(screen.dialogTitles[0], "Track List (" + port + ", Compeo+)");
  ASSERT_EQ(screen.dialogEntries[0].size(), 3u);
  EXPECT_EQ(screen.dialogEntries[0][1].flightNumber, 1);
  EXPECT_EQ(screen.dialogEntries[0][1].text, "01   11.07.26   13:00:00   00:00:58");
  EXPECT_EQ(screen.products.back(), "COMPEO+, SN10342, SW2.48");
  for (std::string_view s : {"Requesting product info (1)", "Product data read", "3 tracks in track list found",
                             "Requesting track log 1", "Receiving track log", "30 points received"})
    EXPECT_TRUE(screen.SawStatus(s)) << s;
  EXPECT_TRUE(screen.Messages().empty());
}

TEST_F(FlytecTransfer, OlderFirmwareGetsTheMostRecentFlight) {
  FlytecSimConfig config = ThreeFlights();
  config.product = "COMPEO";
  config.version = "2.19";
  config.flights[0].signedFlight = false;
  const auto port = Serve(config);
  const RunOutcome out = ReadTrackLog(port);

  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(out.result.code, 0);  // points, but no G records
  ExpectSamePoints(std::get<TrackLogPayload>(out.result.payload).log.points, config.flights[0].points);
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRIGC,"}));
  EXPECT_TRUE(screen.dialogTitles.empty());
  EXPECT_TRUE(ShowedMessage("Read GPS track log", "No G-records found"));
  EXPECT_TRUE(screen.SawStatus("Track position 1"));
}

TEST_F(FlytecTransfer, ThreeFlightsNewestFirstAreMerged) {
  FlytecSimConfig config = ThreeFlights();
  screen.selection = std::vector<int32_t>{0, 1, 2};
  const auto port = Serve(config);
  const RunOutcome out = ReadTrackLog(port);

  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded());
  const auto& track = std::get<TrackLogPayload>(out.result.payload);
  std::vector<TrackPoint> want = config.flights[2].points;
  want.insert(want.end(), config.flights[1].points.begin(), config.flights[1].points.end());
  want.insert(want.end(), config.flights[0].points.begin(), config.flights[0].points.end());
  ExpectSamePoints(track.log.points, want);
  // The text stays in download order; the flight time is that of the last one.
  EXPECT_EQ(track.raw.text, instrument->FlightReply(0) + instrument->FlightReply(1) + instrument->FlightReply(2));
  EXPECT_EQ(track.raw.flightTime, config.flights[2].points.front().time);
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,", "PBRTR,00", "PBRTR,01", "PBRTR,02"}));
  EXPECT_TRUE(screen.SawStatus("Requesting track log 3"));
  EXPECT_TRUE(screen.SawStatus("95 points received"));
}

FlightStatistics StatisticsOf(const TrackLog& log) {
  FlightStatistics stats;
  stats.points = log.points;
  stats.pressureFlag = log.hasBaroHeight;
  ComputeFlightStatistics(stats);
  return stats;
}

TEST_F(FlytecTransfer, FixesWithoutA3DPositionAreMarked) {
  // Two flights with fixes the receiver logged without a 3-D position (GNSS
  // altitude 0): in the middle of one, at the start of the other, which is
  // downloaded first and merged after it.
  FlytecSimConfig config = ThreeFlights();
  auto lose = [](SimFlight& f, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      f.points[i].flags |= kTrackPointNoGpsHeight;
      f.points[i].gpsHeight = 0;
    }
  };
  lose(config.flights[0], 0, 3);
  lose(config.flights[1], 10, 14);
  screen.selection = std::vector<int32_t>{0, 1};
  const auto port = Serve(config);
  const RunOutcome out = ReadTrackLog(port);

  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded());
  const auto& track = std::get<TrackLogPayload>(out.result.payload);
  std::vector<TrackPoint> want = config.flights[1].points;
  want.insert(want.end(), config.flights[0].points.begin(), config.flights[0].points.end());
  ExpectSamePoints(track.log.points, want);
  EXPECT_NE(track.raw.text.find("EV0125000000\r\n"), std::string::npos) << "the instrument's text is kept";

  // What the analysis makes of it: no height the instrument did not measure.
  const FlightStatistics stats = StatisticsOf(track.log);
  EXPECT_GE(stats.minHeight, 1250);
  EXPECT_LT(stats.maxClimb, 5.0);
  EXPECT_GT(stats.minClimb, -5.0);
}

// A real flight of 17,817 fixes, 34 of them without a 3-D position, as an
// instrument would hand it over: the statistics of the download never take a
// height that was not measured.
TEST_F(FlytecTransfer, RealFlightWithUnmeasuredFixes) {
  const Result<std::string> text =
      ReadWholeFile(std::string(SKYLODE_TEST_DATA) + "/flights/trifai-xcontest-189.65.igc");
  ASSERT_TRUE(text.ok()) << text.error().Describe();
  const Result<IgcParse> file = ParseIgcText(*text);
  ASSERT_TRUE(file.ok()) << file.error().text;
  FlytecSimConfig config;
  SimFlight flight;
  flight.points = file->points;
  config.flights = {flight};
  screen.selection = std::vector<int32_t>{0};
  // Thousands of lines through the virtual instrument: on a loaded machine
  // (the sanitizer run) its thread may pause longer than the short silences
  // the other tests wait for, which would end the flight early.
  FlytecTiming patient = FastTiming();
  patient.flightSilence = 1500ms;
  patient.listSilence = 1000ms;
  patient.productReplyWindow = 1500ms;
  RegisterFlytecWorkers(dispatcher, patient);
  const RunOutcome out = ReadTrackLog(Serve(config));

  ASSERT_TRUE(out.delivered);
  ASSERT_TRUE(out.result.succeeded()) << ::testing::PrintToString(screen.dialogTitles);
  const auto& track = std::get<TrackLogPayload>(out.result.payload);
  ExpectSamePoints(track.log.points, file->points);
  int unmeasured = 0;
  for (const TrackPoint& p : track.log.points) unmeasured += (p.flags & kTrackPointNoGpsHeight) != 0;
  EXPECT_EQ(unmeasured, 34);
  const FlightStatistics stats = StatisticsOf(track.log);
  EXPECT_GT(stats.minHeight, 50);
  EXPECT_LE(stats.maxClimb, 20.0);
  EXPECT_GE(stats.minClimb, -20.0);
}

TEST_F(FlytecTransfer, OverlappingFlightsAreRefused) {
  FlytecSimConfig config;
  config.flights = {LineFlight(At(2026, 8, 2, 12, 0), 40), LineFlight(At(2026, 8, 2, 11, 59, 50), 30)};
  screen.selection = std::vector<int32_t>{0, 1};
  const RunOutcome out = ReadTrackLog(Serve(config));

  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(out.result.payload));
  EXPECT_TRUE(ShowedMessage("Read GPS track log", "Overlapping track start/stop times"));
  EXPECT_TRUE(dispatcher.transferFailed());
}

TEST_F(FlytecTransfer, FlightOverMidnight) {
  FlytecSimConfig config;
  config.flights = {LineFlight(At(2026, 6, 20, 23, 58, 30), 200)};
  screen.selection = std::vector<int32_t>{0};
  const RunOutcome out = ReadTrackLog(Serve(config));

  ASSERT_TRUE(out.result.succeeded());
  const auto& points = std::get<TrackLogPayload>(out.result.payload).log.points;
  ExpectSamePoints(points, config.flights[0].points);
  EXPECT_EQ(points.back().time, At(2026, 6, 21, 0, 1, 49));
}

TEST_F(FlytecTransfer, CancelledTrackListEndsQuietly) {
  screen.selection = std::nullopt;
  const RunOutcome out = ReadTrackLog(Serve(ThreeFlights()));
  EXPECT_TRUE(out.delivered);
  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRTL,"}));
}

TEST_F(FlytecTransfer, Waypoints) {
  FlytecSimConfig config;
  config.waypoints = {{45.8129, 6.2459, "forcla", "Forclaz deco", 1250},
                      {-33.5, -70.25, "", "Cerro Manquehue", 1638},
                      {0.0005, 0, "", "", -12}};
  const auto port = Serve(config);
  const uint32_t before = CurrentTime();
  const RunOutcome out = RunTransfer(dispatcher, host, screen, AccessType::kReadWaypoints, port);

  ASSERT_TRUE(out.result.succeeded());
  const auto& items = std::get<WaypointList>(out.result.payload).items;
  ASSERT_EQ(items.size(), 3u);
  const struct {
    std::string_view id, name;
    double lat, lon;
    int32_t height;
  } want[] = {{"FORCLA", "FORCLAZ DECO", 45.8129, 6.2459, 1250},
              {"CERRO", "CERRO MANQUEHUE", -33.5, -70.25, 1638},
              {"Z", "", 0.0005, 0, -12}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i].id, want[i].id);
    EXPECT_EQ(items[i].name, want[i].name);
    EXPECT_NEAR(SemicirclesToDegrees(items[i].latitude), want[i].lat, 1e-5);
    EXPECT_NEAR(SemicirclesToDegrees(items[i].longitude), want[i].lon, 1e-5);
    EXPECT_EQ(items[i].height, want[i].height);
    EXPECT_EQ(items[i].symbol, 18);
    EXPECT_GE(items[i].time, before);
  }
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRWPS,"}));
  EXPECT_TRUE(screen.SawStatus("3 waypoints received"));
}

TEST_F(FlytecTransfer, BadChecksumInTheTrackList) {
  FlytecSimConfig config = ThreeFlights();
  sim::FlytecInstrument replies(config);
  const std::string list = replies.TrackListReply();
  const size_t digit = list.find('*') + 1;
  // Another hexadecimal digit, so only the comparison can fail.
  InstrumentOptions options;
  options.faults.corruptAt = replies.ProductReply().size() + digit;
  options.faults.corruptMask = static_cast<uint8_t>(list[digit] ^ (list[digit] == '0' ? '1' : '0'));
  screen.selection = std::vector<int32_t>{0};
  const RunOutcome out = ReadTrackLog(Serve(config, options));

  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(ShowedMessage("Read GPS track data", "E505 Format error 13"));
  EXPECT_TRUE(screen.dialogTitles.empty());
}

TEST_F(FlytecTransfer, AFlightCutOffKeepsItsCompleteRecords) {
  FlytecSimConfig config = ThreeFlights();
  sim::FlytecInstrument replies(config);
  const size_t before = replies.ProductReply().size() + replies.TrackListReply().size();
  const std::string flight = replies.FlightReply(0);
  const size_t fix20 = flight.find("B120019");
  const size_t lastLineEnd = flight.rfind("\r\n");
  const struct {
    const char* what;
    size_t silenceAt;   // offset in the flight's reply
    size_t points;      // kept
    std::string raw;    // the instrument's text as kept
  } cases[] = {
      // Halfway through the 20th fix: the 19 before it are whole.
      {"cut mid-line", fix20 + 17, 19, flight.substr(0, fix20)},
      // The last line whole, only its CR LF missing.
      {"no final line end", lastLineEnd, 40, flight},
      {"final LF missing", lastLineEnd + 1, 40, flight},
  };
  for (const auto& c : cases) {
    InstrumentOptions options;
    options.faults.silenceFrom = before + c.silenceAt;
    screen.Reset();
    screen.selection = std::vector<int32_t>{0};
    const RunOutcome out = ReadTrackLog(Serve(config, options));

    ASSERT_TRUE(out.delivered) << c.what;
    ASSERT_TRUE(out.result.succeeded()) << c.what;
    const auto& track = std::get<TrackLogPayload>(out.result.payload);
    ExpectSamePoints(track.log.points,
                     std::vector<TrackPoint>(config.flights[0].points.begin(),
                                             config.flights[0].points.begin() + static_cast<ptrdiff_t>(c.points)));
    EXPECT_EQ(track.raw.text, c.raw) << c.what;
    EXPECT_TRUE(ShowedMessage("Read GPS track log",
                              "Flight cut off: " + std::to_string(c.points) + " complete points kept"))
        << c.what;
    EXPECT_FALSE(ShowedMessage("Read GPS track log", "E203 COM port read error")) << c.what;
    UnregisterVirtualInstrument("flytec-AFlightCutOffKeepsItsCompleteRecords");
  }
}

TEST_F(FlytecTransfer, FlightsThatEndWithoutAWholeFixFail) {
  FlytecSimConfig config = ThreeFlights();
  sim::FlytecInstrument replies(config);
  const std::string flight = replies.FlightReply(0);
  const size_t before = replies.ProductReply().size() + replies.TrackListReply().size();
  const struct {
    bool hangUp;
    size_t at;
    const char* message;
  } cases[] = {
      // Cut inside the first fix: nothing complete came.
      {false, flight.find("B120000") + 10, "No points detected"},
      // The line itself died: a read that failed.
      {true, flight.find("B120019") + 17, "E203 COM port read error"},
  };
  for (const auto& c : cases) {
    InstrumentOptions options;
    (c.hangUp ? options.faults.hangUpAt : options.faults.silenceFrom) = before + c.at;
    screen.Reset();
    screen.selection = std::vector<int32_t>{0};
    const RunOutcome out = ReadTrackLog(Serve(config, options));
    EXPECT_TRUE(out.delivered) << c.message;
    EXPECT_FALSE(out.result.succeeded()) << c.message;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(out.result.payload)) << c.message;
    ASSERT_EQ(screen.Messages().size(), 1u) << c.message;
    EXPECT_EQ(screen.Messages()[0].text, c.message);
    UnregisterVirtualInstrument("flytec-FlightsThatEndWithoutAWholeFixFail");
  }
}

TEST_F(FlytecTransfer, ProductDataAttemptsAreHalfTheConnectionRetries) {
  const struct {
    int32_t connectAttempts;
    std::vector<std::string> statuses;
  } cases[] = {
      {1, {"Requesting product info (1)"}},  // half of one is still one attempt
      {5, {"Requesting product info (2)", "Requesting product info (1)"}},
  };
  for (const auto& c : cases) {
    InstrumentOptions mute;
    mute.faults.silenceFrom = 0;
    screen.Reset();
    const RunOutcome out =
        RunTransfer(dispatcher, host, screen, AccessType::kReadTrackLog, Serve(ThreeFlights(), mute), c.connectAttempts);
    EXPECT_FALSE(out.result.succeeded());
    std::vector<std::string> asked;
    for (const auto& s : screen.Statuses())
      if (s.starts_with("Requesting product info")) asked.push_back(s);
    EXPECT_EQ(asked, c.statuses) << c.connectAttempts;
    EXPECT_TRUE(ShowedMessage("Get GPS product data", "No valid response from GPS"));
    EXPECT_EQ(log->Commands().size(), c.statuses.size());
  }
}

TEST_F(FlytecTransfer, InstrumentWithoutOwnerName) {
  FlytecSimConfig config = ThreeFlights();
  config.pilot = "   ";
  const RunOutcome out = ReadTrackLog(Serve(config));
  EXPECT_FALSE(out.result.succeeded());
  EXPECT_TRUE(ShowedMessage("Reading product data", "Bad/missing user name"));
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,"}));
}

TEST_F(FlytecTransfer, CompetitionModeScansWaypointsFirst) {
  FlytecSimConfig config = ThreeFlights();
  config.waypoints = {{45.8129, 6.2459, "ID1234", "  CIVL   12345 ", 0}, {45.78, 6.2218, "", "", 460}};
  screen.selection = std::vector<int32_t>{0};
  const RunOutcome out =
      RunTransfer(dispatcher, host, screen, AccessType::kReadTrackLog, Serve(config), 2, /*competitionMode=*/true);
  ASSERT_TRUE(out.result.succeeded());
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRSNP,", "PBRWPS,", "PBRTL,", "PBRTR,00"}));
  ASSERT_EQ(screen.identified.size(), 2u);
  EXPECT_EQ(screen.identified[0].name, "CIVL 12345");
  EXPECT_NEAR(SemicirclesToDegrees(screen.identified[0].latitude), 45.8129, 1e-5);
  EXPECT_EQ(screen.identified[1].name, "");
}

TEST_F(FlytecTransfer, AbsentPortIsRetriedThenReported) {
  const auto start = std::chrono::steady_clock::now();
  const RunOutcome out = RunTransfer(dispatcher, host, screen, AccessType::kReadTrackLog, "sim:no-such-instrument", 2);
  EXPECT_FALSE(out.result.succeeded());
  const auto statuses = screen.Statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Connecting to GPS (2)"), 1);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Connecting to GPS (1)"), 1);
  EXPECT_TRUE(ShowedMessage("Connecting to GPS on sim:no-such-instrument",
                            "Could not open serial port (sure it's the right one ?)"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(FlytecTransfer, AbortInTheMiddleOfADownload) {
  FlytecSimConfig config;
  config.flights = {LineFlight(At(2026, 8, 2, 12, 0), 5000)};  // half a minute at 57600 baud
  screen.selection = std::vector<int32_t>{0};
  InstrumentOptions options;
  options.pace = true;
  bool delivered = false;
  TransferRequest req;
  req.access = AccessType::kReadTrackLog;
  req.protocol = ProtocolType::kFlytec;
  req.portName = Serve(config, options);
  ASSERT_EQ(dispatcher.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&&) { delivered = true; }),
            0);
  ASSERT_TRUE(host.PumpUntil([&] { return screen.SawStatus("Receiving track log"); }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dispatcher.AbortTransfer(), 0);
  // The one second of grace, and room for a loaded machine to switch threads.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_FALSE(dispatcher.transferBusy());
  EXPECT_TRUE(dispatcher.transferFailed());
  // The worker notices within a read slice and leaves nothing behind.
  EXPECT_TRUE(host.PumpUntil([&] { return dispatcher.abandonedWorkers() == 0 && !dispatcher.hasActiveTransfer(); },
                             2s));
  EXPECT_FALSE(delivered);
}

}  // namespace
}  // namespace skylode::flytec
