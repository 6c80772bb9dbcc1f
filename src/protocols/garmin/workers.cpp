#include "protocols/garmin/transfers.h"

namespace skylode::garmin {
namespace {

TransferResult FromOutcome(TransferOutcome o) {
  switch (o) {
    case TransferOutcome::kSuccess: return TransferResult::Done();
    case TransferOutcome::kCancelled: return TransferResult::Cancelled();
    case TransferOutcome::kFailure: break;
  }
  return TransferResult::Failure();
}

}  // namespace

TransferResult GarminReadWaypoints(TransferContext& ctx, GarminTimeouts timeouts) {
  GarminSession s(ctx, timeouts);
  if (auto o = s.ReadProductData(); o != TransferOutcome::kSuccess) return FromOutcome(o);
  WaypointList list;
  if (auto o = GarminDownloadWaypoints(s, WaypointScanMode::kList, &list); o != TransferOutcome::kSuccess)
    return FromOutcome(o);
  TransferResult r = TransferResult::Waypoints(std::move(list));
  // The shell keeps the unit's description as the source of the waypoints.
  r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

TransferResult GarminReadTrackLog(TransferContext& ctx, GarminTimeouts timeouts) {
  GarminSession s(ctx, timeouts);
  if (auto o = s.ReadProductData(); o != TransferOutcome::kSuccess) return FromOutcome(o);
  // In competition mode the pilot is identified from the unit's waypoints
  // before its track comes in; a unit without waypoints has no IDs to give.
  if (ctx.settings().competitionMode && s.protocols().waypointProtocol != 0) {
    if (auto o = GarminDownloadWaypoints(s, WaypointScanMode::kCompetition, nullptr); o != TransferOutcome::kSuccess)
      return FromOutcome(o);
  }
  TrackLogPayload payload;
  if (auto o = GarminDownloadTrackLog(s, payload.log); o != TransferOutcome::kSuccess) return FromOutcome(o);
  return TransferResult::Track(std::move(payload));
}

TransferResult GarminSendWaypoints(TransferContext& ctx, GarminTimeouts timeouts) {
  WaypointList list;
  if (auto* in = std::get_if<WaypointList>(&ctx.input())) list = *in;
  GarminSession s(ctx, timeouts);
  if (auto o = s.ReadProductData(); o != TransferOutcome::kSuccess) return FromOutcome(o);
  TransferResult r = FromOutcome(GarminUploadWaypoints(s, list));
  if (r.succeeded()) r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

TransferResult GarminSendPointsAsLog(TransferContext& ctx, GarminTimeouts timeouts) {
  std::vector<Waypoint> points;
  if (auto* in = std::get_if<WaypointList>(&ctx.input())) points = in->items;
  GarminSession s(ctx, timeouts);
  if (auto o = s.ReadProductData(); o != TransferOutcome::kSuccess) return FromOutcome(o);
  TransferResult r = FromOutcome(GarminUploadTrackLog(s, points, 0, ""));
  if (r.succeeded()) r.kind = static_cast<int32_t>(TrackLogSource::kGarmin);
  return r;
}

}  // namespace skylode::garmin
