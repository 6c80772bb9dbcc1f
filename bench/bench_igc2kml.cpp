// The command line's IGC-to-KML conversion end to end (read, security check,
// statistics, trip search, KML with its hash) on two generated long flights,
// and its steps one by one:
//   1 Hz: 40,000 fixes, about eleven hours
//   5 Hz: 200,000 fixes, the same eleven hours, five fixes to each second
// `bench_igc2kml --write-igc=DIR` writes the two IGC files into DIR and ends,
// so the built program can be timed on exactly these tracks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/analysis/track_fixtures.h"
#include "analysis/flight_statistics.h"
#include "analysis/trip_search.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "formats/kml_writer.h"
#include "shell/command_line/command_line_run.h"
#include "shell/settings/settings.h"

namespace skylode {
namespace {

struct Track {
  const char* name;
  size_t fixes;
  uint32_t hz;
};
constexpr Track kTracks[] = {{"flight_1hz_40000", 40000, 1}, {"flight_5hz_200000", 200000, 5}};

std::string IgcText(const Track& t) {
  std::vector<TrackPoint> points = fixtures::LoggedFlight(t.fixes, t.hz, 42);
  points.front().flags |= kTrackPointStartsSegment;
  IgcWriteOptions o;
  o.header.pilot = "Bench Pilot";
  o.header.gliderType = "Bench glider";
  o.frSerial = "B01";
  o.instrumentText = "Bench instrument";
  o.downloadTime = CalendarTime{2024, 6, 21, 23, 0, 0, 0};
  o.gRecordValid = o.wantGRecord = true;
  auto r = BuildIgcText(points, o);
  if (!r.ok()) {
    std::fprintf(stderr, "IGC text not built: %s\n", r.error().Describe().c_str());
    std::exit(2);
  }
  return std::move(r->text);
}

const std::string& CachedIgc(int which) {
  static std::string texts[2];
  if (texts[which].empty()) texts[which] = IgcText(kTracks[which]);
  return texts[which];
}

std::filesystem::path WriteTrack(const std::filesystem::path& dir, int which) {
  const std::filesystem::path file = dir / (std::string(kTracks[which].name) + ".igc");
  std::ofstream(file, std::ios::binary) << CachedIgc(which);
  return file;
}

std::filesystem::path BenchDir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "skylode-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::exit(2);
    return std::filesystem::path(pattern);
  }();
  return dir;
}

// The whole conversion as the command line runs it, the file in the page cache.
void BM_Igc2Kml(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const std::filesystem::path igc = WriteTrack(BenchDir(), which);
  CmdRun run;
  run.operation = CmdOperation::kIgcToKml;
  run.fileName = igc.string();
  run.overwrite = true;
  // The program's defaults, as on a first run.
  SettingsPaths paths;
  paths.userFile = (BenchDir() / "settings.ini").string();
  paths.documentsDir = BenchDir().string();
  const SettingsStore settings(paths);
  for (auto _ : state) {
    std::ostringstream report, errors;
    if (ConvertIgcToKml(run, settings, report, errors) != 0) state.SkipWithError(errors.str().c_str());
  }
  state.SetLabel(kTracks[which].name);
  state.counters["fixes"] = static_cast<double>(kTracks[which].fixes);
  std::filesystem::remove(igc);
  std::filesystem::path kml = igc;
  std::filesystem::remove(kml.replace_extension(".kml"));
}

void BM_ParseIgc(benchmark::State& state) {
  const std::string& text = CachedIgc(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ParseIgcText(text)->points.data());
}

void BM_VerifyIgc(benchmark::State& state) {
  const std::string& text = CachedIgc(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(VerifyIgcText(text));
}

std::vector<TrackPoint> Parsed(int which) { return ParseIgcText(CachedIgc(which))->points; }

void BM_Statistics(benchmark::State& state) {
  FlightStatistics stats;
  stats.points = Parsed(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ComputeFlightStatistics(stats);
    benchmark::DoNotOptimize(stats.maxClimb);
  }
}

void BM_TripSearch(benchmark::State& state) {
  const std::vector<TrackPoint> points = Parsed(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TripDistances r;
    TripHaltFlag halt{false};
    RunTripSearch(points, r, {}, {}, halt);
    benchmark::DoNotOptimize(r);
  }
}

void BM_KmlFolder(benchmark::State& state) {
  FlightStatistics stats;
  stats.points = Parsed(static_cast<int>(state.range(0)));
  stats.analysisTimeValid = stats.utcFlag = stats.pressureFlag = true;
  ComputeFlightStatistics(stats);
  TripHaltFlag halt{false};
  RunTripSearch(stats.points, stats.trips, {}, {}, halt);
  for (auto _ : state) {
    TextOutputBuffer folder(10000);
    if (!BuildKmlTrackFolder(folder, stats, "2024-06-21").ok()) state.SkipWithError("folder not built");
    benchmark::DoNotOptimize(folder.length());
  }
}

BENCHMARK(BM_Igc2Kml)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseIgc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyIgc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Statistics)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TripSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KmlFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skylode

int main(int argc, char** argv) {
  constexpr std::string_view kWrite = "--write-igc=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, kWrite.size()) != kWrite) continue;
    const std::filesystem::path dir(arg.substr(kWrite.size()));
    for (int which = 0; which < 2; ++which) std::cout << skylode::WriteTrack(dir, which).string() << '\n';
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(skylode::BenchDir());
  return 0;
}
