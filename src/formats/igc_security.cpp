#include "formats/igc_security.h"

#include <zlib.h>

namespace skylode {

const std::array<uint8_t, 64> kIgcGRecordPermutation = {
    62, 3,  38, 22, 20, 24, 45, 7,  17, 34, 42, 29, 5,  56, 54, 0,  19, 13, 15, 31, 12, 37,
    50, 30, 18, 44, 10, 23, 8,  53, 32, 2,  51, 48, 14, 21, 61, 60, 27, 55, 58, 49, 9,  16,
    47, 57, 4,  43, 41, 35, 33, 6,  11, 36, 28, 25, 52, 40, 59, 63, 39, 26, 46, 1};

uint32_t IgcCrcUpdate(uint32_t crc, std::string_view bytes) {
  // zlib inverts the register on the way in and out; undoing both leaves the
  // bare register update that our signatures have always used.
  uLong z = ~crc & 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const uInt chunk = left > 0x40000000u ? 0x40000000u : static_cast<uInt>(left);
    z = crc32(z, p, chunk);
    p += chunk;
    left -= chunk;
  }
  return ~static_cast<uint32_t>(z);
}

std::string IgcSecurityCode(uint32_t runningCrc) {
  const uint32_t c1 = IgcCrcUpdate(runningCrc, "1");
  const char c1Bytes[8] = {static_cast<char>(c1 >> 24), static_cast<char>(c1 >> 16),
                           static_cast<char>(c1 >> 8),  static_cast<char>(c1),
                           '1', '1', '1', '1'};
  const uint32_t c2 = IgcCrcUpdate(kIgcCrcStart, std::string_view(c1Bytes, 8));

  uint8_t in[8];
  for (int i = 0; i < 4; ++i) {
    in[i] = static_cast<uint8_t>(c1 >> (8 * i));
    in[4 + i] = static_cast<uint8_t>(c2 >> (8 * i));
  }
  uint8_t out[8] = {};
  for (int k = 0; k < 64; ++k) {
    const int from = kIgcGRecordPermutation[k];
    if ((in[from >> 3] >> (from & 7)) & 1) out[k >> 3] |= static_cast<uint8_t>(1u << (k & 7));
  }

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string code;
  code.reserve(16);
  for (int i = 7; i >= 0; --i) {
    code.push_back(kHex[out[i] >> 4]);
    code.push_back(kHex[out[i] & 15]);
  }
  return code;
}

}  // namespace skylode
