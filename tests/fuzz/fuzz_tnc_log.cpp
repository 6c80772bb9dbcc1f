// A saved Top Navigator log, and the same lines as either instrument sends
// them: any bytes end in points or a numbered error, never a crash, and no
// point lies past a pole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/tnc_log.h"
#include "fuzz_input.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Result<TncFileTrack> file = ReadTncLogFile(text);
  if (!file.ok() && file.error().text.empty()) abort();
  if (file.ok())
    for (const TrackPoint& p : file->points) fuzz::CheckPoint(p);

  for (bool xcTrainer : {false, true}) {
    TncDecoder decoder(xcTrainer);
    std::string_view rest = text;
    while (!rest.empty() && decoder.state() != TncDecoder::State::kDone) {
      const size_t lf = rest.find('\n');
      const std::string_view line = rest.substr(0, lf);
      rest = lf == std::string_view::npos ? std::string_view{} : rest.substr(lf + 1);
      const int e = decoder.Feed(line);
      if (e < 0) abort();
      if (e != 0) break;
    }
    for (const TrackPoint& p : decoder.points()) fuzz::CheckPoint(p);
  }

  for (std::string_view field : {text.substr(0, 8), text.substr(0, 10)}) {
    const std::optional<int32_t> s = SignedHexField(field);
    const std::optional<uint32_t> u = HexField(field);
    if (s.has_value() != u.has_value()) abort();
    if (s && field.size() == 8 && static_cast<uint32_t>(*s) != *u) abort();
  }
  return 0;
}
