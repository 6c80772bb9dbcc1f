// The Flymaster operations end to end through the serial layer against the
// virtual Flymaster.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "flymaster_rig.h"
#include "protocols/flymaster/set_data.h"
#include "protocols/flymaster/track_download.h"
#include "protocols/flymaster/waypoint_upload.h"
#include "records/angles.h"

namespace skylode::flymaster {
namespace {

using namespace testing;
using sim::FlymasterSimConfig;

constexpr uint32_t kAug2 = 838985400;  // 2026-08-02 11:30 in seconds since 2000

TransferResult Read(const FlymasterSimConfig& config, Screen& screen, std::shared_ptr<sim::FlymasterSimLog> log,
                    Direct how = {}, sim::InstrumentOptions options = {}) {
  return RunDirect(config, options, screen.Callbacks(), std::move(how), FlymasterReadTrackLog, std::move(log));
}

// What each fix must become, worked out here from the units alone.
void ExpectFixes(const std::vector<TrackPoint>& got, const std::vector<sim::FlymasterFix>& fixes) {
  ASSERT_EQ(got.size(), fixes.size());
  constexpr double kPerUnit = 2147483648.0 / (180.0 * 60000.0);
  for (size_t i = 0; i < got.size(); ++i) {
    const auto& f = fixes[i];
    ASSERT_EQ(got[i].time, f.time + 315619200u) << i;
    ASSERT_EQ(got[i].latitude, static_cast<int32_t>(std::lround(f.latitude * kPerUnit))) << i;
    ASSERT_EQ(got[i].longitude, -static_cast<int32_t>(std::lround(f.longitude * kPerUnit))) << i;
    ASSERT_EQ(got[i].gpsHeight, f.gpsAltitude * 10) << i;
    ASSERT_EQ(got[i].flags, i == 0 ? 1u : 0u) << i;
  }
}

TEST(FlymasterRead, LongFlightWithResends) {
  FlymasterSimConfig config;
  config.flights = {sim::DemoFlymasterFlight(kAug2, 20000, 7), sim::DemoFlymasterFlight(kAug2 - 86400, 50)};
  config.damagedBlocks = {0, 1, 2, 57, 58, 300};
  config.settings.competitionId = "  42";
  const size_t blocks = sim::FlymasterFlightBlocks(config.flights[0], config.settings).size();
  // Steps too big for a record start new key blocks: more than the record count alone.
  ASSERT_GT(blocks, 20000u / 40 + 3);

  auto log = std::make_shared<sim::FlymasterSimLog>();
  Screen screen;
  const TransferResult r = Read(config, screen, log);
  ASSERT_TRUE(r.succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
  const TrackLog& got = std::get<TrackLogPayload>(r.payload).log;
  ExpectFixes(got.points, config.flights[0].fixes);
  EXPECT_EQ(got.source, TrackLogSource::kFlymaster);
  EXPECT_TRUE(got.hasBaroHeight);
  EXPECT_EQ(got.instrumentText, "Flymaster F1, V1.23, S/N 4711");
  EXPECT_EQ(got.identification, "Flymaster: 4711");
  EXPECT_EQ(got.flightCompId, 42);
  EXPECT_EQ(got.flightCivlId, -1);  // an F1 carries none

  // Each damaged block was asked for again, reported on the status line
  // only, and the reading went on.
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(screen.CountStatus("E205 Bad checksum in data block"), config.damagedBlocks.size());
  EXPECT_EQ(log->Read(&sim::FlymasterSimLog::resendRequests), config.damagedBlocks.size());
  EXPECT_EQ(log->Read(&sim::FlymasterSimLog::acks), blocks - 1);
  EXPECT_EQ(log->Read(&sim::FlymasterSimLog::blocksSent), blocks + config.damagedBlocks.size());
  EXPECT_EQ(log->Read(&sim::FlymasterSimLog::cancels), 0u);
  EXPECT_FALSE(log->Read(&sim::FlymasterSimLog::poweredOff));

  ASSERT_EQ(screen.dialogTitles.size(), 1u);
  EXPECT_EQ(screen.dialogTitles[0], "Track List (sim:test, Flymaster)");
  ASSERT_EQ(screen.dialogEntries[0].size(), 2u);
  const uint32_t d = config.flights[0].fixes.back().time - kAug2;
  char line[64];
  std::snprintf(line, sizeof line, "2026.08.02   11:30:00   %02u:%02u:%02u", d / 3600, d / 60 % 60, d % 60);
  EXPECT_EQ(screen.dialogEntries[0][0].text, line);
  const auto sentences = log->Sentences();
  ASSERT_EQ(sentences.size(), 3u);
  EXPECT_EQ(sentences[0], "PBRSNP,");
  EXPECT_EQ(sentences[1], "PFMDNL,LST,");
  EXPECT_EQ(sentences[2], "PFMDNL,260802113000,");
}

TEST(FlymasterRead, ChoosesTheSecondFlightAndSwitchesOffWhenAsked) {
  FlymasterSimConfig config;
  config.product = "B1NAV";
  config.flights = {LineFlight(kAug2, 30), LineFlight(kAug2 - 86400, 12)};
  config.settings.competitionId = "7";
  config.settings.civlId = "12345";
  for (bool powerOff : {false, true}) {
    auto log = std::make_shared<sim::FlymasterSimLog>();
    Screen screen;
    screen.selection = std::vector<int32_t>{1};
    Direct how;
    how.settings.powerOffAfterTransfer = powerOff;
    const TransferResult r = Read(config, screen, log, how);
    ASSERT_TRUE(r.succeeded());
    const TrackLog& got = std::get<TrackLogPayload>(r.payload).log;
    ExpectFixes(got.points, config.flights[1].fixes);
    EXPECT_EQ(got.flightCompId, 7);
    EXPECT_EQ(got.flightCivlId, 12345);
    EXPECT_EQ(log->Read(&sim::FlymasterSimLog::poweredOff), powerOff);
    EXPECT_EQ(log->Sentences().back(), powerOff ? "PFMOFF" : "PFMDNL,260801113000,");
  }
}

std::vector<uint8_t> InfoBlock() { return sim::FlymasterBlock(0xA0, std::vector<uint8_t>(63, ' ')); }

TEST(FlymasterRead, ScriptedStreams) {
  const std::vector<uint8_t> key = sim::FlymasterFlightBlocks(LineFlight(kAug2, 1), {})[1];
  const std::vector<uint8_t> records = sim::FlymasterBlock(0xA2, std::vector<uint8_t>(6, 1));
  const std::vector<uint8_t> end = {0xA3, 0xA3};
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> script;
    std::string message;  // empty: success
    size_t points;
  };
  const std::vector<Case> cases = {
      {"flight info then the end", {InfoBlock(), end}, "", 0},
      {"records before a key block", {InfoBlock(), records, end}, "E205 Missing key track position block", 0},
      {"no flight info", {key, end}, "E205 Missing flight info block", 0},
      {"short flight info", {sim::FlymasterBlock(0xA0, std::vector<uint8_t>(20, 0)), end},
       "E205 Bad flight info block length", 0},
      {"empty positions block", {InfoBlock(), key, sim::FlymasterBlock(0xA2, {}), end},
       "E205 Bad track position block length", 0},
      {"key and records", {InfoBlock(), key, records, end}, "", 2},
      {"stops in the middle", {InfoBlock(), key}, "E203 Timeout receiving data", 0},
  };
  for (const Case& c : cases) {
    FlymasterSimConfig config;
    config.flights = {LineFlight(kAug2, 1)};
    config.flights[0].script = c.script;
    auto log = std::make_shared<sim::FlymasterSimLog>();
    Screen screen;
    const TransferResult r = Read(config, screen, log);
    const auto messages = screen.Messages();
    if (c.message.empty()) {
      ASSERT_TRUE(r.succeeded()) << c.what;
      EXPECT_EQ(std::get<TrackLogPayload>(r.payload).log.points.size(), c.points) << c.what;
      EXPECT_EQ(log->Read(&sim::FlymasterSimLog::cancels), 0u) << c.what;
      continue;
    }
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure) << c.what;
    ASSERT_EQ(messages.size(), 1u) << c.what;
    EXPECT_EQ(messages[0].caption, "Read GPS track log") << c.what;
    EXPECT_EQ(messages[0].text, c.message) << c.what;
    // The instrument is told to stop streaming.
    EXPECT_EQ(log->Read(&sim::FlymasterSimLog::cancels), 1u) << c.what;
  }
}

TEST(FlymasterRead, EmptyListAndCancelledDialogEndQuietly) {
  FlymasterSimConfig none;
  Screen empty;
  EXPECT_EQ(Read(none, empty, nullptr).outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(empty.Messages().empty());
  EXPECT_EQ(empty.Statuses().back(), "0 tracks in track list found");

  FlymasterSimConfig one;
  one.flights = {LineFlight(kAug2, 5)};
  auto log = std::make_shared<sim::FlymasterSimLog>();
  Screen cancelled;
  cancelled.selection.reset();
  EXPECT_EQ(Read(one, cancelled, log).outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(cancelled.Messages().empty());
  EXPECT_EQ(log->Sentences().size(), 2u);  // no flight was asked for
}

}  // namespace
}  // namespace skylode::flymaster

namespace skylode::flymaster {
namespace {

using namespace testing;

WaypointList SomeWaypoints() {
  WaypointList list;
  Waypoint a;
  a.latitude = *DegreesToLatitude(45.8129);
  a.longitude = *DegreesToLongitude(6.2459);
  a.height = 1250;
  a.id = "FORCLA";
  a.name = "Col de la Forclaz deco";
  Waypoint b;
  b.latitude = *DegreesToLatitude(-33.5);
  b.longitude = *DegreesToLongitude(-70.25);
  b.height = -12;
  b.id = "LZ";
  b.name = "lz, main*";
  Waypoint c = a;
  c.height = 12000;
  c.name = "";
  list.items = {a, b, c};
  return list;
}

TEST(FlymasterWaypoints, EachIsSentAndConfirmed) {
  for (const char* version : {"1.23", "1.14"}) {
    sim::FlymasterSimConfig config;
    config.version = version;
    auto log = std::make_shared<sim::FlymasterSimLog>();
    Screen screen;
    Direct how;
    how.access = AccessType::kSendWaypoints;
    how.parameter = 2;  // ID and name
    how.input = SomeWaypoints();
    const TransferResult r =
        RunDirect(config, {}, screen.Callbacks(), std::move(how), FlymasterSendWaypoints, log);
    ASSERT_TRUE(r.succeeded()) << version << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    EXPECT_TRUE(screen.Messages().empty());
    EXPECT_EQ(screen.Statuses().back(), "3 waypoints sent");
    // Cut or padded to 16; what would shift the instrument's fields is a blank.
    EXPECT_EQ(log->Read(&sim::FlymasterSimLog::waypointNames),
              (std::vector<std::string>{"FORCLA Col de la", "LZ lz  main     ", "FORCLA          "}));
    const auto sentences = log->Sentences();
    ASSERT_EQ(sentences.size(), 4u);
    EXPECT_EQ(sentences[1], "PFMWPR,4548.774,N,00614.754,E,,FORCLA Col de la,1250");
    EXPECT_EQ(sentences[2], "PFMWPR,3330.000,S,07015.000,W,,LZ lz  main     ,0000");
    EXPECT_EQ(sentences[3], "PFMWPR,4548.774,N,00614.754,E,,FORCLA          ,9999");
  }
}

TEST(FlymasterWaypoints, RepliesAreJudged) {
  const std::string name = "Forclaz deco-2  ";
  auto line = [](const std::string& body) {
    const std::string s = sim::FlymasterSentence(body);
    return s.substr(0, s.size() - 2);
  };
  struct Case {
    std::string reply, version;
    int type;
  };
  const std::vector<Case> cases = {
      {line("PFMWPR,ACK,FORCLAZ DECO 2  "), "1.23", 0},
      {line("PFMWPR,ACK,FORCLAZ DECO 3  "), "1.23", 7},
      {line("PFMWPR,NAK,FORCLAZ DECO 2  "), "1.23", 6},
      {line("PFMWPR,ACK"), "1.23", 5},
      {line("PFMWPR,Forclaz deco-2  "), "1.14", 0},
      {line("PFMWPR,FORCLAZ DECO 2  "), "1.14", 7},
      {line("PFMWPR"), "1.14", 5},
      {"$PFMWPR,ACK,X", "1.23", 4},
      {"$PFMWPR,ACK,X*G1", "1.23", 1},
      {line("PFMWPR,ACK,X") + "0", "1.23", 2},
      {"$PFMWPR,ACK,X*00", "1.23", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckWaypointReply(c.reply, name, c.version), c.type) << c.reply;
}

}  // namespace
}  // namespace skylode::flymaster

namespace skylode::flymaster {
namespace {

using namespace testing;

struct Written {
  TransferResult result;
  std::shared_ptr<sim::FlymasterSimLog> log;
  std::vector<Shown> messages;
  std::vector<std::string> statuses;
};

Written Write(const sim::FlymasterSimConfig& config, DataMode mode, std::vector<std::string> values) {
  Written w;
  w.log = std::make_shared<sim::FlymasterSimLog>();
  Screen screen;
  Direct how;
  how.access = AccessType::kWriteSettings;
  how.parameter = static_cast<int32_t>(mode);
  how.input = FormAnswers{std::move(values)};
  w.result = RunDirect(config, {}, screen.Callbacks(), std::move(how), FlymasterSetData, w.log);
  w.messages = screen.Messages();
  w.statuses = screen.Statuses();
  return w;
}

TEST(FlymasterSetData, PilotDataAndAlarmReachTheF1) {
  sim::FlymasterSimConfig f1;
  const Written pilot = Write(f1, DataMode::kPilotData, {"Anna Bell", "17", "Ozone", ""});
  ASSERT_TRUE(pilot.result.succeeded());
  EXPECT_EQ(pilot.statuses.back(), "Data sent");
  const auto settings = pilot.log->Read(&sim::FlymasterSimLog::settings);
  EXPECT_EQ(settings.pilotName, "Anna Bell");
  EXPECT_EQ(settings.competitionNumber, "17");
  EXPECT_EQ(settings.gliderBrand, "Ozone");
  EXPECT_EQ(settings.gliderModel, "");
  EXPECT_EQ(pilot.log->Sentences().back(), "PFMPLT,Anna Bell,17,Ozone,,");

  const Written alarm = Write(f1, DataMode::kAltitudeAlarm, {" 2500"});
  ASSERT_TRUE(alarm.result.succeeded());
  EXPECT_EQ(alarm.log->Read(&sim::FlymasterSimLog::settings).altitudeAlarm, 2500);

  // Whoever filled the values, nothing shifts the instrument's fields.
  const Written odd = Write(f1, DataMode::kPilotData, {"A,B", "1*", "$x", "\r\n"});
  ASSERT_TRUE(odd.result.succeeded());
  EXPECT_EQ(odd.log->Sentences().back(), "PFMPLT,A B,1 , x,  ,");
}

TEST(FlymasterSetData, IdsAreWrittenToTheB1NavAndComeBackWithItsFlights) {
  sim::FlymasterSimConfig b1;
  b1.product = "B1NAV";
  b1.flights = {LineFlight(838985400, 3)};
  auto log = std::make_shared<sim::FlymasterSimLog>();
  std::string error;
  // One instrument for both transfers: what it was told, it keeps.
  auto instrument = sim::StartVirtualFlymaster(b1, {}, error, log);
  ASSERT_TRUE(instrument) << error;
  auto run = [&](AccessType access, int32_t parameter, TransferInput input, auto worker) {
    PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:test", kFlymasterBaud, false);
    EXPECT_TRUE(opened.port) << opened.error;
    Screen screen;
    TransferRequest req;
    req.access = access;
    req.protocol = ProtocolType::kFlymaster;
    req.parameter = parameter;
    req.input = std::move(input);
    TransferContext ctx(std::move(req), screen.Callbacks());
    ctx.SetTrace(nullptr);
    ctx.AttachPort(std::move(opened.port));
    return worker(ctx, FastTiming());
  };
  ASSERT_TRUE(run(AccessType::kWriteSettings, 2, FormAnswers{{"Anna", "17", "4711"}}, FlymasterSetData).succeeded());
  // Nothing answers the IDs, so the worker may be done before the instrument,
  // still running for the next transfer, has read them off the line.
  for (int i = 0; i < 200 && log->Sentences().back() != "PFMIDS,17,4711,Anna"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(log->Sentences().back(), "PFMIDS,17,4711,Anna");
  const TransferResult read = run(AccessType::kReadTrackLog, 0, {}, FlymasterReadTrackLog);
  ASSERT_TRUE(read.succeeded());
  const TrackLog& got = std::get<TrackLogPayload>(read.payload).log;
  EXPECT_EQ(got.flightCompId, 17);
  EXPECT_EQ(got.flightCivlId, 4711);

  // Empty IDs are written as empty, and read back as none.
  ASSERT_TRUE(run(AccessType::kWriteSettings, 2, FormAnswers{{"Anna", "", ""}}, FlymasterSetData).succeeded());
  const TransferResult again = run(AccessType::kReadTrackLog, 0, {}, FlymasterReadTrackLog);
  ASSERT_TRUE(again.succeeded());
  EXPECT_EQ(std::get<TrackLogPayload>(again.payload).log.flightCompId, -1);
  EXPECT_EQ(std::get<TrackLogPayload>(again.payload).log.flightCivlId, -1);
}

TEST(FlymasterSetData, CommandsTheModelCannotTakeSendNothing) {
  sim::FlymasterSimConfig f1;
  sim::FlymasterSimConfig b1;
  b1.product = "B1NAV";
  struct Case {
    const sim::FlymasterSimConfig* config;
    DataMode mode;
    std::vector<std::string> values;
    std::string caption, text;
  };
  const std::vector<Case> cases = {
      {&b1, DataMode::kPilotData, {"a", "", "", ""}, "Set pilot data", "Command not available for B1 NAV"},
      {&b1, DataMode::kAltitudeAlarm, {"100"}, "Set altitude alarm", "Command not available for B1 NAV"},
      {&f1, DataMode::kIds, {"a", "1", "2"}, "Set pilot data", "Command available for B1 NAV only"},
  };
  for (const Case& c : cases) {
    const Written w = Write(*c.config, c.mode, c.values);
    EXPECT_EQ(w.result.outcome, TransferOutcome::kFailure);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].caption, c.caption);
    EXPECT_EQ(w.messages[0].text, c.text);
    EXPECT_EQ(w.log->Sentences(), (std::vector<std::string>{"PBRSNP,"}));
  }
}

}  // namespace
}  // namespace skylode::flymaster
