#include "shell/commands/file_messages.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "formats/igc_names.h"
#include "formats/kml_reader.h"
#include "shell/app_state.h"

namespace skylode {

namespace {

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The program's message as caption over the file and the system's reason.
FileMessage SystemFailure(std::string message, const Error& error) {
  return {std::move(message), FileAndReason(error), BoxIcon::kInformation};
}

}  // namespace

std::string FileAndReason(const Error& error) {
  if (error.osText.empty() || error.path.empty()) return error.SystemText();
  return error.path + ": " + error.osText;
}

std::string PrintableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

std::string ExistsNotReplacedText(const std::string& path) {
  return path + " exists, not replaced; use /OVERWRITE";
}

void ShowFileMessage(AppState& app, const FileMessage& message) {
  app.ShowMessage(Caption{message.caption}, message.text, message.icon);
}

std::string IgcPositionsReadStatus(size_t count) {
  return std::to_string(count) + " positions read (Signature not ok or ignored)";
}

std::optional<FileMessage> IgcReadWarning(std::string_view warning) {
  if (warning.empty()) return std::nullopt;
  return FileMessage{kIgcReadCaption, std::string(warning), BoxIcon::kWarning};
}

std::string IgcPositionsWrittenStatus(size_t count) { return std::to_string(count) + " positions written"; }

FileMessage IgcSaveFailure(const Error& error, bool rawLog) {
  switch (error.kind) {
    case ErrorKind::kNothingToWrite:
      return rawLog ? FileMessage{kRawIgcSaveCaption, "No raw IGC log stored"}
                    : FileMessage{kIgcSaveCaption, "No position(s) selected"};
    case ErrorKind::kNoMemory: return {"Encoding .igc file", "Memory allocation error"};
    case ErrorKind::kCannotCreate:
    case ErrorKind::kCannotOpen: return SystemFailure("Error opening file", error);
    default: return SystemFailure("File write error", error);
  }
}

FileMessage IgcReadFailure(const Error& error) {
  // The system's reason captioned with the program's message; without one,
  // the message under the reader's caption.
  auto withSystemText = [&error](std::string message) {
    if (error.osText.empty()) return FileMessage{kIgcReadCaption, std::move(message)};
    return FileMessage{std::move(message), error.osText};
  };
  switch (error.kind) {
    case ErrorKind::kNameTooLong: return {kIgcReadCaption, "File name too long"};
    case ErrorKind::kEmpty: return {kIgcReadCaption, "File is empty"};
    case ErrorKind::kTooLarge:
    case ErrorKind::kNoMemory: return {kIgcReadCaption, "Memory allocation error"};
    case ErrorKind::kReadError: return withSystemText("IGC track log file read error");
    default:
      if (error.isFileError()) return withSystemText("Error opening file");
      return {kIgcReadCaption, error.text.empty() ? error.Describe() : error.text};
  }
}

FileMessage IgcVerifyMessage(const Result<IgcVerifyOutcome>& checked) {
  if (checked.ok()) {
    switch (*checked) {
      case IgcVerifyOutcome::kPassed: return {"Security check", "Security check PASSED", BoxIcon::kNone};
      case IgcVerifyOutcome::kNoSecurityRecord: return {"Security check", "No security record", BoxIcon::kNone};
      case IgcVerifyOutcome::kFailed: break;
    }
    return {"Security check", "Security check FAILED", BoxIcon::kError};
  }
  const Error& error = checked.error();
  std::string message;
  switch (error.kind) {
    case ErrorKind::kEmpty: return {kCaptionReadingTrackFile, "File is empty"};
    case ErrorKind::kTooLarge: message = "File buffer memory allocation"; break;
    case ErrorKind::kReadError: message = "Track log file read error"; break;
    default: message = "Error opening track log file"; break;
  }
  if (!error.osText.empty()) return {message, error.osText, BoxIcon::kInformation};
  return {message, message};
}

std::string KmlTrackStatusText(const KmlTrack& track) {
  return std::to_string(track.points.size()) +
         (track.signatureValid ? " positions read (Signature ok)" : " positions read (Signature not ok or ignored)");
}

std::string KmlFolderFailureText(const Error& error) {
  return error.kind == ErrorKind::kNoMemory ? "Memory allocation error" : "Too few track positions";
}

std::string KmlTrackLimitText() { return "Number of tracks limited to " + std::to_string(kKmlTrackLimit); }

std::string AerodiarySavedText(bool signatureValid) {
  return signatureValid ? "Track saved (Signature OK)" : "Track saved (NO signature)";
}

std::string WaypointExistsQuestion(const Waypoint& existing) {
  return "Waypoint " + existing.id + " already exists, overwrite ?";
}

FileMessage TrackFileReadFailure(const Error& error) {
  if (error.kind == ErrorKind::kEmpty) return {kCaptionReadingTrackFile, "File is empty"};
  const char* caption =
      error.kind == ErrorKind::kCannotOpen ? "Error opening track log file" : "Track log file read error";
  return {caption, error.SystemText(), BoxIcon::kInformation};
}

IgcFlightNumberCheck CheckIgcFlightNumber(std::string_view typed) {
  IgcFlightNumberCheck r;
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  size_t b = 0, e = typed.size();
  while (b < e && isBlank(typed[b])) ++b;
  while (e > b && isBlank(typed[e - 1])) --e;
  if (b == e) {
    r.error = "Missing flight number";
    return r;
  }
  std::string_view t = typed.substr(b, e - b);
  bool negative = false;
  if (t.front() == '+' || t.front() == '-') {
    negative = t.front() == '-';
    t.remove_prefix(1);
    while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
  }
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ptr != t.data() + t.size() || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    r.error = "Bad flight number input";
    return r;
  }
  if (negative) v = -v;
  if (ec == std::errc::result_out_of_range || v < kIgcFlightNumberMin || v > kIgcFlightNumberMax) {
    r.error = "Flight number out of range";
    return r;
  }
  r.flight = static_cast<int>(v);
  return r;
}

