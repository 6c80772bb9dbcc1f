// A short LogIt and Tracklogger download broken at every byte the logger
// sends, and aborted at every stage: each run ends with one message (or
// the abort), delivers nothing it did not receive whole, and a Tracklogger
// that has started recovers from any damaged frame by resuming.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "logit_rig.h"

namespace skylode::logit {
namespace {

using namespace testing;
using flytec::testing::AbortAtStatus;
using flytec::testing::ForEachInParallel;

// Product reply, (point count,) start frame, data frames of two and one
// points, end frame.
sim::LogItSimConfig ShortLog(bool tracklogger) {
  sim::LogItSimConfig c = tracklogger ? Tracklogger() : sim::LogItSimConfig{};
  c.points = sim::DemoLogItPoints(3, 2);
  c.recordsPerFrame = 2;
  return c;
}

struct Phases {
  size_t product, count, start, total;  // where each part ends
};

Phases PhasesOf(bool tracklogger) {
  const sim::LogItSimConfig c = ShortLog(tracklogger);
  Phases p;
  p.product = sim::LogItProductReply(c).size();
  p.count = p.product + (tracklogger ? sim::LogItPointCountReply(c.points.size()).size() : 0);
  p.start = p.count + sim::LogItStartFrame(0).size();
  p.total = p.count + sim::LogItDownloadBytes(c).size();
  return p;
}

struct SweepRun {
  TransferResult result;
  std::vector<Shown> messages;
  std::string lastCommand;
};

SweepRun RunWith(const sim::LogItSimConfig& config, const sim::InstrumentOptions& options,
                 const std::function<TransferCallbacks(Screen&, const std::shared_ptr<AbortSignal>&)>& callbacks = nullptr) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  auto log = std::make_shared<sim::LogItSimLog>();
  DirectRun run = OpenDirect(config, options, callbacks ? callbacks(screen, abort) : screen.Callbacks(), 57600, abort, log);
  if (!run.ctx) return {};
  SweepRun out{LogItReadTrackLog(*run.ctx, TestTiming()), {}, {}};
  out.messages = screen.Messages();
  if (!out.result.succeeded() && options.faults.hangUpAt == std::nullopt) out.lastCommand = LastCommand(*log);
  return out;
}

TEST(LogItFaultSweep, HangUpAtEveryByteIsAReadError) {
  for (bool tracklogger : {false, true}) {
    SCOPED_TRACE(tracklogger ? "Tracklogger" : "LogIt");
    const Phases p = PhasesOf(tracklogger);
    std::mutex m;
    ForEachInParallel(p.total, [&](size_t at) {
      sim::InstrumentOptions options;
      options.faults.hangUpAt = at;
      const SweepRun r = RunWith(ShortLog(tracklogger), options);
      std::lock_guard l(m);
      EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
      ASSERT_EQ(r.messages.size(), 1u) << at;
      const char* expected = at < p.product ? "COM port read error"
                             : at < p.count ? "E502 COM port read error"
                                            : "E202 COM port read error";
      EXPECT_EQ(r.messages[0].text, expected) << at;
    });
  }
}

TEST(LogItFaultSweep, DamagedBytesFailOnceOrChangeNothing) {
  struct Case {
    const char* name;
    bool tracklogger;
    bool drop;  // else the byte is changed
  };
  const Case cases[] = {
      {"LogIt, changed", false, false},
      {"LogIt, dropped", false, true},
      {"Tracklogger, changed", true, false},
      {"Tracklogger, dropped", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sim::LogItSimConfig config = ShortLog(c.tracklogger);
    const Phases p = PhasesOf(c.tracklogger);
    std::mutex m;
    std::atomic<int> unharmed{0};
    ForEachInParallel(p.total, [&](size_t at) {
      sim::InstrumentOptions options;
      (c.drop ? options.faults.dropAt : options.faults.corruptAt) = at;
      const SweepRun r = RunWith(config, options);
      std::lock_guard l(m);
      // Once its download has started, a Tracklogger asks again for
      // whatever came damaged.
      const bool mustRecover = c.tracklogger && at >= p.start;
      if (r.result.succeeded()) {
        if (!mustRecover) ++unharmed;
        const TrackLogPayload* t = TrackOf(r.result);
        ASSERT_NE(t, nullptr);
        ExpectPointsOf(t->log.points, config.points);
        EXPECT_TRUE(r.messages.empty()) << at;
        return;
      }
      EXPECT_FALSE(mustRecover) << at << ": " << (r.messages.empty() ? "" : r.messages[0].text);
      EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
      ASSERT_EQ(r.messages.size(), 1u) << at;
      EXPECT_EQ(r.lastCommand, kStop) << at;
    });
    // Unchecked: the byte after the CR of each reply; a LogIt's download
    // passes nothing damaged.
    EXPECT_LE(unharmed.load(), c.tracklogger ? 2 : 1);
  }
}

TEST(LogItFaultSweep, AbortAtEveryStageDeliversNothingAndStopsTheLogger) {
  // The second frame fails once, so the stages include a resume.
  sim::LogItSimConfig config = ShortLog(true);
  config.badSumInDownload = {{0, 2}};
  Screen clean;
  auto log = std::make_shared<sim::LogItSimLog>();
  {
    DirectRun run = OpenDirect(config, {}, clean.Callbacks(), 57600, nullptr, log);
    ASSERT_TRUE(run.ctx);
    ASSERT_TRUE(LogItReadTrackLog(*run.ctx, TestTiming()).succeeded());
  }
  const auto statuses = clean.Statuses();
  ASSERT_TRUE(clean.SawStatus("RESTART at point 3"));
  ASSERT_TRUE(clean.SawStatus("Track point count read"));
  // The last status comes after the logger's end frame: nothing left to abort.
  for (size_t k = 0; k + 1 < statuses.size(); ++k) {
    SCOPED_TRACE(statuses[k]);
    const SweepRun r = RunWith(config, {}, [k](Screen& screen, const std::shared_ptr<AbortSignal>& abort) {
      return AbortAtStatus(screen, k, abort);
    });
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.lastCommand, kStop);
  }
  // And at each point stored.
  for (int point = 1; point <= 3; ++point) {
    SCOPED_TRACE(point);
    const SweepRun r = RunWith(config, {}, [point](Screen& screen, const std::shared_ptr<AbortSignal>& abort) {
      TransferCallbacks cb = screen.Callbacks();
      auto seen = std::make_shared<int>(0);
      cb.notifyPosition = [abort, seen, point](const TrackPoint&) {
        if (++*seen == point) abort->Request();
      };
      return cb;
    });
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.lastCommand, kStop);
  }
}

}  // namespace
}  // namespace skylode::logit
