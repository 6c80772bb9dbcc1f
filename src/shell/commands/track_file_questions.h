// Questions the track-file commands share: what to do with positions that go
// back in time, and what to do with an Aerodiary file that already exists;
// and the Aerodiary save that asks the latter.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/contest_score.h"
#include "formats/kml_writer.h"
#include "shell/app_state.h"

namespace skylode {

inline constexpr char kCaptionReadTrackFile[] = "Read track log file";

// Offers to drop the positions that go back in time; when the pilot agrees,
// keeps each one that is not earlier than every position before it. Returns
// true when positions were dropped.
bool OfferTimeOrderRepair(AppState& app, std::vector<TrackPoint>& points);

// What happens to an existing Aerodiary file.
enum class ExistingFileChoice { kAppend, kOverwrite, kCancel };

// Append, Overwrite or Cancel for an existing logbook file; a command-line run
// with OVERWRITE overwrites without asking.
ExistingFileChoice AskExistingAerodiaryFile(AppState& app, const std::string& path);

enum class SaveEnd { kSaved, kCancelled, kFailed };

// Saves the record's track to `path` (chosen by the caller) as a new file; an
// existing file is offered to `askExisting` (unset: cancel). A failure is
// shown before kFailed is returned; the success message is the caller's.
// The contest scores a saved KML describes. A save must not wait on a
// flight whose optimum is slow to prove: the description then says the score
// is not proven best, with its ceiling.
ContestScores ScoreForSavedFile(std::span<const TrackPoint> points);

SaveEnd SaveAerodiaryFile(AppState& app, const std::string& path, const FlightStatistics& stats,
                          std::string_view description, const KmlFolderOptions& options,
                          const std::function<ExistingFileChoice()>& askExisting);

}  // namespace skylode
