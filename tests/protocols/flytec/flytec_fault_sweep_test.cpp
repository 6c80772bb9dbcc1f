// A short download broken or garbled at every byte the instrument sends,
// and aborted at every step the worker reports: each run ends in good time
// with its message and nothing delivered, or with what a clean run gives.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "../fault_sweep.h"
#include "access/serial_port.h"
#include "flytec_harness.h"
#include "protocols/flytec/track_download.h"
#include "protocols/flytec/waypoint_download.h"

namespace skylode::flytec {
namespace {

using namespace testing;
using sim::FlytecSimConfig;
using sim::InstrumentOptions;

FlytecSimConfig ShortFlight() {
  FlytecSimConfig c;
  c.flights = {LineFlight(At(2026, 8, 2, 12, 0), 20)};
  c.waypoints = {{45.8129, 6.2459, "FORCLA", "Forclaz deco", 1250}, {45.78, 6.2218, "DOUSSA", "Doussard", 460}};
  return c;
}

// Shorter still than FastTiming: the sweep makes a thousand runs. The
// instrument writes each reply in one piece, so these silences still only
// come at the end of a reply.
FlytecTiming SweepTiming() {
  FlytecTiming t = FastTiming();
  t.listSilence = 80ms;
  t.flightSilence = 120ms;
  t.waypointSilence = 80ms;
  return t;
}

TransferResult RunDirect(const FlytecSimConfig& config, const InstrumentOptions& options,
                         TransferCallbacks callbacks, AccessType access,
                         std::shared_ptr<AbortSignal> abort = nullptr) {
  TransferRequest req;
  req.access = access;
  std::optional<DirectLine> line = OpenDirect(config, options, std::move(req), std::move(callbacks), std::move(abort));
  if (!line) return TransferResult::Failure();
  return access == AccessType::kReadWaypoints ? FlytecReadWaypoints(*line->ctx, SweepTiming())
                                              : FlytecReadTrackLog(*line->ctx, SweepTiming());
}

// Operations that read flight after flight bring their own status lines.
TEST(FlytecFlightDownload, AnnouncedFlightsShowOnlyTheCallersProgress) {
  FlytecSimConfig config;
  config.flights = {LineFlight(At(2026, 8, 2, 12, 0), 20), LineFlight(At(2026, 8, 1, 12, 0), 250)};
  auto log = std::make_shared<sim::FlytecSimLog>();
  std::string error;
  auto instrument = sim::StartVirtualFlytec(config, {}, error, log);
  ASSERT_TRUE(instrument) << error;
  PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:each", 57600, true);
  ASSERT_TRUE(opened.port) << opened.error;
  Screen screen;
  TransferRequest req;
  req.protocol = ProtocolType::kFlytecAllTracks;
  TransferContext ctx(std::move(req), screen.Callbacks());
  ctx.SetTrace(nullptr);
  ctx.AttachPort(std::move(opened.port));

  std::vector<int> counts;
  FlightRequest request;
  request.flightNumber = 1;
  request.announce = [&] { ctx.Status("Reading track log 1 of 1"); };
  request.onPoint = [&](const TrackPoint&, int count) {
    if (count % 100 == 1) counts.push_back(count);
  };
  request.silence = 150ms;
  IgcFlightReceiver receiver;
  ASSERT_EQ(DownloadFlight(ctx, FastTiming(), request, receiver, nullptr), Step::kOk);
  EXPECT_EQ(receiver.points().size(), 250u);
  EXPECT_EQ(counts, (std::vector<int>{1, 101, 201}));
  EXPECT_EQ(screen.Statuses(), (std::vector<std::string>{"Reading track log 1 of 1"}));
  EXPECT_EQ(log->Commands(), (std::vector<std::string>{"PBRTR,01"}));
}

TEST(FlytecFaultSweep, HangUpAtEveryByte) {
  const FlytecSimConfig config = ShortFlight();
  sim::FlytecInstrument replies(config);
  const size_t total = replies.ProductReply().size() + replies.TrackListReply().size() +
                       replies.FlightReply(0).size();
  const std::set<std::string> expected = {"COM port read error", "E503 COM port read error",
                                          "E203 COM port read error", "E500 COM port write error",
                                          "E202 COM port write error", "COM port write error"};
  std::mutex mutex;
  std::set<std::string> seen;
  ForEachInParallel(total + 1, [&](size_t offset) {
    Screen screen;
    screen.selection = std::vector<int32_t>{0};
    InstrumentOptions options;
    if (offset < total) options.faults.hangUpAt = offset;
    const auto start = std::chrono::steady_clock::now();
    const TransferResult r = RunDirect(config, options, screen.Callbacks(), AccessType::kReadTrackLog);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << offset;
    const auto messages = screen.Messages();
    if (offset == total) {  // the whole exchange went through
      EXPECT_TRUE(r.succeeded());
      EXPECT_EQ(std::get<TrackLogPayload>(r.payload).log.points.size(), 20u);
      return;
    }
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure) << offset;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << offset;
    ASSERT_EQ(messages.size(), 1u) << offset;
    EXPECT_TRUE(expected.count(messages[0].text)) << offset << ": " << messages[0].text;
    std::lock_guard l(mutex);
    seen.insert(messages[0].text);
  });
  // The line died in each of the three exchanges.
  EXPECT_TRUE(seen.count("COM port read error"));
  EXPECT_TRUE(seen.count("E503 COM port read error"));
  EXPECT_TRUE(seen.count("E203 COM port read error"));
}

// What a download delivered, in a form two runs can compare: waypoints
// carry the time of the download.
std::string Delivered(const TransferResult& r) {
  std::string text;
  if (const auto* track = std::get_if<TrackLogPayload>(&r.payload)) {
    for (const TrackPoint& p : track->log.points)
      text += std::to_string(p.time) + " " + std::to_string(p.latitude) + " " + std::to_string(p.longitude) + " " +
              std::to_string(p.gpsHeight) + " " + std::to_string(p.baroHeight) + " " + std::to_string(p.flags) + "\n";
  } else if (const auto* list = std::get_if<WaypointList>(&r.payload)) {
    for (const Waypoint& w : list->items)
      text += w.id + " " + w.name + " " + std::to_string(w.latitude) + " " + std::to_string(w.longitude) + " " +
              std::to_string(w.height) + "\n";
  }
  return text;
}

// Whether `got` is `want` with one of its lines left out.
bool WithOneLineLess(const std::string& want, const std::string& got) {
  for (size_t start = 0; start < want.size();) {
    const size_t end = want.find('\n', start) + 1;
    if (want.substr(0, start) + want.substr(end) == got) return true;
    start = end;
  }
  return false;
}

// A garbled byte in either download costs a message or nothing; the
// waypoint download also loses its line at every byte.
TEST(FlytecFaultSweep, DownloadsGiveTheCleanResultOrOneMessage) {
  const FlytecSimConfig config = ShortFlight();
  sim::FlytecInstrument replies(config);
  struct Case {
    AccessType access;
    bool hangUp;
    size_t total;
  };
  // The flight comes as IGC text, whose lines carry no check of their own:
  // a garbled digit there cannot be told from a real one, so the sweep of
  // the track download covers the checked sentences before it.
  const size_t trackBytes = replies.ProductReply().size() + replies.TrackListReply().size();
  const size_t waypointBytes = replies.ProductReply().size() + replies.WaypointReply().size();
  const Case cases[] = {
      {AccessType::kReadTrackLog, false, trackBytes},
      {AccessType::kReadWaypoints, false, waypointBytes},
      {AccessType::kReadWaypoints, true, waypointBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.access == AccessType::kReadTrackLog ? "track" : "waypoints") +
                 (c.hangUp ? ", hang-up" : ", corruption"));
    Screen probe;
    probe.selection = std::vector<int32_t>{0};
    const TransferResult clean = RunDirect(config, {}, probe.Callbacks(), c.access);
    ASSERT_TRUE(clean.succeeded());
    const std::string want = Delivered(clean);
    ASSERT_FALSE(want.empty());
    const auto faults = sweep::SweepOffsets(c.total, [&](size_t at) -> std::string {
      Screen screen;
      InstrumentOptions options;
      (c.hangUp ? options.faults.hangUpAt : options.faults.corruptAt) = at;
      const auto start = std::chrono::steady_clock::now();
      const TransferResult r = RunDirect(config, options, FirstListedFlight(screen), c.access);
      if (std::chrono::steady_clock::now() - start > 10s) return "slow";
      // Lines of other sentences are passed over, so one of ours whose '$'
      // or name came garbled is lost with what it carried: the rest is
      // whole, never changed.
      if (r.succeeded()) {
        if (c.hangUp) return "succeeded after a hang-up";
        const std::string got = Delivered(r);
        return got == want || WithOneLineLess(want, got) ? "" : "other data:\n" + got;
      }
      if (!std::holds_alternative<std::monostate>(r.payload)) return "a failure with data";
      const auto messages = screen.Messages();
      if (messages.size() == 1) return "";
      // The only flight's list entry lost: nothing to choose from.
      if (messages.empty() && screen.SawStatus("0 tracks in track list found")) return "";
      const auto statuses = screen.Statuses();
      return "messages: " + std::to_string(messages.size()) + ", last status: " +
             (statuses.empty() ? std::string() : statuses.back());
    });
    EXPECT_TRUE(faults.empty()) << sweep::FirstFaults(faults);
  }
}

