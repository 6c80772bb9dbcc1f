// The Graviter memory download, the MLR "$GPWPL" cycle read and the MLR
// upload, each broken at every byte the instrument sends and aborted at
// every stage: each run ends with one message (or the abort, silently) and
// delivers nothing it did not receive whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "mlr_rig.h"
#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/mlr_waypoints.h"

namespace skylode::mlr {
namespace {

using namespace testing;
using flytec::testing::AbortAtStatus;

// --- Graviter memory ------------------------------------------------------

sim::GraviterSimConfig ShortMemory() {
  sim::GraviterSimConfig c;
  sim::GraviterTrack t;
  t.records = sim::DemoGraviterRecords(3);
  c.tracks = {t};
  return c;
}

SweepRun ReadMemory(const sim::InstrumentOptions& options,
                    std::optional<size_t> abortAtStatus = std::nullopt) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  TransferCallbacks cb =
      abortAtStatus ? AbortAtStatus(screen, *abortAtStatus, abort) : screen.Callbacks();
  DirectRun run = OpenDirectGraviter(ShortMemory(), options, {}, std::move(cb), abort);
  if (!run.ctx) return {};
  SweepRun out;
  out.result = RunGuarded(*abort, [&] {
    return graviter::GraviterReadTrackLog(*run.ctx, MlrTiming::Scaled(kWaitScale));
  });
  out.messages = screen.Messages();
  return out;
}

size_t ProductBytes() {
  return sim::GraviterProductLine({}).size();
}
size_t MemoryBytes() {
  return ProductBytes() + sim::BuildGraviterImage(ShortMemory().tracks).size();
}

TEST(GraviterFaultSweep, HangUpAtEveryByteIsAReadError) {
  SweepEveryByte(
      MemoryBytes(), &sim::FaultPlan::hangUpAt, [](const auto& o) { return ReadMemory(o); },
      [&](size_t at, const SweepRun& r) {
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text,
                  at < ProductBytes() ? "COM port read error" : "E203 COM port read error")
            << at;
      });
}

TEST(GraviterFaultSweep, CorruptionAtEveryByteFailsOrChangesNothing) {
  const SweepRun clean = ReadMemory({});
  const auto* cleanLog = std::get_if<TrackLogPayload>(&clean.result.payload);
  ASSERT_TRUE(clean.result.succeeded() && cleanLog != nullptr)
      << (clean.messages.empty() ? "" : clean.messages[0].text);
  ASSERT_EQ(cleanLog->log.points.size(), 3u);
  SweepEveryByte(
      MemoryBytes(), &sim::FaultPlan::corruptAt, [](const auto& o) { return ReadMemory(o); },
      [&](size_t at, const SweepRun& r) {
        if (at >= ProductBytes()) {
          // Every byte of the memory is covered by its frame or its checksum.
          EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
          ASSERT_EQ(r.messages.size(), 1u) << at;
          EXPECT_TRUE(r.messages[0].text == "E205 Format error 2" ||
                      r.messages[0].text == "E205 Format error 3")
              << at << ": " << r.messages[0].text;
          return;
        }
        // In the product line only the separators and the line end are checked.
        if (r.result.succeeded()) {
          EXPECT_EQ(std::get<TrackLogPayload>(r.result.payload).log.points, cleanLog->log.points)
              << at;
          return;
        }
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text, "No valid response from GPS") << at;
      });
}

// Statuses: 0 asking for the product, 1 product read, 2 asking for the
// memory, 3 the bytes received.
TEST(GraviterFaultSweep, AbortAtEveryStageDeliversNothing) {
  for (size_t stage = 0; stage <= 3; ++stage) {
    const SweepRun r = ReadMemory({}, stage);
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
  }
}

// --- MLR waypoint sentences -------------------------------------------------

sim::MlrSimConfig Cycle() {
  sim::MlrSimConfig c;
  c.waypoints = {sim::DemoMlrWaypoints()[0], sim::DemoMlrWaypoints()[1]};
  c.sentenceCycle = true;
  c.sentenceInterval = 20ms;
  return c;
}

SweepRun Run(const sim::MlrSimConfig& config, AccessType access, ProtocolType protocol,
             TransferInput input, const sim::InstrumentOptions& options,
             std::optional<size_t> abortAtStatus = std::nullopt) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  auto log = std::make_shared<sim::MlrSimLog>();
  TransferCallbacks cb =
      abortAtStatus ? AbortAtStatus(screen, *abortAtStatus, abort) : screen.Callbacks();
  TransferRequest req;
  req.access = access;
  req.protocol = protocol;
  req.input = std::move(input);
  DirectRun run = OpenDirect(config, options, std::move(cb), abort, log, std::move(req));
  if (!run.ctx) return {};
  SweepRun out;
  const MlrTiming timing = MlrTiming::Scaled(kWaitScale);
  out.result = RunGuarded(*abort, [&] {
    return access == AccessType::kReadWaypoints ? MlrReadWaypointSentences(*run.ctx, timing)
                                                : MlrSendWaypoints(*run.ctx, timing);
  });
  run.ctx->ClosePort();
  run.instrument.reset();
  out.messages = screen.Messages();
  out.received = log->Received();
  return out;
}

SweepRun ReadCycle(const sim::InstrumentOptions& options,
                   std::optional<size_t> abortAtStatus = std::nullopt) {
  return Run(Cycle(), AccessType::kReadWaypoints, ProtocolType::kMlrNmea, {}, options,
             abortAtStatus);
}

