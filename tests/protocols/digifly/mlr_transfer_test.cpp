// The MLR fast download end to end: the dispatcher's worker, the real serial
// layer and the virtual MLR.
#include <gtest/gtest.h>

#include <thread>

#include "mlr_rig.h"

namespace skylode::mlr {
namespace {

using namespace testing;

TEST(MlrDownload, TrackLogsOfManyFramesArriveWhole) {
  struct Case {
    const char* name;
    int points;
    int perFrame;
    uint8_t firstSequence;
    int segment;
  };
  // 7,000 points fill 260 frames; one point a frame crosses the sequence
  // byte's wrap twice.
  const Case cases[] = {
      {"7000 points", 7000, 27, 0x00, 0},
      {"one point a frame", 520, 1, 0xF0, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::MlrSimConfig config;
    config.points = sim::DemoMlrPoints(c.points, c.segment);
    config.pointsPerFrame = c.perFrame;
    config.firstSequence = c.firstSequence;
    config.product = "DGIFLY LEONARDO";
    RegisterSim("mlr-test", config);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kMlrNmea, "sim:mlr-test");
    ASSERT_TRUE(out.delivered);
    ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    EXPECT_EQ(out.result.kind, 2);
    const TrackLogPayload* t = TrackOf(out);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->log.points.size(), static_cast<size_t>(c.points));
    for (size_t i = 0; i < t->log.points.size(); ++i)
      ASSERT_EQ(t->log.points[i], Expected(config.points[i], i == 0)) << i;
    EXPECT_FALSE(t->log.hasBaroHeight);
    EXPECT_EQ(t->log.sourceProtocol, ProtocolType::kMlrNmea);
    EXPECT_EQ(t->log.instrumentText, "DGIFLY LEONARDO");
    EXPECT_EQ(t->log.modelName, "Digifly");
    EXPECT_EQ(t->log.identification, "Digifly: 123456");
    const auto statuses = screen.Statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), std::to_string(c.points) + " points received");
  }
}

TEST(MlrDownload, PacedAt4800AmongTheSentenceCycle) {
  sim::MlrSimConfig config;
  config.points = sim::DemoMlrPoints(30);
  config.waypoints = sim::DemoMlrWaypoints();
  config.sentenceCycle = true;
  sim::InstrumentOptions options;
  options.pace = true;
  RegisterSim("mlr-paced", config, options);
  PumpingHost host;
  Screen screen;
  // The product reply may queue behind a sentence of the cycle: at the real
  // line speed the reply's window must stay long enough for both.
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kMlrFast, "sim:mlr-paced",
                                     0, {}, false, 0.25);
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const TrackLogPayload* t = TrackOf(out);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->log.points.size(), 30u);
  EXPECT_EQ(t->log.modelName, "MLR");
}

// The receiver never falls silent while its sentence cycle runs: an
// unanswered product query still ends after its window, for every worker.
TEST(MlrDownload, UnansweredProductQueryEndsAmongTheSentenceCycle) {
  sim::MlrSimConfig config;
  config.waypoints = sim::DemoMlrWaypoints();
  config.sentenceCycle = true;
  config.sentenceInterval = 20ms;
  config.answersProductQuery = false;
  auto log = std::make_shared<sim::MlrSimLog>();
  RegisterSim("mlr-mute", config, {}, log);
  const std::pair<AccessType, ProtocolType> operations[] = {
      {AccessType::kReadTrackLog, ProtocolType::kMlrFast},
      {AccessType::kReadWaypoints, ProtocolType::kMlrNmea},
      {AccessType::kSendWaypoints, ProtocolType::kMlrNmea},
  };
  for (const auto& [access, protocol] : operations) {
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, access, protocol, "sim:mlr-mute");
    ASSERT_TRUE(out.delivered) << static_cast<int>(access);
    EXPECT_EQ(out.result.outcome, TransferOutcome::kFailure);
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "No valid response from GPS");
  }
  EXPECT_EQ(log->Received().find("$GPWPL"), std::string::npos);
}

TEST(MlrDownload, SilentAtAnyOtherSpeed) {
  sim::MlrSimConfig config;
  config.points = sim::DemoMlrPoints(5);
  RegisterSim("mlr-speed", config);
  PumpingHost host;
  Screen screen;
  const RunOutcome out =
      RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kMlrFast, "sim:mlr-speed", 9600);
  EXPECT_FALSE(out.result.succeeded());
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Get GPS product data");
  EXPECT_EQ(messages[0].text, "No valid response from GPS");
}

