#include "formats/xml_text.h"

#include "records/text_encoding.h"

namespace skylode {

size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t n = 0;
  uint32_t min = 0;
  if ((c & 0xE0) == 0xC0) {
    n = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool IsWellFormedUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t n = Utf8SequenceLength(text, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string XmlText(std::string_view text, bool escapeAmpersand, bool escapeQuote) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t n = Utf8SequenceLength(text, i, cp);
    if (n == 0) {
      cp = static_cast<uint8_t>(text[i]);
      n = 1;
    }
    i += n;
    if (cp == '<') {
      out += "&lt;";
    } else if (cp == '>') {
      out += "&gt;";
    } else if (cp == '&' && escapeAmpersand) {
      out += "&amp;";
    } else if (cp == '"' && escapeQuote) {
      out += "&quot;";
    } else if (cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n') {
      out.push_back(' ');
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}

}  // namespace skylode
