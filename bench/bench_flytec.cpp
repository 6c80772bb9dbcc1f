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

void BM_FlytecDownloadAt57600(benchmark::State& state) {
  const auto points = static_cast<size_t>(state.range(0));
  sim::FlytecSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(static_cast<int>(points)));
  const flytec::FlytecTiming timing;  // the instrument's own pauses and silences
  auto log = std::make_shared<sim::FlytecSimLog>();
  bench::DownloadBench b;
  b.start = [&](std::string& error) {
    log = std::make_shared<sim::FlytecSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    return sim::StartVirtualFlytec(config, options, error, log);
  };
  b.baud = flytec::kFlytecBaud;
  b.xonXoff = true;
  b.protocol = ProtocolType::kFlytec;
  b.download = [&](TransferContext& ctx) { return flytec::FlytecReadTrackLog(ctx, timing); };
  b.bytesSent = [&] { return static_cast<double>(log->BytesQueued()); };
  b.wireSeconds = [&](double bytes) {
    const double pauses = std::chrono::duration<double>(timing.afterProductData + timing.listSilence +
                                                        timing.beforeFlightRequest + timing.flightSilence)
                              .count();
    return bytes * 10 / flytec::kFlytecBaud + pauses;
  };
  bench::RunDownloadBench(state, b, points);
}
BENCHMARK(BM_FlytecDownloadAt57600)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
