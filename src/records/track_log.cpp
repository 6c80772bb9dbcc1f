#include "records/track_log.h"

namespace skylode {

TimeOrderResult CheckTimeOrder(const TrackPoint* points, size_t count) {
  TimeOrderResult r;
  if (count == 0) return r;
  uint32_t maxTime = points[0].time;
  for (size_t i = 1; i < count; ++i) {
    if (points[i].time < maxTime) {
      if (r.badPoints == 0) r.firstBadIndex = static_cast<int32_t>(i);
      ++r.badPoints;
    } else {
      maxTime = points[i].time;
    }
  }
  return r;
}

}  // namespace skylode

namespace skylode {

void DetachFromInstrument(TrackLog& log) {
  log.source = TrackLogSource::kFile;
  log.instrumentText.clear();
  log.gRecordValid = false;
}

void ClearTrackLog(TrackLog& log, RawIgcBuffer& raw) {
  log.points.clear();
  log.points.shrink_to_fit();
  log.extraData.clear();
  log.flightCompId = -1;
  log.flightCivlId = -1;
  log.gRecordValid = false;
  log.saved = false;
  log.hasBaroHeight = false;
  raw.clear();
}

}  // namespace skylode
