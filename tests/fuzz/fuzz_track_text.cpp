// Any text given to the CSV, OziExplorer and Magellan track readers ends in
// points or a message with its text: never a crash or a read outside the text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "track_result_check.h"

using namespace skylode;
using fuzz::CheckTrackResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Result<std::vector<TrackPoint>> ozi = ReadOziTrack(text);
  CheckTrackResult(ozi, ozi.ok() ? ozi->size() : 0);
  const Result<std::vector<TrackPoint>> magellan = ReadMagellanLog(text);
  CheckTrackResult(magellan, magellan.ok() ? magellan->size() : 0);
  const Result<CsvTrack> csv = ReadCsvTrack(text);
  CheckTrackResult(csv, csv.ok() ? csv->points.size() : 0);
  return 0;
}
