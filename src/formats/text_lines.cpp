#include "formats/text_lines.h"

namespace skylode {

std::string_view WithoutUtf8Bom(std::string_view text) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  return text;
}

std::string_view TrimLine(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<TextLine> SplitTextLines(std::string_view text) {
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<TextLine> lines;
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back({++number, text.substr(start, end - start)});
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t end = line.find(separator, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace skylode
