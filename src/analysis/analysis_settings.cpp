#include "analysis/analysis_settings.h"

#include <charconv>
#include <limits>

namespace skylode {

std::optional<uint32_t> ParseUnsignedDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

GapInput ParseLoopFlightGapInput(std::string_view text) {
  if (text.empty()) return {std::nullopt, "Missing input"};
  if (auto v = ParseUnsignedDecimal(text)) return {v, nullptr};
  return {std::nullopt, "Bad input"};
}

std::optional<uint32_t> ParseTrackGapMinutes(std::string_view text) {
  const auto minutes = ParseUnsignedDecimal(text);
  // Minutes beyond this would wrap when turned into seconds.
  if (!minutes || *minutes > std::numeric_limits<uint32_t>::max() / 60) return std::nullopt;
  return *minutes * 60;
}

}  // namespace skylode
