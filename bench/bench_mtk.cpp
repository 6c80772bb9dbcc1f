// How close an MTK memory download comes to the speed of its line: the
// virtual logger, paced at 115,200 baud, against the time its replies need
// on the wire plus the protocol's own pauses. (The requests reach the
// virtual logger unpaced, so they are left out of the wire time; on a real
// line each chunk's 33-byte request adds about 3 ms.)
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench_line.h"
#include "protocols/mtk/workers.h"
#include "sim/mtk/memory_builder.h"
#include "sim/mtk/mtk_instrument.h"

namespace {

using namespace skylode;

constexpr uint32_t kBaud = 115200;

sim::MtkSimConfig Memory(size_t used) {
  sim::MtkMemoryBuilder b;
  b.BeginSector(0x1F);
  for (uint32_t i = 0; b.bytes().size() + 28 <= used; ++i)
    b.Add({.utc = 1785672000u + i, .valid = 2, .latitude = 45.8 + i * 1e-5, .longitude = 6.2 + i * 1e-5,
           .height = 1000.0f + float(i % 500)});
  sim::MtkSimConfig config;
  config.memory = b.bytes();
  return config;
}

void BM_MtkDownloadAt115200(benchmark::State& state) {
  const sim::MtkSimConfig config = Memory(static_cast<size_t>(state.range(0)));
  const mtk::MtkTiming timing;  // the logger's own pauses
  double ratio = 0, wireSeconds = 0, bytes = 0;
  for (auto _ : state) {
    sim::InstrumentOptions options;
    options.pace = true;
    std::string error;
    auto instrument = sim::StartVirtualMtk(config, options, error);
    if (!instrument) {
      state.SkipWithError(error.c_str());
      return;
    }
    const auto ctx = bench::OpenBenchLine(state, instrument->SlavePath(), kBaud, false, ProtocolType::kMtk);
    if (!ctx) return;

    const auto begin = std::chrono::steady_clock::now();
    const TransferResult result = mtk::MtkReadTrackLog(*ctx, timing);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.SetIterationTime(seconds);
    if (!result.succeeded()) {
      state.SkipWithError("download failed");
      return;
    }
    ctx->ClosePort();
    instrument->Stop();
    bytes = static_cast<double>(instrument->BytesSent());
    const double pauses = std::chrono::duration<double>(timing.afterProduct + 3 * timing.betweenSteps).count();
    wireSeconds = bytes * 10 / kBaud + pauses;
    ratio = seconds / wireSeconds;
  }
  state.counters["bytes"] = bytes;
  state.counters["wire_s"] = wireSeconds;
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_MtkDownloadAt115200)->Arg(16384)->Arg(65536)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
