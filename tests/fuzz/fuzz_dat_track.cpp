// Any bytes given to the reader of the old .dat track file end in points or a
// message: never a crash, a read outside the bytes or a huge allocation.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "track_result_check.h"

using namespace skylode;
using fuzz::CheckTrackResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Result<std::vector<TrackPoint>> dat = ReadDatTrack(std::span<const uint8_t>(data, size));
  CheckTrackResult(dat, dat.ok() ? dat->size() : 0);
  return 0;
}
