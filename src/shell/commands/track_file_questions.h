// Questions the track-file commands share: what to do with positions that go
// back in time, and what to do with an Aerodiary file that already exists.
#pragma once

#include <string>
#include <vector>

#include "formats/kml_writer.h"
#include "shell/app_state.h"

namespace skylode {

inline constexpr char kCaptionReadTrackFile[] = "Read track log file";

// Offers to drop the positions that go back in time; when the pilot agrees,
// keeps each one that is not earlier than every position before it. Returns
// true when positions were dropped.
bool OfferTimeOrderRepair(AppState& app, std::vector<TrackPoint>& points);

// Append, Overwrite or Cancel for an existing logbook file; a command-line run
// with OVERWRITE overwrites without asking.
ExistingFileChoice AskExistingAerodiaryFile(AppState& app, const std::string& path);

}  // namespace skylode
