// Any text given to the CSV, OziExplorer and Magellan track readers ends in
// points or a message with its text: never a crash or a read outside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "formats/track_files.h"

using namespace skylode;

namespace {

template <typename T>
void Check(const Result<T>& r, size_t count) {
  if (r.ok() && count == 0) abort();
  if (!r.ok() && r.error().text.empty()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Result<std::vector<TrackPoint>> ozi = ReadOziTrack(text);
  Check(ozi, ozi.ok() ? ozi->size() : 0);
  const Result<std::vector<TrackPoint>> magellan = ReadMagellanLog(text);
  Check(magellan, magellan.ok() ? magellan->size() : 0);
  const Result<CsvTrack> csv = ReadCsvTrack(text);
  Check(csv, csv.ok() ? csv->points.size() : 0);
  return 0;
}
