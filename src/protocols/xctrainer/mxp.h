// The MXP track log: a header line, then numbered position lines, each with
// hexadecimal fields and a checksum of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/track_log.h"

namespace skylode::xctrainer {

// Which heights the position lines carry.
enum class HeightVariant { kBaroOnly = 0, kGpsOnly = 1, kBoth = 2 };

// The error numbers of "Decode track log sentence" messages.
enum MxpError : int {
  kMxpOk = 0,
  kMxpTooLong = 1,
  kMxpTooShort = 2,
  kMxpBadChecksumFormat = 3,
  kMxpBadChecksum = 4,
  kMxpBadIdentifier = 5,
  kMxpBadStartTimeEntry = 6,
  kMxpBadStartTimeValue = 7,
  kMxpBadGeodeticId = 8,
  kMxpBadPositionsEntry = 9,
  kMxpBadIntervalEntry = 10,
  kMxpBadRecordNumberEntry = 11,
  kMxpBadRecordSequence = 12,
  kMxpBadPositionTimeEntry = 13,
  kMxpBadPositionValue = 14,
  kMxpBadHeightEntry = 15,
  kMxpMemory = 16,
  kMxpBadSerialEntry = 17,
  kMxpBadGpsValidEntry = 18,
};

// "E202 Bad checksum", ...; "E202 Unknown error" for other numbers.
std::string_view MxpErrorText(int error);

struct MxpHeader {
  std::string text;  // the line as it came, for the instrument's version characters
  uint32_t serial = 0;
  uint32_t startTime = 0;
  uint32_t positions = 0;
  HeightVariant variant = HeightVariant::kGpsOnly;
};

// "@xc" or "@tn": the identifier the chosen instrument's header carries.
MxpError DecodeMxpHeader(std::string_view line, std::string_view identifier, MxpHeader& out);

// "XC Trainer V1.2-34, S/N 4660" or "Top Navigator V12.34, S/N 4660".
std::string MxpInstrumentText(const MxpHeader& header);

// Takes the lines of one log in order: the header, then its positions.
class MxpDecoder {
 public:
  explicit MxpDecoder(std::string_view identifier) : identifier_(identifier) {}

  MxpError Feed(std::string_view line);
  bool headerSeen() const { return headerSeen_; }
  const MxpHeader& header() const { return header_; }
  // Every announced position has arrived (at once for a header of 0).
  bool complete() const { return headerSeen_ && received_ >= header_.positions; }
  uint32_t received() const { return received_; }
  std::vector<TrackPoint>& points() { return points_; }

 private:
  MxpError DecodePosition(std::string_view line);

  std::string identifier_;
  bool headerSeen_ = false;
  MxpHeader header_;
  uint32_t received_ = 0;
  uint32_t expectedRecord_ = 0;
  uint32_t lastTimeField_ = 0;
  uint32_t dayOffset_ = 0;
  std::vector<TrackPoint> points_;
};

}  // namespace skylode::xctrainer
