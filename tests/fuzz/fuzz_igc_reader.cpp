// Any bytes given to the IGC reader or the security check end in points or a
// message: never a crash, a hang, a leak or an empty error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/igc_reader.h"
#include "formats/igc_writer.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const Result<IgcParse> parsed = ParseIgcText(text);
  if (!parsed.ok() && parsed.error().text.empty()) abort();
  if (parsed.ok()) {
    if (parsed->points.empty() || parsed->manufacturer.size() != 3 || parsed->serial.size() != 3) abort();
    // What we read, we can write: the builder must take any point the reader
    // produced, and its own output must read back to the same count.
    IgcWriteOptions o;
    o.frSerial = parsed->serial;
    o.gRecordValid = o.wantGRecord = true;
    const Result<IgcText> built = BuildIgcText(parsed->points, o);
    if (!built.ok()) abort();
    const Result<IgcParse> again = ParseIgcText(built->text);
    if (!again.ok() || again->points.size() != parsed->points.size()) abort();
    if (VerifyIgcText(built->text) != IgcVerifyOutcome::kPassed) abort();
  }

  const Result<AcceptedIgc> accepted = AcceptInstrumentIgc(text);
  if (accepted.ok() != parsed.ok() || (accepted.ok() && accepted->raw.text.size() != size)) abort();

  const IgcVerifyOutcome outcome = VerifyIgcText(text);
  if (outcome != IgcVerifyOutcome::kPassed && outcome != IgcVerifyOutcome::kFailed &&
      outcome != IgcVerifyOutcome::kNoSecurityRecord)
    abort();
  return 0;
}
