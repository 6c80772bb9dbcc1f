// The instrument's 8-bit text (Windows-1252) at the edge of the program,
// which keeps UTF-8 inside.
#pragma once

#include <string>
#include <string_view>

namespace skylode::flytec {

// Each byte as its Windows-1252 character in UTF-8; the five bytes that
// code page leaves unassigned become U+FFFD.
std::string DecodeInstrumentText(std::string_view bytes);

// Upper case in the instrument's code page, letters with accents included.
std::string UpperInstrumentText(std::string_view bytes);

}  // namespace skylode::flytec
