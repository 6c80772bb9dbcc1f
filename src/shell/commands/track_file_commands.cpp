#include "shell/commands/track_file_commands.h"

#include <cctype>

#include "formats/file_io.h"
#include "formats/tnc_log.h"
#include "shell/app_state.h"
#include "shell/commands/track_file_questions.h"

namespace skylode {

std::optional<OtherTrackFormat> OtherTrackFormatOf(std::string_view path) {
  struct Row {
    const char* extension;
    OtherTrackFormat format;
  };
  constexpr Row kRows[] = {{".plt", OtherTrackFormat::kOzi},
                           {".dat", OtherTrackFormat::kDat},
                           {".tnc", OtherTrackFormat::kTnc},
                           {".mps", OtherTrackFormat::kMapSource},
                           {".log", OtherTrackFormat::kMagellan},
                           {".csv", OtherTrackFormat::kCsv}};
  // A dialog row names the extension alone.
  const bool bare = path.size() == 4 && path.front() == '.';
  for (const Row& row : kRows)
    if (bare ? HasExtension("x" + std::string(path), row.extension) : HasExtension(path, row.extension))
      return row.format;
  return std::nullopt;
}

std::string_view OtherTrackReadCaption(OtherTrackFormat format) {
  switch (format) {
    case OtherTrackFormat::kCsv: return "Read CSV track log file";
    case OtherTrackFormat::kMapSource: return "Decoding MapSource file";
    case OtherTrackFormat::kTnc: return "Reading Top Navigator Log File";
    default: return "Decoding track log file";
  }
}

OtherTrackReadOutcome ReadOtherTrackFile(const std::string& path, OtherTrackFormat format) {
  OtherTrackReadOutcome out;
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    out.failure = TrackFileReadFailure(file.error());
    return out;
  }
  const std::string_view text = *file;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  Result<std::vector<TrackPoint>> points = Error::Content("");
  bool hasBaroHeight = false;
  switch (format) {
    case OtherTrackFormat::kOzi: points = ReadOziTrack(text); break;
    case OtherTrackFormat::kDat: points = ReadDatTrack(bytes); break;
    case OtherTrackFormat::kMapSource: points = ReadMapSourceTrack(bytes); break;
    case OtherTrackFormat::kMagellan: points = ReadMagellanLog(text); break;
    case OtherTrackFormat::kTnc: {
      Result<TncFileTrack> tnc = ReadTncLogFile(text);
      if (tnc.ok()) {
        hasBaroHeight = tnc->hasBaroHeight;
        points = std::move(tnc->points);
      } else {
        points = std::move(tnc.error());
      }
      break;
    }
    case OtherTrackFormat::kCsv: {
      Result<CsvTrack> csv = ReadCsvTrack(text);
      if (csv.ok()) {
        hasBaroHeight = csv->hasBaroHeight;
        points = std::move(csv->points);
      } else {
        points = std::move(csv.error());
      }
      break;
    }
  }
  if (!points.ok()) {
    const Error& e = points.error();
    out.failure = {std::string(OtherTrackReadCaption(format)), e.text.empty() ? e.Describe() : e.text};
    return out;
  }
  out.read = OtherTrackRead{std::move(*points), hasBaroHeight};
  return out;
}

int OpenOtherTrackLog(AppState& app, const std::string& path, OtherTrackFormat format) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return -1;
  }
  OtherTrackReadOutcome outcome = ReadOtherTrackFile(path, format);
  if (!outcome.read) {
    ShowFileMessage(app, outcome.failure);
    return -1;
  }
  // Asked only once the file is known to be good: a bad file costs nothing.
  if (!app.trackLog.empty() && !app.trackLog.saved &&
      app.ShowMessage(Caption{"Unsaved track log"}, "Continue without saving current track log ?", BoxIcon::kWarning,
                      MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return -1;
  std::vector<TrackPoint> points = std::move(outcome.read->points);
  const size_t count = points.size();
  OfferTimeOrderRepair(app, points);
  ClearTrackLog(app.trackLog, app.rawIgc);
  TrackLog log;
  log.points = std::move(points);
  log.hasBaroHeight = outcome.read->hasBaroHeight;
  app.trackLog = std::move(log);
  app.SetViewMode(ViewMode::kTrackLog, true);
  app.ui().SetStatusLine(std::to_string(count) + " positions read");
  app.ui().SetProductLine(path);
  return 0;
}

std::optional<std::string> BuildOtherTrackFile(OtherTrackFormat format, std::span<const TrackPoint> points,
                                               bool hasBaroHeight) {
  switch (format) {
    case OtherTrackFormat::kOzi: return BuildOziTrack(points);
    case OtherTrackFormat::kCsv: return BuildCsvTrack(points, hasBaroHeight);
    case OtherTrackFormat::kMapSource: {
      const std::vector<uint8_t> bytes = BuildMapSourceTrack(points);
      return std::string(bytes.begin(), bytes.end());
    }
    default: return std::nullopt;
  }
}

}  // namespace skylode
