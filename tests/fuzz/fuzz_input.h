// Helpers the instrument targets share: inputs whose check digits are made
// right, so that mutations reach the fields behind a checksum, and the
// rules every decoded point and waypoint keeps.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode::fuzz {

// Each "$...*" gets the two upper-case hex digits of the XOR of the bytes
// between '$' and '*' (when the input has room for them).
inline std::string WithSentenceChecksums(std::string_view in) {
  std::string s(in);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (size_t dollar = s.find('$'); dollar != std::string::npos; dollar = s.find('$', dollar + 1)) {
    const size_t star = s.find('*', dollar + 1);
    if (star == std::string::npos) break;
    if (s.find('$', dollar + 1) < star) continue;
    uint8_t x = 0;
    for (size_t i = dollar + 1; i < star; ++i) x ^= static_cast<uint8_t>(s[i]);
    if (star + 1 < s.size()) s[star + 1] = kHex[x >> 4];
    if (star + 2 < s.size()) s[star + 2] = kHex[x & 15];
  }
  return s;
}

// The first byte chooses whether the rest goes in as it is or with its
// sentence checksums made right.
inline std::string InstrumentBytes(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  return (data[0] & 1) ? WithSentenceChecksums(rest) : std::string(rest);
}

inline constexpr int32_t kQuarterTurn = int32_t{1} << 30;  // 90 degrees in semicircles

inline void CheckPoint(const TrackPoint& p) {
  if (p.latitude > kQuarterTurn || p.latitude < -kQuarterTurn || !std::isfinite(p.depth)) abort();
}

inline void CheckWaypoint(const Waypoint& w) {
  if (w.latitude > kQuarterTurn || w.latitude < -kQuarterTurn) abort();
  if (w.id.size() > 6) abort();
}

inline bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace skylode::fuzz
