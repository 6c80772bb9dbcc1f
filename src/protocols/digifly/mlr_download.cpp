#include "protocols/digifly/mlr_download.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "protocols/digifly/mlr_frames.h"
#include "records/calendar.h"

namespace skylode::mlr {

namespace {

struct Texts {
  std::string_view caption, allocation, requesting, writeError, readError, timeout;
};

constexpr Texts kTrackTexts{"Read GPS track log", "E200 Track log memory allocation", "Requesting track log",
                            "E201 COM port write error", "E202 COM port read error", "E210 Track log data timeout"};
constexpr Texts kWaypointTexts{"Read GPS waypoints", "E300 Waypoint memory allocation", "Requesting waypoints",
                               "E301 COM port write error", "E302 COM port read error",
                               "E310 Waypoint data timeout"};

// Runs one fast download after the product data. Null decoder result on
// failure (shown, stop sent) or abort.
struct Download {
  TransferOutcome outcome = TransferOutcome::kFailure;
  FrameDecoder decoder;
};

Download FastDownload(TransferContext& ctx, const MlrTiming& timing, bool waypoints) {
  const Texts& t = waypoints ? kWaypointTexts : kTrackTexts;
  Download d{TransferOutcome::kFailure, FrameDecoder(waypoints)};
  const auto fail = [&](std::string_view text) {
    ctx.ShowMessage(t.caption, text);
    SendStop(ctx, timing);
    return std::move(d);
  };
  const auto aborted = [&] {
    ctx.Status("Transfer aborted");
    SendStop(ctx, timing);
    d.outcome = TransferOutcome::kCancelled;
    return std::move(d);
  };
  if (waypoints) {
    d.decoder.waypoints().reserve(20);
  } else {
    d.decoder.points().reserve(100);
  }
  ctx.Status(t.requesting);
  if (!SendText(ctx, waypoints ? kWaypointCommand : kTrackCommand)) {
    if (ctx.aborted()) return aborted();
    return fail(t.writeError);
  }
  // Drops the tail of the sentence cycle that ran before the command.
  if (!ctx.Pause(timing.afterCommand)) return aborted();
  ctx.port().Purge();

  const uint32_t downloadTime = CurrentTime();
  FrameParser parser(waypoints);
  int frameError = 0;
  FrameDecoder::Step step = FrameDecoder::Step::kContinue;
  const ListenEnd end = Listen(ctx, timing.dataSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r == 0) return true;
    if (r < 0) {
      frameError = -r;
      return false;
    }
    const auto kind = static_cast<FrameKind>(r);
    if (kind == FrameKind::kStart || d.decoder.started()) ctx.Progress("Sentence number % received", parser.sequence());
    step = d.decoder.Decode(kind, parser, downloadTime);
    if (step != FrameDecoder::Step::kContinue) return false;
    if (d.decoder.added() > 0) {
      if (waypoints) {
        const auto& list = d.decoder.waypoints();
        for (size_t k = list.size() - d.decoder.added(); k < list.size(); ++k) {
          if (ctx.settings().competitionMode) ctx.IdentifyPilot(list[k]);
        }
        ctx.NotifyWaypointCount(static_cast<int32_t>(list.size()));
      } else {
        const auto& points = d.decoder.points();
        for (size_t k = points.size() - d.decoder.added(); k < points.size(); ++k) ctx.NotifyPosition(points[k]);
        ctx.Notify(FormatProgress("Progress %/?", static_cast<int64_t>(points.size())));
      }
    }
    return true;
  });
  if (end == ListenEnd::kAborted || ctx.aborted()) return aborted();
  if (frameError != 0) return fail(FormatErrorText(waypoints, frameError));
  if (step == FrameDecoder::Step::kError) return fail(d.decoder.error());
  if (end == ListenEnd::kReadError) return fail(t.readError);
  if (end == ListenEnd::kSilence) return fail(t.timeout);
  const size_t n = waypoints ? d.decoder.waypoints().size() : d.decoder.points().size();
  ctx.Progress("% points received", static_cast<int64_t>(n));
  d.outcome = TransferOutcome::kSuccess;
  return d;
}

TransferResult Run(TransferContext& ctx, const MlrTiming& timing, bool waypoints) {
  try {
    MlrProduct product;
    if (const Step step = MlrReadProductData(ctx, timing, product); step != Step::kOk) return EndedEarly(step);
    // A competition download first reads the waypoints, each handed to the
    // pilot identification as it arrives. A Digifly keeps no ID waypoints.
    if (!waypoints && ctx.settings().competitionMode && product.model != "Digifly") {
      Download scan = FastDownload(ctx, timing, true);
      if (scan.outcome == TransferOutcome::kCancelled) return TransferResult::Cancelled();
      if (scan.outcome != TransferOutcome::kSuccess) return TransferResult::Failure();
    }
    Download d = FastDownload(ctx, timing, waypoints);
    if (d.outcome == TransferOutcome::kCancelled) return TransferResult::Cancelled();
    if (d.outcome != TransferOutcome::kSuccess) return TransferResult::Failure();
    if (waypoints) {
      WaypointList list;
      list.items = std::move(d.decoder.waypoints());
      list.sourceText = product.product;
      return TransferResult::Waypoints(std::move(list));
    }
    TrackLogPayload payload;
    payload.log.points = std::move(d.decoder.points());
    payload.log.source = TrackLogSource::kMlrLeonardo;
    payload.log.hasBaroHeight = false;
    payload.log.sourceProtocol = ctx.protocol();
    payload.log.instrumentText = product.product.substr(0, kInstrumentTextMax);
    payload.log.modelName = product.model;
    payload.log.identification = product.identification;
    return TransferResult::Track(std::move(payload));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage(waypoints ? kWaypointTexts.allocation : kTrackTexts.allocation, std::strerror(ENOMEM));
    if (ctx.hasPort()) SendStop(ctx, timing);
    return TransferResult::Failure();
  }
}

}  // namespace

TransferResult MlrReadTrackLog(TransferContext& ctx, const MlrTiming& timing) { return Run(ctx, timing, false); }
TransferResult MlrReadWaypointsFast(TransferContext& ctx, const MlrTiming& timing) { return Run(ctx, timing, true); }

}  // namespace skylode::mlr
