#include "shell/commands/track_file_questions.h"

#include <cstdio>

#include "formats/text_output_buffer.h"
#include "shell/commands/file_messages.h"

namespace skylode {

namespace {

// The program's message as caption, the file and the system's reason below.
FileMessage Failure(const char* message, const Error& e) { return {message, FileAndReason(e)}; }

// A failed write of the Aerodiary file, by the way it was written.
FileMessage AerodiaryWriteFailure(const Error& e, AerodiaryWrite how) {
  constexpr char kLogbookCaption[] = "Save Logbook file";
  switch (how) {
    case AerodiaryWrite::kCreateNew:
      return Failure(e.kind == ErrorKind::kCannotCreate ? "Error opening file" : "File write error", e);
    case AerodiaryWrite::kOverwrite: return Failure("Error opening file", e);
    case AerodiaryWrite::kAppend: break;
  }
  switch (e.kind) {
    case ErrorKind::kEmpty: return {kLogbookCaption, "Existing file is empty"};
    case ErrorKind::kReadError: return Failure("Error reading existing file", e);
    case ErrorKind::kCannotOpen:
    case ErrorKind::kTooLarge: return Failure("Error opening existing file", e);
    case ErrorKind::kBadContent: return {kLogbookCaption, "Error(s) parsing existing file"};
    default: return Failure("Error opening new file", e);
  }
}

}  // namespace

bool OfferTimeOrderRepair(AppState& app, std::vector<TrackPoint>& points) {
  const TimeOrderResult order = CheckTimeOrder(points);
  if (order.badPoints == 0) return false;
  char text[96];
  std::snprintf(text, sizeof text, "One or more positions (the first at pos. %d) go backwards in time. Remove ?",
                order.firstBadIndex + 1);
  if (app.ShowMessage(Caption{kCaptionReadTrackFile}, text, BoxIcon::kQuestion, MessageButtons::kYesNo,
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

ContestScores ScoreForSavedFile(std::span<const TrackPoint> points) {
  constexpr double kSavedFileScoreSeconds = 10;
  ContestOptions options;
  options.timeLimitSeconds = kSavedFileScoreSeconds;
  return ScoreContests(points, options);
}

SaveEnd SaveAerodiaryFile(AppState& app, const std::string& path, const FlightStatistics& stats,
                          std::string_view description, const KmlFolderOptions& options,
                          const std::function<ExistingFileChoice()>& askExisting) {
  TextOutputBuffer folder(10000);
  if (const Status built = BuildKmlTrackFolder(folder, stats, description, options); !built.ok()) {
    app.ShowMessage(Caption{"Make GoogleEarth track folder"}, KmlFolderFailureText(built.error()));
    return SaveEnd::kFailed;
  }
  AerodiaryWrite how = AerodiaryWrite::kCreateNew;
  Status written = WriteAerodiaryFile(path, folder.text(), how);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    const ExistingFileChoice choice = askExisting ? askExisting() : ExistingFileChoice::kCancel;
    if (choice == ExistingFileChoice::kCancel) return SaveEnd::kCancelled;
    how = choice == ExistingFileChoice::kOverwrite ? AerodiaryWrite::kOverwrite : AerodiaryWrite::kAppend;
    written = WriteAerodiaryFile(path, folder.text(), how);
  }
  if (written.ok()) return SaveEnd::kSaved;
  ShowFileMessage(app, AerodiaryWriteFailure(written.error(), how));
  return SaveEnd::kFailed;
}

}  // namespace skylode
