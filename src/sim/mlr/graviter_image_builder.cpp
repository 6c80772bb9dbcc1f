#include "sim/mlr/graviter_image_builder.h"

#include <bit>
#include <cmath>
#include <cstdlib>

namespace skylode::sim {

namespace {

constexpr uint32_t kImageOffset = 1696, kRingStart = 0x6A4, kRingEnd = 0x1FFFF;

class Memory {
 public:
  Memory() : bytes_(kRingEnd + 1, 0) {}
  void Put(uint32_t& a, uint8_t b) {
    bytes_[a] = b;
    top_ = std::max(top_, a);
    if (a == kRingEnd) wrapped_ = true;
    a = a >= kRingEnd ? kRingStart : a + 1;
  }
  void Put24(uint32_t& a, uint32_t v) {
    for (int s = 16; s >= 0; s -= 8) Put(a, static_cast<uint8_t>(v >> s));
  }
  std::vector<uint8_t> bytes_;
  uint32_t top_ = kImageOffset + 16;  // the instrument sends at least its first bytes of memory
  bool wrapped_ = false;
};

class BitWriter {
 public:
  void Write(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      if (bit_ == 0) bytes.push_back(0);
      bytes.back() = static_cast<uint8_t>(bytes.back() | ((value >> i) & 1) << bit_);
      bit_ = (bit_ + 1) % 8;
    }
  }
  std::vector<uint8_t> bytes;

 private:
  int bit_ = 0;
};

bool Fits(int64_t delta, int bits) { return std::llabs(delta) < (int64_t{1} << bits); }

std::vector<uint8_t> Encode(const GraviterRecord& r, const GraviterRecord* prev) {
  const int64_t dh = prev ? r.height - prev->height : r.height;
  const int64_t dt = prev ? static_cast<int64_t>(r.offset) - prev->offset : r.offset;
  const int64_t dlat = prev ? std::llround((r.latitude - prev->latitude) * 1e7) : 1 << 30;
  const int64_t dlon = prev ? std::llround((r.longitude - prev->longitude) * 1e7) : 1 << 30;
  uint32_t flags = 0;
  const bool longH = r.forceLong || !prev || !Fits(dh, 3);
  const bool longT = r.forceLong || !prev || dt < 0 || dt > 7;
  const bool longLat = r.forceLong || !prev || !prev->positioned || !Fits(dlat, 7);
  const bool longLon = r.forceLong || !prev || !prev->positioned || !Fits(dlon, 7);
  if (longH) flags |= 1;
  // The second to fourth quantities: always a zero delta (short form).
  if (longT) flags |= 1 << 8;
  const int64_t h = longH ? r.height : dh;
  if (h < 0) flags |= 1 << 4;
  if (r.positioned) {
    flags |= 1 << 9;
    if (longLat) flags |= 1 << 12;
    if (longLon) flags |= 1 << 13;
    if (longLat ? r.latitude < 0 : dlat < 0) flags |= 1 << 15;
    if (longLon ? r.longitude < 0 : dlon < 0) flags |= 1 << 16;
  }
  BitWriter w;
  w.Write(flags & 0x3FF, 10);
  if (r.positioned) w.Write(flags >> 10, 8);
  w.Write(static_cast<uint32_t>(std::llabs(h)), longH ? 16 : 3);
  w.Write(0, 4);
  w.Write(0, 3);
  w.Write(0, 2);
  w.Write(static_cast<uint32_t>(longT ? r.offset : dt), longT ? 17 : 3);
  if (r.positioned) {
    w.Write(0, 3);
    if (longLat) {
      w.Write(std::bit_cast<uint32_t>(static_cast<float>(std::abs(r.latitude))), 32);
    } else {
      w.Write(static_cast<uint32_t>(std::llabs(dlat)), 7);
    }
    if (longLon) {
      w.Write(std::bit_cast<uint32_t>(static_cast<float>(std::abs(r.longitude))), 32);
    } else {
      w.Write(static_cast<uint32_t>(std::llabs(dlon)), 7);
    }
  }
  return w.bytes;
}

}  // namespace

std::string BuildGraviterImage(const std::vector<GraviterTrack>& tracks) {
  Memory m;
  std::vector<uint32_t> starts;
  uint32_t a = kRingStart;
  std::vector<uint32_t> nextSlots;
  for (const GraviterTrack& t : tracks) {
    if (t.address != 0) a = t.address;
    starts.push_back(a);
    nextSlots.push_back(a);
    m.Put24(a, 0xFFFFFF);
    for (int v : {t.day, t.month, t.year, t.hour, t.minute, t.endHour, t.endMinute, t.type})
      m.Put(a, static_cast<uint8_t>(v));
    m.Put(a, static_cast<uint8_t>(t.records.size() >> 8));
    m.Put(a, static_cast<uint8_t>(t.records.size() & 0xFF));
    const GraviterRecord* prev = nullptr;
    for (const GraviterRecord& r : t.records) {
      for (uint8_t b : Encode(r, prev)) m.Put(a, b);
      // A record without a position leaves the position deltas where they were.
      if (r.positioned || !prev) prev = &r;
    }
  }
  for (size_t i = 0; i < tracks.size(); ++i) {
    uint32_t slot = nextSlots[i];
    const int64_t next = tracks[i].nextOverride >= 0 ? tracks[i].nextOverride
                         : i + 1 < tracks.size()      ? starts[i + 1]
                                                      : 0xFFFFFF;
    m.Put24(slot, static_cast<uint32_t>(next));
  }
  uint32_t p = kImageOffset;
  m.Put(p, 'y');
  m.Put24(p, tracks.empty() ? 0xFFFFFF : starts[0]);
  const uint32_t top = m.wrapped_ ? kRingEnd : m.top_;
  std::string out(m.bytes_.begin() + kImageOffset, m.bytes_.begin() + top + 1);
  uint8_t x = 0;
  for (size_t i = 1; i < out.size(); ++i) x ^= static_cast<uint8_t>(out[i]);
  out.push_back('*');
  out.push_back(static_cast<char>(x));
  return out + "\r\n";
}

std::vector<GraviterRecord> DemoGraviterRecords(int count) {
  std::vector<GraviterRecord> records;
  for (int i = 0; i < count; ++i) {
    GraviterRecord r;
    r.height = 1200 + (i % 7) - 3 + i / 10;
    r.offset = static_cast<uint32_t>(i * 2);
    r.latitude = 0.7945 + i * 3e-6;
    r.longitude = 0.1082 + i * 4e-6;
    r.forceLong = i % 20 == 19;
    records.push_back(r);
  }
  return records;
}

}  // namespace skylode::sim
