// How close an IQ Basic track download comes to the speed of its line: a
// long flight from the virtual IQ Basic, paced at 57,600 baud, against the
// time its bytes need on the wire plus the protocol's own pauses and
// silences.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/iqbasic/track_download.h"
#include "sim/iqbasic/iqbasic_instrument.h"

namespace {

using namespace skylode;

sim::IqBasicSimConfig LongFlight(int points) {
  sim::IqBasicSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(points));
  return config;
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
                                          ProtocolType::kIqBasic, bench::FirstListedFlight());
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
