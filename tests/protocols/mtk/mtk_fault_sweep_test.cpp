// A short download broken at every byte the logger sends, and download and
// erase aborted at every step the worker reports: each run ends in good
// time, delivers nothing or exactly the logger's points, and leaves logging
// as it found it.
#include <gtest/gtest.h>

#include <set>

#include "mtk_rig.h"
#include "protocols/mtk/log_parser.h"

namespace skylode::mtk {
namespace {

using namespace testing;

sim::MtkSimConfig ShortLog() {
  sim::MtkMemoryBuilder b;
  b.BeginSector(0x1F);
  for (int i = 0; i < 3; ++i)
    b.Add({.utc = 1785672000u + uint32_t(i), .valid = 2, .latitude = 45.8, .longitude = 6.2, .height = 900});
  sim::MtkSimConfig c;
  c.memory = b.bytes();
  return c;
}

MtkTiming SweepTiming() {
  MtkTiming t = FastTiming();
  t.productWait = 80ms;
  t.replyWait = 60ms;
  t.eraseStep = 10ms;
  return t;
}

struct Clean {
  std::vector<TrackPoint> points;
  size_t bytes = 0;
};

Clean CleanRun() {
  Screen screen;
  const MtkRun run = RunMtk(ShortLog(), AccessType::kReadTrackLog, screen.Callbacks(), {}, nullptr, SweepTiming());
  EXPECT_TRUE(run.result.succeeded());
  Clean c;
  if (run.result.succeeded()) c.points = std::get<TrackLogPayload>(run.result.payload).log.points;
  c.bytes = run.bytesSent;
  return c;
}

TEST(MtkFaultSweep, HangUpAtEveryByteFailsWithOneMessage) {
  const Clean clean = CleanRun();
  ASSERT_EQ(clean.points.size(), 3u);
  ASSERT_GT(clean.bytes, 1500u);
  std::mutex mutex;
  std::vector<std::string> faults;
  // The last LF is not needed: the reply is taken at its CR.
  ForEachInParallel(clean.bytes - 1, [&](size_t at) {
    Screen screen;
    sim::InstrumentOptions options;
    options.faults.hangUpAt = at;
    const auto start = std::chrono::steady_clock::now();
    const MtkRun run = RunMtk(ShortLog(), AccessType::kReadTrackLog, screen.Callbacks(), options, nullptr, SweepTiming());
    const auto took = std::chrono::steady_clock::now() - start;
    std::string fault;
    if (run.result.succeeded()) fault = "delivered";
    else if (screen.Messages().size() != 1) fault = "messages: " + std::to_string(screen.Messages().size());
    else if (took > 10s) fault = "slow";
    if (!fault.empty()) {
      std::lock_guard l(mutex);
      faults.push_back(std::to_string(at) + " " + fault);
    }
  });
  EXPECT_TRUE(faults.empty()) << faults.size() << " first: " << faults.front();
}

// A corrupted byte costs a retry or the transfer, never a wrong point.
TEST(MtkFaultSweep, CorruptionAtEveryByteGivesTheSamePointsOrAFailure) {
  const Clean clean = CleanRun();
  ASSERT_EQ(clean.points.size(), 3u);
  std::mutex mutex;
  std::vector<std::string> faults;
  std::atomic<size_t> healed{0};
  ForEachInParallel(clean.bytes, [&](size_t at) {
    Screen screen;
    sim::InstrumentOptions options;
    options.faults.corruptAt = at;
    const MtkRun run = RunMtk(ShortLog(), AccessType::kReadTrackLog, screen.Callbacks(), options, nullptr, SweepTiming());
    std::string fault;
    if (run.result.succeeded()) {
      ++healed;
      if (std::get<TrackLogPayload>(run.result.payload).log.points != clean.points) fault = "other points";
      if (!(run.log->LoggingStatus() & 2)) fault = "logging left off";
    } else if (screen.Messages().size() != 1) {
      fault = "messages: " + std::to_string(screen.Messages().size());
    }
    if (!fault.empty()) {
      std::lock_guard l(mutex);
      faults.push_back(std::to_string(at) + " " + fault);
    }
  });
  EXPECT_TRUE(faults.empty()) << faults.size() << " first: " << faults.front();
  // Chunks asked again heal most of them.
  EXPECT_GT(healed.load(), clean.bytes / 2);
}

TEST(MtkFaultSweep, AbortAtEveryStepDeliversNothingAndRestoresLogging) {
  for (AccessType access : {AccessType::kReadTrackLog, AccessType::kEraseTrackLog}) {
    Screen probe;
    RunMtk(ShortLog(), access, probe.Callbacks(), {}, nullptr, SweepTiming());
    const size_t steps = probe.Statuses().size();
    ASSERT_GE(steps, 5u);
    // The last status is the outcome itself ("... points received", "Erase
    // completed"): an abort after it has nothing left to stop.
    for (size_t k = 0; k + 1 < steps; ++k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      const MtkRun run =
          RunMtk(ShortLog(), access, AbortAtStatus(screen, k, abort), {}, abort, SweepTiming());
      const std::string what = probe.Statuses()[k];
      EXPECT_EQ(run.result.outcome, TransferOutcome::kCancelled) << what;
      EXPECT_TRUE(screen.Messages().empty()) << what;
      EXPECT_TRUE(run.log->LoggingStatus() & 2) << what;
      EXPECT_TRUE(screen.SawStatus("Transfer aborted")) << what;
    }
  }
}

}  // namespace
}  // namespace skylode::mtk
