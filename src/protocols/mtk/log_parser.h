// The logger's binary memory: 64 KiB sectors, each a 512-byte header and
// records whose fields depend on the sector's (changeable) log format. All
// words are little-endian; heights, speeds and headings IEEE-754 singles,
// positions and distance doubles.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "records/track_log.h"

namespace skylode::mtk {

inline constexpr size_t kSectorSize = 65536;
inline constexpr size_t kHeaderSize = 512;
inline constexpr uint16_t kOpenSector = 0xFFFF;

// Format bits: which fields a record holds, in this order.
enum FormatBit : uint32_t {
  kUtc = 1u << 0,
  kValid = 1u << 1,
  kLatitude = 1u << 2,
  kLongitude = 1u << 3,
  kHeight = 1u << 4,
  kSpeed = 1u << 5,
  kHeading = 1u << 6,
  kDgpsStation = 1u << 7,
  kDgpsAge = 1u << 8,
  kPdop = 1u << 9,
  kHdop = 1u << 10,
  kVdop = 1u << 11,
  kSatelliteCounts = 1u << 12,
  kSatellites = 1u << 13,
  kElevation = 1u << 14,
  kAzimuth = 1u << 15,
  kSnr = 1u << 16,
  kReason = 1u << 17,
  kMilliseconds = 1u << 18,
  kDistance = 1u << 19,
};

inline constexpr size_t kMaxSatellites = 32;
inline constexpr size_t kSpecialRecordSize = 16;
inline constexpr uint8_t kSpecialSetFormat = 2;

struct ParsedLog {
  std::vector<TrackPoint> points;
  // Empty when the memory was read through; else "Bad header block" or
  // "Bad data block".
  std::string error;
};

// Walks every sector of `image`. Records marked invalid, and records
// without a usable time or position, give no point.
ParsedLog ParseMtkLog(std::span<const uint8_t> image);

}  // namespace skylode::mtk
