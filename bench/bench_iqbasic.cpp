// How close an IQ Basic track download comes to the speed of its line: a
// long flight from the virtual IQ Basic, paced at 57,600 baud, against the
// time its bytes need on the wire plus the protocol's own pauses and
// silences.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/iqbasic/track_download.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "sim/iqbasic/iqbasic_instrument.h"

namespace {

using namespace skylode;

sim::IqBasicSimConfig LongFlight(int points) {
  sim::IqBasicSimConfig config;
  sim::SimFlight f;
  const uint32_t start = *CalendarToTime({2026, 7, 18, 9, 0, 0, 0});
  for (int i = 0; i < points; ++i) {
    TrackPoint p;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = *DegreesToLatitude(45.8129 + i * 0.00002);
    p.longitude = *DegreesToLongitude(6.2459 + i * 0.00003);
    p.gpsHeight = (1250 + i % 1500) * 10;
    p.baroHeight = 1240 + i % 1500;
    f.points.push_back(p);
  }
  config.flights.push_back(std::move(f));
  return config;
}

// The pilot picks the first flight the list offers, by its number.
TransferCallbacks FirstListedFlight() {
  TransferCallbacks cb;
  cb.chooseTracks = [](std::string_view, const std::vector<TrackListEntry>& entries, const CancelToken&) {
    std::optional<std::vector<int32_t>> pick;
    if (!entries.empty()) pick = std::vector<int32_t>{entries[0].flightNumber};
    return pick;
  };
  return cb;
}

void BM_IqBasicDownloadAt57600(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const sim::IqBasicSimConfig config = LongFlight(points);
  const iqbasic::IqTiming timing;  // the instrument's own pauses and silences
  double ratio = 0, wireSeconds = 0, bytes = 0;
  for (auto _ : state) {
    auto log = std::make_shared<sim::IqBasicSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualIqBasic(config, options, error, log);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), iqbasic::kIqBaud, false,
                                          ProtocolType::kIqBasic, FirstListedFlight());
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = iqbasic::IqReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() ||
        std::get<TrackLogPayload>(result.payload).log.points.size() != static_cast<size_t>(points)) {
      state.SkipWithError("download failed");
      return;
    }
    bytes = static_cast<double>(log->BytesQueued());
    // Three product replies each followed by a pause, the list's closing
    // silence, the pause before the request and the flight's closing silence.
    const double pauses = std::chrono::duration<double>(3 * timing.afterReply + timing.listSilence +
                                                        timing.beforeFlightRequest + timing.flightSilence)
                              .count();
    wireSeconds = bytes * 10 / iqbasic::kIqBaud + pauses;
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_IqBasicDownloadAt57600)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
