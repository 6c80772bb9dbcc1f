// Text is UTF-8 inside the program; instruments and old files speak 8-bit
// code pages, decoded here at the boundary.
#pragma once

#include <string>
#include <string_view>

namespace skylode {

// Appends one code point as UTF-8 (surrogates and values past U+10FFFF
// become U+FFFD, so the output is always well-formed).
void AppendUtf8(std::string& out, char32_t codePoint);

// The Unicode code point of one Windows-1252 byte (U+FFFD for the five
// unassigned ones).
char32_t Windows1252CodePoint(unsigned char byte);

// A Windows-1252 text as UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace skylode
