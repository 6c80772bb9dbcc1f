// A short download broken at every byte the instrument sends (the line
// hung up, or the byte corrupted), and every operation aborted at every step
// it reports: each run ends in good time and delivers nothing but a whole
// flight.
#include <gtest/gtest.h>

#include <set>

#include "../fault_sweep.h"
#include "iqbasic_rig.h"

namespace skylode::iqbasic {
namespace {

using namespace testing;

sim::IqBasicSimConfig Tiny() {
  sim::IqBasicSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 2, 12, 0), 3)};
  c.waypoints = {{45.8129, 6.2459, "", "FORCLA", 1250}};
  return c;
}

size_t DownloadBytes(const sim::IqBasicSimConfig& c) {
  sim::IqBasicInstrument replies(c);
  return replies.ProductReply(0).size() + replies.ProductReply(1).size() + replies.ProductReply(2).size() +
         replies.TrackListReply().size() + replies.FlightReply(1).size();
}

TEST(IqFaultSweep, HangUpAtEveryByte) {
  const sim::IqBasicSimConfig config = Tiny();
  const size_t total = DownloadBytes(config);
  const std::set<std::string> expected = {"COM port read error", "No valid response from GPS"};
  std::mutex mutex;
  std::set<std::string> seen;
  ForEachInParallel(total + 1, [&](size_t offset) {
    Screen screen;
    sim::InstrumentOptions options;
    if (offset < total) options.faults.hangUpAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const IqRun run = RunIq(config, {}, FirstListedFlight(screen), options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    const auto messages = screen.Messages();
    if (offset == total) {
      ASSERT_TRUE(run.result.succeeded());
      EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 3u);
      return;
    }
    // The flight's last lines (L and G records) carry no points: losing
    // them leaves the flight whole, though unsigned.
    if (run.result.succeeded()) {
      EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 3u) << offset;
      EXPECT_GT(offset, total - 200) << offset;
      return;
    }
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure) << offset;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << offset;
    ASSERT_EQ(messages.size(), 1u) << offset;
    EXPECT_TRUE(expected.count(messages[0].text)) << offset << ": " << messages[0].text;
    std::lock_guard l(mutex);
    seen.insert(messages[0].text);
  });
  EXPECT_TRUE(seen.count("COM port read error"));
}

TEST(IqFaultSweep, CorruptionAtEveryByte) {
  const sim::IqBasicSimConfig config = Tiny();
  const size_t total = DownloadBytes(config);
  ForEachInParallel(total, [&](size_t offset) {
    Screen screen;
    sim::InstrumentOptions options;
    options.faults.corruptAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const IqRun run = RunIq(config, {}, FirstListedFlight(screen), options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    const auto messages = screen.Messages();
    if (run.result.succeeded()) {
      // A digit changed inside a record reads as another value: the text
      // has no checksum. What arrives is still at most the one flight.
      const auto& t = std::get<TrackLogPayload>(run.result.payload);
      EXPECT_GE(t.log.points.size(), 1u) << offset;
      EXPECT_LE(t.log.points.size(), 3u) << offset;
      return;
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << offset;
    EXPECT_EQ(messages.size(), 1u) << offset;
  });
}

TEST(IqFaultSweep, AbortAtEveryStep) {
  WaypointList upload;
  upload.items.push_back({});
  upload.items[0].name = "Home";
  const IqRequest requests[] = {
      {.access = AccessType::kReadTrackLog, .competitionMode = true},
      {.access = AccessType::kReadWaypoints},
      {.access = AccessType::kSendWaypoints, .parameter = 1, .input = upload},
  };
  for (const IqRequest& request : requests) {
    Screen clean;
    ASSERT_TRUE(RunIq(Tiny(), request, FirstListedFlight(clean)).result.succeeded());
    const size_t steps = clean.Statuses().size();
    ASSERT_GE(steps, 3u);
    // Step k aborts as its status line shows; k == steps in the Track List dialog.
    ForEachInParallel(steps + 1, [&](size_t k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      TransferCallbacks cb = AbortAtStatus(screen, k, abort);
      cb.chooseTracks = [k, steps, abort](std::string_view, const std::vector<skylode::TrackListEntry>& entries,
                                          const CancelToken&) {
        if (k == steps) abort->Request();
        return std::optional<std::vector<int32_t>>(std::vector<int32_t>{entries.at(0).flightNumber});
      };
      const auto start = std::chrono::steady_clock::now();
      const IqRun run = RunIq(Tiny(), request, cb, {}, abort);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << k;
      if (request.access != AccessType::kReadTrackLog && k == steps) return;  // no dialog there
      EXPECT_EQ(run.result.outcome, TransferOutcome::kCancelled) << static_cast<int>(request.access) << " at " << k;
      EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << k;
      EXPECT_TRUE(screen.Messages().empty()) << k;
    });
  }
}

// What the instrument says in an upload (its product data, its answers to
// each waypoint) broken at every byte: one message, or every waypoint in.
TEST(IqFaultSweep, WaypointUploadBrokenAtEveryByte) {
  WaypointList upload;
  for (const char* name : {"Home", "Col", "Lake"}) {
    Waypoint w;
    w.name = name;
    upload.items.push_back(w);
  }
  const IqRequest request{.access = AccessType::kSendWaypoints, .parameter = 1, .input = upload};
  Screen probe;
  const IqRun clean = RunIq(Tiny(), request, probe.Callbacks());
  ASSERT_TRUE(clean.result.succeeded());
  ASSERT_EQ(clean.log->Received().size(), 3u);
  for (bool hangUp : {true, false}) {
    SCOPED_TRACE(hangUp ? "hang-up" : "corruption");
    const auto faults = sweep::SweepOffsets(clean.bytesSent, [&](size_t at) -> std::string {
      Screen screen;
      sim::InstrumentOptions options;
      (hangUp ? options.faults.hangUpAt : options.faults.corruptAt) = at;
      const IqRun run = RunIq(Tiny(), request, screen.Callbacks(), options);
      const auto messages = screen.Messages();
      if (!run.log->Faults().empty()) return "broken upload: " + run.log->Faults()[0];
      if (run.result.succeeded()) {
        if (hangUp) return "succeeded after a hang-up";
        if (!messages.empty()) return "succeeded with a message";
        return run.log->Received().size() == 3 ? "" : "stored " + std::to_string(run.log->Received().size());
      }
      return messages.size() == 1 ? "" : "messages: " + std::to_string(messages.size());
    });
    EXPECT_TRUE(faults.empty()) << sweep::FirstFaults(faults);
  }
}

}  // namespace
}  // namespace skylode::iqbasic
