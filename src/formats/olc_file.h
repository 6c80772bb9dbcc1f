// The online contest's claim file (.olc): the pilot's fields and the five
// claim points as one URL-encoded line, optionally followed by the IGC text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/error.h"
#include "records/track_log.h"

namespace skylode {

inline constexpr int kOlcProgramVersion = 449;
inline constexpr size_t kOlcFieldMax = 80;
inline constexpr int kOlcGliderClassCount = 5;

// Everything but 0-9, A-Z, a-z and ! $ ( ) * , - . _ becomes '%' and two
// upper-case hex digits. '&' and '+' are encoded too: left as they are, a
// '&' in a name would start a field of its own and a '+' would be read back
// as a blank.
std::string UrlEncode(std::string_view text);

// A birth date as day, month and year (separated by '.', '/' or '-'; a year
// of two or four digits), rewritten as "dd.mm.yy"; nothing when it is not a
// real date.
std::optional<std::string> NormaliseBirthDate(std::string_view text);

struct OlcPilot {
  std::string firstName, lastName, birthDate, gliderType, callSign, startPlace;
  std::string region;    // two-letter code, empty for unknown
  int gliderClass = 0;   // 1..5
  int flightNumber = 0;  // 1..35, for the IGC file name
};

// The first field check that fails, as the person is told it ("Missing first
// name", ..., "Flight number out of range"); nothing when all pass. A good
// birth date is rewritten in place.
std::optional<std::string> CheckOlcPilot(OlcPilot& pilot);

// The claim line. Refused (kNothingToWrite, "No result to claim") when the
// claim scores no points: a claim of nothing would be five copies of one
// position.
Result<std::string> BuildOlcText(const OlcPilot& pilot, std::string_view igcFileName,
                                 const std::array<TrackPoint, 5>& claim, double points);

// The whole file: the claim line, and with `igcText` "&IGCigcIGC=" and the
// IGC text after it.
Result<std::string> BuildOlcFile(const OlcPilot& pilot, std::string_view igcFileName,
                                 const std::array<TrackPoint, 5>& claim, double points,
                                 std::optional<std::string_view> igcText);

}  // namespace skylode
