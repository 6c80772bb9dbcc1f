// Cutting a copy of track points that holds several flights into parts at
// time gaps and segment starts, and keeping the parts the user picks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/track_log.h"

namespace skylode {

inline constexpr size_t kMaxTrackParts = 100;

struct TrackPart {
  int32_t first = 0;  // index of the part's first point
  int32_t last = 0;   // index of its last point
  bool selected = false;
  friend bool operator==(const TrackPart&, const TrackPart&) = default;
};

// Rows in ascending order. A point cuts when its time is after the last time
// seen by more than `trackGapTime` seconds, or when it starts a segment; points
// whose time does not advance never cut. At most kMaxTrackParts rows: the last
// one runs to the end.
std::vector<TrackPart> CutTrackParts(const TrackPoint* points, size_t count, uint32_t trackGapTime);

// Asked with two or more parts, every `selected` flag cleared. Returns false
// for Cancel; otherwise the parts to keep are marked `selected`.
using TrackPartChooser = std::function<bool(std::vector<TrackPart>& parts)>;

// In place on the caller's array: returns count unchanged when there is
// nothing to choose or no chooser is given (a hidden run keeps every part),
// 0 when the user cancels or keeps nothing, otherwise the number of points
// kept, moved to the front in their order.
size_t SelectTrackParts(TrackPoint* points, size_t count, uint32_t trackGapTime,
                        const TrackPartChooser& choose);
size_t SelectTrackParts(std::vector<TrackPoint>& points, uint32_t trackGapTime,
                        const TrackPartChooser& choose);

// The text of one row in the split dialog: the part's start date and time and
// its duration.
std::string FormatTrackPartRow(const TrackPoint* points, const TrackPart& part);
// The split dialog title from the port name and the instrument model (may be empty).
std::string SplitDialogTitle(const std::string& portName, const std::string& modelName);

}  // namespace skylode
