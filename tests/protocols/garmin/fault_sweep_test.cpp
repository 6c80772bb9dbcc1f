// The unit hangs up, or garbles one byte, at every offset of what it sends in
// turn. Every run must end, with one of the operation's messages or with the
// right result after the unit resent a packet; never with a wrong point.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "../fault_sweep.h"
#include "garmin_rig.h"
#include "protocols/garmin/records.h"

namespace skylode::garmin {
namespace {

using namespace testing;
using std::chrono::milliseconds;

constexpr int kSweepTimeoutMs = 600;
constexpr milliseconds kSweepResend{250};
// Runs spend their time waiting on the line, not computing, so several go at once.
constexpr int kParallelRuns = 12;

bool KnownFailureText(const std::string& t) {
  static const std::set<std::string> product = {
      "No valid response from GPS", "COM port read error",
      "COM port error while waiting for protocol capability packet", "Bad protocol data packet",
      "Bad protocol tag character", "GPS product ID not supported", "COM port write error"};
  // The E-numbered texts of the operations, e.g. "E205 Timeout while ...".
  return product.count(t) || (t.size() > 5 && t[0] == 'E' && std::isdigit(static_cast<unsigned char>(t[1])));
}

enum class Fault { kHangUp, kCorrupt };

struct SweepRun {
  TransferResult result;
  std::vector<Shown> messages;
  std::vector<sim::GarminRecord> stored;  // the unit's waypoints afterwards
  std::vector<std::vector<sim::GarminRecord>> tracks;  // the tracks it took
};

// One run of `worker` against a unit with the fault at `at`.
using RunFn = std::function<SweepRun(Fault fault, size_t at)>;

SweepRun RunOnce(const sim::VirtualGarminOptions& options, std::optional<std::pair<Fault, size_t>> fault,
            AccessType access, TransferInput input, TransferResult (*worker)(TransferContext&, GarminTimeouts),
            size_t* bytesSent = nullptr) {
  sim::InstrumentOptions instrument;
  if (fault) {
    if (fault->first == Fault::kHangUp) instrument.faults.hangUpAt = fault->second;
    else instrument.faults.corruptAt = fault->second;
  }
  Rig rig(options, instrument, kSweepResend);
  SweepRun run;
  if (!rig.ok()) return run;
  Recorder rec;
  run.result = rig.Run(worker, rig.Request(access, std::move(input)), rec, nullptr, FastTimeouts(kSweepTimeoutMs));
  run.messages = rec.messages;
  run.stored = rig.unit().Waypoints();
  run.tracks = rig.unit().UploadedTracks();
  if (bytesSent) *bytesSent = rig.instrument().BytesSent();
  return run;
}

// Every offset below `total` for both faults, several runs at a time.
std::vector<SweepRun> Sweep(size_t total, const RunFn& one) {
  std::vector<SweepRun> runs(2 * total);
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kParallelRuns; ++t) {
    threads.emplace_back([&] {
      for (size_t i = next++; i < runs.size(); i = next++)
        runs[i] = one(i < total ? Fault::kHangUp : Fault::kCorrupt, i % total);
    });
  }
  for (auto& t : threads) t.join();
  return runs;
}

void ExpectFailureShown(const SweepRun& run) {
  EXPECT_EQ(run.result.outcome, TransferOutcome::kFailure);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(run.result.payload));
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_TRUE(KnownFailureText(run.messages[0].text)) << run.messages[0].text;
}

// A clean run of the upload, then the sweep: each run fails with one of the
// operation's messages or passes `check` on what the unit took (with the
// clean run beside it). Returns the clean run.
SweepRun SweepUpload(const sim::VirtualGarminOptions& options, AccessType access, const TransferInput& input,
                     TransferResult (*worker)(TransferContext&, GarminTimeouts),
                     const std::function<void(const SweepRun& run, const SweepRun& clean)>& check) {
  size_t total = 0;
  SweepRun clean = RunOnce(options, std::nullopt, access, input, worker, &total);
  EXPECT_TRUE(clean.result.succeeded());
  if (!clean.result.succeeded()) return clean;
  const auto runs =
      Sweep(total, [&](Fault f, size_t at) { return RunOnce(options, std::pair{f, at}, access, input, worker); });
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE((i < total ? "hang-up at " : "corrupt at ") + std::to_string(i % total));
    const SweepRun& run = runs[i];
    if (!run.result.succeeded()) {
      ExpectFailureShown(run);
      continue;
    }
    // After a hang-up nothing can come through.
    EXPECT_GE(i, total);
    EXPECT_TRUE(run.messages.empty());
    check(run, clean);
  }
  return clean;
}

