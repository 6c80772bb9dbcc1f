// How close the MLR and Graviter downloads come to the speed of their lines.
// The virtual MLR, paced at 4,800 baud, answers the product query and sends
// the track log in fast frames; the download's time is set against the wire
// time of the bytes it sent plus the instrument's delay before its first
// frame. The virtual Graviter, paced at 38,400 baud, sends its product line
// and its whole memory; its download ends only after the line has been
// silent for the reply window, which the wire time includes with the pause
// before the memory is asked for.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/mlr_download.h"
#include "sim/mlr/graviter_instrument.h"
#include "sim/mlr/mlr_instrument.h"

namespace {

using namespace skylode;

void BM_MlrFastTrackLogAt4800(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  sim::MlrSimConfig config;
  config.points = sim::DemoMlrPoints(points);
  const size_t bytesSent = sim::MlrProductReply(config).size() + sim::MlrDownloadBytes(config, false).size();
  const uint32_t baud = sim::kMlrSimBaud;
  double ratio = 0, wireSeconds = 0;
  for (auto _ : state) {
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualMlr(config, options, error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), baud, false, ProtocolType::kMlrFast);
    if (!ctx) return;

    const std::optional<double> seconds = bench::TimedTrackDownload(
        state, [&] { return mlr::MlrReadTrackLog(*ctx, mlr::MlrTiming{}); }, static_cast<size_t>(points));
    if (!seconds) return;
    wireSeconds = static_cast<double>(bytesSent) * 10 / baud + std::chrono::duration<double>(config.frameDelay).count();
    ratio = *seconds / wireSeconds;
  }
  state.counters["bytes"] = static_cast<double>(bytesSent);
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}

BENCHMARK(BM_MlrFastTrackLogAt4800)->Arg(300)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_GraviterMemoryAt38400(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  sim::GraviterSimConfig config;
  sim::GraviterTrack flight;
  flight.records = sim::DemoGraviterRecords(records);
  config.tracks = {flight};
  const size_t bytesSent = sim::GraviterProductLine(config).size() + sim::BuildGraviterImage(config.tracks).size();
  const uint32_t baud = sim::kGraviterSimBaud;
  const mlr::MlrTiming timing;
  double ratio = 0, wireSeconds = 0;
  for (auto _ : state) {
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualGraviter(config, options, error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), baud, false, ProtocolType::kDigiflyGraviter);
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = graviter::GraviterReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded() ||
        std::get<TrackLogPayload>(result.payload).log.points.size() != static_cast<size_t>(records)) {
      state.SkipWithError("download failed");
      return;
    }
    wireSeconds = static_cast<double>(bytesSent) * 10 / baud +
                  std::chrono::duration<double>(timing.afterCommand + timing.productReplyWindow).count();
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = static_cast<double>(bytesSent);
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}

BENCHMARK(BM_GraviterMemoryAt38400)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
