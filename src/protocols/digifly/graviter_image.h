// The Digifly Graviter's memory image: a ring of tracks, each a header and
// bit-packed records of deltas.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "records/track_log.h"

namespace skylode::graviter {

inline constexpr size_t kBufferSize = 140000;
inline constexpr size_t kImageOffset = 1696;  // where the reply to "y" is stored
inline constexpr uint32_t kRingStart = 0x6A4;
inline constexpr uint32_t kRingEnd = 0x1FFFF;
inline constexpr uint32_t kNoTrack = 0xFFFFFF;

// Format errors beyond the instrument's own numbers.
inline constexpr int kBadYear = 19;        // a year past 2099
inline constexpr int kCyclicChain = 38;    // a track pointer seen before
inline constexpr int kBadPosition = 39;    // NaN or past a pole / the date line

// A track that gave no points, for the "No log positions" notice.
struct EmptyTrack {
  int year, month, day, hour, minute;
};

struct Decoded {
  int error = 0;  // 0, or the format error number
  std::vector<TrackPoint> points;
  std::vector<EmptyTrack> empty;
};

// Checks and decodes `image` (the bytes received after "y" was sent, the
// 'y' first). Nothing is read past what arrived.
Decoded DecodeImage(std::span<const uint8_t> image);

// Reads a ring of memory from a start address, least significant bit first.
class BitReader {
 public:
  BitReader(std::span<const uint8_t> buffer, size_t end, uint32_t address)
      : buffer_(buffer), end_(end), address_(address) {}
  // False when the bits run past what arrived.
  bool Read(int count, uint32_t& value);
  // Moves to the next byte boundary.
  void Align();
  uint32_t address() const { return address_; }

 private:
  std::span<const uint8_t> buffer_;
  size_t end_;
  uint32_t address_;
  int bit_ = 0;
};

uint32_t NextAddress(uint32_t address);

}  // namespace skylode::graviter
