// Any bytes given to the reader of the old .dat track file end in points or a
// message: never a crash, a read outside the bytes or a huge allocation.
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
  const Result<std::vector<TrackPoint>> dat = ReadDatTrack(std::span<const uint8_t>(data, size));
  Check(dat, dat.ok() ? dat->size() : 0);
  return 0;
}
