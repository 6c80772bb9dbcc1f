// IGC flight recorder text from track points: A, H, optional I, B, two L
// records and, for logs straight from an instrument, the G security record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "records/calendar.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"

namespace skylode {

// Our IGC manufacturer code and the one-character form in short file names.
inline constexpr char kIgcManufacturer[] = "XKL";
inline constexpr char kIgcManufacturerChar = 'X';
// 100 x major + minor, printed 4.49 in the L record.
inline constexpr int kIgcProgramVersion = 449;

// Texts of the "HO" header records; any may be empty.
struct IgcHeaderTexts {
  std::string pilot;
  std::string competitionId;
  std::string gliderType;
  std::string gliderId;
  std::string competitionClass;
  std::string site;
};

struct IgcWriteOptions {
  IgcHeaderTexts header;
  std::string instrumentText;  // A-record extension; cut to kInstrumentTextMax
  std::string frSerial;        // three characters, or empty
  CalendarTime downloadTime{};
  bool gRecordValid = false;   // the points came unaltered from an instrument
  bool wantGRecord = false;
  bool addEnl = false;         // I record and an ENL column from the depth
  int programVersion = kIgcProgramVersion;
};

struct IgcBuildResult {
  bool ok = false;
  std::string text;          // the whole file, "\r\n" line ends
  bool sourceValid = false;  // gRecordValid: a G record was possible
  bool gRecordWritten = false;
  std::string error;         // when !ok
};

// Builds the whole IGC file in memory. An empty point list is an error, since
// the date record and the file name come from the first point.
IgcBuildResult BuildIgcText(const TrackPoint* points, size_t count, const IgcWriteOptions& options);
inline IgcBuildResult BuildIgcText(const std::vector<TrackPoint>& points, const IgcWriteOptions& options) {
  return BuildIgcText(points.data(), points.size(), options);
}

// One B record with its line end, as BuildIgcText writes it.
std::string FormatIgcBRecord(const TrackPoint& point, bool withEnl);

// What the IGC save dialog collected. The shell runs CheckIgcSaveParameters
// on it first and asks for the file name.
struct IgcSaveParameters {
  std::string pilot;
  std::string frSerial;
  std::string gliderType;
  std::string gliderId;
  std::string site;
  std::string competitionClass;
  bool wantGRecord = true;
  bool addEnl = false;
};

enum class IgcSaveStatus {
  kSaved,
  kExists,  // nothing written: ask "File already exists, overwrite ?" and call again
  kFailed,
};

struct IgcSaveResult {
  IgcSaveStatus status = IgcSaveStatus::kFailed;
  // For kExists and kFailed: the message and its caption. With a system text,
  // the shell shows that text with `message` as the caption instead.
  std::string message;
  std::string caption;
  std::string systemError;
  size_t positionsWritten = 0;
  // Saved, but the G record was wanted and the log did not come unaltered from
  // an instrument: tell the user (kIgcNoGRecordText, kIgcNoGRecordCaption).
  bool gRecordSkipped = false;
};

// Texts of the IGC save commands and their dialogs.
inline constexpr char kIgcSaveCaption[] = "Write IGC track log file";
inline constexpr char kIgcOnlyOnePositionText[] = "Only one position selected";  // OK/Cancel
inline constexpr char kIgcFormatDialogTitle[] = "IGC File Format";
inline constexpr char kRawIgcDialogTitle[] = "Save IGC track log from GPS";
inline constexpr char kIgcSaveFileTitle[] = "Save track log";
inline constexpr char kIgcFilterName[] = "IGC track log files";
inline constexpr char kIgcExtension[] = ".igc";
inline constexpr char kIgcPositionsWrittenFormat[] = "%d positions written";
inline constexpr char kIgcNoGRecordText[] = "Track log source is not valid for G-record";
inline constexpr char kIgcNoGRecordCaption[] = "Security record NOT included";
inline constexpr char kIgcFileExistsText[] = "File already exists, overwrite ?";
inline constexpr char kIgcFileExistsCaption[] = "File creation";

// Saves the selected points of `log` at `path`. The text is built before the
// file is touched and goes through a temporary file, so a failure leaves any
// file already at `path` as it was. Without `overwrite` an existing file is
// left alone and kExists returned.
IgcSaveResult SaveIgcTrackLog(const std::vector<TrackPoint>& selected, const TrackLog& log,
                              const IgcSaveParameters& parameters, const std::string& path, bool overwrite);

// Saves the instrument's own IGC text byte for byte.
IgcSaveResult SaveRawIgcLog(const RawIgcBuffer& raw, const std::string& path, bool overwrite);

// Status line after a save: "%d positions written".
std::string IgcPositionsWrittenStatus(size_t count);

}  // namespace skylode
