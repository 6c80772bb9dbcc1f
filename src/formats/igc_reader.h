// Reading IGC text into track points, and checking the G security record of
// the files we wrote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/error.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"

namespace skylode {

// What an IGC text holds for us.
struct IgcParse {
  std::vector<TrackPoint> points;  // first one starts a segment
  std::string manufacturer;        // three characters from the A record
  std::string serial;              // three characters, "000" when the A record has none
  // Set when the last B record was cut off and left out: what to tell the
  // person ("Last position cut off: Pos. error 14 on line 2707"), and its line.
  std::string warning;
  int warningLine = 0;
};

// Reads the A, HFDTE and B records; every other record is skipped. Stops at
// the first error (kBadContent, or kNoMemory), whose text names the line
// (counted from 1) and whose `line` holds it; a bad B record that ends the
// text is left out with a warning instead. A byte-order mark that an editor
// put in front of the A record is passed over. Lines end at LF, CR LF or CR;
// a NUL ends a line's text. A fix without a 3-D fix (validity 'V') gets
// kTrackPointNoGpsHeight: its GNSS altitude was not measured.
Result<IgcParse> ParseIgcText(std::string_view text);

// One B record from the character after the 'B': the point's position,
// heights and time of day, or a kBadContent error whose text is "Pos. error "
// with the number of the first bad field.
struct IgcBRecord {
  uint32_t timeOfDay = 0;  // seconds
  int32_t latitude = 0;    // semicircles
  int32_t longitude = 0;
  int32_t pressureAltitude = 0;  // metres
  int32_t gnssAltitude = 0;      // metres
  bool threeDimensional = true;  // validity 'A' (any letter but 'V')
};
Result<IgcBRecord> ParseIgcBRecord(std::string_view afterB);

// IGC text an instrument delivered, or the user opened: the points plus the
// raw-log record that keeps the text for saving it unchanged. Touches no
// shared state; the caller installs both.
struct AcceptedIgc {
  std::vector<TrackPoint> points;
  RawIgcBuffer raw;
  std::string warning;  // as IgcParse's: a cut-off last B record left out
};
Result<AcceptedIgc> AcceptInstrumentIgc(std::string_view text);

// The track log made from an opened .igc file: no G-record validity, no
// instrument, times not vouched for as UTC, barometric heights present.
TrackLog MakeIgcFileTrackLog(std::vector<TrackPoint> points);

// Longest file name the save and open paths accept.
inline constexpr size_t kMaxIgcFileName = 257;

// The command line's read: ".igc" is appended to the base name. A name that
// is too long is kNameTooLong; the file's own errors keep their kind.
Result<IgcParse> ReadIgcFile(const std::string& baseName);

// The security check of a file we wrote; the text ends at its first NUL.
enum class IgcVerifyOutcome { kPassed, kFailed, kNoSecurityRecord };
IgcVerifyOutcome VerifyIgcText(std::string_view text);
// Reads the whole file the user chose and checks it; changes no state.
Result<IgcVerifyOutcome> VerifyIgcFile(const std::string& path);

}  // namespace skylode
