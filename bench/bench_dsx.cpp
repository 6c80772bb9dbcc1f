// How close a DSX track download comes to the speed of its line: a long
// flight from the virtual recorder, paced at 38,400 baud after the
// handshake at 9,600, against the time its bytes need on the wire plus the
// protocol's own pauses and silences.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/dsx/track_download.h"
#include "sim/dsx/dsx_instrument.h"

namespace {

using namespace skylode;

sim::DsxSimConfig LongFlight(int points) {
  sim::DsxSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(points));
  return config;
}

void BM_DsxDownloadAt38400(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const sim::DsxSimConfig config = LongFlight(points);
  const dsx::DsxTiming timing;  // the recorder's own pauses and silences
  double ratio = 0, wireSeconds = 0, bytes = 0;
  for (auto _ : state) {
    auto log = std::make_shared<sim::DsxSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualDsx(config, options, error, log);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), dsx::kDsxOpenBaud, false,
                                          ProtocolType::kDsx, bench::FirstListedFlight());
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = dsx::DsxReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() ||
        std::get<TrackLogPayload>(result.payload).log.points.size() != static_cast<size_t>(points)) {
      state.SkipWithError("download failed");
      return;
    }
    const double prompt = static_cast<double>(sim::DsxInstrument::Prompt().size());
    bytes = static_cast<double>(log->BytesQueued());
    // The prompt at 9,600 baud, the rest at 38,400; the pause before the
    // speed change and the list's closing silence.
    const double pauses =
        std::chrono::duration<double>(timing.beforeSpeedChange + timing.listSilence).count();
    wireSeconds = prompt * 10 / dsx::kDsxOpenBaud + (bytes - prompt) * 10 / dsx::kDsxFastBaud + pauses;
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_DsxDownloadAt38400)->Arg(5000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
