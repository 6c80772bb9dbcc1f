#include "analysis/track_split.h"

#include <algorithm>
#include <cstdio>

#include "records/calendar.h"

namespace skylode {

std::vector<TrackPart> CutTrackParts(const TrackPoint* points, size_t count, uint32_t trackGapTime) {
  std::vector<TrackPart> parts;
  if (count == 0) return parts;
  parts.push_back({0, 0, true});
  uint32_t lastTime = points[0].time;
  for (size_t i = 1; i < count; ++i) {
    // Points that do not move time forward (repeats, steps back) are kept in
    // the running part and neither cut nor reset the clock.
    if (points[i].time <= lastTime) continue;
    const bool gap = points[i].time - lastTime > trackGapTime;
    const bool segment = (points[i].flags & kTrackPointStartsSegment) != 0;
    lastTime = points[i].time;
    if (!gap && !segment) continue;
    parts.back().last = static_cast<int32_t>(i - 1);
    parts.push_back({static_cast<int32_t>(i), 0, true});
    if (parts.size() == kMaxTrackParts) break;
  }
  parts.back().last = static_cast<int32_t>(count - 1);
  return parts;
}

size_t SelectTrackParts(TrackPoint* points, size_t count, uint32_t trackGapTime, const TrackPartChooser& choose) {
  if (count < 2 || !choose) return count;
  std::vector<TrackPart> parts = CutTrackParts(points, count, trackGapTime);
  if (parts.size() < 2) return count;
  for (TrackPart& p : parts) p.selected = false;
  if (!choose(parts)) return 0;

  // Parts are in ascending order and never overlap, so moving each kept part
  // forward never overwrites a point not yet moved.
  size_t kept = 0;
  for (const TrackPart& p : parts) {
    if (!p.selected) continue;
    const size_t n = static_cast<size_t>(p.last - p.first + 1);
    if (kept != static_cast<size_t>(p.first)) std::copy(points + p.first, points + p.first + n, points + kept);
    kept += n;
  }
  return kept;
}

size_t SelectTrackParts(std::vector<TrackPoint>& points, uint32_t trackGapTime, const TrackPartChooser& choose) {
  const size_t kept = SelectTrackParts(points.data(), points.size(), trackGapTime, choose);
  points.resize(kept);
  return kept;
}

std::string FormatTrackPartRow(const TrackPoint* points, const TrackPart& part) {
  const CalendarTime t = TimeToCalendar(points[part.first].time);
  const uint32_t d = points[part.last].time - points[part.first].time;
  char text[96];
  std::snprintf(text, sizeof text, "%02d-%02d-%02d   %02d:%02d:%02d   %u:%02u:%02u", t.day, t.month, t.year, t.hour,
                t.minute, t.second, d / 3600, d / 60 % 60, d % 60);
  return text;
}

std::string SplitDialogTitle(const std::string& portName, const std::string& modelName) {
  if (modelName.empty()) return "Split track (" + portName + ")";
  return "Split track (" + portName + ", " + modelName + ")";
}

}  // namespace skylode
