// A short MLR download broken at every byte the instrument sends, and
// aborted at every stage: each run ends with one message (or the abort), in
// good time, and delivers nothing it did not receive whole.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "mlr_rig.h"

namespace skylode::mlr {
namespace {

using namespace testing;

// Product reply, start frame, two data frames of two and one points, end frame.
sim::MlrSimConfig ShortLog() {
  sim::MlrSimConfig c;
  c.points = sim::DemoMlrPoints(3);
  c.pointsPerFrame = 2;
  return c;
}

size_t TotalBytes() {
  return sim::MlrProductReply(ShortLog()).size() + sim::MlrDownloadBytes(ShortLog(), false).size();
}

SweepRun RunWith(const sim::InstrumentOptions& options,
                 const std::function<void(AbortSignal&, TransferCallbacks&)>& hook = nullptr) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  TransferCallbacks cb = screen.Callbacks();
  if (hook) hook(*abort, cb);
  DirectRun run = OpenDirect(ShortLog(), options, std::move(cb), abort);
  if (!run.ctx) return {};
  SweepRun out;
  out.result = RunGuarded(*abort, [&] { return MlrReadTrackLog(*run.ctx, MlrTiming::Scaled(kWaitScale)); });
  out.messages = screen.Messages();
  return out;
}

TEST(MlrFaultSweep, HangUpAtEveryByteIsAReadError) {
  const size_t reply = sim::MlrProductReply(ShortLog()).size();
  SweepEveryByte(
      TotalBytes(), &sim::FaultPlan::hangUpAt, [](const auto& o) { return RunWith(o); },
      [&](size_t at, const SweepRun& r) {
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text,
                  at < reply ? "COM port read error" : "E202 COM port read error")
            << at;
      });
}

TEST(MlrFaultSweep, CorruptionAtEveryByteFailsOrChangesNothing) {
  const SweepRun clean = RunWith({});
  const auto* cleanLog = std::get_if<TrackLogPayload>(&clean.result.payload);
  ASSERT_TRUE(clean.result.succeeded() && cleanLog != nullptr)
      << (clean.messages.empty() ? "" : clean.messages[0].text);
  ASSERT_EQ(cleanLog->log.points.size(), 3u);
  int passed = 0;
  SweepEveryByte(
      TotalBytes(), &sim::FaultPlan::corruptAt, [](const auto& o) { return RunWith(o); },
      [&](size_t at, const SweepRun& r) {
        if (r.result.succeeded()) {
          ++passed;
          const auto* t = std::get_if<TrackLogPayload>(&r.result.payload);
          ASSERT_NE(t, nullptr);
          EXPECT_EQ(t->log.points, cleanLog->log.points) << at;
          return;
        }
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
      });
  // Only the byte after the reply's CR goes unchecked.
  EXPECT_LE(passed, 1);
}

TEST(MlrFaultSweep, AbortAtEveryStageDeliversNothing) {
  // 0: asking for the product; 1: product read; 2: track command; 3..5: each point.
  for (int stage = 0; stage <= 5; ++stage) {
    const SweepRun r = RunWith({}, [stage](AbortSignal& abort, TransferCallbacks& cb) {
      auto status = cb.onStatus;
      if (stage == 0 || stage == 2) {
        const std::string at = stage == 0 ? "Requesting product info (2)" : "Requesting track log";
        cb.onStatus = [status, &abort, at](std::string_view t) {
          status(t);
          if (t == at) abort.Request();
        };
      } else if (stage == 1) {
        cb.onProduct = [&abort](std::string_view t) {
          if (!t.empty()) abort.Request();
        };
      } else {
        auto count = std::make_shared<int>(0);
        cb.notifyPosition = [&abort, count, stage](const TrackPoint&) {
          if (++*count == stage - 2) abort.Request();
        };
      }
    });
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
  }
}

}  // namespace
}  // namespace skylode::mlr
