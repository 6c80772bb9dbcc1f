// MapSource files (.mps): "MsRcd", then records of a little-endian u32 body
// length, a type letter and the body.
#include <cstdio>
#include <cstring>
#include <new>

#include "formats/track_files.h"
#include "formats/waypoint_files.h"

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

// One record after the header pair, with the file's version.
struct Record {
  char type;
  size_t start;  // of the body
  size_t end;
  uint8_t version;
};

// Walks the records up to 'V' or the end of the bytes, checking the header
// on the way; `visit` may stop the walk with an error.
template <typename Visit>
Result<void> WalkRecords(std::span<const uint8_t> bytes, Visit visit) {
  constexpr size_t kMagicSize = 6;
  if (bytes.size() < kMagicSize || std::memcmp(bytes.data(), "MsRcd", 5) != 0)
    return Error::Content("Not a MapSource file");
  size_t at = kMagicSize;
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
      if (Result<void> r = visit(Record{type, start, end, version}); !r.ok()) return r;
    }
    at = end;
  }
  return {};
}

Result<std::vector<TrackPoint>> Read(std::span<const uint8_t> bytes) {
  std::vector<TrackPoint> points;
  Result<void> walked = WalkRecords(bytes, [&](const Record& r) -> Result<void> {
    if (r.type != 'T') return {};
    const size_t pointSize = r.version >= kLatestVersion ? kWrittenPointSize : kPointSizeWithoutDepth;
    return ReadTrackRecord(bytes, r.start, r.end, pointSize, points);
  });
  if (!walked.ok()) return walked.error();
  if (points.empty()) return Error::Content("No track log found");
  return points;
}

// --- Waypoints ---------------------------------------------------------------------
//
// A 'W' record, as written: the ID (NUL-terminated), the class (u32, 0 for a
// user waypoint), the country (NUL-terminated), 22 bytes of subclass, the
// latitude and longitude (i32 semicircles), a height flag byte and the height
// in metres (double), the comment (NUL-terminated, our name), a proximity
// flag byte and distance (double), display and colour (u32), the symbol
// (u32), city, state and facility (NUL-terminated each), one reserved byte
// and a depth flag byte with its double. Readers stop after the symbol: the
// rest changes between versions and carries nothing the list keeps.

constexpr size_t kSubclassSize = 22;