TEST(FlytecFaultSweep, AbortAtEveryStep) {
  for (const AccessType access : {AccessType::kReadTrackLog, AccessType::kReadWaypoints}) {
    // The steps of a clean run, as its status lines tell them.
    Screen clean;
    clean.selection = std::vector<int32_t>{0};
    ASSERT_TRUE(RunDirect(ShortFlight(), {}, clean.Callbacks(), access).succeeded());
    const size_t steps = clean.Statuses().size();
    ASSERT_GE(steps, 4u);

    // Step k aborts as its status line shows; k == steps in the Track List dialog.
    ForEachInParallel(steps + 1, [&](size_t k) {
      Screen screen;
      auto abort = std::make_shared<AbortSignal>();
      TransferCallbacks cb = AbortAtStatus(screen, k, abort);
      cb.chooseTracks = [k, steps, abort](std::string_view, const std::vector<TrackListEntry>&, const CancelToken&) {
        if (k == steps) abort->Request();
        return std::optional<std::vector<int32_t>>(std::vector<int32_t>{0});
      };
      const auto start = std::chrono::steady_clock::now();
      const TransferResult r = RunDirect(ShortFlight(), {}, cb, access, abort);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << k;
      if (access == AccessType::kReadWaypoints && k == steps) return;  // no dialog there
      EXPECT_EQ(r.outcome, TransferOutcome::kCancelled) << static_cast<int>(access) << " at " << k;
      EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload)) << k;
      EXPECT_TRUE(screen.Messages().empty()) << k;
    });
  }
}

}  // namespace
}  // namespace skylode::flytec
