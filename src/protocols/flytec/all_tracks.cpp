#include "protocols/flytec/all_tracks.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/kml_writer.h"
#include "protocols/flytec/igc_receiver.h"
#include "protocols/flytec/track_download.h"

namespace skylode::flytec {
namespace {

constexpr size_t kMinimumPoints = 10;

// One flight's IGC text into `receiver`, announced and counted as one of many;
// the text itself is not kept.
Step ReadFlight(TransferContext& ctx, const FlytecTiming& timing, const AllTracksOptions& options, int flight,
                int k, int n, IgcFlightReceiver& receiver) {
  FlightRequest request;
  request.flightNumber = flight;
  request.ordinal = k;
  request.silence = options.flightSilence;
  request.announce = [&] { ctx.Progress("Reading track log % of %", k, n); };
  request.onPoint = [&](const TrackPoint&, int count) {
    if (count % 100 == 1) ctx.Progress("Reading track log % of %   (%)", k, n, count);
  };
  return DownloadFlight(ctx, timing, request, receiver, nullptr);
}

// Statistics and trip search of one flight, then its folder. Flights too
// short to analyse are left out.
Step AnalyseFlight(TransferContext& ctx, const AllTracksOptions& options, std::vector<TrackPoint> points,
                   bool signedByInstrument, int k, int n, TextOutputBuffer& folders) {
  if (options.speedFilter && points.size() >= kMinimumPoints) SpeedFilter(points);
  if (points.size() < kMinimumPoints) return Step::kOk;
  ctx.Progress("Analysing track log % of %", k, n);
  FlightStatistics stats;
  stats.points = std::move(points);
  stats.analysisTimeValid = signedByInstrument;
  stats.analysisTime = signedByInstrument ? int64_t{CurrentTime()} : -1;
  stats.utcFlag = true;
  stats.pressureFlag = true;
  ComputeFlightStatistics(stats);

  TripSearchOptions search;
  search.loopFlightGap = options.loopFlightGap;
  TripHaltFlag halt{false};
  if (RunTripSearch(stats.points, stats.trips, search, {}, halt) < 0) {
    ctx.ShowMessage("Analysing track", "Memory allocation error");
    return Step::kFailed;
  }
  if (ctx.aborted()) return Aborted(ctx);

  const CalendarTime day = SecondsToDateTime(stats.points.front().time);
  TextOutputBuffer description;
  description.Int(day.year).Append('-').Int(day.month, 2).Append('-').Int(day.day, 2);
  if (const Status built = BuildKmlTrackFolder(folders, stats, description.text(), {{}, options.loopFlightGap});
      !built.ok()) {
    ctx.ShowMessage("Making GoogleEarth track folder", built.error().kind == ErrorKind::kNoMemory
                                                           ? "Memory allocation error"
                                                           : "Too few track positions");
    return Step::kFailed;
  }
  return Step::kOk;
}

Step WriteFile(TransferContext& ctx, const AllTracksOptions& options, const std::string& folders) {
  ctx.Status("Downloading completed");
  const auto path = options.chooseFile ? options.chooseFile(ctx.cancel()) : std::nullopt;
  if (ctx.aborted()) return Aborted(ctx);
  if (!path) return Step::kFailed;
  const std::string text = WrapKmlDocument(folders);
  Status written = WriteFileAtomically(*path, text, WriteMode::kCreateNew);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    if (!ctx.AskYesNo(kCaptionSaveAllTracks, "File already exists. Overwrite ?")) return Step::kFailed;
    written = WriteFileAtomically(*path, text, WriteMode::kReplace);
  }
  if (!written.ok()) {
    const ErrorKind kind = written.error().kind;
    const bool opening = kind == ErrorKind::kCannotCreate || kind == ErrorKind::kExists;
    ctx.ShowMessage(opening ? "Error opening file" : "File write error", written.error().Describe());
    return Step::kFailed;
  }
  ctx.ShowMessage("Save Aerodiary track", "File written", MessageIcon::kInfo);
  ctx.Product(*path);
  return Step::kOk;
}

}  // namespace

TransferResult FlytecReadAllTracks(TransferContext& ctx, const FlytecTiming& timing, const AllTracksOptions& options) {
  try {
    TextOutputBuffer folders(10000);
    InstrumentInfo info;
    TrackList list;
    std::vector<int> flights;
    Step s = FlytecReadProductData(ctx, timing, info);
    if (s == Step::kOk) s = FlytecReadTrackList(ctx, timing, list);
    if (s == Step::kOk) s = ChooseFlights(ctx, list, info.model, flights);

    IgcFlightReceiver receiver;
    const int n = static_cast<int>(flights.size());
    for (int k = 1; s == Step::kOk && k <= n; ++k) {
      s = ReadFlight(ctx, timing, options, flights[static_cast<size_t>(k - 1)], k, n, receiver);
      if (s != Step::kOk) break;
      const bool signedByInstrument = receiver.gRecords() > 0;
      s = AnalyseFlight(ctx, options, receiver.TakePoints(), signedByInstrument, k, n, folders);
    }
    if (s == Step::kOk) s = WriteFile(ctx, options, folders.text());
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    // The file is the result: nothing goes to the track view.
    return s == Step::kOk ? TransferResult::Done() : TransferResult::Failure();
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("Memory allocation error", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

void RegisterFlytecAllTracksWorker(DeviceAccessTable& table, AllTracksOptions options, const FlytecTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kFlytecAllTracks,
                 [options = std::move(options), timing](TransferContext& ctx) {
                   return FlytecReadAllTracks(ctx, timing, options);
                 });
}

}  // namespace skylode::flytec
