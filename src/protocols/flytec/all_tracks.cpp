#include "protocols/flytec/all_tracks.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "protocols/flytec/igc_receiver.h"
#include "protocols/flytec/track_download.h"

namespace skylode::flytec {
namespace {

// One flight's IGC text into `receiver`, announced and counted as one of many;
// the text itself is not kept.
Step ReadFlight(TransferContext& ctx, const FlytecTiming& timing, int flight, int k, int n,
                IgcFlightReceiver& receiver) {
  FlightRequest request;
  request.flightNumber = flight;
  request.ordinal = k;
  request.silence = timing.manyFlightsSilence;
  request.announce = [&] { ctx.Progress("Reading track log % of %", k, n); };
  request.onPoint = [&](const TrackPoint&, int count) {
    if (count % 100 == 1) ctx.Progress("Reading track log % of %   (%)", k, n, count);
  };
  return DownloadFlight(ctx, timing, request, receiver, nullptr);
}

}  // namespace

TransferResult FlytecReadAllTracks(TransferContext& ctx, const FlytecTiming& timing) {
  try {
    InstrumentInfo info;
    TrackList list;
    std::vector<int> flights;
    Step s = FlytecReadProductData(ctx, timing, info);
    if (s == Step::kOk) s = FlytecReadTrackList(ctx, timing, list);
    if (s == Step::kOk) s = ChooseFlights(ctx, list, info.model, flights);

    FlightListPayload payload;
    IgcFlightReceiver receiver;
    const int n = static_cast<int>(flights.size());
    for (int k = 1; s == Step::kOk && k <= n; ++k) {
      s = ReadFlight(ctx, timing, flights[static_cast<size_t>(k - 1)], k, n, receiver);
      if (s != Step::kOk) break;
      TrackLog& log = payload.flights.emplace_back();
      log.points = receiver.TakePoints();
      log.source = TrackLogSource::kFlytec;
      log.gRecordValid = receiver.gRecords() > 0;
      log.hasBaroHeight = true;
      log.sourceProtocol = ctx.protocol();
    }
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();
    ctx.Status("Downloading completed");
    return TransferResult::Flights(std::move(payload), TrackLogSource::kFlytec);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E201 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::flytec
