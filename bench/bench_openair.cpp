// Reading a national OpenAir file (662 areas, 5,000 records), writing it
// back, and drawing every area's outline: the work behind "Read CTR(s) from
// file" and the GPX output of a whole country.
#include <benchmark/benchmark.h>

#include <string>

#include "formats/ctr_outline.h"
#include "formats/file_io.h"
#include "formats/openair.h"

namespace {

using namespace skylode;

const std::string& NationalFile() {
  static const std::string text = [] {
    Result<std::string> r = ReadWholeFile(SKYLODE_SOURCE_DIR "/tests/data/openair/AirspaceAus-DAA.txt");
    return r.ok() ? std::move(*r) : std::string();
  }();
  return text;
}

void BM_ReadNationalFile(benchmark::State& state) {
  const std::string& text = NationalFile();
  if (text.empty()) return state.SkipWithError("national file missing");
  for (auto _ : state) {
    Result<OpenAirText> r = ParseOpenAirText(text);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadNationalFile)->Unit(benchmark::kMillisecond);

void BM_WriteNationalFile(benchmark::State& state) {
  Result<OpenAirText> r = ParseOpenAirText(NationalFile());
  if (!r.ok()) return state.SkipWithError("national file does not read");
  for (CtrArea& a : r->list.areas) a.selected = true;
  for (auto _ : state) benchmark::DoNotOptimize(WriteOpenAirText(r->list));
}
BENCHMARK(BM_WriteNationalFile)->Unit(benchmark::kMillisecond);

void BM_ExpandNationalFile(benchmark::State& state) {
  Result<OpenAirText> r = ParseOpenAirText(NationalFile());
  if (!r.ok()) return state.SkipWithError("national file does not read");
  size_t points = 0;
  for (auto _ : state) {
    points = 0;
    for (const CtrArea& a : r->list.areas) {
      Result<std::vector<LatLonDegrees>> p = ExpandCtrOutline(a);
      if (p.ok()) points += p->size();
    }
  }
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_ExpandNationalFile)->Unit(benchmark::kMillisecond);

}  // namespace
