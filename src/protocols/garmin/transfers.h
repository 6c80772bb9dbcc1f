// The Garmin operations on top of an identified unit, and the workers that
// run them as transfers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/garmin/session.h"
#include "records/error.h"

namespace skylode::garmin {

enum class WaypointScanMode {
  kList,         // fill a waypoint list
  kCompetition,  // hand each waypoint to the pilot identification
};

// Each runs after ReadProductData. A failure has been shown under the
// operation's caption when it is returned; a cancelled one is not shown.
Status GarminDownloadWaypoints(GarminSession& s, WaypointScanMode mode, WaypointList* out);
Status GarminDownloadTrackLog(GarminSession& s, TrackLog& out);
Status GarminUploadWaypoints(GarminSession& s, const WaypointList& list);
// Sends only the positions of `points` as one track log. With a CTR number
// (1 and up) the texts name the airspace; `name` (at most 50 characters)
// names the track, else the first point's identifier does.
Status GarminUploadTrackLog(GarminSession& s, const std::vector<Waypoint>& points, int ctrNumber,
                            const std::string& name);

// The workers of the DeviceAccessTable.
TransferResult GarminReadWaypoints(TransferContext& ctx, GarminTimeouts timeouts = {});
TransferResult GarminReadTrackLog(TransferContext& ctx, GarminTimeouts timeouts = {});
TransferResult GarminSendWaypoints(TransferContext& ctx, GarminTimeouts timeouts = {});
TransferResult GarminSendPointsAsLog(TransferContext& ctx, GarminTimeouts timeouts = {});
// Every selected airspace of the CtrList handed in, each as a track log of
// its outline, numbered from 1 in list order.
TransferResult GarminSendCtrsAsLogs(TransferContext& ctx, GarminTimeouts timeouts = {});

}  // namespace skylode::garmin
