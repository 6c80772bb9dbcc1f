// A memory image from an MTK logger: sectors of any format, cut anywhere.
// The parser must stay inside the image, and every point it keeps has a
// position on the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz_input.h"
#include "protocols/mtk/log_parser.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const mtk::ParsedLog log = mtk::ParseMtkLog(std::span<const uint8_t>(data, size));
  if (!log.error.empty() && log.error != "Bad header block" && log.error != "Bad data block") abort();
  for (const TrackPoint& p : log.points) fuzz::CheckPoint(p);
  return 0;
}
