// Reading flights from the instrument: its list of flights, the choice of
// flights, and the IGC download of each one.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/flytec/igc_receiver.h"
#include "protocols/flytec/link.h"
#include "protocols/flytec/product.h"
#include "protocols/flytec/track_list.h"

namespace skylode::flytec {

inline constexpr std::string_view kCaptionTrackList = "Read GPS track data";
inline constexpr std::string_view kCaptionTrackLog = "Read GPS track log";

// Requests the list and parses it into `list` (cleared first). Fails when
// no flight is listed.
Step FlytecReadTrackList(TransferContext& ctx, const FlytecTiming& timing, TrackList& list);

// Offers the listed flights to the person ("Track List (port, model)") and
// gives the flight numbers chosen, 1 to 100 of them. Cancelling fails
// without a message.
Step ChooseFlights(TransferContext& ctx, const TrackList& list, const std::string& model,
                   std::vector<int>& flights);

// What differs between the instruments that hand out flights as this IGC
// text: how a flight is asked for and how the download words its failures.
struct IgcDialect {
  std::string (*flightCommand)(int flightNumber) = FlightNumberCommand;
  // A failed write, a failed read, a byte that broke the text (with the
  // line it broke, for messages that quote it).
  std::string_view writeError = "E202 COM port write error";
  std::string_view readError = "E203 COM port read error";
  std::string (*byteError)(const IgcByteResult& error, std::string_view line) = NumberedByteError;
};

// Which flight to ask for, and how to show progress while it comes.
struct FlightRequest {
  std::optional<int> flightNumber;  // none: the most recent flight
  int ordinal = 1;                  // "Requesting track log %"
  int64_t durationSeconds = 0;      // from the track list, for the remaining time
  // Operations that read many flights in a row announce each one and show
  // their own progress; when set, these replace the track download's status
  // lines and its pause before the request.
  std::function<void()> announce;
  std::function<void(const TrackPoint& point, int count)> onPoint;
  std::optional<std::chrono::milliseconds> silence;  // else timing.flightSilence
};

// Requests one flight and reads its IGC text until the instrument falls
// silent. Every kept byte is appended to `raw` when given. On kOk the
// receiver holds the flight's points and A and G records.
Step DownloadFlight(TransferContext& ctx, const FlytecTiming& timing, const FlightRequest& request,
                    IgcFlightReceiver& receiver, std::string* raw, const IgcDialect& dialect = {});

// A flight chosen from an instrument's list, with the duration the list gave.
struct ChosenFlight {
  int number = 0;
  int64_t durationSeconds = 0;
};

// Downloads the flights (none: the most recent one), merges them and fills
// `out` with the points and the instrument's IGC text. `code` is 1 when
// every flight carried G records, else 0.
Step ReadIgcFlights(TransferContext& ctx, const FlytecTiming& timing, const IgcDialect& dialect,
                    const std::vector<ChosenFlight>* flights, TrackLogPayload& out, int32_t& code);
Step FlytecReadIgcTracks(TransferContext& ctx, const FlytecTiming& timing, const std::vector<int>* flights,
                         const TrackList& list, TrackLogPayload& out, int32_t& code);

// The whole track-log operation.
TransferResult FlytecReadTrackLog(TransferContext& ctx, const FlytecTiming& timing);

}  // namespace skylode::flytec
