// The G security record of the IGC files we write: a running CRC over the
// covered records, folded into sixteen hex digits. Writer and verifier share
// every step here so that they can never drift apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace skylode {

// The running checksum starts here and is never inverted at the end: it is the
// raw CRC-32 register (reflected polynomial 0xEDB88320).
inline constexpr uint32_t kIgcCrcStart = 0xFFFFFFFFu;

// Bit k of the scrambled block comes from bit kIgcGRecordPermutation[k] of the
// plain one. Changing one entry invalidates every signed file in the field.
extern const std::array<uint8_t, 64> kIgcGRecordPermutation;

// Feeds bytes to the running checksum.
uint32_t IgcCrcUpdate(uint32_t crc, std::string_view bytes);

// The sixteen upper-case hex digits of the G record for the checksum over all
// covered bytes (without the "G" and without the line end).
std::string IgcSecurityCode(uint32_t runningCrc);

}  // namespace skylode
