// Reading IGC text into track points, and checking the G security record of
// the files we wrote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/raw_igc_buffer.h"
#include "records/track_log.h"

namespace skylode {

// Caption of every message the IGC reader gives.
inline constexpr char kIgcReadCaption[] = "Reading IGC log file";

struct IgcParseResult {
  bool ok = false;
  std::vector<TrackPoint> points;  // first one starts a segment
  std::string manufacturer;        // three characters from the A record
  std::string serial;              // three characters, "000" when the A record has none
  std::string error;               // the message to show when !ok
};

// Reads the A, HFDTE and B records; every other record is skipped. Stops at
// the first error, which names the line (counted from 1). A byte-order mark
// that an editor put in front of the A record is passed over.
IgcParseResult ParseIgcText(std::string_view text);

// One B record from the character after the 'B'. Gives 0 and the point's
// position, heights and time of day, or the error number of the first bad field.
struct IgcBRecord {
  uint32_t timeOfDay = 0;  // seconds
  int32_t latitude = 0;    // semicircles
  int32_t longitude = 0;
  int32_t pressureAltitude = 0;  // metres
  int32_t gnssAltitude = 0;      // metres
};
int ParseIgcBRecord(std::string_view afterB, IgcBRecord& out);

// IGC text an instrument delivered, or the user opened: the points plus the
// raw-log record that keeps the text for saving it unchanged. Touches no
// shared state; the caller installs both.
struct AcceptedIgc {
  bool ok = false;
  std::vector<TrackPoint> points;
  RawIgcBuffer raw;
  std::string error;  // shown with kIgcReadCaption
};
AcceptedIgc AcceptInstrumentIgc(std::string_view text);

// The track log made from an opened .igc file: no G-record validity, no
// instrument, times not vouched for as UTC, barometric heights present.
TrackLog MakeIgcFileTrackLog(std::vector<TrackPoint> points);

// Status line after opening an .igc file as a track log.
std::string IgcPositionsReadStatus(size_t count);  // "%d positions read (Signature not ok or ignored)"

// Longest file name the save and open paths accept.
inline constexpr size_t kMaxIgcFileName = 257;

// The command line's read: ".igc" is appended to the base name.
struct IgcFileReadResult {
  bool ok = false;
  std::vector<TrackPoint> points;
  std::string manufacturer;
  std::string serial;
  // The message. With a system text it is that text's caption; without, it
  // is shown captioned kIgcReadCaption.
  std::string error;
  std::string systemError;
};
IgcFileReadResult ReadIgcFile(const std::string& baseName);

// The security check. The file is chosen in an open dialog with these texts;
// the menu command is "&Verify IGC log from Skylode\tCtrl+V".
inline constexpr char kIgcVerifyOpenTitle[] = "Read track log";
enum class IgcVerifyOutcome { kPassed, kFailed, kNoSecurityRecord, kFileError };
struct IgcVerifyReport {
  IgcVerifyOutcome outcome = IgcVerifyOutcome::kFailed;
  std::string message;  // "Security check PASSED", ... or the file error
  std::string caption;  // "Security check", or the file error's caption
  bool errorIcon = false;
  // For a failure the system reports: its text, shown with `message` as the caption.
  std::string systemError;
};
IgcVerifyReport VerifyIgcText(std::string_view text);
// Reads the whole file the user chose and checks it; changes no state.
IgcVerifyReport VerifyIgcFile(const std::string& path);

}  // namespace skylode
