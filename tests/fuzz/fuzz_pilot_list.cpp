// A pilot list is a file from another program, often edited by hand: any
// bytes end in a list or a message, what is read keeps the list's limits,
// and the list saved as CSV reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/pilot_list_file.h"

using namespace skylode;

namespace {

size_t Utf8Characters(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

void CheckClean(std::string_view text, size_t max) {
  const std::string clean = CleanPilotText(text, max);
  if (Utf8Characters(clean) > max) abort();
  for (char c : clean)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) abort();
  if (!clean.empty() && (clean.front() == ' ' || clean.back() == ' ')) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const Result<PilotList> list = ReadPilotListText(text);
  if (!list.ok()) {
    if (list.error().text.empty()) abort();
  } else {
    if (list->empty()) abort();
    for (const PilotEntry& p : list->items) {
      if (Utf8Characters(p.name) > kPilotNameMax || p.civlId < -1 || p.compId < -1) abort();
      for (const std::string& d : p.devices)
        if (Utf8Characters(d) > kPilotDeviceMax) abort();
    }
    const Result<PilotList> back = ReadPilotCsv(BuildPilotCsv(*list));
    if (!back.ok() || back->items != list->items) abort();
  }

  if (const std::optional<int32_t> id = ParsePilotId(text.substr(0, 24)); id && *id < 0) abort();
  CheckClean(text, 12);
  CheckClean(text, kPilotNameMax);
  return 0;
}
