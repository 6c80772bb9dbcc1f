// The title of a message box. It has a type of its own so that a call with
// caption and text the wrong way round does not compile: every message call
// takes the caption first, then the text.
#pragma once

#include <string_view>

namespace skylode {

struct Caption {
  constexpr explicit Caption(std::string_view title) : text(title) {}
  std::string_view text;
};

}  // namespace skylode
