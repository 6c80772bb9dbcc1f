// Track and waypoint transfers end to end against the virtual Magellan
// through the real serial layer, with a fault sweep of a short track.
#include <gtest/gtest.h>

#include "../flytec/flytec_harness.h"
#include "access/serial_port.h"
#include "protocols/families.h"
#include "protocols/family.h"
#include "protocols/magellan/sentences.h"
#include "protocols/magellan/workers.h"
#include "records/angles.h"
#include "sim/magellan/magellan_instrument.h"

namespace skylode::magellan {
namespace {

using namespace std::chrono_literals;
using flytec::testing::AbortAtStatus;
using flytec::testing::ForEachInParallel;
using flytec::testing::Screen;

MagellanTiming Fast() {
  MagellanTiming t;
  t.productWindow = 150ms;
  t.afterProduct = 0ms;
  t.silence = 80ms;
  t.waypointPause = 0ms;
  return t;
}

struct MagellanRun {
  TransferResult result;
  std::shared_ptr<sim::MagellanSimLog> log = std::make_shared<sim::MagellanSimLog>();
  size_t bytesSent = 0;
};

MagellanRun RunMagellan(const sim::MagellanSimConfig& config, AccessType access, TransferCallbacks callbacks,
                        TransferInput input = {}, const sim::InstrumentOptions& options = {},
                        std::shared_ptr<AbortSignal> abort = nullptr,
                        std::shared_ptr<sim::MagellanSimLog> log = nullptr, bool competition = false) {
  MagellanRun run;
  if (log) run.log = log;
  std::string error;
  auto instrument = sim::StartVirtualMagellan(config, options, error, run.log);
  if (!instrument) {
    ADD_FAILURE() << error;
    return run;
  }
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:magellan", 9600, false);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return run;
  }
  TransferRequest req;
  req.access = access;
  req.protocol = ProtocolType::kMagellan;
  req.portName = "sim:magellan";
  req.settings.connectAttempts = 4;
  req.settings.competitionMode = competition;
  req.input = std::move(input);
  TransferContext ctx(std::move(req), std::move(callbacks), std::move(abort));
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));
  switch (access) {
    case AccessType::kReadWaypoints: run.result = MagellanReadWaypoints(ctx, Fast()); break;
    case AccessType::kSendWaypoints: run.result = MagellanSendWaypoints(ctx, Fast()); break;
    default: run.result = MagellanReadTrackLog(ctx, Fast()); break;
  }
  // The unit's last sentence may still be on the line.
  std::this_thread::sleep_for(50ms);
  ctx.ClosePort();
  instrument->Stop();
  run.bytesSent = instrument->BytesSent();
  return run;
}

TEST(MagellanTransfer, TheRowRegistersItsThreeWorkers) {
  DeviceAccessTable table;
  ASSERT_NE(MagellanFamily().registerWorkers, nullptr);
  MagellanFamily().registerWorkers(table, {});
  for (int a = 0; a < kAccessTypeCount; ++a) {
    const auto access = static_cast<AccessType>(a);
    EXPECT_EQ(table.Has(access, ProtocolType::kMagellan),
              access == AccessType::kReadTrackLog || access == AccessType::kReadWaypoints ||
                  access == AccessType::kSendWaypoints)
        << a;
  }
}

TEST(MagellanTransfer, DownloadsTheTrackLog) {
  Screen screen;
  const MagellanRun run = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadTrackLog, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  const TrackLog& log = std::get<TrackLogPayload>(run.result.payload).log;
  ASSERT_EQ(log.points.size(), 25u);
  EXPECT_EQ(log.source, TrackLogSource::kMagellan);
  EXPECT_EQ(log.instrumentText, "MERIDIAN GPS");
  EXPECT_EQ(log.points[0].flags, 1u);
  EXPECT_EQ(log.points[1].flags, 0u);
  EXPECT_EQ(log.points[24].time - log.points[0].time, 24u);
  EXPECT_EQ(log.points[3].gpsHeight, 12530);
  EXPECT_NEAR(log.points[0].latitude, *DegreesToLatitude(45.8129), 20000);
  EXPECT_EQ(screen.products.back(), "Magellan: 27");
  EXPECT_TRUE(screen.SawStatus("25 points received"));
  EXPECT_TRUE(screen.Messages().empty());
}

// In competition mode the unit's waypoints go to the pilot identification
// before the track is read.
TEST(MagellanTransfer, CompetitionModeScansTheWaypointsFirst) {
  Screen screen;
  const MagellanRun run = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadTrackLog, screen.Callbacks(), {},
                                      {}, nullptr, nullptr, true);
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 25u);
  ASSERT_EQ(screen.identified.size(), 2u);
  EXPECT_EQ(screen.identified[0].id, "FORCLA");
  const auto commands = run.log->Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1], "PMGNCMD,WAYPOINT");
  EXPECT_EQ(commands[2], "PMGNCMD,TRACK,2");
}

TEST(MagellanTransfer, OldFirmwareRefusesTheTrackDownload) {
  struct Case {
    int product;
    const char* version;
    const char* refusal;
  };
  const Case cases[] = {
      {24, "3.13", "E200 Model does not support time in track log"},
      {24, "3.14", nullptr},
      {30, "2.00", "E200 Model does not support date in track log"},
      {30, "2.01", nullptr},
  };
  for (const Case& c : cases) {
    sim::MagellanSimConfig config = sim::DemoMagellanConfig();
    config.productId = c.product;
    config.version = c.version;
    Screen screen;
    const MagellanRun run = RunMagellan(config, AccessType::kReadTrackLog, screen.Callbacks());
    EXPECT_EQ(run.result.succeeded(), c.refusal == nullptr) << c.version;
    if (c.refusal) {
      ASSERT_EQ(screen.Messages().size(), 1u);
      EXPECT_EQ(screen.Messages()[0].text, c.refusal);
    }
  }
}

