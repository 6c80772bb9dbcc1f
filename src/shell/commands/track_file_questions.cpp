#include "shell/commands/track_file_questions.h"

#include <cstdio>

namespace skylode {

bool OfferTimeOrderRepair(AppState& app, std::vector<TrackPoint>& points) {
  const TimeOrderResult order = CheckTimeOrder(points);
  if (order.badPoints == 0) return false;
  char text[96];
  std::snprintf(text, sizeof text, "One or more positions (the first at pos. %d) go backwards in time. Remove ?",
                order.firstBadIndex + 1);
  if (app.ShowMessage(text, kCaptionReadTrackFile, BoxIcon::kQuestion, MessageButtons::kYesNo,
                      MessageAnswer::kNo) != MessageAnswer::kYes)
    return false;
  std::vector<TrackPoint> kept;
  kept.reserve(points.size());
  uint32_t latest = 0;
  for (const TrackPoint& p : points) {
    if (!kept.empty() && p.time < latest) continue;
    latest = p.time;
    kept.push_back(p);
  }
  points = std::move(kept);
  return true;
}

ExistingFileChoice AskExistingAerodiaryFile(AppState& app, const std::string& path) {
  if (app.commandLineRun() && app.commandLineRun()->overwrite) return ExistingFileChoice::kOverwrite;
  switch (app.ui().AskExistingFile(path)) {
    case ExistingFileAnswer::kAppend: return ExistingFileChoice::kAppend;
    case ExistingFileAnswer::kOverwrite: return ExistingFileChoice::kOverwrite;
    case ExistingFileAnswer::kCancel: break;
  }
  return ExistingFileChoice::kCancel;
}

}  // namespace skylode