TEST(MlrDownload, BrokenDownloadsFailAndStopTheInstrument) {
  const auto points = sim::DemoMlrPoints(3);
  std::string records;
  for (int i = 0; i < 3; ++i) records += sim::MlrTrackRecord(static_cast<uint16_t>(i + 1), points[i]);
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"second start", sim::MlrStartFrame(1, false) + sim::MlrStartFrame(2, false), "E203 Bad sentence type sequence"},
      {"frame skipped", sim::MlrStartFrame(1, false) + sim::MlrDataFrame(3, false, 3, records), "E204 Bad sentence sequence"},
      {"bad count", sim::MlrStartFrame(1, false) + sim::MlrDataFrame(2, false, 0, ""), "E208 Format error 1"},
      {"nothing after the start", sim::MlrStartFrame(1, false), "E210 Track log data timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::MlrSimConfig config;
    config.trackBytes = c.bytes;
    auto log = std::make_shared<sim::MlrSimLog>();
    Screen screen;
    // Opened here, so the instrument outlives the worker and hears its last stop.
    DirectRun run = OpenDirect(config, {}, screen.Callbacks(), nullptr, log);
    ASSERT_TRUE(run.ctx);
    const TransferResult result = MlrReadTrackLog(*run.ctx, MlrTiming::Scaled(kWaitScale));
    EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Read GPS track log");
    EXPECT_EQ(messages[0].text, c.message);
    // One stop after the product data, one after the failure.
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (log->Stops() < 2 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(log->Stops(), 2);
  }
}

TEST(MlrDownload, WaypointsInFastFrames) {
  sim::MlrSimConfig config;
  config.waypoints = sim::DemoMlrWaypoints();
  for (int i = 0; i < 30; ++i) config.waypoints.push_back({"WP" + std::to_string(i), "", config.waypoints[0].fix});
  RegisterSim("mlr-wpt", config);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kReadWaypoints, ProtocolType::kMlrFast, "sim:mlr-wpt");
  ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const auto* list = std::get_if<WaypointList>(&out.result.payload);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->items.size(), config.waypoints.size());
  EXPECT_EQ(list->items[0].id, "FORCLA");
  EXPECT_EQ(list->items[0].height, 1250);
  EXPECT_EQ(list->items[32].id, "WP29");
}

// In competition mode the waypoints come first, each to the pilot
// identification, then the track; a Digifly keeps no ID waypoints and is
// not asked.
TEST(MlrDownload, CompetitionScansTheWaypointsFirst) {
  struct Case {
    const char* product;
    bool competition;
    bool scanned;
  };
  const Case cases[] = {
      {"MLR SP24 XC", true, true},
      {"CPILOT EVO", true, true},
      {"DGIFLY LEONARDO", true, false},
      {"MLR SP24 XC", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.product) + (c.competition ? " competition" : ""));
    sim::MlrSimConfig config;
    config.product = c.product;
    config.points = sim::DemoMlrPoints(40);
    config.waypoints = sim::DemoMlrWaypoints();
    config.waypoints.push_back({"-017", "", config.waypoints[0].fix});
    auto log = std::make_shared<sim::MlrSimLog>();
    RegisterSim("mlr-comp", config, {}, log);
    PumpingHost host;
    Screen screen;
    const RunOutcome out = RunTransfer(host, screen, AccessType::kReadTrackLog, ProtocolType::kMlrNmea,
                                       "sim:mlr-comp", 0, {}, c.competition);
    ASSERT_TRUE(out.result.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    const TrackLogPayload* t = TrackOf(out);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->log.points.size(), 40u);
    // The IDs are the shell's to decode from the waypoints.
    EXPECT_EQ(t->log.flightCompId, -1);
    EXPECT_EQ(t->log.flightCivlId, -1);
    std::vector<std::string> identified;
    for (const Waypoint& w : screen.identified) identified.push_back(w.id);
    const std::string sent = log->Received();
    const size_t waypointCommand = sent.find(kWaypointCommand), trackCommand = sent.find(kTrackCommand);
    ASSERT_NE(trackCommand, std::string::npos);
    if (c.scanned) {
      EXPECT_EQ(identified, (std::vector<std::string>{"FORCLA", "DOUSSA", "PLANFA", "-017"}));
      ASSERT_NE(waypointCommand, std::string::npos);
      EXPECT_LT(waypointCommand, trackCommand);
    } else {
      EXPECT_TRUE(identified.empty());
      EXPECT_EQ(waypointCommand, std::string::npos);
    }
  }
}

}  // namespace
}  // namespace skylode::mlr
