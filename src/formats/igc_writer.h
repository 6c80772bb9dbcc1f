// IGC flight recorder text from track points: A, H, optional I, B, two L
// records and, for logs straight from an instrument, the G security record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/file_io.h"
#include "records/calendar.h"
#include "records/error.h"
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

struct IgcText {
  std::string text;          // the whole file, "\r\n" line ends
  bool sourceValid = false;  // gRecordValid: a G record was possible
  bool gRecordWritten = false;
};

// Builds the whole IGC file in memory. An empty point list is an error
// (kNothingToWrite), since the date record and the file name come from the
// first point; running out of memory is kNoMemory.
Result<IgcText> BuildIgcText(const TrackPoint* points, size_t count, const IgcWriteOptions& options);
inline Result<IgcText> BuildIgcText(const std::vector<TrackPoint>& points, const IgcWriteOptions& options) {
  return BuildIgcText(points.data(), points.size(), options);
}

// One B record with its line end, as BuildIgcText writes it.
std::string FormatIgcBRecord(const TrackPoint& point, bool withEnl);

// What the IGC save dialog collected, checked by the shell.
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

struct IgcSaved {
  size_t positionsWritten = 0;
  // The G record was wanted and the log did not come unaltered from an
  // instrument, so none was written.
  bool gRecordSkipped = false;
};

// Saves the selected points of `log` at `path`. The text is built before the
// file is touched and goes through a temporary file, so a failure leaves any
// file already at `path` as it was. With WriteMode::kCreateNew an existing
// file is left alone and the error is kExists. Errors of the text itself:
// kNothingToWrite without points, kNoMemory.
Result<IgcSaved> SaveIgcTrackLog(const std::vector<TrackPoint>& selected, const TrackLog& log,
                                 const IgcSaveParameters& parameters, const std::string& path, WriteMode mode);

// Saves the instrument's own IGC text byte for byte; kNothingToWrite when
// there is none.
Status SaveRawIgcLog(const RawIgcBuffer& raw, const std::string& path, WriteMode mode);

}  // namespace skylode
