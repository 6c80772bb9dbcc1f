#include "shell/commands/olc_commands.h"

#include <cstdio>

#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "records/angles.h"
#include "shell/commands/file_messages.h"

namespace skylode {

namespace {

constexpr size_t kOlcLeastPositions = 5;

}  // namespace

std::string OlcResultLines(const std::vector<TrackPoint>& points, const OlcResults& r) {
  struct Row {
    OlcKind kind;
    const TripResult* result;
    double points;
  } rows[] = {
      {OlcKind::kFreeDistance, &r.freeDistance, r.freeDistancePoints},
      {OlcKind::kFreeTriangle, &r.freeTriangle, r.freeTrianglePoints},
      {OlcKind::kFaiTriangle, &r.faiTriangle, r.faiTrianglePoints},
  };
  std::string out;
  char line[160];
  for (const Row& row : rows) {
    std::snprintf(line, sizeof line, "%s\t%.2f\t%.2f\n", OlcKindName(row.kind), OlcScoredDistance(*row.result) / 1000,
                  row.points);
    out += line;
  }
  static constexpr const char* kNames[] = {"start", "TP1", "TP2", "TP3", "finish"};
  for (const Row& row : rows) {
    // A kind that found nothing has no points to show.
    if (!(row.points > 0)) continue;
    for (int u = 0; u < 5; ++u) {
      const TrackPoint& p = points[static_cast<size_t>(row.result->index[u])];
      const uint32_t day = p.time % 86400;
      std::snprintf(line, sizeof line, "%s\t%s\t%02u:%02u:%02u\t%.5f\t%.5f\n", OlcKindName(row.kind), kNames[u],
                    day / 3600, day / 60 % 60, day % 60, p.latitude * kSemicirclesToDegrees,
                    p.longitude * kSemicirclesToDegrees);
      out += line;
    }
  }
  return out;
}

int PrintOlcResults(const std::string& path, std::ostream& report, std::ostream& errors) {
  auto say = [&errors](std::string_view caption, std::string_view text) {
    errors << PrintableText(caption) << ": " << PrintableText(text) << '\n';
  };
  Result<std::string> text = ReadWholeFile(path);
  Result<IgcParse> parsed = text.ok() ? ParseIgcText(*text) : Result<IgcParse>(text.error());
  if (!parsed.ok()) {
    const FileMessage failure = IgcReadFailure(parsed.error());
    say(failure.caption, failure.text);
    return 1;
  }
  if (parsed->points.size() < kOlcLeastPositions) {
    say("Initialize OLC statistics", "Number of positions must be 5 or more");
    return 1;
  }
  OlcResults results;
  TripHaltFlag halt{false};
  const OlcStatus status = OlcOptimise(parsed->points, results, {}, halt);
  if (status != OlcStatus::kCompleted) {
    say("Initialize OLC statistics dialog box", "Could not allocate memory for distance table");
    return 1;
  }
  report << OlcResultLines(parsed->points, results);
  return 0;
}

}  // namespace skylode
