#include "protocols/flytec/waypoint_download.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "protocols/flytec/instrument_text.h"
#include "protocols/flytec/product.h"
#include "protocols/flytec/waypoint_parser.h"
#include "records/calendar.h"

namespace skylode::flytec {

Step FlytecReadWaypointList(TransferContext& ctx, const FlytecTiming& timing, int mode, WaypointList* out) {
  const uint32_t now = CurrentTime();
  WaypointList list;
  list.items.reserve(20);
  ctx.Status("Requesting waypoints");
  if (!SendCommand(ctx, kWaypointListCommand)) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaptionWaypoints, "E304 COM port write error");
    return Step::kFailed;
  }
  WaypointSentenceParser parser;
  int error = 0;
  const ReceiveEnd end = Receive(ctx, timing.waypointSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r < 0) {
      error = -r;
      return false;
    }
    if (r == 1) return true;
    const FlytecWaypoint& w = parser.waypoint();
    if (mode == 1) {
      Waypoint seen = ToWaypoint(w, now);
      seen.name = DecodeInstrumentText(BlankNormalise(w.longName, kWaypointNameMax));
      ctx.IdentifyPilot(seen);
      return true;
    }
    list.items.push_back(ToWaypoint(w, now));
    if (list.items.size() == 1) ctx.Status("Receiving waypoints");
    ctx.NotifyWaypointCount(list.count());
    return true;
  });
  if (end == ReceiveEnd::kAborted) return Aborted(ctx);
  if (error != 0) {
    ctx.ShowMessage(kCaptionWaypoints, FormatProgress("E302 Format error %", error));
    return Step::kFailed;
  }
  // A sentence cut off by silence would drop its waypoint unseen.
  if (end == ReceiveEnd::kReadError || parser.InSentence()) {
    ctx.ShowMessage(kCaptionWaypoints, "E301 COM port read error");
    return Step::kFailed;
  }
  if (mode == 1) return Step::kOk;
  ctx.Progress("% waypoints received", list.count());
  if (list.empty()) return Step::kFailed;
  if (out != nullptr) *out = std::move(list);
  return Step::kOk;
}

TransferResult FlytecReadWaypoints(TransferContext& ctx, const FlytecTiming& timing) {
  try {
    InstrumentInfo info;
    Step s = FlytecReadProductData(ctx, timing, info);
    WaypointList list;
    if (s == Step::kOk) s = FlytecReadWaypointList(ctx, timing, 0, &list);
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();
    return TransferResult::Waypoints(std::move(list), 0);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E303 Waypoint memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::flytec
