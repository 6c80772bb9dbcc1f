// How close a Flymaster track download comes to the speed of its line: a
// 20,000-point flight from the virtual Flymaster, paced at 57,600 baud. The
// stream stops after every block for the program's acknowledgement, so the
// wire time counts the bytes both ways plus the protocol's own pauses and
// the silence that ends the track list.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/flymaster/track_download.h"
#include "sim/flymaster/flymaster_instrument.h"

namespace {

using namespace skylode;

void BM_FlymasterDownloadAt57600(benchmark::State& state) {
  const auto points = static_cast<size_t>(state.range(0));
  sim::FlymasterSimConfig config;
  config.flights = {sim::DemoFlymasterFlight(838985400, points, 3)};
  const flymaster::FlymasterTiming timing;  // the instrument's own pauses and silences
  double ratio = 0, wireSeconds = 0, bytes = 0, blocks = 0;
  for (auto _ : state) {
    auto log = std::make_shared<sim::FlymasterSimLog>();
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualFlymaster(config, options, error, log);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), flymaster::kFlymasterBaud, false,
                                          ProtocolType::kFlymaster, bench::FirstFlightChosen());
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = flymaster::FlymasterReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() || std::get<TrackLogPayload>(result.payload).log.points.size() != points) {
      state.SkipWithError("download failed");
      return;
    }
    ctx->ClosePort();
    bytes = static_cast<double>(log->Read(&sim::FlymasterSimLog::bytesQueued) + instrument->BytesReceived());
    blocks = static_cast<double>(log->Read(&sim::FlymasterSimLog::blocksSent));
    const double pauses = std::chrono::duration<double>(timing.afterProductData + timing.listSilence).count();
    wireSeconds = bytes * 10 / flymaster::kFlymasterBaud + pauses;
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["blocks"] = blocks;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_FlymasterDownloadAt57600)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