// Uploaded waypoints stay in the unit: the next download serves them back
// as they were sent, next to the two it held.
TEST(MagellanTransfer, UploadedWaypointsComeBackOnDownload) {
  WaypointList list;
  Waypoint a{.latitude = *DegreesToLatitude(45.5), .longitude = *DegreesToLongitude(-6.25), .height = 620,
             .id = "TAKEOF", .name = "Take off", .time = 0, .symbol = 0};
  // A description of the full 40 characters makes a sentence longer than
  // most instruments' lines.
  Waypoint b{.latitude = *DegreesToLatitude(-33.25), .longitude = *DegreesToLongitude(151.125), .height = -20,
             .id = "LAND", .name = "Beach landing next to the surf club 1234", .time = 0, .symbol = 0};
  list.items = {a, b};
  auto log = std::make_shared<sim::MagellanSimLog>();
  Screen up;
  const MagellanRun sent =
      RunMagellan(sim::DemoMagellanConfig(), AccessType::kSendWaypoints, up.Callbacks(), list, {}, nullptr, log);
  ASSERT_TRUE(sent.result.succeeded());
  EXPECT_TRUE(log->Faults().empty());
  ASSERT_EQ(log->Received().size(), 2u);
  EXPECT_EQ(log->Received()[0], "PMGNWPL,4530.000,N,00615.000,W,0620,M,TAKEOF,Take off");
  EXPECT_TRUE(log->UploadEnded());
  EXPECT_TRUE(up.SawStatus("2 waypoints sent"));

  Screen down;
  const MagellanRun read = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadWaypoints, down.Callbacks(), {},
                                       {}, nullptr, log);
  ASSERT_TRUE(read.result.succeeded());
  const auto& got = std::get<WaypointList>(read.result.payload).items;
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].id, "FORCLA");
  EXPECT_EQ(got[0].name, "Forclaz deco");
  EXPECT_EQ(got[0].height, 1250);
  EXPECT_EQ(got[2].id, "TAKEOF");
  EXPECT_NEAR(got[2].latitude, a.latitude, 20000);
  EXPECT_NEAR(got[2].longitude, a.longitude, 20000);
  EXPECT_EQ(got[2].height, 620);
  EXPECT_EQ(got[3].height, 0);
  EXPECT_EQ(got[3].name, b.name);
  EXPECT_LT(got[3].latitude, 0);
  EXPECT_TRUE(down.SawStatus("4 waypoints received"));
}

sim::MagellanSimConfig ShortTrack() {
  sim::MagellanSimConfig c = sim::DemoMagellanConfig();
  c.track.resize(3);
  return c;
}

TEST(MagellanFaultSweep, HangUpOrCorruptionAtEveryByteNeverGivesAWrongPoint) {
  Screen probe;
  const MagellanRun clean = RunMagellan(ShortTrack(), AccessType::kReadTrackLog, probe.Callbacks());
  ASSERT_TRUE(clean.result.succeeded());
  const auto want = std::get<TrackLogPayload>(clean.result.payload).log.points;
  std::mutex mutex;
  std::vector<std::string> faults;
  for (bool hangUp : {true, false}) {
    ForEachInParallel(clean.bytesSent, [&](size_t at) {
      Screen screen;
      sim::InstrumentOptions options;
      if (hangUp) options.faults.hangUpAt = at;
      else options.faults.corruptAt = at;
      const MagellanRun run = RunMagellan(ShortTrack(), AccessType::kReadTrackLog, screen.Callbacks(), {}, options);
      std::string fault;
      if (run.result.succeeded()) {
        const auto& got = std::get<TrackLogPayload>(run.result.payload).log.points;
        // A point may be lost with its sentence, never changed.
        for (const TrackPoint& p : got)
          if (std::find(want.begin(), want.end(), p) == want.end() &&
              !(p.flags == 1 && std::find_if(want.begin(), want.end(), [&](const TrackPoint& w) {
                                  TrackPoint q = w;
                                  q.flags = 1;
                                  return q == p;
                                }) != want.end()))
            fault = "changed point";
      } else if (screen.Messages().size() > 1) {
        fault = "messages";
      }
      if (!fault.empty()) {
        std::lock_guard l(mutex);
        faults.push_back(std::string(hangUp ? "hang-up " : "corrupt ") + std::to_string(at) + " " + fault);
      }
    });
  }
  EXPECT_TRUE(faults.empty()) << faults.size() << " first: " << faults.front();
}

TEST(MagellanFaultSweep, AbortAtEveryStepDeliversNothing) {
  for (AccessType access : {AccessType::kReadTrackLog, AccessType::kReadWaypoints, AccessType::kSendWaypoints}) {
    WaypointList list;
    list.items.resize(3, Waypoint{.latitude = 0, .longitude = 0, .height = 5, .id = "W", .name = "", .time = 0, .symbol = 0});
    Screen probe;
    RunMagellan(sim::DemoMagellanConfig(), access, probe.Callbacks(), list);
    const size_t steps = probe.Statuses().size();
    ASSERT_GE(steps, 3u);
    for (size_t k = 0; k + 1 < steps; ++k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      const MagellanRun run =
          RunMagellan(sim::DemoMagellanConfig(), access, AbortAtStatus(screen, k, abort), list, {}, abort);
      EXPECT_EQ(run.result.outcome, TransferOutcome::kCancelled) << int(access) << " " << probe.Statuses()[k];
      EXPECT_TRUE(screen.Messages().empty()) << int(access) << " " << probe.Statuses()[k];
    }
  }
}

}  // namespace
}  // namespace skylode::magellan
