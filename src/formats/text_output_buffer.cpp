#include "formats/text_output_buffer.h"

#include <charconv>

#include "analysis/coordinate_text.h"

namespace skylode {

TextOutputBuffer& TextOutputBuffer::Int(int64_t value, int width) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  std::string_view digits(buf, static_cast<size_t>(r.ptr - buf));
  if (!digits.empty() && digits.front() == '-') {
    text_.push_back('-');
    digits.remove_prefix(1);
    if (width > 0) --width;
  }
  if (width > 0 && digits.size() < static_cast<size_t>(width))
    text_.append(static_cast<size_t>(width) - digits.size(), '0');
  text_.append(digits);
  return *this;
}

TextOutputBuffer& TextOutputBuffer::PaddedInt(int64_t value, int width) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  const size_t n = static_cast<size_t>(r.ptr - buf);
  if (width > 0 && n < static_cast<size_t>(width)) text_.append(static_cast<size_t>(width) - n, ' ');
  text_.append(buf, n);
  return *this;
}

TextOutputBuffer& TextOutputBuffer::Fixed(double value, int decimals) {
  text_.append(FormatFixed(value, decimals));
  return *this;
}

}  // namespace skylode
