#include "protocols/mtk/log_parser.h"

#include <bit>
#include <cmath>
#include <limits>
#include <optional>

#include "records/angles.h"

namespace skylode::mtk {

namespace {

// Seconds from 1970 to the track log's epoch (1989-12-31).
constexpr uint32_t kEpochOffset = 631065600;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32); }
float F32(const uint8_t* p) { return std::bit_cast<float>(U32(p)); }
double F64(const uint8_t* p) { return std::bit_cast<double>(U64(p)); }

bool HeaderValid(const uint8_t* h) {
  return U16(h + 10) == 0 && U16(h + 14) == 0 && U16(h + 18) == 0 && U16(h + 506) == 0x3F2A &&
         U32(h + 508) == 0xBBBBBBBB;
}

bool IsSpecial(const uint8_t* r) {
  return r[0] == 0xAA && r[1] == 0xAA && r[2] == 0xAA && r[3] == 0xAA && r[4] == 0xAA && r[5] == 0xAA &&
         r[6] == 0xAA && U32(r + 12) == 0xBBBBBBBB;
}

// The fields one record holds, decoded; each optional is absent when the
// format leaves it out.
struct Record {
  std::optional<uint32_t> utc;
  std::optional<uint16_t> valid;
  std::optional<double> latitude, longitude;
  std::optional<float> height;
};

// Sizes of the fixed fields by bit, 0 for the satellite entries.
constexpr size_t kFieldSize[20] = {4, 2, 8, 8, 4, 4, 4, 2, 4, 2, 2, 2, 2, 0, 0, 0, 0, 2, 2, 8};

// Reads one record of `format` at `r`, at most `room` bytes. The length
// including '*' and checksum, or nothing when it is not a sound record.
std::optional<size_t> ReadRecord(const uint8_t* r, size_t room, uint32_t format, Record& out) {
  size_t at = 0;
  for (int bit = 0; bit < 20; ++bit) {
    if (!(format & (1u << bit))) continue;
    if (bit >= 14 && bit <= 16) continue;  // part of the satellite entries
    if (bit == 13) {
      if (room < at + 4) return std::nullopt;
      const size_t count = U16(r + at + 2);
      if (count > kMaxSatellites) return std::nullopt;
      size_t entry = 4;
      for (uint32_t extra : {kElevation, kAzimuth, kSnr})
        if (format & extra) entry += 2;
      at += count == 0 ? 4 : count * entry;
      if (at > room) return std::nullopt;
      continue;
    }
    const size_t size = kFieldSize[bit];
    if (room < at + size) return std::nullopt;
    const uint8_t* p = r + at;
    switch (bit) {
      case 0: out.utc = U32(p); break;
      case 1: out.valid = U16(p); break;
      case 2: out.latitude = F64(p); break;
      case 3: out.longitude = F64(p); break;
      case 4: out.height = F32(p); break;
      default: break;
    }
    at += size;
  }
  if (room < at + 2 || r[at] != '*') return std::nullopt;
  uint8_t x = 0;
  for (size_t i = 0; i < at; ++i) x ^= r[i];
  if (r[at + 1] != x) return std::nullopt;
  return at + 2;
}

std::optional<TrackPoint> PointOf(const Record& rec) {
  if (rec.valid && (*rec.valid & 1)) return std::nullopt;
  if (!rec.utc || !rec.latitude || !rec.longitude) return std::nullopt;
  if (*rec.utc < kEpochOffset) return std::nullopt;
  const double lat = *rec.latitude, lon = *rec.longitude;
  if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180)
    return std::nullopt;
  TrackPoint p;
  p.time = *rec.utc - kEpochOffset;
  const auto la = DegreesToLatitude(lat);
  const auto lo = DegreesToLongitude(lon);
  if (!la || !lo) return std::nullopt;
  p.latitude = *la;
  p.longitude = *lo;
  if (rec.height && std::isfinite(*rec.height) && std::fabs(*rec.height) < 100000.0f)
    p.gpsHeight = static_cast<int32_t>(static_cast<double>(*rec.height) * 10);
  return p;
}

}  // namespace

ParsedLog ParseMtkLog(std::span<const uint8_t> image) {
  ParsedLog out;
  for (size_t base = 0; base < image.size(); base += kSectorSize) {
    const size_t size = std::min(kSectorSize, image.size() - base);
    const uint8_t* s = image.data() + base;
    if (size < kHeaderSize || !HeaderValid(s)) {
      out.error = "Bad header block";
      return out;
    }
    const uint16_t count = U16(s);
    const bool open = count == kOpenSector;
    uint32_t format = U32(s + 2);
    size_t left = count;
    size_t at = kHeaderSize;
    while (open || left > 0) {
      const size_t room = size - at;
      if (open && (room < 4 || (s[at] == 0xFF && s[at + 1] == 0xFF && s[at + 2] == 0xFF && s[at + 3] == 0xFF)))
        break;
      if (room >= kSpecialRecordSize && IsSpecial(s + at)) {
        if (s[at + 7] == kSpecialSetFormat) format = U32(s + at + 8);
        at += kSpecialRecordSize;
        continue;
      }
      Record rec;
      const auto length = ReadRecord(s + at, room, format, rec);
      if (!length) {
        out.error = "Bad data block";
        return out;
      }
      at += *length;
      if (!open) --left;
      if (auto p = PointOf(rec)) {
        p->flags = out.points.empty() ? kTrackPointStartsSegment : 0;
        out.points.push_back(*p);
      }
    }
  }
  return out;
}

}  // namespace skylode::mtk
