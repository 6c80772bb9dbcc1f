// The instrument's list of recorded flights: one "number;date;time;...;duration"
// line per flight.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/iqbasic/link.h"

namespace skylode::iqbasic {

// The list holds this many flights; later lines are not taken.
inline constexpr size_t kTrackListMax = 100;
// A flight is asked for by two hexadecimal digits.
inline constexpr int kFlightNumberMax = 255;
inline constexpr size_t kTrackTextMax = 15;

struct TrackListEntry {
  int number = 0;
  std::string date, time, duration;  // as the instrument writes them
  int32_t durationSeconds = 0;
};

// One list line: nothing for a line of fewer than five ';' fields, or one
// whose number is not a flight that can be asked for.
std::optional<TrackListEntry> ParseTrackListLine(std::string_view line);

// "ACT_21_1A\r\n" for flight 26.
std::string FlightCommand(int flightNumber);

// "%3d   %s   %s   %s": number, date, time, duration.
std::string DialogLine(const TrackListEntry& entry);

// Requests the list; fails with "No tracks found" when no line held a flight.
Step IqReadTrackList(TransferContext& ctx, const IqTiming& timing, std::vector<TrackListEntry>& list);

}  // namespace skylode::iqbasic
