// Text as our XML writers put it into a file: always well-formed UTF-8,
// with the characters XML reserves escaped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skylode {

// Length of a well-formed UTF-8 sequence at s[i] (its code point in `cp`),
// or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t& cp);

// Whether the whole text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

// Text for XML content or attributes: UTF-8 passes, stray bytes are taken as
// Latin-1; control characters other than TAB, CR and LF cannot appear in XML
// at all and become blanks. '<' and '>' are always escaped, '&' and '"' on
// request (the KML hash covers some texts with them as they stand).
std::string XmlText(std::string_view text, bool escapeAmpersand, bool escapeQuote);

// XmlText with all four escaped: what every new writer uses.
inline std::string XmlEscaped(std::string_view text) { return XmlText(text, true, true); }

}  // namespace skylode
