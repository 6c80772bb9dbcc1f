// A short download broken at every byte the recorder sends (the line hung
// up, or the byte corrupted), and both operations aborted at every step they
// report: each run ends in good time and delivers nothing but the whole
// flight.
#include <gtest/gtest.h>

#include <set>

#include "dsx_rig.h"

namespace skylode::dsx {
namespace {

using namespace testing;

sim::DsxSimConfig Tiny() {
  sim::DsxSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 2, 12, 0), 3)};
  return c;
}

size_t DownloadBytes(const sim::DsxSimConfig& c) {
  sim::DsxInstrument replies(c);
  return sim::DsxInstrument::Prompt().size() + replies.ListReply().size() + replies.FlightReply(1).size();
}

TEST(DsxFaultSweep, HangUpAtEveryByte) {
  const sim::DsxSimConfig config = Tiny();
  const size_t total = DownloadBytes(config);
  // The worker stops at the end line's CR: its LF and the prompt after it
  // are not needed.
  const size_t needed = total - 2;
  const std::set<std::string> expected = {"E102 COM port read error", "E503 COM port read error",
                                          "E203 COM port read error", "No valid response from GPS"};
  std::mutex mutex;
  std::set<std::string> seen;
  ForEachInParallel(total + 1, [&](size_t offset) {
    Screen screen;
    sim::InstrumentOptions options;
    if (offset < total) options.faults.hangUpAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const DsxRun run = RunDsx(config, {}, FirstListedFlight(screen), options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    const auto messages = screen.Messages();
    if (offset >= needed) {
      ASSERT_TRUE(run.result.succeeded()) << offset;
      EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 3u);
      return;
    }
    EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure) << offset;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << offset;
    // A list cut before its first entry ends quietly with no flights.
    if (messages.empty()) {
      EXPECT_TRUE(screen.SawStatus("0 tracks in track list found")) << offset;
      return;
    }
    ASSERT_EQ(messages.size(), 1u) << offset;
    EXPECT_TRUE(expected.count(messages[0].text)) << offset << ": " << messages[0].text;
    std::lock_guard l(mutex);
    seen.insert(messages[0].text);
  });
  EXPECT_TRUE(seen.count("E203 COM port read error"));
}

TEST(DsxFaultSweep, CorruptionAtEveryByte) {
  const sim::DsxSimConfig config = Tiny();
  const size_t total = DownloadBytes(config);
  ForEachInParallel(total, [&](size_t offset) {
    Screen screen;
    sim::InstrumentOptions options;
    options.faults.corruptAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const DsxRun run = RunDsx(config, {}, FirstListedFlight(screen), options);
    // A broken end line leaves the worker waiting for the recorder's silence.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    if (run.result.succeeded()) {
      const auto& t = std::get<TrackLogPayload>(run.result.payload);
      EXPECT_GE(t.log.points.size(), 1u) << offset;
      EXPECT_LE(t.log.points.size(), 3u) << offset;
      EXPECT_EQ(t.raw.text.find("ZZZZ"), std::string::npos) << offset;
      return;
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << offset;
    // A list broken before its first entry ends quietly with no flights.
    EXPECT_LE(screen.Messages().size(), 1u) << offset;
  });
}

TEST(DsxFaultSweep, AbortAtEveryStep) {
  DsxRequest write;
  write.access = AccessType::kWriteSettings;
  write.answers = {"Anna", "18", "", "", "", "+41"};
  for (const DsxRequest& request : {DsxRequest{}, write}) {
    Screen clean;
    ASSERT_TRUE(RunDsx(Tiny(), request, FirstListedFlight(clean)).result.succeeded());
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
      const DsxRun run = RunDsx(Tiny(), request, cb, {}, abort);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << k;
      if (request.access == AccessType::kWriteSettings && k >= steps - 1) return;  // "Data sent" is the end
      EXPECT_EQ(run.result.outcome, TransferOutcome::kCancelled) << static_cast<int>(request.access) << " at " << k;
      EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload)) << k;
      EXPECT_TRUE(screen.Messages().empty()) << k;
    });
  }
}

}  // namespace
}  // namespace skylode::dsx
