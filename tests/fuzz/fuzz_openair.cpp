// Any bytes given to the OpenAir reader end in a list or a message: never a
// crash, a hang or an empty error. What it reads keeps the list's own rules,
// and what it reads the writer writes so that it reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/ctr_outline.h"
#include "formats/openair.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  int notified = 0;
  OpenAirReadOptions options;
  options.notifyDy = [&notified](int) { return ++notified % 2 == 1; };
  Result<OpenAirText> r = ParseOpenAirText(text, options);
  if (!r.ok()) {
    if (r.error().text.empty() || r.error().line < 1) abort();
    return 0;
  }
  CtrList& list = r->list;
  for (CtrArea& a : list.areas) {
    if (a.name.empty() || a.name.size() > kCtrTextMax || a.floor.size() > kCtrTextMax ||
        a.ceiling.size() > kCtrTextMax || a.segments.empty())
      abort();
    a.selected = true;
    (void)ExpandCtrOutline(a);
  }
  Result<OpenAirText> back = ParseOpenAirText(WriteOpenAirText(list));
  if (!back.ok() || back->list.count() != list.count()) abort();
  for (size_t k = 0; k < list.areas.size(); ++k) {
    if (back->list.areas[k].segments.size() != list.areas[k].segments.size()) abort();
    for (size_t s = 0; s < list.areas[k].segments.size(); ++s)
      if (back->list.areas[k].segments[s].kind != list.areas[k].segments[s].kind) abort();
  }
  (void)FixEqualCtrNames(list, [] { return true; });
  return 0;
}
