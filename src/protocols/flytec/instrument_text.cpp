#include "protocols/flytec/instrument_text.h"

#include <cstdint>

namespace skylode::flytec {
namespace {

// 0x80..0x9F, where Windows-1252 differs from Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string DecodeInstrumentText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : static_cast<char32_t>(b));
  }
  return out;
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
