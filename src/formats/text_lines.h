// Taking a text file apart: its lines with their numbers, and the fields of
// a line. The readers of column and sentence files share these, so that a
// line end, a NUL or a byte-order mark means the same to each of them.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace skylode {

// A UTF-8 byte-order mark at the start is passed over.
std::string_view WithoutUtf8Bom(std::string_view text);

// Blanks, tabs and a stray CR removed at both ends.
std::string_view TrimLine(std::string_view s);

struct TextLine {
  int number = 0;  // counted from 1
  std::string_view text;
};

// The lines without their ends: LF, CR LF or a lone CR ends a line. A NUL
// ends the text. Numbers count every line, empty ones too, so that a message
// names the line an editor shows.
std::vector<TextLine> SplitTextLines(std::string_view text);

// The fields between separators; an empty field is kept as one.
std::vector<std::string_view> SplitFields(std::string_view line, char separator);

}  // namespace skylode
