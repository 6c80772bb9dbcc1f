// How close the LogIt download comes to the speed of its line: the virtual
// logger, paced at the line's speed, answers the product query (and, as a
// Tracklogger, the point count) at 4,800 baud and sends the track log in
// frames at the download speed. The download's time is set against the
// wire time of the bytes it sent, each at the speed it went at; the rest
// is the protocol's own pauses around the speed switches.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/logit/download.h"
#include "sim/logit/logit_instrument.h"

namespace {

using namespace skylode;

void BM_LogItTrackLog(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const auto baud = static_cast<uint32_t>(state.range(1));
  const bool tracklogger = state.range(2) != 0;
  sim::LogItSimConfig config;
  if (tracklogger) config.model = std::string(sim::kTrackloggerModel);
  config.points = sim::DemoLogItPoints(points);
  const size_t commandBytes = sim::LogItProductReply(config).size() +
                              (tracklogger ? sim::LogItPointCountReply(config.points.size()).size() : 0);
  const size_t frameBytes = sim::LogItDownloadBytes(config).size();
  const double wireSeconds = static_cast<double>(commandBytes) * 10 / sim::kLogItCommandBaud +
                             static_cast<double>(frameBytes) * 10 / baud;
  double ratio = 0;
  for (auto _ : state) {
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualLogIt(config, options, error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), sim::kLogItCommandBaud, false,
                                    ProtocolType::kLogIt, {}, baud);
    if (!ctx) return;
    const std::optional<double> seconds = bench::TimedTrackDownload(
        state, [&] { return logit::LogItReadTrackLog(*ctx, logit::LogItTiming{}); }, static_cast<size_t>(points));
    if (!seconds) return;
    ratio = *seconds / wireSeconds;
  }
  state.counters["bytes"] = static_cast<double>(commandBytes + frameBytes);
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}

BENCHMARK(BM_LogItTrackLog)
    ->ArgNames({"points", "baud", "tracklogger"})
    ->Args({1000, 57600, 0})
    ->Args({2000, 115200, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