TEST(GarminFaultSweep, TrackDownloadEndsWithAMessageOrTheRightPoints) {
  const sim::VirtualGarminOptions options = ProfileOptions("d109", 3);
  size_t total = 0;
  ASSERT_TRUE(RunOnce(options, std::nullopt, AccessType::kReadTrackLog, {}, GarminReadTrackLog, &total)
                  .result.succeeded());
  ASSERT_GT(total, 150u);
  const auto runs = Sweep(total, [&](Fault f, size_t at) {
    return RunOnce(options, std::pair{f, at}, AccessType::kReadTrackLog, {}, GarminReadTrackLog);
  });
  int healed = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE((i < total ? "hang-up at " : "corrupt at ") + std::to_string(i % total));
    const SweepRun& run = runs[i];
    if (!run.result.succeeded()) {
      ExpectFailureShown(run);
      continue;
    }
    // After a hang-up nothing can come through.
    EXPECT_GE(i, total);
    ++healed;
    EXPECT_TRUE(run.messages.empty());
    const auto& pts = std::get<TrackLogPayload>(run.result.payload).log.points;
    ASSERT_EQ(pts.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(pts[k].time, 1000000000u + k);
      EXPECT_EQ(pts[k].latitude, 560000000 + static_cast<int32_t>(k) * 2000);
      EXPECT_EQ(pts[k].gpsHeight, (800 + static_cast<int32_t>(k)) * 10);
      EXPECT_EQ(pts[k].flags, k == 0 ? 1u : 0u);
    }
  }
  // A garbled data packet is resent by the unit, so most corruptions heal.
  EXPECT_GT(healed, static_cast<int>(total / 2));
}

TEST(GarminFaultSweep, WaypointUploadEndsWithAMessageOrAllWaypointsStored) {
  WaypointList list;
  list.items.push_back({1000, 2000, 30, "A1", "FIRST", 0, 5});
  list.items.push_back({3000, 4000, 40, "B2", "SECOND", 0, 6});
  const auto check = [&](const SweepRun& run, const SweepRun&) {
    ASSERT_EQ(run.stored.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
      const GarminPacket sent = GarminWaypointToPacket(108, list.items[k]);
      EXPECT_EQ(run.stored[k].data, std::vector<uint8_t>(sent.payload().begin(), sent.payload().end()));
    }
  };
  SweepUpload(ProfileOptions("d108"), AccessType::kSendWaypoints, list, GarminSendWaypoints, check);
}

// Two airspaces as two logs: a run ends with a message, or with both
// outlines in the unit; a failure never claims success for what got through.
TEST(GarminFaultSweep, CtrUploadEndsWithAMessageOrEveryAreaStored) {
  CtrList list;
  for (int k = 0; k < 2; ++k) {
    CtrArea a;
    a.name = k == 0 ? "ONE" : "TWO";
    a.selected = true;
    // A triangle: four points with the closing one, a short upload.
    for (const LatLonDegrees& p : {LatLonDegrees{47.0 + k, 8}, {47.01 + k, 8}, {47.0 + k, 8.01}}) {
      CtrSegment s;
      s.centre = p;
      a.segments.push_back(s);
    }
    list.areas.push_back(a);
  }
  const SweepRun clean =
      SweepUpload(ProfileOptions("d109"), AccessType::kUploadAirspaces, list, GarminSendCtrsAsLogs,
                  [](const SweepRun& run, const SweepRun& clean) { EXPECT_EQ(run.tracks, clean.tracks); });
  EXPECT_EQ(clean.tracks.size(), 2u);
}

// The person aborts as each status line shows, on every transport: the
// worker ends quietly with nothing, the unit is told to stop when a transfer
// was under way, and the next transfer on the same unit goes through.
TEST(GarminFaultSweep, AbortAtEveryStepEndsQuietlyAndTheNextTransferWorks) {
  WaypointList list;
  for (int i = 0; i < 7; ++i) list.items.push_back({i * 1000, -i * 1000, 30 + i, "W" + std::to_string(i), "X", 0, 0});
  struct Case {
    const char* what;
    AccessType access;
    TransferResult (*worker)(TransferContext&, GarminTimeouts);
    TransferInput input;
  };
  const Case cases[] = {
      {"track download", AccessType::kReadTrackLog, GarminReadTrackLog, {}},
      {"waypoint download", AccessType::kReadWaypoints, GarminReadWaypoints, {}},
      {"waypoint upload", AccessType::kSendWaypoints, GarminSendWaypoints, list},
  };
  for (Transport transport : kAllTransports) {
    for (const Case& c : cases) {
      SCOPED_TRACE(TransportName(transport) + " " + c.what);
      Rig probeRig(transport, ProfileOptions("d109", 12));
      Recorder probe;
      ASSERT_TRUE(probeRig.Run(c.worker, probeRig.Request(c.access, c.input), probe).succeeded());
      const std::vector<std::string> steps = probe.statuses;
      ASSERT_GE(steps.size(), 2u);
      // The last status is the outcome: an abort after it has nothing to stop.
      for (size_t k = 0; k + 1 < steps.size(); ++k) {
        SCOPED_TRACE(steps[k]);
        Rig rig(transport, ProfileOptions("d109", 12));
        Recorder rec;
        auto abort = std::make_shared<AbortSignal>();
        TransferContext ctx(rig.Request(c.access, c.input), sweep::AbortAtStep(rec.Callbacks(), k, abort), abort);
        ctx.SetTrace(nullptr);
        const TransferResult r = c.worker(ctx, FastTimeouts());
        ctx.ClosePort();
        EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
        EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
        // Told once at most; a transfer under way always.
        const bool underWay = steps[k].find(" of ") != std::string::npos;
        for (int i = 0; i < 50 && underWay && rig.unit().AbortCommands() == 0; ++i)
          std::this_thread::sleep_for(milliseconds(10));
        const int told = rig.unit().AbortCommands();
        EXPECT_TRUE(underWay ? told == 1 : told <= 1) << told;
        Recorder next;
        EXPECT_TRUE(rig.Run(c.worker, rig.Request(c.access, c.input), next).succeeded()) << next.LastMessage();
      }
    }
  }
}

}  // namespace
}  // namespace skylode::garmin
