// A short flight broken at every byte the instrument sends (the line hangs
// up, or the byte arrives damaged), and aborted at every step the worker
// reports: each run ends in good time, with its one message, and never
// delivers a flight other than the one recorded.
#include <gtest/gtest.h>

#include <set>

#include "../fault_sweep.h"
#include "flymaster_rig.h"
#include "protocols/flymaster/set_data.h"
#include "protocols/flymaster/track_download.h"
#include "protocols/flymaster/waypoint_upload.h"

namespace skylode::flymaster {
namespace {

using namespace testing;
using sim::FlymasterSimConfig;
using sim::InstrumentOptions;

FlymasterSimConfig ShortFlight() {
  FlymasterSimConfig c;
  c.flights = {LineFlight(838985400, 9)};
  c.recordsPerBlock = 4;  // two position blocks
  return c;
}

size_t BytesOfAWholeRun(const FlymasterSimConfig& config) {
  sim::FlymasterInstrument replies(config);
  size_t total = replies.ProductReply().size() + replies.TrackListReply().size();
  for (const auto& block : sim::FlymasterFlightBlocks(config.flights[0], config.settings, config.recordsPerBlock))
    total += block.size();
  return total;
}

std::vector<TrackPoint> CleanPoints(const FlymasterSimConfig& config) {
  Screen screen;
  const TransferResult r = RunDirect(config, {}, screen.Callbacks(), {}, FlymasterReadTrackLog);
  EXPECT_TRUE(r.succeeded());
  return r.succeeded() ? std::get<TrackLogPayload>(r.payload).log.points : std::vector<TrackPoint>{};
}

TEST(FlymasterFaultSweep, HangUpAtEveryByte) {
  const FlymasterSimConfig config = ShortFlight();
  const size_t total = BytesOfAWholeRun(config);
  const std::vector<TrackPoint> clean = CleanPoints(config);
  ASSERT_EQ(clean.size(), 9u);
  const std::set<std::string> expected = {"COM port read error", "E503 COM port read error",
                                          "E204 COM port read error", "E202 COM port write error",
                                          "E500 COM port write error", "COM port write error"};
  std::mutex mutex;
  std::set<std::string> seen;
  ForEachInParallel(total + 1, [&](size_t offset) {
    Screen screen;
    InstrumentOptions options;
    if (offset < total) options.faults.hangUpAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const TransferResult r = RunDirect(config, options, screen.Callbacks(), {}, FlymasterReadTrackLog);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    if (offset == total) {
      ASSERT_TRUE(r.succeeded());
      EXPECT_EQ(std::get<TrackLogPayload>(r.payload).log.points, clean);
      return;
    }
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure) << offset;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << offset;
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u) << offset;
    EXPECT_TRUE(expected.count(messages[0].text)) << offset << ": " << messages[0].text;
    std::lock_guard l(mutex);
    seen.insert(messages[0].text);
  });
  // The line died in each of the three exchanges.
  EXPECT_TRUE(seen.count("COM port read error"));
  EXPECT_TRUE(seen.count("E503 COM port read error"));
  EXPECT_TRUE(seen.count("E204 COM port read error"));
}

TEST(FlymasterFaultSweep, DamagedByteAtEveryOffset) {
  const FlymasterSimConfig config = ShortFlight();
  const size_t total = BytesOfAWholeRun(config);
  const std::vector<TrackPoint> clean = CleanPoints(config);
  for (const uint8_t mask : {uint8_t{0x01}, uint8_t{0x40}}) {
    std::atomic<size_t> resent{0};
    ForEachInParallel(total, [&](size_t offset) {
      Screen screen;
      InstrumentOptions options;
      options.faults.corruptAt = offset;
      options.faults.corruptMask = mask;
      const auto start = std::chrono::steady_clock::now();
      const TransferResult r = RunDirect(config, options, screen.Callbacks(), {}, FlymasterReadTrackLog);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
      if (screen.CountStatus("E205 Bad checksum in data block") > 0) ++resent;
      if (r.succeeded()) {
        // Whatever got through is the flight as recorded, whole.
        EXPECT_EQ(std::get<TrackLogPayload>(r.payload).log.points, clean) << offset << " mask " << int{mask};
        EXPECT_TRUE(screen.Messages().empty()) << offset;
        return;
      }
      EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << offset;
      // A failure says why, once; an unreadable list may end without a word.
      EXPECT_LE(screen.Messages().size(), 1u) << offset;
    });
    // Damage inside the blocks is mended by a resend.
    EXPECT_GT(resent.load(), 20u);
  }
}

TEST(FlymasterFaultSweep, AbortAtEveryStep) {
  Screen clean;
  ASSERT_TRUE(RunDirect(ShortFlight(), {}, clean.Callbacks(), {}, FlymasterReadTrackLog).succeeded());
  const size_t steps = clean.Statuses().size();
  ASSERT_GE(steps, 4u);
  // Step k aborts as its status line shows; k == steps in the Track List dialog.
  ForEachInParallel(steps + 1, [&](size_t k) {
    Screen screen;
    auto abort = std::make_shared<AbortSignal>();
    TransferCallbacks cb = screen.Callbacks();
    auto shown = std::make_shared<size_t>(0);
    cb.onStatus = [k, abort, shown, status = cb.onStatus](std::string_view t) {
      status(t);
      if ((*shown)++ == k) abort->Request();
    };
    cb.chooseTracks = [k, steps, abort](std::string_view, const std::vector<TrackListEntry>&, const CancelToken&) {
      if (k == steps) abort->Request();
      return std::optional<std::vector<int32_t>>(std::vector<int32_t>{0});
    };
    auto log = std::make_shared<sim::FlymasterSimLog>();
    Direct how;
    how.abort = abort;
    const auto start = std::chrono::steady_clock::now();
    const TransferResult r = RunDirect(ShortFlight(), {}, cb, how, FlymasterReadTrackLog, log);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << k;
    EXPECT_EQ(r.outcome, TransferOutcome::kCancelled) << k;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << k;
    EXPECT_TRUE(screen.Messages().empty()) << k;
  });
}

