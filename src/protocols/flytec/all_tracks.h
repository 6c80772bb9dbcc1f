// Reading every chosen flight of a Flytec or Brauniger instrument in one go,
// analysing each and writing all of them into one KML file for the online
// flight log.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "access/dispatcher.h"
#include "access/transfer_context.h"
#include "protocols/flytec/link.h"

namespace skylode::flytec {

inline constexpr std::string_view kCaptionAllTracks = "Read GPS track logs";
inline constexpr std::string_view kCaptionSaveAllTracks = "Save track for Aerodiary";

struct AllTracksOptions {
  // Asks for the file to write (the save dialog of the shell, run for the
  // worker); nothing when the person cancels. Unset: nothing is written.
  std::function<std::optional<std::string>(const CancelToken& cancel)> chooseFile;
  bool speedFilter = false;      // the LogFilter setting
  uint32_t loopFlightGap = 800;  // metres
  // A flight ends after this much silence; longer than for one flight,
  // since the instrument pauses between its analyses.
  std::chrono::milliseconds flightSilence{3000};
};

// The whole operation. Ends with success (no data) once the file is written.
TransferResult FlytecReadAllTracks(TransferContext& ctx, const FlytecTiming& timing, const AllTracksOptions& options);

// Puts the worker into the table as read track log for ProtocolType 11.
void RegisterFlytecAllTracksWorker(DeviceAccessTable& table, AllTracksOptions options,
                                   const FlytecTiming& timing = {});

}  // namespace skylode::flytec
