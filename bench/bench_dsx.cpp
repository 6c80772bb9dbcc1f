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

void BM_DsxDownloadAt38400(benchmark::State& state) {
  const auto points = static_cast<size_t>(state.range(0));
  sim::DsxSimConfig config;
  config.flights.push_back(bench::LongBenchFlight(static_cast<int>(points)));
  const dsx::DsxTiming timing;  // the recorder's own pauses and silences
  auto log = std::make_shared<sim::DsxSimLog>();
  bench::DownloadBench b;
  b.start = [&](std::string& error) {
    log = std::make_shared<sim::DsxSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    return sim::StartVirtualDsx(config, options, error, log);
  };
  b.baud = dsx::kDsxOpenBaud;
  b.protocol = ProtocolType::kDsx;
  b.download = [&](TransferContext& ctx) { return dsx::DsxReadTrackLog(ctx, timing); };
  b.bytesSent = [&] { return static_cast<double>(log->BytesQueued()); };
  b.wireSeconds = [&](double bytes) {
    // The prompt at 9,600 baud, the rest at 38,400; the pause before the
    // speed change and the list's closing silence.
    const double prompt = static_cast<double>(sim::DsxInstrument::Prompt().size());
    const double pauses = std::chrono::duration<double>(timing.beforeSpeedChange + timing.listSilence).count();
    return prompt * 10 / dsx::kDsxOpenBaud + (bytes - prompt) * 10 / dsx::kDsxFastBaud + pauses;
  };
  bench::RunDownloadBench(state, b, points);
}
BENCHMARK(BM_DsxDownloadAt38400)->Arg(5000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