// The product reply and three sentences (the cycle and its first again);
// the cycle may also run while the product is asked for, so the sweep
// covers twice that.
size_t CycleBytes() {
  const auto w = Cycle().waypoints;
  return 2 * (sim::MlrProductReply(Cycle()).size() + 2 * sim::MlrWaypointSentence(w[0]).size() +
              sim::MlrWaypointSentence(w[1]).size());
}

TEST(MlrSentenceFaultSweep, HangUpAtEveryByteIsAReadError) {
  SweepEveryByte(
      CycleBytes(), &sim::FaultPlan::hangUpAt, [](const auto& o) { return ReadCycle(o); },
      [&](size_t at, const SweepRun& r) {
        if (r.result.succeeded()) {
          // The line died after the cycle was complete.
          EXPECT_EQ(std::get<WaypointList>(r.result.payload).count(), 2) << at;
          return;
        }
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_TRUE(r.messages[0].text == "COM port read error" ||
                    r.messages[0].text == "E301 COM port read error")
            << at << ": " << r.messages[0].text;
      });
}

// The waypoints as read, ID first; the read starts wherever the cycle is.
std::vector<std::string> Sorted(const WaypointList& list) {
  std::vector<std::string> out;
  for (const Waypoint& w : list.items)
    out.push_back(w.id + " " + w.name + " " + std::to_string(w.latitude) + " " + std::to_string(w.longitude));
  std::sort(out.begin(), out.end());
  return out;
}

// A corrupted sentence fails the read by its check value. One whose '$' or
// "GPWPL" is hit is skipped like any other sentence, and the cycle carries
// no count to miss it by: the read may then end a waypoint short or see one
// twice, but every waypoint it delivers is one the instrument holds, whole.
TEST(MlrSentenceFaultSweep, CorruptionAtEveryByteFailsOrDeliversOnlyWholeWaypoints) {
  const SweepRun clean = ReadCycle({});
  ASSERT_TRUE(clean.result.succeeded());
  const WaypointList& want = std::get<WaypointList>(clean.result.payload);
  ASSERT_EQ(want.count(), 2);
  SweepEveryByte(
      CycleBytes(), &sim::FaultPlan::corruptAt, [](const auto& o) { return ReadCycle(o); },
      [&](size_t at, const SweepRun& r) {
        if (r.result.succeeded()) {
          const std::vector<std::string> held = Sorted(want);
          for (const std::string& w : Sorted(std::get<WaypointList>(r.result.payload)))
            EXPECT_NE(std::find(held.begin(), held.end(), w), held.end()) << at << ": " << w;
          return;
        }
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        EXPECT_EQ(r.messages.size(), 1u) << at;
      });
}

// Statuses: 0 asking for the product, 1 product read, 2 searching, 3 and 4
// each waypoint read.
TEST(MlrSentenceFaultSweep, AbortAtEveryStageDeliversNothing) {
  for (size_t stage = 0; stage <= 4; ++stage) {
    const SweepRun r = ReadCycle({}, stage);
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
  }
}

// --- MLR upload -------------------------------------------------------------

WaypointList Upload() {
  WaypointList list;
  for (const char* id : {"AAA", "BBB", "CCC"}) {
    Waypoint w;
    w.id = id;
    w.name = std::string("Point ") + id;
    w.latitude = 547000000;
    w.longitude = 74000000;
    list.items.push_back(w);
  }
  return list;
}

SweepRun Send(const sim::InstrumentOptions& options,
              std::optional<size_t> abortAtStatus = std::nullopt) {
  return Run({}, AccessType::kSendWaypoints, ProtocolType::kMlrNmea, Upload(), options,
             abortAtStatus);
}

// The sentences that reached the instrument, each whole and in order.
size_t SentencesReceived(const std::string& received) {
  const WaypointList list = Upload();
  size_t n = 0, from = 0;
  for (const Waypoint& w : list.items) {
    const std::string s = WplSentence(w);
    const size_t at = received.find(s, from);
    if (at == std::string::npos) break;
    from = at + s.size();
    ++n;
  }
  return n;
}

TEST(MlrUploadFaultSweep, HangUpInTheProductReplySendsNothing) {
  const size_t reply = sim::MlrProductReply({}).size();
  SweepEveryByte(
      reply, &sim::FaultPlan::hangUpAt, [](const auto& o) { return Send(o); },
      [&](size_t at, const SweepRun& r) {
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text, "COM port read error") << at;
        EXPECT_EQ(r.received.find("$GPWPL"), std::string::npos) << at;
      });
}

TEST(MlrUploadFaultSweep, CorruptedProductReplySendsNothing) {
  const size_t reply = sim::MlrProductReply({}).size();
  // The byte after CR is any byte; every other one is checked.
  SweepEveryByte(
      reply - 1, &sim::FaultPlan::corruptAt, [](const auto& o) { return Send(o); },
      [&](size_t at, const SweepRun& r) {
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text, "No valid response from GPS") << at;
        EXPECT_EQ(r.received.find("$GPWPL"), std::string::npos) << at;
      });
}

// Statuses: 0 asking for the product, 1 product read, 2 and 3 the first two
// waypoints sent. Whatever went out went whole.
TEST(MlrUploadFaultSweep, AbortAtEveryStageSendsWholeSentences) {
  for (size_t stage = 0; stage <= 3; ++stage) {
    const SweepRun r = Send({}, stage);
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
    EXPECT_EQ(SentencesReceived(r.received), stage < 2 ? 0u : stage - 1) << stage;
  }
  const SweepRun whole = Send({});
  EXPECT_TRUE(whole.result.succeeded());
  EXPECT_EQ(SentencesReceived(whole.received), 3u);
}

}  // namespace
}  // namespace skylode::mlr