// Waypoints "WP0", "WP1", ... named "Point 0", "Point 1", ...
WaypointList Numbered(int count) {
  WaypointList list;
  for (int i = 0; i < count; ++i) {
    Waypoint w;
    w.id = "WP" + std::to_string(i);
    w.name = "Point " + std::to_string(i);
    list.items.push_back(w);
  }
  return list;
}

// The uploads stop at every step too: nothing more goes to the instrument
// after the abort, and no message is shown.
TEST(FlymasterFaultSweep, UploadsAbortAtEveryStep) {
  const WaypointList waypoints = Numbered(4);
  struct Upload {
    AccessType access;
    int32_t parameter;
    TransferInput input;
    TransferResult (*worker)(TransferContext&, const FlymasterTiming&);
  };
  const std::vector<Upload> uploads = {
      {AccessType::kSendWaypoints, 1, waypoints, FlymasterSendWaypoints},
      {AccessType::kWriteSettings, 0, FormAnswers{{"Anna", "17", "Ozone", "Zeno"}}, FlymasterSetData},
  };
  for (const Upload& u : uploads) {
    auto direct = [&](std::shared_ptr<AbortSignal> abort) {
      Direct how;
      how.access = u.access;
      how.parameter = u.parameter;
      how.input = u.input;
      how.abort = std::move(abort);
      return how;
    };
    Screen clean;
    ASSERT_TRUE(RunDirect(ShortFlight(), {}, clean.Callbacks(), direct(nullptr), u.worker).succeeded());
    const size_t steps = clean.Statuses().size();
    ASSERT_GE(steps, 2u);
    ForEachInParallel(steps - 1, [&](size_t k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      TransferCallbacks cb = screen.Callbacks();
      auto shown = std::make_shared<size_t>(0);
      cb.onStatus = [k, abort, shown, status = cb.onStatus](std::string_view t) {
        status(t);
        if ((*shown)++ == k) abort->Request();
      };
      auto log = std::make_shared<sim::FlymasterSimLog>();
      const TransferResult r = RunDirect(ShortFlight(), {}, cb, direct(abort), u.worker, log);
      EXPECT_EQ(r.outcome, TransferOutcome::kCancelled) << k;
      EXPECT_TRUE(screen.Messages().empty()) << k;
      // Nothing went out after the abort: each waypoint sent was reported
      // as sent, and the data never left.
      size_t sent = 0, reported = 0;
      for (const std::string& sentence : log->Sentences()) sent += sentence != "PBRSNP," ? 1 : 0;
      for (const std::string& status : screen.Statuses()) reported += status.starts_with("Waypoint ") ? 1 : 0;
      EXPECT_EQ(sent, reported) << k;
    });
  }
}

// The product reply and each waypoint's acknowledgement, broken at every
// byte: the upload says what went wrong, once, or every waypoint is in.
TEST(FlymasterFaultSweep, WaypointUploadBrokenAtEveryByte) {
  const WaypointList waypoints = Numbered(3);
  auto direct = [&] {
    Direct how;
    how.access = AccessType::kSendWaypoints;
    how.parameter = 1;
    how.input = waypoints;
    return how;
  };
  auto cleanLog = std::make_shared<sim::FlymasterSimLog>();
  Screen clean;
  ASSERT_TRUE(RunDirect(ShortFlight(), {}, clean.Callbacks(), direct(), FlymasterSendWaypoints, cleanLog).succeeded());
  const auto names = cleanLog->Read(&sim::FlymasterSimLog::waypointNames);
  ASSERT_EQ(names.size(), 3u);
  const size_t total = cleanLog->Read(&sim::FlymasterSimLog::bytesQueued);
  for (bool hangUp : {true, false}) {
    SCOPED_TRACE(hangUp ? "hang-up" : "corruption");
    const auto faults = sweep::SweepOffsets(total, [&](size_t at) -> std::string {
      Screen screen;
      InstrumentOptions options;
      (hangUp ? options.faults.hangUpAt : options.faults.corruptAt) = at;
      auto log = std::make_shared<sim::FlymasterSimLog>();
      const TransferResult r = RunDirect(ShortFlight(), options, screen.Callbacks(), direct(), FlymasterSendWaypoints, log);
      const auto messages = screen.Messages();
      if (r.succeeded()) {
        if (hangUp) return "succeeded after a hang-up";
        if (!messages.empty()) return "succeeded with a message";
        return log->Read(&sim::FlymasterSimLog::waypointNames) == names ? "" : "other waypoints stored";
      }
      return messages.size() == 1 ? "" : "messages: " + std::to_string(messages.size());
    });
    EXPECT_TRUE(faults.empty()) << sweep::FirstFaults(faults);
  }
}

}  // namespace
}  // namespace skylode::flymaster