std::optional<std::string> CheckIgcSaveParameters(std::string_view pilot, std::string_view flightNumber,
                                                  std::string_view serial) {
  if (pilot.empty()) return "Missing pilot name";
  if (auto f = CheckIgcFlightNumber(flightNumber); f.error) return f.error;
  if (serial.empty()) return "Missing FR serial number";
  if (serial.size() < 3) return "FR serial number string too short";
  for (char c : serial)
    if (!IsAlnum(c)) return "FR serial number not alpha-numeric";
  return std::nullopt;
}

FileMessage WaypointFileReadFailure(const Error& error) {
  switch (error.kind) {
    case ErrorKind::kEmpty: return {kReadWaypointsCaption, "File is empty"};
    case ErrorKind::kNoMemory:
    case ErrorKind::kTooLarge: return {"File buffer memory allocation", error.SystemText(), BoxIcon::kInformation};
    case ErrorKind::kCannotOpen: return {"Error opening waypoint file", error.SystemText(), BoxIcon::kInformation};
    default: return {"Waypoint file read error", error.SystemText(), BoxIcon::kInformation};
  }
}

FileMessage WaypointDecodeFailure(const Error& error, WaypointFileKind kind) {
  const char* caption = "Decoding waypoint file";
  if (kind == WaypointFileKind::kWinPilot) caption = "Decoding WinPilot file";
  if (kind == WaypointFileKind::kMapSource) caption = "Decoding MapSource file";
  if (kind == WaypointFileKind::kGpx || kind == WaypointFileKind::kKml) caption = "Parsing waypoint file";
  return {caption, error.text.empty() ? error.Describe() : error.text};
}

FileMessage WaypointSaveFailure(const Error& error, std::string_view caption) {
  if (error.kind == ErrorKind::kNoMemory) return {std::string(caption), "Memory allocation error"};
  if (error.kind == ErrorKind::kCannotCreate || error.kind == ErrorKind::kExists)
    return {"Error opening file", error.SystemText(), BoxIcon::kInformation};
  std::string text = "File write error";
  if (!error.osText.empty()) text += ": " + error.osText;
  return {std::string(caption), std::move(text)};
}

}  // namespace skylode
