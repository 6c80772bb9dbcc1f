#include "protocols/digifly/graviter_image.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <set>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::graviter {

uint32_t NextAddress(uint32_t address) { return address >= kRingEnd ? kRingStart : address + 1; }

bool BitReader::Read(int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (address_ >= end_ || address_ >= buffer_.size()) return false;
    value |= static_cast<uint32_t>((buffer_[address_] >> bit_) & 1) << i;
    if (++bit_ == 8) {
      bit_ = 0;
      address_ = NextAddress(address_);
    }
  }
  return true;
}

void BitReader::Align() {
  if (bit_ != 0) {
    bit_ = 0;
    address_ = NextAddress(address_);
  }
}

namespace {

bool InRing(uint32_t a, size_t end) { return a >= kRingStart && a <= kRingEnd && a < end; }

// Reads `count` whole bytes big-endian from the ring.
bool ReadBytes(std::span<const uint8_t> buffer, size_t end, uint32_t& address, int count, uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (address >= end) return false;
    value = value << 8 | buffer[address];
    address = NextAddress(address);
  }
  return true;
}

// One short-or-long quantity: value or delta with a sign flag.
bool Quantity(BitReader& r, uint32_t flags, int longBit, int longBits, int shortBits, int signBit, int errorBase,
              int& error, int64_t& state) {
  const bool isLong = (flags >> longBit) & 1;
  const bool negative = (flags >> signBit) & 1;
  uint32_t v;
  if (!r.Read(isLong ? longBits : shortBits, v)) {
    error = errorBase + (isLong ? 1 : 0);
    return false;
  }
  const int64_t s = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  state = isLong ? s : state + s;
  return true;
}

bool Angle(BitReader& r, uint32_t flags, int longBit, int signBit, int errorBase, int& error, double& radians) {
  const bool isLong = (flags >> longBit) & 1;
  const bool negative = (flags >> signBit) & 1;
  uint32_t v;
  if (!r.Read(isLong ? 32 : 7, v)) {
    error = errorBase + (isLong ? 1 : 0);
    return false;
  }
  if (isLong) {
    const float f = std::bit_cast<float>(v);
    radians = negative ? -static_cast<double>(f) : static_cast<double>(f);
  } else {
    radians += (negative ? -1.0 : 1.0) * static_cast<double>(v) * 1e-7;
  }
  return true;
}

}  // namespace

Decoded DecodeImage(std::span<const uint8_t> image) {
  Decoded out;
  // The reply lands at its offset; what would not fit is refused, not written.
  if (image.size() > kBufferSize - kImageOffset) {
    out.error = 1;
    return out;
  }
  std::vector<uint8_t> buffer(kBufferSize, 0);
  std::copy(image.begin(), image.end(), buffer.begin() + kImageOffset);
  const size_t received = image.size();
  if (received < 21) {
    out.error = 1;
    return out;
  }
  const size_t last = kImageOffset + received;  // one past the LF
  if (image[0] != 'y' || image[received - 4] != '*' || image[received - 2] != '\r' || image[received - 1] != '\n') {
    out.error = 2;
    return out;
  }
  uint8_t x = 0;
  for (size_t i = 1; i + 4 < received; ++i) x ^= image[i];
  if (x != image[received - 3]) {
    out.error = 3;
    return out;
  }
  const size_t end = last - 4;  // the data stops at the '*'
  uint32_t address = kImageOffset + 1;
  uint32_t pointer;
  if (!ReadBytes(buffer, end, address, 3, pointer) || (pointer != kNoTrack && !InRing(pointer, end))) {
    out.error = 4;
    return out;
  }
  std::set<uint32_t> seen;
  while (pointer != kNoTrack) {
    if (!InRing(pointer, end)) return out.error = 10, out;
    if (!seen.insert(pointer).second) return out.error = kCyclicChain, out;
    uint32_t a = pointer, next, v;
    if (!ReadBytes(buffer, end, a, 3, next)) return out.error = 11, out;
    uint8_t h[10];
    for (uint8_t& b : h) {
      if (!ReadBytes(buffer, end, a, 1, v)) return out.error = 11, out;
      b = static_cast<uint8_t>(v);
    }
    const int day = h[0], month = h[1], year = 2000 + h[2];
    if (day < 1 || day > 31) return out.error = 12, out;
    if (month < 1 || month > 12) return out.error = 13, out;
    if (year > 2099) return out.error = kBadYear, out;
    if (h[3] > 23) return out.error = 14, out;
    if (h[4] > 59) return out.error = 15, out;
    if (h[5] > 23) return out.error = 16, out;
    if (h[6] > 59) return out.error = 17, out;
    if (h[7] != 2 && h[7] != 3) return out.error = 18, out;
    const int records = h[8] << 8 | h[9];
    const std::optional<uint32_t> start = CalendarToTime({static_cast<uint16_t>(year), static_cast<uint16_t>(month),
                                                         static_cast<uint16_t>(day), h[3], h[4], 0, 0});
    if (!start) return out.error = 12, out;
    const size_t before = out.points.size();
    if (h[7] == 3) {
      BitReader r(buffer, end, a);
      int64_t height = 0, q2 = 0, q3 = 0, q4 = 0, q5 = 0, offset = 0;
      double lat = 0, lon = 0;
      for (int k = 0; k < records; ++k) {
        r.Align();
        uint32_t flags, more;
        if (!r.Read(10, flags)) return out.error = 20, out;
        if ((flags >> 9) & 1) {
          if (!r.Read(8, more)) return out.error = 21, out;
          flags |= more << 10;
        }
        int error = 0;
        if (!Quantity(r, flags, 0, 16, 3, 4, 22, error, height) || !Quantity(r, flags, 1, 8, 4, 5, 24, error, q2) ||
            !Quantity(r, flags, 2, 8, 3, 6, 26, error, q3) || !Quantity(r, flags, 3, 6, 2, 7, 28, error, q4))
          return out.error = error, out;
        {
          const bool isLong = (flags >> 8) & 1;
          if (!r.Read(isLong ? 17 : 3, v)) return out.error = isLong ? 31 : 30, out;
          offset = isLong ? v : offset + v;
        }
        if (!((flags >> 9) & 1)) continue;
        if (!Quantity(r, flags, 11, 8, 3, 14, 32, error, q5) || !Angle(r, flags, 12, 15, 34, error, lat) ||
            !Angle(r, flags, 13, 16, 36, error, lon))
          return out.error = error, out;
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::abs(lat) > std::numbers::pi / 2 ||
            std::abs(lon) > std::numbers::pi)
          return out.error = kBadPosition, out;
        TrackPoint p;
        p.time = *start + static_cast<uint32_t>(offset);
        p.gpsHeight = static_cast<int32_t>(height * 10);
        p.latitude = *RadiansToLatitude(lat);
        p.longitude = *RadiansToLongitude(lon);
        if (out.points.size() == before) p.flags = 1;
        if (out.points.size() > before) {
          const TrackPoint& q = out.points.back();
          if (q.time == p.time && q.flags == p.flags && q.latitude == p.latitude && q.longitude == p.longitude)
            continue;
        }
        out.points.push_back(p);
      }
    }
    if (out.points.size() == before) out.empty.push_back({year, month, day, h[3], h[4]});
    pointer = next;
  }
  return out;
}

}  // namespace skylode::graviter
