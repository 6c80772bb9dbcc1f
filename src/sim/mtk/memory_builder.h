// Builds the binary memory of an MTK logger, as the logger writes it, for
// the virtual logger and the tests: sectors closed with their record count
// or left open, format changes between records, any number of satellites.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace skylode::sim {

struct MtkFix {
  uint32_t utc = 0;  // seconds since 1970
  uint16_t valid = 2;  // bit 0 set: no fix
  double latitude = 0, longitude = 0;  // degrees
  float height = 0;  // metres
  float speed = 0, heading = 0;
  uint16_t satellites = 0;  // entries written when the format has them
};

class MtkMemoryBuilder {
 public:
  // UTC, validity, position, height, speed, satellites with elevation,
  // azimuth and SNR.
  static constexpr uint32_t kDefaultFormat = 0x1F | (1u << 5) | (1u << 12) | (1u << 13) | (1u << 14) | (1u << 15) |
                                             (1u << 16);

  // Starts a new sector logging `format`.
  void BeginSector(uint32_t format = kDefaultFormat);
  void Add(const MtkFix& fix);
  // A special record switching to `format` from the next record on.
  void ChangeFormat(uint32_t format);
  // Bytes as they stand (a record broken on purpose, say).
  void AddRaw(const std::vector<uint8_t>& bytes);
  // Writes the record count into the sector's header; open sectors keep
  // 0xFFFF.
  void CloseSector();

  // The memory up to its last written byte (the logger's "memory used").
  const std::vector<uint8_t>& bytes() const { return memory_; }
  std::vector<uint8_t>& bytes() { return memory_; }

  // One record as the sector's current format writes it.
  static std::vector<uint8_t> Record(const MtkFix& fix, uint32_t format);

 private:
  std::vector<uint8_t> memory_;
  size_t sector_ = 0;
  uint32_t format_ = kDefaultFormat;
  uint16_t count_ = 0;
};

}  // namespace skylode::sim
