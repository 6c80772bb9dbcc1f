// MapSource files (.mps): "MsRcd", then records of a little-endian u32 body
// length, a type letter and the body.
#include <cstdio>
#include <cstring>
#include <new>

#include "formats/track_files.h"

namespace skylode {
namespace {

// Seconds from 1970-01-01 to the program's epoch.
constexpr uint32_t kUnixEpochOffset = 631065600;
constexpr char kTrackName[] = "Skylode track log source   ";  // 27 characters and the NUL make 28
static_assert(sizeof kTrackName == 28);
constexpr size_t kWrittenPointSize = 31;
// Before version 'i' a point has no depth.
constexpr size_t kPointSizeWithoutDepth = 22;
constexpr uint8_t kLatestVersion = 105;  // 'i'

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
}

void PutRecord(std::vector<uint8_t>& out, char type, const std::vector<uint8_t>& body) {
  PutU32(out, static_cast<uint32_t>(body.size()));
  out.push_back(static_cast<uint8_t>(type));
  out.insert(out.end(), body.begin(), body.end());
}

uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

Error FormatError(size_t offset) {
  char text[48];
  std::snprintf(text, sizeof text, "File format error at %08zxh", offset);
  return Error::Content(text);
}

// Appends the points of a 'T' record whose body is bytes[start, end).
Result<void> ReadTrackRecord(std::span<const uint8_t> bytes, size_t start, size_t end, size_t pointSize,
                             std::vector<TrackPoint>& points) {
  size_t at = start;
  while (at < end && bytes[at] != 0) ++at;  // the name
  // NUL, display flag, colour and count.
  if (end - at < 1 + 1 + 4 + 4) return FormatError(at);
  at += 1 + 1 + 4;
  const uint64_t count = GetU32(&bytes[at]);
  at += 4;
  // Against the record's own length: a count that fits the file may still
  // run into the records behind this one.
  if (count * pointSize > end - at) return FormatError(at);
  bool first = true;
  for (uint64_t k = 0; k < count; ++k, at += pointSize) {
    const uint8_t* q = &bytes[at];
    TrackPoint p;
    p.latitude = static_cast<int32_t>(GetU32(q));
    p.longitude = static_cast<int32_t>(GetU32(q + 4));
    if (q[8] != 0) {
      double metres = 0;
      std::memcpy(&metres, q + 9, sizeof metres);  // little-endian, as the machine
      if (!(metres > -100000 && metres < 100000)) return FormatError(at + 9);
      p.gpsHeight = static_cast<int32_t>(RoundHalfAway(metres * 10));
    } else {
      p.flags |= kTrackPointNoGpsHeight;
    }
    if (q[17] != 0) {
      const uint32_t unix = GetU32(q + 18);
      p.time = unix >= kUnixEpochOffset ? unix - kUnixEpochOffset : 0;
    }
    if (first) p.flags |= kTrackPointStartsSegment;
    first = false;
    points.push_back(p);
  }
  return {};
}

Result<std::vector<TrackPoint>> Read(std::span<const uint8_t> bytes) {
  constexpr size_t kMagicSize = 6;
  if (bytes.size() < kMagicSize || std::memcmp(bytes.data(), "MsRcd", 5) != 0)
    return Error::Content("Not a MapSource file");
  size_t at = kMagicSize;
  std::vector<TrackPoint> points;
  uint8_t version = 0;
  for (int record = 0; at < bytes.size(); ++record) {
    if (bytes.size() - at < 5) return FormatError(at);
    const uint32_t length = GetU32(&bytes[at]);
    const char type = static_cast<char>(bytes[at + 4]);
    const size_t start = at + 5;
    if (length > bytes.size() - start) return FormatError(at);
    const size_t end = start + length;
    if (record == 0) {
      if (type != 'D') return Error::Content("Not a MapSource file");
      if (length < 1) return FormatError(start);
      version = bytes[start];
      if (version < 100 || version > kLatestVersion) return Error::Content("Unsupported MapSource version");
    } else if (record > 1) {
      if (type == 'V') break;
      if (type == 'T') {
        const size_t pointSize = version >= kLatestVersion ? kWrittenPointSize : kPointSizeWithoutDepth;
        if (Result<void> r = ReadTrackRecord(bytes, start, end, pointSize, points); !r.ok()) return r.error();
      }
    }
    at = end;
  }
  if (points.empty()) return Error::Content("No track log found");
  return points;
}

}  // namespace

std::vector<uint8_t> BuildMapSourceTrack(std::span<const TrackPoint> points) {
  std::vector<uint8_t> out;
  out.reserve(45 + 5 + 37 + points.size() * kWrittenPointSize);
  PutBytes(out, "MsRcd", 6);
  PutRecord(out, 'D', {'i', 0});
  std::vector<uint8_t> about = {0xF8, 0x01, 'S', 'Q', 'A', 0};
  PutBytes(about, "Nov  6 2003", 12);
  PutBytes(about, "16:01:32", 9);
  PutRecord(out, 'A', about);

  std::vector<uint8_t> track;
  track.reserve(37 + points.size() * kWrittenPointSize);
  PutBytes(track, kTrackName, sizeof kTrackName);
  const uint8_t display[] = {1, 0, 0, 0, 0};
  PutBytes(track, display, sizeof display);
  PutU32(track, static_cast<uint32_t>(points.size()));
  for (const TrackPoint& p : points) {
    PutU32(track, static_cast<uint32_t>(p.latitude));
    PutU32(track, static_cast<uint32_t>(p.longitude));
    const bool measured = (p.flags & kTrackPointNoGpsHeight) == 0;
    track.push_back(measured ? 1 : 0);
    const double metres = measured ? p.gpsHeight / 10.0 : 0.0;
    PutBytes(track, &metres, sizeof metres);
    track.push_back(1);
    PutU32(track, p.time + kUnixEpochOffset);
    track.insert(track.end(), 9, 0);
  }
  PutRecord(out, 'T', track);
  return out;
}

Result<std::vector<TrackPoint>> ReadMapSourceTrack(std::span<const uint8_t> bytes) {
  try {
    return Read(bytes);
  } catch (const std::bad_alloc&) {
    return Error::Of(ErrorKind::kNoMemory, "Track log memory allocation");
  }
}

}  // namespace skylode
