#include "protocols/dsx/track_download.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "protocols/flytec/igc_receiver.h"

namespace skylode::dsx {
namespace {

constexpr std::string_view kCaption = "Read GPS track log";

}  // namespace

Step DsxDownloadFlight(TransferContext& ctx, const DsxTiming& timing, const DsxFlight& flight,
                       TrackLogPayload& out, int32_t& code) {
  std::string raw;
  raw.reserve(20000);
  flytec::IgcFlightReceiver receiver;
  ctx.Status("Requesting track log");
  if (!SendCommand(ctx, FlightCommand(flight.number))) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaption, "E202 COM port write error");
    return Step::kFailed;
  }
  receiver.set_point_hook([&](const TrackPoint& p, int count) {
    ctx.NotifyPosition(p);
    if (count == 1) ctx.Status("Receiving track log");
    if (count % 100 != 1) return;
    ctx.Progress("Track position %", count);
    ctx.Notify(FormatProgress("Progress %/?", count));
  });

  bool started = false;  // the first '#' came: what follows is the flight
  bool ended = false;
  std::string line;      // the current line, to spot the end line
  flytec::IgcByteResult error;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.flightSilence, [&](uint8_t b) {
    if (!started) {
      started = b == '#';
      return true;
    }
    if (b == '\r' && line == kEndLine) {
      // The end line stays out of the text and out of the records.
      raw.resize(raw.size() - kEndLine.size());
      ended = true;
      return false;
    }
    if (b == '\n') line.clear();
    else if (line.size() <= kEndLine.size()) line.push_back(static_cast<char>(b));
    // The line end of the prompt line is no part of the flight's text.
    if (!raw.empty() || (b != '\r' && b != '\n')) raw.push_back(static_cast<char>(b));
    error = receiver.Feed(b);
    return error.ok();
  });
  receiver.set_point_hook(nullptr);
  if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
  if (!error.ok()) {
    ctx.ShowMessage(kCaption, error.Message());
    return Step::kFailed;
  }
  // Without its end line the flight was cut off: a dead line or silence.
  if (end == flytec::ReceiveEnd::kReadError || !ended) {
    ctx.ShowMessage(kCaption, "E203 COM port read error");
    return Step::kFailed;
  }

  const auto points = static_cast<int64_t>(receiver.points().size());
  ctx.Progress("% points received", points);
  if (points == 0) {
    ctx.ShowMessage(kCaption, "No points detected", MessageIcon::kWarning);
    return Step::kFailed;
  }
  if (receiver.loggerId().empty()) {
    ctx.ShowMessage(kCaption, "Bad or missing A-record", MessageIcon::kWarning);
    return Step::kFailed;
  }
  out.raw.text = std::move(raw);
  out.raw.flightTime = receiver.startTime();
  out.raw.manufacturer = receiver.manufacturer();
  out.raw.loggerSerial = receiver.loggerId();
  out.log.points = receiver.TakePoints();
  code = receiver.gRecords() > 0 ? 1 : 0;
  if (code == 0) ctx.ShowMessage(kCaption, "No G-records found", MessageIcon::kWarning);
  return Step::kOk;
}

TransferResult DsxReadTrackLog(TransferContext& ctx, const DsxTiming& timing) {
  try {
    Step s = DsxConnect(ctx, timing);
    if (s == Step::kOk) ctx.Product("DSX");
    std::vector<DsxFlight> flights;
    if (s == Step::kOk) s = DsxReadFlightList(ctx, timing, flights);
    DsxFlight chosen;
    if (s == Step::kOk) s = DsxSelectFlight(ctx, flights, chosen);
    TrackLogPayload payload;
    int32_t code = 0;
    if (s == Step::kOk) s = DsxDownloadFlight(ctx, timing, chosen, payload, code);
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();

    payload.log.source = TrackLogSource::kDsx;
    payload.log.hasBaroHeight = true;
    payload.log.sourceProtocol = ctx.protocol();
    payload.log.instrumentText = "DSX";
    payload.log.modelName = "DSX";
    payload.log.identification = "DSX";
    // The recorder names no pilot IDs with its flights.
    payload.log.flightCompId = -1;
    payload.log.flightCivlId = -1;
    return TransferResult::Track(std::move(payload), code);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E201 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::dsx
