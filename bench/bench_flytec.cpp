// How close a Flytec track download comes to the speed of its line: a
// 20,000-point flight from the virtual Flytec, paced at 57,600 baud, against
// the time its bytes need on the wire plus the protocol's own pauses and
// silences.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/flytec/track_download.h"
#include "sim/flytec/flytec_instrument.h"

namespace {

using namespace skylode;

sim::FlytecSimConfig LongFlight(int points) {
  sim::FlytecSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(points));
  return config;
}

void BM_FlytecDownloadAt57600(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const sim::FlytecSimConfig config = LongFlight(points);
  const flytec::FlytecTiming timing;  // the instrument's own pauses and silences
  double ratio = 0, wireSeconds = 0, bytes = 0;
  for (auto _ : state) {
    auto log = std::make_shared<sim::FlytecSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualFlytec(config, options, error, log);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), flytec::kFlytecBaud, true,
                                          ProtocolType::kFlytec, bench::FirstFlightChosen());
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = flytec::FlytecReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() ||
        std::get<TrackLogPayload>(result.payload).log.points.size() != static_cast<size_t>(points)) {
      state.SkipWithError("download failed");
      return;
    }
    bytes = static_cast<double>(log->BytesQueued());
    const double pauses = std::chrono::duration<double>(timing.afterProductData + timing.listSilence +
                                                        timing.beforeFlightRequest + timing.flightSilence)
                              .count();
    wireSeconds = bytes * 10 / flytec::kFlytecBaud + pauses;
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_FlytecDownloadAt57600)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
