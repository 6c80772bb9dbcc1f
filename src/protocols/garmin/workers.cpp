#include "protocols/garmin/transfers.h"

namespace skylode::garmin {
namespace {

// What the dispatcher gets for a step that did not succeed: its failure has
// already been shown.
TransferResult FromStatus(const Status& s) {
  if (s.ok()) return TransferResult::Done();
  return s.cancelled() ? TransferResult::Cancelled() : TransferResult::Failure();
}

}  // namespace

TransferResult GarminReadWaypoints(TransferContext& ctx, GarminTimeouts timeouts) {
  GarminSession s(ctx, timeouts);
  if (Status o = s.ReadProductData(); !o.ok()) return FromStatus(o);
  WaypointList list;
  if (Status o = GarminDownloadWaypoints(s, WaypointScanMode::kList, &list); !o.ok()) return FromStatus(o);
  TransferResult r = TransferResult::Waypoints(std::move(list));
  // The shell keeps the unit's description as the source of the waypoints.
  r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

TransferResult GarminReadTrackLog(TransferContext& ctx, GarminTimeouts timeouts) {
  GarminSession s(ctx, timeouts);
  if (Status o = s.ReadProductData(); !o.ok()) return FromStatus(o);
  // In competition mode the pilot is identified from the unit's waypoints
  // before its track comes in; a unit without waypoints has no IDs to give.
  if (ctx.settings().competitionMode && s.protocols().waypointProtocol != 0) {
    if (Status o = GarminDownloadWaypoints(s, WaypointScanMode::kCompetition, nullptr); !o.ok()) return FromStatus(o);
  }
  TrackLogPayload payload;
  if (Status o = GarminDownloadTrackLog(s, payload.log); !o.ok()) return FromStatus(o);
  return TransferResult::Track(std::move(payload));
}

TransferResult GarminSendWaypoints(TransferContext& ctx, GarminTimeouts timeouts) {
  WaypointList list;
  if (auto* in = std::get_if<WaypointList>(&ctx.input())) list = *in;
  GarminSession s(ctx, timeouts);
  if (Status o = s.ReadProductData(); !o.ok()) return FromStatus(o);
  TransferResult r = FromStatus(GarminUploadWaypoints(s, list));
  if (r.succeeded()) r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

TransferResult GarminSendPointsAsLog(TransferContext& ctx, GarminTimeouts timeouts) {
  std::vector<Waypoint> points;
  if (auto* in = std::get_if<WaypointList>(&ctx.input())) points = in->items;
  GarminSession s(ctx, timeouts);
  if (Status o = s.ReadProductData(); !o.ok()) return FromStatus(o);
  TransferResult r = FromStatus(GarminUploadTrackLog(s, points, 0, ""));
  if (r.succeeded()) r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

}  // namespace skylode::garmin
