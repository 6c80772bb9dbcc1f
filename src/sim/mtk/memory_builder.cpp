#include "sim/mtk/memory_builder.h"

#include <algorithm>
#include <bit>

namespace skylode::sim {

namespace {

constexpr size_t kSector = 65536;

void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put64(std::vector<uint8_t>& v, uint64_t x) {
  Put32(v, static_cast<uint32_t>(x));
  Put32(v, static_cast<uint32_t>(x >> 32));
}
void Set16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

}  // namespace

std::vector<uint8_t> MtkMemoryBuilder::Record(const MtkFix& fix, uint32_t format) {
  std::vector<uint8_t> r;
  auto has = [format](int bit) { return (format & (1u << bit)) != 0; };
  if (has(0)) Put32(r, fix.utc);
  if (has(1)) Put16(r, fix.valid);
  if (has(2)) Put64(r, std::bit_cast<uint64_t>(fix.latitude));
  if (has(3)) Put64(r, std::bit_cast<uint64_t>(fix.longitude));
  if (has(4)) Put32(r, std::bit_cast<uint32_t>(fix.height));
  if (has(5)) Put32(r, std::bit_cast<uint32_t>(fix.speed));
  if (has(6)) Put32(r, std::bit_cast<uint32_t>(fix.heading));
  if (has(7)) Put16(r, 0);
  if (has(8)) Put32(r, 0);
  for (int bit : {9, 10, 11})
    if (has(bit)) Put16(r, 120);
  if (has(12)) Put16(r, static_cast<uint16_t>(fix.satellites << 8 | fix.satellites));
  if (has(13)) {
    if (fix.satellites == 0) {
      Put32(r, 0);
    } else {
      for (uint16_t i = 0; i < fix.satellites; ++i) {
        r.push_back(static_cast<uint8_t>(i + 1));  // satellite number
        r.push_back(1);                            // in use
        Put16(r, i == 0 ? fix.satellites : 0);
        for (int bit : {14, 15, 16})
          if (has(bit)) Put16(r, static_cast<uint16_t>(30 + i));
      }
    }
  }
  if (has(17)) Put16(r, 1);
  if (has(18)) Put16(r, 0);
  if (has(19)) Put64(r, std::bit_cast<uint64_t>(0.0));
  uint8_t x = 0;
  for (uint8_t b : r) x ^= b;
  r.push_back('*');
  r.push_back(x);
  return r;
}

void MtkMemoryBuilder::BeginSector(uint32_t format) {
  sector_ = (memory_.size() + kSector - 1) / kSector * kSector;
  memory_.resize(sector_, 0xFF);
  std::vector<uint8_t> header(512, 0);
  std::fill(header.begin() + 20, header.begin() + 506, 0xFF);
  Set16(header, 0, 0xFFFF);
  Set32(header, 2, format);
  Set16(header, 6, 0x0001);  // logging mode
  Set16(header, 506, 0x3F2A);
  Set32(header, 508, 0xBBBBBBBB);
  memory_.insert(memory_.end(), header.begin(), header.end());
  format_ = format;
  count_ = 0;
}

void MtkMemoryBuilder::Add(const MtkFix& fix) {
  AddRaw(Record(fix, format_));
  ++count_;
}

void MtkMemoryBuilder::ChangeFormat(uint32_t format) {
  std::vector<uint8_t> r(7, 0xAA);
  r.push_back(2);
  Put32(r, format);
  Put32(r, 0xBBBBBBBB);
  AddRaw(r);
  format_ = format;
}

void MtkMemoryBuilder::AddRaw(const std::vector<uint8_t>& bytes) {
  memory_.insert(memory_.end(), bytes.begin(), bytes.end());
}

void MtkMemoryBuilder::CloseSector() { Set16(memory_, sector_, count_); }

}  // namespace skylode::sim