// Reads fields of a record body, failing at the first that would run past
// the record's end.
class FieldReader {
 public:
  FieldReader(std::span<const uint8_t> bytes, size_t start, size_t end) : bytes_(bytes), at_(start), end_(end) {}
  size_t offset() const { return at_; }
  std::optional<std::string_view> Text() {
    size_t nul = at_;
    while (nul < end_ && bytes_[nul] != 0) ++nul;
    if (nul == end_) return std::nullopt;
    std::string_view text(reinterpret_cast<const char*>(&bytes_[at_]), nul - at_);
    at_ = nul + 1;
    return text;
  }
  std::optional<const uint8_t*> Take(size_t size) {
    if (end_ - at_ < size) return std::nullopt;
    const uint8_t* p = &bytes_[at_];
    at_ += size;
    return p;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_;
  size_t end_;
};

void PutText(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void PutFlaggedDouble(std::vector<uint8_t>& out, bool present, double value) {
  out.push_back(present ? 1 : 0);
  PutBytes(out, &value, sizeof value);
}

void AppendHeader(std::vector<uint8_t>& out) {
  PutBytes(out, "MsRcd", 6);
  PutRecord(out, 'D', {'i', 0});
  std::vector<uint8_t> about = {0xF8, 0x01, 'S', 'Q', 'A', 0};
  PutBytes(about, "Nov  6 2003", 12);
  PutBytes(about, "16:01:32", 9);
  PutRecord(out, 'A', about);
}

// Appends the waypoint of a 'W' record; a waypoint the ID check skips adds nothing.
Result<void> ReadWaypointRecord(std::span<const uint8_t> bytes, const Record& r, WaypointIdCheck& ids,
                                uint32_t now, WaypointList& list) {
  FieldReader in(bytes, r.start, r.end);
  const auto id = in.Text();
  if (!id) return FormatError(in.offset());
  if (!in.Take(4) || !in.Text() || !in.Take(kSubclassSize)) return FormatError(in.offset());  // class, country, subclass
  const auto position = in.Take(8);
  if (!position) return FormatError(in.offset());
  const size_t heightAt = in.offset();
  const auto height = in.Take(9);
  if (!height) return FormatError(heightAt);
  const auto comment = in.Text();
  if (!comment) return FormatError(in.offset());
  if (!in.Take(9 + 4 + 4)) return FormatError(in.offset());  // proximity, display, colour
  const auto symbol = in.Take(4);
  if (!symbol) return FormatError(in.offset());

  Waypoint w;
  w.time = now;
  w.latitude = static_cast<int32_t>(GetU32(*position));
  w.longitude = static_cast<int32_t>(GetU32(*position + 4));
  if ((*height)[0] != 0) {
    double metres = 0;
    std::memcpy(&metres, *height + 1, sizeof metres);
    if (!(metres > -100000 && metres < 100000)) return FormatError(heightAt + 1);
    w.height = static_cast<int32_t>(RoundHalfAway(metres));
  }
  const uint32_t sym = GetU32(*symbol);
  w.symbol = sym <= 0xFFFF ? static_cast<int32_t>(sym) : kDefaultWaypointSymbol;
  w.name = BoundedWaypointName(*comment);
  switch (ids.Check(*id, w.id)) {
    case WaypointIdCheck::Outcome::kOk: list.items.push_back(std::move(w)); break;
    case WaypointIdCheck::Outcome::kSkip: break;
    case WaypointIdCheck::Outcome::kBad: return FormatError(r.start);
  }
  return {};
}

}  // namespace

std::vector<uint8_t> BuildMapSourceTrack(std::span<const TrackPoint> points) {
  std::vector<uint8_t> out;
  out.reserve(45 + 5 + 37 + points.size() * kWrittenPointSize);
  AppendHeader(out);

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

std::vector<uint8_t> BuildMapSourceWaypoints(const WaypointList& list) {
  std::vector<uint8_t> out;
  AppendHeader(out);
  for (const Waypoint& w : list.items) {
    std::vector<uint8_t> body;
    PutText(body, w.id);
    PutU32(body, 0);  // a user waypoint
    PutText(body, "");
    body.insert(body.end(), kSubclassSize, 0);
    PutU32(body, static_cast<uint32_t>(w.latitude));
    PutU32(body, static_cast<uint32_t>(w.longitude));
    PutFlaggedDouble(body, true, w.height);
    PutText(body, w.name);
    PutFlaggedDouble(body, false, 0);  // no proximity
    PutU32(body, 1);                   // show symbol and name
    PutU32(body, 0);                   // colour
    PutU32(body, static_cast<uint32_t>(w.symbol));
    PutText(body, "");  // city
    PutText(body, "");  // state
    PutText(body, "");  // facility
    body.push_back(0);
    PutFlaggedDouble(body, false, 0);  // no depth
    PutRecord(out, 'W', body);
  }
  return out;
}

Result<WaypointList> ReadMapSourceWaypoints(std::span<const uint8_t> bytes, const WaypointReadOptions& options) {
  try {
    WaypointIdCheck ids(options);
    WaypointList list;
    Result<void> walked = WalkRecords(bytes, [&](const Record& r) -> Result<void> {
      if (r.type != 'W') return {};
      return ReadWaypointRecord(bytes, r, ids, options.now, list);
    });
    if (!walked.ok()) return walked.error();
    if (list.items.empty()) return Error::Content("No waypoints found");
    return list;
  } catch (const std::bad_alloc&) {
    return Error::Of(ErrorKind::kNoMemory, "Waypoint memory allocation");
  }
}

}  // namespace skylode
