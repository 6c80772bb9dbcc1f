#include "protocols/xctrainer/mxp.h"

#include "protocols/xctrainer/lines.h"
#include "records/calendar.h"

namespace skylode::xctrainer {
namespace {

// Semicircles per 1/24000 degree.
constexpr double kMxpUnitToSemicircles = 497.1026962963;
constexpr double kMxpUnitsPerDegree = 24000.0;

constexpr size_t kHeaderLength = 38;
constexpr size_t kPositionLength = 28;
constexpr size_t kPositionLengthBoth = 32;

MxpError ChecksumError(ChecksumCheck c) {
  switch (c) {
    case ChecksumCheck::kOk: return kMxpOk;
    case ChecksumCheck::kBadFormat: return kMxpBadChecksumFormat;
    case ChecksumCheck::kMismatch: return kMxpBadChecksum;
  }
  return kMxpBadChecksum;
}

}  // namespace

std::string_view MxpErrorText(int error) {
  switch (error) {
    case kMxpTooLong: return "E202 Too long line";
    case kMxpTooShort: return "E202 Too short line";
    case kMxpBadChecksumFormat: return "E202 Bad checksum format";
    case kMxpBadChecksum: return "E202 Bad checksum";
    case kMxpBadIdentifier: return "E202 Bad identifier";
    case kMxpBadStartTimeEntry: return "E202 Bad start time entry";
    case kMxpBadStartTimeValue: return "E202 Bad start time value";
    case kMxpBadGeodeticId: return "E202 Bad geodetic ID";
    case kMxpBadPositionsEntry: return "E202 Bad track positions entry";
    case kMxpBadIntervalEntry: return "E202 Bad interval entry";
    case kMxpBadRecordNumberEntry: return "E202 Bad record number entry";
    case kMxpBadRecordSequence: return "E202 Bad record number sequence";
    case kMxpBadPositionTimeEntry: return "E202 Bad position time entry";
    case kMxpBadPositionValue: return "E202 Bad position value entry";
    case kMxpBadHeightEntry: return "E202 Bad height entry";
    case kMxpMemory: return "E202 Memory allocation error";
    case kMxpBadSerialEntry: return "E202 Bad S/N entry";
    case kMxpBadGpsValidEntry: return "E202 Bad GPS pos. valid entry";
    default: return "E202 Unknown error";
  }
}

MxpError DecodeMxpHeader(std::string_view line, std::string_view identifier, MxpHeader& out) {
  if (line.size() >= kMaxLineLength) return kMxpTooLong;
  if (line.size() < kHeaderLength) return kMxpTooShort;
  if (const MxpError e = ChecksumError(CheckLineChecksum(line.substr(0, 36), line.substr(36, 2)))) return e;
  if (line.substr(0, 3) != identifier) return kMxpBadIdentifier;
  const auto serial = HexField(line.substr(7, 4));
  if (!serial) return kMxpBadSerialEntry;

  uint32_t f[6];
  for (size_t i = 0; i < 6; ++i) {
    const auto v = DecimalField(line.substr(13 + 2 * i, 2));
    if (!v) return kMxpBadStartTimeEntry;
    f[i] = *v;
  }
  if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 24 || f[4] > 59 || f[5] > 59)
    return kMxpBadStartTimeValue;
  // The hour may read 24: midnight at the end of the day is the next day's.
  const auto midnight = CalendarToTime({static_cast<uint16_t>(2000 + f[0]), static_cast<uint16_t>(f[1]),
                                        static_cast<uint16_t>(f[2]), 0, 0, 0, 0});
  if (!midnight || static_cast<int>(f[2]) > DaysInMonth(static_cast<int>(2000 + f[0]), static_cast<int>(f[1])))
    return kMxpBadStartTimeValue;

  const auto datum = HexField(line.substr(25, 2));
  if (!datum || *datum != 1) return kMxpBadGeodeticId;
  const auto positions = HexField(line.substr(27, 4));
  if (!positions) return kMxpBadPositionsEntry;
  if (!HexField(line.substr(31, 2))) return kMxpBadIntervalEntry;

