// Throughput of writing and reading a long IGC flight (40,000 fixes, about
// eleven hours at one fix a second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "records/calendar.h"

namespace skylode {
namespace {

constexpr int kFixes = 40000;

std::vector<TrackPoint> LongFlight() {
  std::vector<TrackPoint> pts(kFixes);
  const uint32_t start = *CalendarToTime(CalendarTime{2024, 6, 21, 6, 0, 0, 0});
  for (int i = 0; i < kFixes; ++i) {
    TrackPoint& p = pts[i];
    p.flags = i == 0 ? 1 : 0;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = 552000000 + (i % 5000) * 211 - (i / 5000) * 97;
    p.longitude = 95000000 + i * 173;
    p.gpsHeight = 8000 + (i % 3000) * 7;
    p.baroHeight = 790 + (i % 3000) * 7 / 10;
    p.depth = static_cast<float>(i % 300) * 0.1f;
  }
  return pts;
}

IgcWriteOptions Options(bool enl) {
  IgcWriteOptions o;
  o.header.pilot = "Bench Pilot";
  o.frSerial = "B01";
  o.instrumentText = "Bench instrument";
  o.downloadTime = CalendarTime{2024, 6, 21, 18, 0, 0, 0};
  o.gRecordValid = o.wantGRecord = true;
  o.addEnl = enl;
  return o;
}

void BM_BuildIgcText(benchmark::State& state) {
  const auto pts = LongFlight();
  const IgcWriteOptions o = Options(state.range(0) != 0);
  size_t bytes = 0;
  for (auto _ : state) {
    Result<IgcText> r = BuildIgcText(pts, o);
    bytes = r->text.size();
    benchmark::DoNotOptimize(r->text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_BuildIgcText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ParseIgcText(benchmark::State& state) {
  const std::string text = BuildIgcText(LongFlight(), Options(true))->text;
  for (auto _ : state) {
    Result<IgcParse> r = ParseIgcText(text);
    if (!r.ok() || r->points.size() != kFixes) state.SkipWithError("points lost");
    benchmark::DoNotOptimize(r.ok());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseIgcText)->Unit(benchmark::kMillisecond);

void BM_VerifyIgcText(benchmark::State& state) {
  const std::string text = BuildIgcText(LongFlight(), Options(true))->text;
  for (auto _ : state) {
    IgcVerifyOutcome r = VerifyIgcText(text);
    if (r != IgcVerifyOutcome::kPassed) state.SkipWithError("not verified");
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_VerifyIgcText)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skylode
