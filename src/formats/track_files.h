// Track files of other programs: CSV, OziExplorer (.plt), Magellan logs
// (.log), the old binary Aerodiary file (.dat) and MapSource (.mps).
// Readers take the file's bytes and give the points, or an Error whose text
// is the message to show; writers give the file's bytes. The first point of
// a read track starts a segment.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/error.h"
#include "records/track_log.h"

namespace skylode {

// --- CSV -----------------------------------------------------------------------------

struct CsvTrack {
  std::vector<TrackPoint> points;
  bool hasBaroHeight = false;  // every line gave an H-Baro value
};

// "Date/time,Latitude,Longitude,H-GPS,H-Baro". The H-Baro column stays empty
// when the log has no barometric heights, and H-GPS when a point's height
// was not measured.
std::string BuildCsvTrack(std::span<const TrackPoint> points, bool hasBaroHeight);

// The header names the columns (',' separated, or ';' when commas do not
// give them; then numbers may have decimal commas). Time as
// "YYYY-MM-DDThh:mm:ss[Z|+hh:mm]", or split into a date column
// (YYYY-MM-DD or YYYY/MM/DD) and a time column. Empty lines are skipped.
Result<CsvTrack> ReadCsvTrack(std::string_view text);

// --- OziExplorer -----------------------------------------------------------------

// A height of "-777" feet is Ozi's "no height": such points carry
// kTrackPointNoGpsHeight and are written back as -777.
inline constexpr int kOziNoHeightFeet = -777;
std::string BuildOziTrack(std::span<const TrackPoint> points);
Result<std::vector<TrackPoint>> ReadOziTrack(std::string_view text);

// --- Magellan ---------------------------------------------------------------------

// $PMGNTRK sentences up to $PMGNCMD,END; other lines are passed over.
Result<std::vector<TrackPoint>> ReadMagellanLog(std::string_view text);

// --- The old Aerodiary file --------------------------------------------------------

// 32-bit big-endian words: header, UTM positions, checksum, and an optional
// validation word.
Result<std::vector<TrackPoint>> ReadDatTrack(std::span<const uint8_t> bytes);
// The value the validation word completes to zero (tests build files with it).
uint32_t DatValidationValue(std::span<const uint32_t> words);

// --- MapSource --------------------------------------------------------------------

// The whole file: header and one track record.
std::vector<uint8_t> BuildMapSourceTrack(std::span<const TrackPoint> points);
// The points of every track record, in file order; each record's first point
// starts a segment.
Result<std::vector<TrackPoint>> ReadMapSourceTrack(std::span<const uint8_t> bytes);

}  // namespace skylode
