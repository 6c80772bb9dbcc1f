#include "protocols/flytec/track_download.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "protocols/flytec/waypoint_download.h"

namespace skylode::flytec {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxFlightsChosen = 100;

int32_t ElapsedMs(Clock::time_point since) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
  return ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms);
}

}  // namespace

Step FlytecReadTrackList(TransferContext& ctx, const FlytecTiming& timing, TrackList& list) {
  ctx.Status("Requesting track list");
  list.Clear();
  if (!SendCommand(ctx, kTrackListCommand)) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaptionTrackList, "E500 COM port write error");
    return Step::kFailed;
  }
  TrackListParser parser(list);
  int error = 0;
  const ReceiveEnd end = Receive(ctx, timing.listSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r < 0) error = -r;
    return r >= 0;
  });
  if (end == ReceiveEnd::kAborted) return Aborted(ctx);
  if (error != 0) {
    ctx.ShowMessage(kCaptionTrackList, FormatProgress("E505 Format error %", error));
    return Step::kFailed;
  }
  // A line cut off by silence would leave its flight out of the list unseen.
  if (end == ReceiveEnd::kReadError || parser.InSentence()) {
    ctx.ShowMessage(kCaptionTrackList, "E503 COM port read error");
    return Step::kFailed;
  }
  const int count = list.Count();
  ctx.Progress("% tracks in track list found", count);
  return count > 0 ? Step::kOk : Step::kFailed;
}

Step ChooseFlights(TransferContext& ctx, const TrackList& list, const std::string& model,
                   std::vector<int>& flights) {
  std::vector<TrackListEntry> entries;
  for (int n : list.FlightNumbers()) entries.push_back({n, list.entries[n].text});
  const std::string title = "Track List (" + ctx.portName() + (model.empty() ? "" : ", " + model) + ")";
  const auto chosen = ctx.ChooseTracks(title, entries);
  if (ctx.aborted()) return Aborted(ctx);
  if (!chosen || chosen->empty() || chosen->size() > kMaxFlightsChosen) return Step::kFailed;
  flights.clear();
  for (int32_t n : *chosen) {
    // Only flights of the list can be asked for by number.
    if (n < 0 || n >= kTrackListSize || list.entries[n].text.empty()) return Step::kFailed;
    flights.push_back(n);
  }
  return Step::kOk;
}

Step DownloadFlight(TransferContext& ctx, const FlytecTiming& timing, const FlightRequest& request,
                    IgcFlightReceiver& receiver, std::string* raw, const IgcDialect& dialect) {
  receiver.Reset();
  std::string command;
  if (request.announce) {
    request.announce();
    if (ctx.aborted()) return Aborted(ctx);
    command = request.flightNumber ? dialect.flightCommand(*request.flightNumber) : std::string(kMostRecentFlightCommand);
  } else if (request.flightNumber) {
    ctx.Progress("Requesting track log %", request.ordinal);
    if (!ctx.Pause(timing.beforeFlightRequest)) return Aborted(ctx);
    command = dialect.flightCommand(*request.flightNumber);
  } else {
    ctx.Status("Requesting track log");
    command = kMostRecentFlightCommand;
  }
  if (!SendCommand(ctx, command)) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaptionTrackLog, dialect.writeError);
    return Step::kFailed;
  }

  receiver.set_point_hook([&](const TrackPoint& p, int count) {
    ctx.NotifyPosition(p);
    if (request.onPoint) {
      request.onPoint(p, count);
      return;
    }
    if (count == 1) ctx.Status("Receiving track log");
    if (count % 100 != 1) return;
    if (request.flightNumber) {
      const int32_t left = RemainingTimeEstimate(ElapsedMs(receiver.firstPointClock()), receiver.startTime(),
                                                 p.time, request.durationSeconds);
      ctx.Progress("Track position % (%m %s)", count, left / 60, left % 60);
    } else {
      ctx.Progress("Track position %", count);
    }
    ctx.Notify(FormatProgress("Progress %/?", count));
  });

  IgcByteResult error;
  const ReceiveEnd end = Receive(ctx, request.silence.value_or(timing.flightSilence), [&](uint8_t b) {
    if (raw != nullptr) raw->push_back(static_cast<char>(b));
    error = receiver.Feed(b);
    return error.ok();
  });
  receiver.set_point_hook(nullptr);
  if (end == ReceiveEnd::kAborted) return Aborted(ctx);
  if (!error.ok()) {
    ctx.ShowMessage(kCaptionTrackLog, dialect.byteError(error, receiver.failedLine()));
    return Step::kFailed;
  }
  if (end == ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionTrackLog, dialect.readError);
    return Step::kFailed;
  }
  // A flight whose last line never ended was cut off, not finished: the
  // records that came whole are the flight as far as it goes.
  if (receiver.InLine()) {
    const size_t partial = receiver.pendingLength();
    const bool kept = receiver.EndCutLine();
    if (raw != nullptr) {
      if (kept) {
        if (raw->back() != '\r') raw->push_back('\r');
        raw->push_back('\n');
      } else {
        raw->resize(raw->size() - std::min(partial, raw->size()));
      }
    }
    if (!receiver.points().empty())
      ctx.ShowMessage(kCaptionTrackLog,
                      FormatProgress("Flight cut off: % complete points kept",
                                     static_cast<int64_t>(receiver.points().size())),
                      MessageIcon::kWarning);
  }
  return Step::kOk;
}

