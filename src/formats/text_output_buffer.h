// The growing text every file writer builds before it writes the file in one
// piece. Numbers go in through these helpers only, so that no locale can
// change a decimal point or group digits in a file.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace skylode {

class TextOutputBuffer {
 public:
  TextOutputBuffer() = default;
  explicit TextOutputBuffer(size_t initialCapacity) { text_.reserve(initialCapacity); }

  TextOutputBuffer& Append(std::string_view piece) {
    text_.append(piece);
    return *this;
  }
  TextOutputBuffer& Append(char c) {
    text_.push_back(c);
    return *this;
  }
  // Decimal integer, optionally zero-padded to `width` digits after the sign.
  TextOutputBuffer& Int(int64_t value, int width = 0);
  // Fixed-point with `decimals` digits after a '.', as printf's "%.*f".
  TextOutputBuffer& Fixed(double value, int decimals);
  // Right-aligned in a field of `width` characters, as printf's "%5d".
  TextOutputBuffer& PaddedInt(int64_t value, int width);

  const std::string& text() const { return text_; }
  std::string& text() { return text_; }
  size_t length() const { return text_.size(); }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace skylode