  out.text = std::string(line.substr(0, kHeaderLength));
  out.serial = *serial;
  out.startTime = *midnight + f[3] * 3600 + f[4] * 60 + f[5];
  out.positions = *positions;
  out.variant = line[33] == '0' ? HeightVariant::kBaroOnly
                : line[33] == '2' ? HeightVariant::kBoth
                                  : HeightVariant::kGpsOnly;
  return kMxpOk;
}

std::string MxpInstrumentText(const MxpHeader& header) {
  const std::string& t = header.text;
  std::string text = t.compare(0, 3, "@xc") == 0
                         ? "XC Trainer V" + t.substr(3, 1) + "." + t.substr(4, 1) + "-" + t.substr(5, 2)
                         : "Top Navigator V" + t.substr(3, 2) + "." + t.substr(5, 2);
  return text + ", S/N " + std::to_string(header.serial);
}

MxpError MxpDecoder::Feed(std::string_view line) {
  if (!headerSeen_) {
    MxpHeader h;
    const MxpError e = DecodeMxpHeader(line, identifier_, h);
    if (e != kMxpOk) return e;
    header_ = std::move(h);
    headerSeen_ = true;
    return kMxpOk;
  }
  return DecodePosition(line);
}

MxpError MxpDecoder::DecodePosition(std::string_view line) {
  const bool both = header_.variant == HeightVariant::kBoth;
  const size_t covered = both ? 30 : 26;
  if (line.size() >= kMaxLineLength) return kMxpTooLong;
  if (line.size() < (both ? kPositionLengthBoth : kPositionLength)) return kMxpTooShort;
  if (const MxpError e = ChecksumError(CheckLineChecksum(line.substr(0, covered), line.substr(covered, 2))))
    return e;

  const auto record = HexField(line.substr(0, 4));
  if (!record) return kMxpBadRecordNumberEntry;
  if (received_ == 0) {
    if (*record > 1) return kMxpBadRecordSequence;
    expectedRecord_ = *record;
  } else if (*record != expectedRecord_) {
    return kMxpBadRecordSequence;
  }
  const auto timeField = HexField(line.substr(4, 4));
  if (!timeField) return kMxpBadPositionTimeEntry;
  if (!HexField(line.substr(8, 2))) return kMxpBadGpsValidEntry;

  const auto lat = SignedHexField(line.substr(10, 6));
  const auto lon = SignedHexField(line.substr(16, 6));
  if (!lat || !lon) return kMxpBadPositionValue;
  // A 24-bit field reaches past the poles and round the earth more than
  // once; such a value is a broken record, not a place.
  const auto latitude = UnitsToLatitude(*lat, kMxpUnitsPerDegree, kMxpUnitToSemicircles);
  const auto longitude = UnitsToLongitude(*lon, kMxpUnitsPerDegree, kMxpUnitToSemicircles);
  if (!latitude || !longitude) return kMxpBadPositionValue;

  const auto height1 = SignedHexField(line.substr(22, 4));
  if (!height1) return kMxpBadHeightEntry;
  std::optional<int32_t> height2;
  if (both) {
    height2 = SignedHexField(line.substr(26, 4));
    if (!height2) return kMxpBadHeightEntry;
  }

  if (received_ > 0 && *timeField < lastTimeField_) dayOffset_ += 86400;
  lastTimeField_ = *timeField;

  TrackPoint p;
  p.flags = points_.empty() ? kTrackPointStartsSegment : 0;
  p.time = header_.startTime + dayOffset_ + *timeField;
  p.latitude = *latitude;
  p.longitude = *longitude;
  switch (header_.variant) {
    case HeightVariant::kBaroOnly: p.baroHeight = *height1; break;
    case HeightVariant::kGpsOnly: p.gpsHeight = *height1 * 10; break;
    case HeightVariant::kBoth:
      p.baroHeight = *height1;
      p.gpsHeight = *height2 * 10;
      break;
  }
  points_.push_back(p);
  ++received_;
  ++expectedRecord_;
  return kMxpOk;
}

}  // namespace skylode::xctrainer
