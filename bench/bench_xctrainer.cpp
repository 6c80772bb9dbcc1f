// How close the XC Trainer and Top Navigator downloads come to the speed of
// their lines: the virtual instruments, paced at the line's speed, send an
// MXP log at 57,600 baud and a TNC log at 9,600; each download's time is set
// against the wire time of the bytes sent plus the pilot's start delay.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/xctrainer/mxp_download.h"
#include "protocols/xctrainer/tnc_download.h"
#include "sim/xctrainer/xctrainer_instrument.h"

namespace {

using namespace skylode;

void RunDownload(benchmark::State& state, ProtocolType protocol, uint32_t baud, bool topNavigator,
                 sim::PilotSends sends) {
  const int points = static_cast<int>(state.range(0));
  sim::XcTrainerSimConfig config;
  config.topNavigator = topNavigator;
  config.points = sim::DemoMxpPoints(points);
  config.sends = sends;
  config.startDelay = std::chrono::milliseconds(350);
  const bool xonXoff = protocol == ProtocolType::kXcTrainer || protocol == ProtocolType::kXcTrainerMxp;
  const std::string bytesSent =
      sends == sim::PilotSends::kMxpLog ? sim::MxpLogBytes(config) : sim::TncLogBytes(config);
  double ratio = 0, wireSeconds = 0;
  for (auto _ : state) {
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualXcTrainer(config, options, error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), baud, xonXoff, protocol);
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result =
        sends == sim::PilotSends::kMxpLog ? xctrainer::MxpReadTrackLog(*ctx) : xctrainer::TncReadTrackLog(*ctx);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() ||
        std::get<TrackLogPayload>(result.payload).log.points.size() != static_cast<size_t>(points)) {
      state.SkipWithError("download failed");
      return;
    }
    wireSeconds = static_cast<double>(bytesSent.size()) * 10 / baud +
                  std::chrono::duration<double>(config.startDelay).count();
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = static_cast<double>(bytesSent.size());
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}

void BM_XcTrainerMxpAt57600(benchmark::State& state) {
  RunDownload(state, ProtocolType::kXcTrainerMxp, 57600, false, sim::PilotSends::kMxpLog);
}
void BM_TopNavigatorTncAt9600(benchmark::State& state) {
  RunDownload(state, ProtocolType::kTopNavigatorTncm, 9600, true, sim::PilotSends::kTncLog);
}
BENCHMARK(BM_XcTrainerMxpAt57600)->Arg(2000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_TopNavigatorTncAt9600)->Arg(300)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
