// The unit hangs up, or garbles one byte, at every offset of what it sends;
// an upload loses the unit after every waypoint; every operation is aborted
// at every step it reports. Each run ends in good time with one message and
// nothing delivered, or with exactly what a clean run gives; the unit is
// told to stop, and an upload is never left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "../fault_sweep.h"
#include "magellan_rig.h"
#include "records/angles.h"

namespace skylode::magellan {
namespace {

using namespace testing;
using sweep::FirstFaults;
using sweep::SweepOffsets;

// What a download delivered, in a form two runs can compare: waypoints
// carry the time of the download.
std::string Delivered(const TransferResult& r) {
  std::string text;
  if (const auto* track = std::get_if<TrackLogPayload>(&r.payload)) {
    for (const TrackPoint& p : track->log.points)
      text += std::to_string(p.time) + " " + std::to_string(p.latitude) + " " + std::to_string(p.longitude) + " " +
              std::to_string(p.gpsHeight) + " " + std::to_string(p.flags) + "\n";
  } else if (const auto* list = std::get_if<WaypointList>(&r.payload)) {
    for (const Waypoint& w : list->items)
      text += w.id + " " + w.name + " " + std::to_string(w.latitude) + " " + std::to_string(w.longitude) + " " +
              std::to_string(w.height) + "\n";
  }
  return text;
}

sim::MagellanSimConfig ShortUnit() {
  sim::MagellanSimConfig c = sim::DemoMagellanConfig();
  c.track.resize(3);
  return c;
}

// Everything the unit sends in a download: its version, then the sentences.
std::string UnitBytes(const sim::MagellanSimConfig& unit, AccessType access) {
  std::string bytes = sim::MagellanSentence("PMGNVER," + std::to_string(unit.productId) + "," + unit.version + "," +
                                            unit.description);
  for (const std::string& body : access == AccessType::kReadTrackLog ? unit.track : unit.waypoints)
    bytes += sim::MagellanSentence(body);
  return bytes + sim::MagellanSentence("PMGNCMD,END");
}

std::string LastCommand(const sim::MagellanSimLog& log) {
  const auto commands = log.Commands();
  return commands.empty() ? "" : commands.back();
}

TEST(MagellanFaultSweep, DownloadsGiveTheCleanResultOrOneMessage) {
  enum class Fault { kHangUp, kSilence, kCorrupt };
  struct Case {
    AccessType access;
    Fault fault;
  };
  const Case cases[] = {
      {AccessType::kReadTrackLog, Fault::kHangUp},   {AccessType::kReadTrackLog, Fault::kSilence},
      {AccessType::kReadTrackLog, Fault::kCorrupt},  {AccessType::kReadWaypoints, Fault::kHangUp},
      {AccessType::kReadWaypoints, Fault::kSilence}, {AccessType::kReadWaypoints, Fault::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.access == AccessType::kReadTrackLog ? "track " : "waypoints ") +
                 std::to_string(int(c.fault)));
    Screen probe;
    const MagellanRun clean = RunMagellan(ShortUnit(), c.access, probe.Callbacks());
    ASSERT_TRUE(clean.result.succeeded());
    const std::string want = Delivered(clean.result);
    ASSERT_FALSE(want.empty());
    const std::string stream = UnitBytes(ShortUnit(), c.access);
    ASSERT_EQ(stream.size(), clean.bytesSent);
    const auto faults = SweepOffsets(clean.bytesSent, [&](size_t at) -> std::string {
      Screen screen;
      sim::InstrumentOptions options;
      switch (c.fault) {
        case Fault::kHangUp: options.faults.hangUpAt = at; break;
        case Fault::kSilence: options.faults.silenceFrom = at; break;
        case Fault::kCorrupt: options.faults.corruptAt = at; break;
      }
      const auto start = std::chrono::steady_clock::now();
      const MagellanRun run = RunMagellan(ShortUnit(), c.access, screen.Callbacks(), {}, options);
      if (std::chrono::steady_clock::now() - start > 10s) return "slow";
      if (run.result.succeeded()) {
        const std::string got = Delivered(run.result);
        if (got == want) return "";
        // Silence is how a unit may end its download: a line gone quiet
        // between two sentences leaves the ones before it, whole. Quiet in
        // the middle of one is a unit gone, never an end.
        if (c.fault != Fault::kCorrupt && stream[at] == '$' && want.starts_with(got)) return "";
        return "other data:\n" + got;
      }
      // A unit that answers the download with nothing is told as an empty
      // one ("0 points received"), without a message.
      const bool empty = screen.SawStatus("0 points received") || screen.SawStatus("0 waypoints received");
      if (screen.Messages().size() != (empty ? 0u : 1u))
        return "messages: " + std::to_string(screen.Messages().size());
      // A download called off on a live line tells the unit to stop; a
      // unit that never gave its version was asked for nothing more.
      const auto commands = run.log->Commands();
      const bool asked = std::any_of(commands.begin(), commands.end(),
                                     [](const std::string& command) { return command != "PMGNCMD,VERSION"; });
      if (c.fault != Fault::kHangUp && asked && LastCommand(*run.log) != "PMGNCMD,STOP")
        return "not stopped: " + LastCommand(*run.log);
      return "";
    });
    EXPECT_TRUE(faults.empty()) << FirstFaults(faults);
  }
}

WaypointList Upload() {
  WaypointList list;
  const char* ids[] = {"TAKEOF", "TURN", "LAND"};
  for (int i = 0; i < 3; ++i)
    list.items.push_back(Waypoint{.latitude = *DegreesToLatitude(45.5 + i * 0.01),
                                  .longitude = *DegreesToLongitude(6.25),
                                  .height = 600 + i,
                                  .id = ids[i],
                                  .name = "",
                                  .time = 0,
                                  .symbol = 0});
  return list;
}

// The unit's reply to the version command is all it sends in an upload.
TEST(MagellanFaultSweep, UploadWithABrokenProductReplySendsAllOrNothing) {
  Screen probe;
  const MagellanRun clean = RunMagellan(ShortUnit(), AccessType::kSendWaypoints, probe.Callbacks(), Upload());
  ASSERT_TRUE(clean.result.succeeded());
  ASSERT_EQ(clean.log->Received().size(), 3u);
  for (bool hangUp : {true, false}) {
    SCOPED_TRACE(hangUp ? "hang-up" : "corruption");
    const auto faults = SweepOffsets(clean.bytesSent, [&](size_t at) -> std::string {
      Screen screen;
      sim::InstrumentOptions options;
      (hangUp ? options.faults.hangUpAt : options.faults.corruptAt) = at;
      const MagellanRun run = RunMagellan(ShortUnit(), AccessType::kSendWaypoints, screen.Callbacks(), Upload(), options);
      const size_t stored = run.log->Received().size();
      if (!run.log->Faults().empty()) return "broken sentence: " + run.log->Faults()[0];
      if (run.result.succeeded()) {
        if (hangUp) return "succeeded after a hang-up";
        // A garbled reply costs one more request.
        return stored == 3 && run.log->UploadEnded() ? "" : "stored " + std::to_string(stored);
      }
      if (screen.Messages().size() != 1) return "messages: " + std::to_string(screen.Messages().size());
      return stored == 0 ? "" : "sent after a failed request: " + std::to_string(stored);
    });
    EXPECT_TRUE(faults.empty()) << FirstFaults(faults);
  }
}

// Switched off in the middle of an upload, the unit holds part of the list:
// the person must be told, not shown a count that reads as done.
TEST(MagellanFaultSweep, UnitGoneAfterEveryWaypointIsAWriteError) {
  MagellanTiming timing = Fast();
  // The unit takes a sentence well within the pause between two.
  timing.waypointPause = 60ms;
  const auto faults = SweepOffsets(3, [&](size_t taken) -> std::string {
    sim::MagellanSimConfig config = ShortUnit();
    config.hangUpAfterWaypoints = int(taken + 1);
    Screen screen;
    const MagellanRun run = RunMagellan(config, AccessType::kSendWaypoints, screen.Callbacks(), Upload(), {}, nullptr,
                                        nullptr, false, timing);
    const size_t stored = run.log->Received().size();
    if (stored != taken + 1) return "unit took " + std::to_string(stored);
    // Gone after the last one, it has the whole list: only the end command
    // was lost.
    if (stored == 3) return run.result.succeeded() ? "" : "failed with every waypoint stored";
    if (run.result.succeeded()) return "succeeded with " + std::to_string(stored) + " stored";
    const auto messages = screen.Messages();
    if (messages.size() != 1 || messages[0].text != "COM port write error")
      return "messages: " + std::to_string(messages.size());
    return "";
  });
  EXPECT_TRUE(faults.empty()) << FirstFaults(faults);
}

TEST(MagellanFaultSweep, AbortAtEveryStepDeliversNothingAndLeavesTheUnitIdle) {
  for (AccessType access : {AccessType::kReadTrackLog, AccessType::kReadWaypoints, AccessType::kSendWaypoints}) {
    WaypointList list;
    list.items.resize(3, Waypoint{.latitude = 0, .longitude = 0, .height = 5, .id = "W", .name = "", .time = 0, .symbol = 0});
    Screen probe;
    RunMagellan(sim::DemoMagellanConfig(), access, probe.Callbacks(), list);
    const size_t steps = probe.Statuses().size();
    ASSERT_GE(steps, 3u);
    for (size_t k = 0; k + 1 < steps; ++k) {
      const std::string what = std::to_string(int(access)) + " " + probe.Statuses()[k];
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      const MagellanRun run =
          RunMagellan(sim::DemoMagellanConfig(), access, AbortAtStatus(screen, k, abort), list, {}, abort);
      EXPECT_EQ(run.result.outcome, TransferOutcome::kCancelled) << what;
      EXPECT_TRUE(screen.Messages().empty()) << what;
      EXPECT_TRUE(run.log->Faults().empty()) << what;
      const auto commands = run.log->Commands();
      const bool asked = commands.size() > 1;  // more than the version command
      if (access == AccessType::kSendWaypoints) {
        // What the unit took is closed with the end command.
        EXPECT_TRUE(run.log->Received().empty() || run.log->UploadEnded()) << what;
      } else if (asked) {
        EXPECT_EQ(commands.back(), "PMGNCMD,STOP") << what;
      }
    }
  }
}

}  // namespace
}  // namespace skylode::magellan
