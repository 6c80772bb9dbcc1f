// The two gap settings the analyses use, and the checks of what a user types
// for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace skylode {

inline constexpr uint32_t kDefaultLoopFlightGap = 800;   // metres
inline constexpr uint32_t kDefaultTrackGapTime = 1200;   // seconds

struct AnalysisGapSettings {
  uint32_t loopFlightGap = kDefaultLoopFlightGap;
  uint32_t trackGapTime = kDefaultTrackGapTime;
};

// An unsigned decimal integer that fits 32 bits, nothing else (no sign, no
// blanks, no exponent).
std::optional<uint32_t> ParseUnsignedDecimal(std::string_view text);

struct GapInput {
  std::optional<uint32_t> value;
  const char* message = nullptr;  // "Missing input" or "Bad input" when refused
};

// The loop flight gap dialog: metres.
GapInput ParseLoopFlightGapInput(std::string_view text);

// The track gap time dialog: minutes in, seconds out. Refused (nothing) when
// empty, not a number, or when the seconds would not fit 32 bits.
std::optional<uint32_t> ParseTrackGapMinutes(std::string_view text);

// Minutes shown in the track gap dialog.
inline uint32_t TrackGapMinutes(uint32_t seconds) { return seconds / 60; }

}  // namespace skylode
