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

void BM_IqBasicDownloadAt57600(benchmark::State& state) {
  const auto points = static_cast<size_t>(state.range(0));
  sim::IqBasicSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(static_cast<int>(points)));
  const iqbasic::IqTiming timing;  // the instrument's own pauses and silences
  auto log = std::make_shared<sim::IqBasicSimLog>();
  bench::DownloadBench b;
  b.start = [&](std::string& error) {
    log = std::make_shared<sim::IqBasicSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    return sim::StartVirtualIqBasic(config, options, error, log);
  };
  b.baud = iqbasic::kIqBaud;
  b.protocol = ProtocolType::kIqBasic;
  b.download = [&](TransferContext& ctx) { return iqbasic::IqReadTrackLog(ctx, timing); };
  b.bytesSent = [&] { return static_cast<double>(log->BytesQueued()); };
  b.wireSeconds = [&](double bytes) {
    // Three product replies each followed by a pause, the list's closing
    // silence, the pause before the request and the flight's closing silence.
    const double pauses = std::chrono::duration<double>(3 * timing.afterReply + timing.listSilence +
                                                        timing.beforeFlightRequest + timing.flightSilence)
                              .count();
    return bytes * 10 / iqbasic::kIqBaud + pauses;
  };
  bench::RunDownloadBench(state, b, points);
}
BENCHMARK(BM_IqBasicDownloadAt57600)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
