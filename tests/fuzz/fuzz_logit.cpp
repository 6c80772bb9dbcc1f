// Bytes from a LogIt logger: the product reply, the point count and the
// binary frames of a download. No input may crash a parser or the frame
// decoder, and the points it keeps lie on the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "protocols/logit/frames.h"
#include "protocols/logit/link.h"

using namespace skylode;
using namespace skylode::logit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = fuzz::InstrumentBytes(data, size);

  ProductReplyParser product;
  for (char c : bytes) {
    const int r = product.Add(static_cast<uint8_t>(c));
    if (r < -13 || r > 1) abort();
    if (r <= 0) break;
  }
  PointCountParser count;
  for (char c : bytes) {
    const int r = count.Add(static_cast<uint8_t>(c));
    if (r < -8 || r > 1) abort();
    if (r == 0 && count.count() < 0) abort();
    if (r <= 0) break;
  }

  FrameParser parser;
  FrameDecoder decoder;
  std::vector<TrackPoint> points;
  const bool resumeFirst = size > 0 && (data[0] & 2);
  if (resumeFirst) decoder.ExpectRestart();
  for (char c : bytes) {
    const int r = parser.Add(static_cast<uint8_t>(c));
    if (r == 0) continue;
    if (r < 0) break;
    if (parser.recordCount() < 0 || parser.recordCount() > kMaxRecords) abort();
    const size_t before = points.size();
    const int step = decoder.Decode(parser, points);
    if (points.size() < before || points.size() - before > static_cast<size_t>(kMaxRecords)) abort();
    if (step != 0) break;
  }
  for (size_t i = 0; i < points.size(); ++i) {
    fuzz::CheckPoint(points[i]);
  }
  return 0;
}
