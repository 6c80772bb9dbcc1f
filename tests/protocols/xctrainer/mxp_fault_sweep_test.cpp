// A short MXP log broken at every byte the instrument sends, and aborted at
// every step: each run ends with one message (or the abort), in good time,
// and delivers nothing it did not receive whole.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "protocols/xctrainer/mxp_download.h"
#include "xctrainer_rig.h"

namespace skylode::xctrainer {
namespace {

using namespace testing;

// Header and four points; XOFF XON after the second and fourth line, none
// after the last.
sim::XcTrainerSimConfig ShortLog() {
  sim::XcTrainerSimConfig c;
  c.points = sim::DemoMxpPoints(4);
  c.flowControlEvery = 2;
  c.startDelay = 0ms;
  return c;
}

struct SweepRun {
  TransferResult result;
  std::vector<Shown> messages;
};

// A run that has not ended after `patience` is aborted: a corrupted line
// end leaves the download waiting for the pilot, as it should.
SweepRun RunWith(const sim::InstrumentOptions& options, std::chrono::milliseconds patience = 2s,
            const std::function<void(AbortSignal&, TransferCallbacks&)>& hook = nullptr) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  TransferCallbacks cb = screen.Callbacks();
  if (hook) hook(*abort, cb);
  DirectRun run = OpenDirect(ShortLog(), options, AccessType::kReadTrackLog, ProtocolType::kXcTrainerMxp, 57600,
                             true, std::move(cb), abort);
  if (!run.ctx) return {};
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
    if (!done) abort->Request();
  });
  SweepRun out{MxpReadTrackLog(*run.ctx), {}};
  done = true;
  watchdog.join();
  out.messages = screen.Messages();
  return out;
}

void ForEachInParallel(size_t count, const std::function<void(size_t)>& run) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t)
    threads.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) run(i);
    });
  for (auto& t : threads) t.join();
}

std::vector<TrackPoint> CleanPoints() {
  const SweepRun clean = RunWith({});
  const auto* t = std::get_if<TrackLogPayload>(&clean.result.payload);
  EXPECT_TRUE(clean.result.succeeded() && t != nullptr);
  return t ? t->log.points : std::vector<TrackPoint>{};
}

TEST(MxpFaultSweep, HangUpAtEveryByteIsAReadError) {
  const size_t total = sim::MxpLogBytes(ShortLog()).size();
  std::mutex m;
  ForEachInParallel(total, [&](size_t at) {
    sim::InstrumentOptions options;
    options.faults.hangUpAt = at;
    const SweepRun r = RunWith(options);
    std::lock_guard l(m);
    EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
    ASSERT_EQ(r.messages.size(), 1u) << at;
    // Cut inside the header or a position: either way the log never completed.
    EXPECT_EQ(r.messages[0].text, "E201 COM port read error") << at;
  });
}

TEST(MxpFaultSweep, CorruptionAtEveryByteFailsOrChangesNothing) {
  const std::vector<TrackPoint> clean = CleanPoints();
  ASSERT_EQ(clean.size(), 4u);
  const size_t total = sim::MxpLogBytes(ShortLog()).size();
  std::mutex m;
  std::atomic<int> failed{0};
  ForEachInParallel(total, [&](size_t at) {
    sim::InstrumentOptions options;
    options.faults.corruptAt = at;
    const SweepRun r = RunWith(options);
    std::lock_guard l(m);
    if (r.result.succeeded()) {
      // Only a byte the decoder never reads (a CR turned into another byte
      // after the checksum) may pass.
      const auto* t = std::get_if<TrackLogPayload>(&r.result.payload);
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->log.points, clean) << at;
      return;
    }
    ++failed;
    if (r.result.outcome == TransferOutcome::kCancelled) {
      EXPECT_TRUE(r.messages.empty()) << at;
      return;
    }
    ASSERT_EQ(r.messages.size(), 1u) << at;
    EXPECT_EQ(r.messages[0].caption, "Decode track log sentence") << at;
  });
  // Nearly every byte is checked: only the five CRs may go through.
  EXPECT_GE(failed.load(), static_cast<int>(total) - 5);
}

TEST(MxpFaultSweep, AbortAtEveryStageDeliversNothing) {
  // 0: waiting for the pilot; 1: on the header; 2..5: on each point.
  for (int stage = 0; stage <= 5; ++stage) {
    const SweepRun r = RunWith({}, 5s, [stage](AbortSignal& abort, TransferCallbacks& cb) {
      if (stage == 0) {
        auto status = cb.onStatus;
        cb.onStatus = [status, &abort](std::string_view t) {
          status(t);
          if (t == "Waiting for data") abort.Request();
        };
      } else if (stage == 1) {
        cb.onProduct = [&abort](std::string_view) { abort.Request(); };
      } else {
        auto count = std::make_shared<int>(0);
        cb.notifyPosition = [&abort, count, stage](const TrackPoint&) {
          if (++*count == stage - 1) abort.Request();
        };
      }
    });
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
  }
}

}  // namespace
}  // namespace skylode::xctrainer
