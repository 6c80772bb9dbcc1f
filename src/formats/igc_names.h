// The long and short IGC file names proposed when saving a flight.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/raw_igc_buffer.h"
#include "records/track_log.h"

namespace skylode {

inline constexpr int kIgcFlightNumberMin = 1;
inline constexpr int kIgcFlightNumberMax = 35;

enum class IgcNameStyle { kNone, kLong, kShort };

// Bits of the stored save choices.
inline constexpr uint32_t kIgcMaskGRecord = 1;
inline constexpr uint32_t kIgcMaskLongName = 2;
inline constexpr uint32_t kIgcMaskShortName = 4;
uint32_t IgcSaveMask(bool gRecord, IgcNameStyle style);

// Style proposed from the save mask: bit 1 long, bit 2 short; long wins when
// both are set.
IgcNameStyle IgcNameStyleFromMask(uint32_t saveMask);

// Names for a flight on the UTC date of `time`. An empty string when the
// flight number is outside 1..35 or the serial is not three characters, which
// the one-character and fixed-width fields could not hold.
std::string IgcLongFileName(uint32_t time, std::string_view serial, int flight);
std::string IgcShortFileName(uint32_t time, std::string_view serial, int flight);

// The name proposed for our own file: date of the first point, empty with no
// points or with style kNone.
std::string ProposeIgcFileName(IgcNameStyle style, const std::vector<TrackPoint>& points,
                               std::string_view serial, int flight);

// The names of an instrument's own log: its flight time, manufacturer and
// logger serial. Empty when nothing is stored.
std::string RawIgcLongFileName(const RawIgcBuffer& raw, int flight);
std::string RawIgcShortFileName(const RawIgcBuffer& raw, int flight);
std::string ProposeRawIgcFileName(IgcNameStyle style, const RawIgcBuffer& raw, int flight);

}  // namespace skylode
