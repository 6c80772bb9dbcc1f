#include "protocols/garmin/transfers.h"

#include "formats/ctr_outline.h"

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
  // On USB the pilot may switch the scan off.
  const bool scan = !s.usb() || ctx.settings().usbCompetitionCheckWaypoints;
  if (ctx.settings().competitionMode && scan && s.protocols().waypointProtocol != 0) {
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

TransferResult GarminSendCtrsAsLogs(TransferContext& ctx, GarminTimeouts timeouts) {
  constexpr char kCaption[] = "Upload CTR";
  CtrList list;
  if (auto* in = std::get_if<CtrList>(&ctx.input())) list = std::move(*in);
  bool any = false;
  for (const CtrArea& a : list.areas) any = any || (a.selected && !a.segments.empty());
  if (!any) {
    ctx.ShowMessage(kCaption, "No CTR(s) selected");
    return TransferResult::Failure();
  }
  GarminSession s(ctx, timeouts);
  if (Status o = s.ReadProductData(); !o.ok()) return FromStatus(o);
  int firstWithoutPoints = 0;
  for (size_t k = 0; k < list.areas.size(); ++k) {
    const CtrArea& area = list.areas[k];
    if (!area.selected || area.segments.empty()) continue;
    const int number = static_cast<int>(k) + 1;
    Result<std::vector<Waypoint>> points = ExpandCtrToWaypoints(area, number - 1, 0);
    if (!points.ok() || points->empty()) {
      if (firstWithoutPoints == 0) firstWithoutPoints = number;
      continue;
    }
    // One airspace that does not arrive fails the upload, whatever follows.
    if (Status o = GarminUploadTrackLog(s, *points, number, area.name.substr(0, 50)); !o.ok()) return FromStatus(o);
  }
  if (firstWithoutPoints != 0) {
    ctx.ShowMessage(kCaption, FormatProgress("No points for CTR % sent", firstWithoutPoints));
    return TransferResult::Failure();
  }
  return TransferResult::Done();
}

}  // namespace skylode::garmin
