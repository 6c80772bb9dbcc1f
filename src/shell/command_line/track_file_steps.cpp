// The command line's other track files: OZI_LOG and MPS_LOG save a download
// as an OziExplorer or MapSource file, DAT2KML turns an old .dat file into
// KML without a window.
#include <string>
#include <vector>

#include "formats/file_io.h"
#include "shell/app_state.h"
#include "shell/command_line/command_line_run.h"
#include "shell/commands/track_file_commands.h"

namespace skylode {

namespace {

constexpr char kCaptionSaveTrack[] = "Save track log";
constexpr char kCaptionReadDat[] = "Reading .dat log file";

}  // namespace

void CommandLineRunner::SaveTrackFile() {
  const OtherTrackFormat format =
      run_.operation == CmdOperation::kOziLog ? OtherTrackFormat::kOzi : OtherTrackFormat::kMapSource;
  std::vector<TrackPoint> points = app_.trackLog.points;
  SelectPartsToSave(points);
  if (points.empty()) return Fail("No positions", kCaptionSaveTrack);
  const auto path = ReplaceDate(run_.fileName, points.front().time);
  if (!path || path->size() >= kCmdFileNameMax) return Fail("Too long file name", kCaptionSaveTrack);
  const std::optional<std::string> bytes = BuildOtherTrackFile(format, points, app_.trackLog.hasBaroHeight);
  if (!bytes) return Fail("Program error", kCaptionSaveTrack);
  Status written = WriteFileAtomically(*path, *bytes, run_.overwrite ? WriteMode::kReplace : WriteMode::kCreateNew);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    if (!ConfirmReplace(*path, kCaptionSaveTrack)) return;
    written = WriteFileAtomically(*path, *bytes, WriteMode::kReplace);
  }
  if (!written.ok()) {
    const Error& e = written.error();
    return Fail(FileAndReason(e), e.kind == ErrorKind::kCannotCreate ? "File creation error" : "File write error");
  }
  app_.trackLog.saved = true;
  const std::string text = std::to_string(points.size()) + " positions written";
  app_.ui().SetStatusLine(text);
  Notify(text);
  Report("Saved " + *path + ": " + text);
  Report(FlightSummary(points));
}

std::optional<FileMessage> ReadDatFile(const std::string& base, std::vector<TrackPoint>& points) {
  if (base.size() > 257) return FileMessage{kCaptionReadDat, "File name too long"};
  Result<std::string> file = ReadWholeFile(base + ".dat");
  if (!file.ok()) {
    const Error& e = file.error();
    switch (e.kind) {
      case ErrorKind::kCannotOpen: return FileMessage{"Error opening .dat Log File", FileAndReason(e)};
      case ErrorKind::kEmpty: return FileMessage{kCaptionReadDat, "File is empty"};
      case ErrorKind::kNoMemory:
      case ErrorKind::kTooLarge: return FileMessage{kCaptionReadDat, "Memory allocation error"};
      default: return FileMessage{kCaptionReadDat, ".dat track log file read error: " + e.SystemText()};
    }
  }
  const auto* data = reinterpret_cast<const uint8_t*>(file->data());
  Result<std::vector<TrackPoint>> read = ReadDatTrack(std::span<const uint8_t>(data, file->size()));
  if (!read.ok()) return FileMessage{std::string(OtherTrackReadCaption(OtherTrackFormat::kDat)), read.error().text};
  points = std::move(*read);
  return std::nullopt;
}

int ConvertDatToKml(const CmdRun& run, const SettingsStore& settings, std::ostream& report, std::ostream& errors) {
  const auto say = [&errors](const FileMessage& m) {
    errors << PrintableText(m.caption) << ": " << PrintableText(m.text) << '\n';
  };
  std::string base = run.fileName;
  if (HasExtension(base, ".dat")) base.resize(base.size() - 4);
  std::vector<TrackPoint> points;
  if (const auto failure = ReadDatFile(base, points)) {
    say(*failure);
    return 1;
  }
  GoogleEarthTrackRequest request;
  request.hashWanted = true;
  request.utcFlag = true;
  request.overwrite = run.overwrite;
  request.loopFlightGap = static_cast<uint32_t>(settings.Number(SettingId::kLoopFlightGap));
  const std::string target = base + ".kml";
  if (const auto failure = WriteGoogleEarthTrack(target, points, request)) {
    say(*failure);
    return 1;
  }
  report << PrintableText("Saved " + target) << ": " << points.size() << " positions written\n"
         << FlightSummary(points) << '\n';
  return 0;
}

}  // namespace skylode
