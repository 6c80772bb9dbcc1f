#include "records/waypoint.h"

namespace skylode {
namespace {

bool IsIdChar(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'; }
unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::optional<std::string> ParseId(std::string_view text, bool lenient) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string id;
  for (; i < text.size(); ++i) {
    unsigned char c = Upper(static_cast<unsigned char>(text[i]));
    if (c == ' ') break;
    if (id.size() == kWaypointIdMax) {
      if (lenient) return id;
      return std::nullopt;
    }
    if (!IsIdChar(c)) {
      if (!lenient) return std::nullopt;
      c = '-';
      // One '-' for a whole UTF-8 sequence.
      while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
    id.push_back(static_cast<char>(c));
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ' && !lenient) return std::nullopt;
  return id;
}

}  // namespace

std::optional<std::string> ParseWaypointId(std::string_view text) { return ParseId(text, false); }

std::optional<std::string> NormaliseWaypointId(std::string_view text, bool lenient) {
  return ParseId(text, lenient);
}

std::string NormaliseDescription(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < kWaypointNameMax; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsAsciiAlnum(c) || c == ' ' || c == '-') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('-');
      if (c >= 0xC0)
        while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace skylode