Step FlytecReadIgcTracks(TransferContext& ctx, const FlytecTiming& timing, const std::vector<int>* flights,
                         const TrackList& list, TrackLogPayload& out, int32_t& code) {
  if (flights == nullptr) return ReadIgcFlights(ctx, timing, {}, nullptr, out, code);
  std::vector<ChosenFlight> chosen;
  for (int n : *flights) chosen.push_back({n, list.entries[n].durationSeconds});
  return ReadIgcFlights(ctx, timing, {}, &chosen, out, code);
}

Step ReadIgcFlights(TransferContext& ctx, const FlytecTiming& timing, const IgcDialect& dialect,
                    const std::vector<ChosenFlight>* flights, TrackLogPayload& out, int32_t& code) {
  std::string raw;
  raw.reserve(20000);
  std::vector<TrackPoint> collected;
  bool allSigned = true;
  IgcFlightReceiver receiver;
  const size_t count = flights ? flights->size() : 1;
  for (size_t k = 0; k < count; ++k) {
    FlightRequest request;
    if (flights) {
      request.flightNumber = (*flights)[k].number;
      request.ordinal = static_cast<int>(k + 1);
      request.durationSeconds = (*flights)[k].durationSeconds;
    }
    const Step s = DownloadFlight(ctx, timing, request, receiver, &raw, dialect);
    if (s != Step::kOk) return s;

    ctx.Progress("% points received", static_cast<int64_t>(receiver.points().size()));
    if (receiver.points().empty()) {
      ctx.ShowMessage(kCaptionTrackLog, "No points detected", MessageIcon::kWarning);
      return Step::kFailed;
    }
    if (receiver.loggerId().empty()) {
      ctx.ShowMessage(kCaptionTrackLog, "Bad or missing A-record", MessageIcon::kWarning);
      return Step::kFailed;
    }
    if (receiver.gRecords() == 0) allSigned = false;
    if (!MergeFlight(collected, receiver.TakePoints())) {
      ctx.ShowMessage(kCaptionTrackLog, "Overlapping track start/stop times", MessageIcon::kWarning);
      return Step::kFailed;
    }
  }
  if (count > 1) ctx.Progress("% points received", static_cast<int64_t>(collected.size()));

  out.raw.text = std::move(raw);
  out.raw.flightTime = receiver.startTime();
  out.raw.manufacturer = receiver.manufacturer();
  out.raw.loggerSerial = receiver.loggerId();
  out.log.points = std::move(collected);
  if (!allSigned) ctx.ShowMessage(kCaptionTrackLog, "No G-records found", MessageIcon::kWarning);
  code = allSigned ? 1 : 0;
  return Step::kOk;
}

TransferResult FlytecReadTrackLog(TransferContext& ctx, const FlytecTiming& timing) {
  try {
    InstrumentInfo info;
    Step s = FlytecReadProductData(ctx, timing, info);
    if (s == Step::kOk && ctx.settings().competitionMode) s = FlytecReadWaypointList(ctx, timing, 1, nullptr);

    TrackList list;
    std::vector<int> flights;
    const bool byList = UsesTrackList(info.product.product, info.product.softwareVersion);
    if (s == Step::kOk && byList) s = FlytecReadTrackList(ctx, timing, list);
    if (s == Step::kOk && byList) s = ChooseFlights(ctx, list, info.model, flights);

    TrackLogPayload payload;
    int32_t code = 0;
    if (s == Step::kOk) s = FlytecReadIgcTracks(ctx, timing, byList ? &flights : nullptr, list, payload, code);
    // An abort that came with the last byte still wins: nothing is delivered.
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();

    payload.log.source = TrackLogSource::kFlytec;
    payload.log.hasBaroHeight = true;
    payload.log.sourceProtocol = ctx.protocol();
    payload.log.instrumentText.clear();
    payload.log.modelName = info.model;
    payload.log.identification = InstrumentIdentification(info.model, info.product.serialNumber);
    return TransferResult::Track(std::move(payload), code);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E201 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::flytec
