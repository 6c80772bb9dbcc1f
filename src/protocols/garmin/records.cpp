#include "protocols/garmin/records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "records/numeric.h"
#include "records/text_encoding.h"

namespace skylode::garmin {
namespace {

constexpr size_t kIdentLen = 6;
constexpr size_t kCmntLen = 40;
constexpr size_t kTrackNameMax = 50;

unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
bool IsUpperOrDigit(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Text from the unit: upper case, control bytes as blanks, bytes above 0x7F
// read as Latin-1 so that the program only ever holds UTF-8; trailing blanks
// dropped. Reading stops at a NUL even in a fixed-length field.
std::string TextFromDevice(const uint8_t* bytes, size_t n) {
  std::string out;
  for (size_t i = 0; i < n && bytes[i] != 0; ++i) {
    const unsigned char c = Upper(bytes[i]);
    if (c < 0x20) {
      out.push_back(' ');
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      AppendUtf8(out, c);
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// A NUL-terminated string at `at`, never read past the packet's data size.
// Returns the offset just behind its terminator (or the data size).
size_t StringField(const GarminPacket& p, size_t at, size_t keep, std::string& out) {
  size_t end = at;
  while (end < p.size && p.data[end] != 0) ++end;
  // Callers pass an offset inside the data (at most the data size).
  out = TextFromDevice(p.data.data() + at, std::min(end - at, keep));
  return end < p.size ? end + 1 : p.size;
}

// The characters a unit accepts; `other` stands in for everything else.
std::string TextToDevice(const std::string& text, size_t maxLen, bool keepDash, char other) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < maxLen; ++i) {
    const unsigned char c = Upper(static_cast<unsigned char>(text[i]));
    if (IsUpperOrDigit(c) || c == ' ' || (keepDash && c == '-')) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(other);
      // One stand-in for a whole UTF-8 sequence.
      if (c >= 0xC0)
        while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

void PutFixed(uint8_t* at, const std::string& s, size_t len) {
  std::memset(at, ' ', len);
  std::memcpy(at, s.data(), std::min(s.size(), len));
}

bool IsStringType(uint16_t t) { return t >= 108 && t <= 110; }

int16_t GetI16(const GarminPacket& p, size_t at) { return static_cast<int16_t>(GetU16(p.payload(), at)); }
int32_t GetI32(const GarminPacket& p, size_t at) { return static_cast<int32_t>(GetU32(p.payload(), at)); }

}  // namespace

size_t GarminWaypointMinSize(uint16_t type) {
  switch (type) {
    case 100: return 58;
    case 101: return 63;
    case 102: return 64;
    case 103: return 60;
    case 104: return 65;
    case 107: return 65;
    case 108: return 48;
    case 109: return 52;
    case 110: return 62;
    case 150: return 115;
    case 151:
    case 152: return 124;
    case 154: return 126;
    case 155: return 127;
    default: return 0;
  }
}

size_t GarminTrackPointMinSize(uint16_t type) {
  switch (type) {
    case 300: return 13;
    case 301: return 21;
    case 302: return 25;
    case 303: return 17;
    case 304: return 23;
    default: return 0;
  }
}

size_t GarminUploadTrackPointSize(uint16_t trackProtocol) {
  return trackProtocol == 302 ? 25 : trackProtocol == 301 ? 21 : 13;
}

int32_t WaypointAltitudeFromFloat(double metres) {
  // The unit marks an unknown altitude with a huge value; anything outside a
  // plausible range, and NaN, is treated as missing.
  if (!(metres >= -20000.0 && metres <= 20000.0)) return 0;
  return CheckedRound<int32_t>(metres).value_or(0);
}

int32_t TrackAltitudeFromFloat(double metres) {
  if (!std::isfinite(metres) || metres > 1e10) return 0;
  return CheckedRound<int32_t>(metres * 10.0).value_or(0);
}

std::optional<Waypoint> GarminWaypointFromPacket(uint16_t type, const GarminPacket& p, WaypointPacketError* error) {
  auto fail = [error](WaypointPacketError e) -> std::optional<Waypoint> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = WaypointPacketError::kNone;
  const size_t min = GarminWaypointMinSize(type);
  if (min == 0 || p.size < min) return fail(WaypointPacketError::kBadPacket);
  const auto d = p.payload();
  Waypoint w;
  w.symbol = kDefaultWaypointSymbol;
  switch (type) {
    case 100: case 101: case 102: case 103: case 104: case 107:
      w.id = TextFromDevice(&d[0], kIdentLen);
      w.latitude = GetI32(p, 6);
      w.longitude = GetI32(p, 10);
      w.name = TextFromDevice(&d[18], kCmntLen);
      if (type == 101 || type == 103 || type == 107) w.symbol = d[type == 101 ? 62 : 58];
      if (type == 102 || type == 104) w.symbol = GetU16(d, 62);
      break;
    case 108: case 109: case 110: {
      if (type != 108 && (d[0] != 1 || d[3] != (type == 109 ? 0x70 : 0x80)))
        return fail(WaypointPacketError::kBadHeader);
      w.symbol = GetU16(d, 4);
      w.latitude = GetI32(p, 24);
      w.longitude = GetI32(p, 28);
      w.height = WaypointAltitudeFromFloat(GetF32(d, 32));
      if (type == 110) w.time = GetU32(d, 56);
      const size_t identAt = type == 108 ? 48 : type == 109 ? 52 : 62;
      const size_t cmntAt = StringField(p, identAt, kIdentLen, w.id);
      StringField(p, cmntAt, kCmntLen, w.name);
      break;
    }
    case 150:
      w.id = TextFromDevice(&d[0], kIdentLen);
      w.latitude = GetI32(p, 9);
      w.longitude = GetI32(p, 13);
      w.height = GetI16(p, 17);
      w.name = TextFromDevice(&d[75], kCmntLen);
      break;
    default:  // 151, 152, 154, 155
      w.id = TextFromDevice(&d[0], kIdentLen);
      w.latitude = GetI32(p, 6);
      w.longitude = GetI32(p, 10);
      w.name = TextFromDevice(&d[18], kCmntLen);
      w.height = GetI16(p, 118);
      if (type >= 154) w.symbol = GetU16(d, 124);
      break;
  }
  return w;
}

GarminPacket GarminWaypointToPacket(uint16_t type, const Waypoint& w) {
  GarminPacket p;
  p.id = kPidWaypointData;
  p.data.fill(0);
  uint8_t* d = p.data.data();
  const bool strings = IsStringType(type);
  const std::string ident = TextToDevice(w.id, kIdentLen, true, ' ');
  const std::string cmnt = TextToDevice(w.name, kCmntLen, false, strings ? ' ' : '-');
  // Heights that do not fit a 16-bit field are pinned rather than wrapped.
  const int16_t alt16 = static_cast<int16_t>(std::clamp<int32_t>(w.height, INT16_MIN, INT16_MAX));
  const uint16_t symbol = static_cast<uint16_t>(w.symbol);
  size_t size = GarminWaypointMinSize(type);
  switch (type) {
    case 100: case 101: case 102: case 103: case 104: case 107:
      PutFixed(d, ident, kIdentLen);
      PutU32(d + 6, static_cast<uint32_t>(w.latitude));
      PutU32(d + 10, static_cast<uint32_t>(w.longitude));
      PutFixed(d + 18, cmnt, kCmntLen);
      if (type == 101) d[62] = static_cast<uint8_t>(symbol);
      if (type == 103 || type == 107) d[58] = static_cast<uint8_t>(symbol);
      if (type == 102 || type == 104) PutU16(d + 62, symbol);
      break;
    case 108: case 109: case 110: {
      if (type == 108) {
        d[1] = 0xFF;
        d[3] = 0x60;
      } else {
        d[0] = 1;
        d[2] = 0x1F;
        d[3] = type == 109 ? 0x70 : 0x80;
      }
      PutU16(d + 4, symbol);
      PutU32(d + 24, static_cast<uint32_t>(w.latitude));
      PutU32(d + 28, static_cast<uint32_t>(w.longitude));
      PutF32(d + 32, static_cast<float>(w.height));
      if (type == 110) PutU32(d + 56, w.time);
      size_t at = GarminWaypointMinSize(type);
      // ident (≤ 6) and cmnt (≤ 40) with terminators fit easily behind 62 bytes.
      std::memcpy(d + at, ident.data(), ident.size());
      at += ident.size() + 1;
      std::memcpy(d + at, cmnt.data(), cmnt.size());
      at += cmnt.size() + 1;
      size = at;
      break;
    }
    case 150:
      PutFixed(d, ident, kIdentLen);
      PutU32(d + 9, static_cast<uint32_t>(w.latitude));
      PutU32(d + 13, static_cast<uint32_t>(w.longitude));
      PutU16(d + 17, static_cast<uint16_t>(alt16));
      PutFixed(d + 75, cmnt, kCmntLen);
      break;
    case 151: case 152: case 154: case 155:
      PutFixed(d, ident, kIdentLen);
      PutU32(d + 6, static_cast<uint32_t>(w.latitude));
      PutU32(d + 10, static_cast<uint32_t>(w.longitude));
      PutFixed(d + 18, cmnt, kCmntLen);
      PutU16(d + 118, static_cast<uint16_t>(alt16));
      if (type >= 154) PutU16(d + 124, symbol);
      break;
    default:
      size = 0;
      break;
  }
  p.size = static_cast<uint8_t>(size);
  return p;
}

std::optional<TrackPoint> GarminTrackPointFromPacket(uint16_t type, const GarminPacket& p) {
  const size_t min = GarminTrackPointMinSize(type);
  if (min == 0 || p.size < min) return std::nullopt;
  const auto d = p.payload();
  TrackPoint t;
  t.latitude = GetI32(p, 0);
  t.longitude = GetI32(p, 4);
  t.time = GetU32(d, 8);
  if (t.time == 0xFFFFFFFFu || t.time == 0x7FFFFFFFu) t.time = 0;
  if (type != 300) t.gpsHeight = TrackAltitudeFromFloat(GetF32(d, 12));
  if (type == 301 || type == 302) std::memcpy(&t.depth, &d[16], sizeof t.depth);
  const size_t newTrackAt = type == 300 ? 12 : type == 301 ? 20 : type == 302 ? 24 : 0;
  if (newTrackAt && d[newTrackAt]) t.flags |= kTrackPointStartsSegment;
  return t;
}

GarminPacket GarminTrackPointToPacket(uint16_t trackProtocol, int32_t latitude, int32_t longitude) {
  GarminPacket p;
  p.id = kPidTrackData;
  p.size = static_cast<uint8_t>(GarminUploadTrackPointSize(trackProtocol));
  PutU32(p.data.data(), static_cast<uint32_t>(latitude));
  PutU32(p.data.data() + 4, static_cast<uint32_t>(longitude));
  return p;
}

GarminPacket GarminTrackHeaderPacket(const std::string& name) {
  GarminPacket p;
  p.id = kPidTrackHeader;
  p.data[0] = 1;
  p.data[1] = 0;
  const size_t n = std::min(name.size(), kTrackNameMax);
  std::memcpy(p.data.data() + 2, name.data(), n);
  p.size = static_cast<uint8_t>(2 + n + 1);
  return p;
}

}  // namespace skylode::garmin
