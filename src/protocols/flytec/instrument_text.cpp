#include "protocols/flytec/instrument_text.h"

#include <cstdint>

#include "records/text_encoding.h"

namespace skylode::flytec {

std::string DecodeInstrumentText(std::string_view bytes) {
  return Windows1252ToUtf8(bytes);
}

std::string UpperInstrumentText(std::string_view bytes) {
  std::string out(bytes);
  for (char& ch : out) {
    const auto b = static_cast<uint8_t>(ch);
    uint8_t u = b;
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) u = static_cast<uint8_t>(b - 0x20);
    else if (b == 0x9A || b == 0x9C || b == 0x9E) u = static_cast<uint8_t>(b - 0x10);  // s, oe, z with caron
    else if (b == 0xFF) u = 0x9F;                                                        // y with diaeresis
    ch = static_cast<char>(u);
  }
  return out;
}

}  // namespace skylode::flytec
