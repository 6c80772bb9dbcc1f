// The text lines both instruments send: hexadecimal and decimal fields read
// through one digit table, lines assembled up to LF with the flow-control
// bytes already gone, and positions brought into range before they become
// semicircles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/tnc_log.h"

namespace skylode::xctrainer {

inline constexpr uint8_t kXon = 0x11;
inline constexpr uint8_t kXoff = 0x13;
// A line this long is never a record of either instrument.
inline constexpr size_t kMaxLineLength = 100;

// The fields themselves are read as the log files' (formats/tnc_log.h).
using skylode::DecimalField;
using skylode::HexDigitValue;
using skylode::HexField;
using skylode::SignedHexField;

// The XOR of the characters, compared with two hexadecimal digits.
enum class ChecksumCheck { kOk, kBadFormat, kMismatch };
ChecksumCheck CheckLineChecksum(std::string_view covered, std::string_view digits);

// Builds lines byte by byte: LF completes one, CR ends its text (what follows
// up to LF is dropped), and a line reaching kMaxLineLength characters is
// refused. After a completed or refused line the next byte starts afresh.
class LineAssembler {
 public:
  enum class Feed { kMore, kComplete, kTooLong };
  Feed Add(uint8_t byte);
  std::string_view line() const { return text_; }
  // Bytes of a line not yet complete.
  bool pending() const { return !text_.empty() && !done_; }

 private:
  std::string text_;
  bool crSeen_ = false;
  bool done_ = false;
};

// A latitude or longitude in units of 1/`perDegree` degree to semicircles,
// rounded half away from zero; nothing outside +-90 (latitude) or +-180
// (longitude) degrees. 180 degrees east is the same meridian as west and
// comes back as -2^31.
std::optional<int32_t> UnitsToLatitude(int32_t value, double perDegree, double semicirclesPerUnit);
std::optional<int32_t> UnitsToLongitude(int32_t value, double perDegree, double semicirclesPerUnit);

// Seconds still to wait when `received` of `expected` points arrived in
// `elapsedMs`: truncated, 0 to 5999. Held in 64 bits: a long log at a slow
// line overflows 32.
int32_t CountRemainingTime(int64_t elapsedMs, int64_t expected, int64_t received);

}  // namespace skylode::xctrainer
