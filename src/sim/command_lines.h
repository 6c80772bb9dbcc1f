// The text commands a program sends an instrument, split into lines: each
// ends with LF (a CR before it is dropped) and keeps at most 100 characters.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace skylode::sim {

class CommandLines {
 public:
  // Calls `onLine(line)` for each line completed by `bytes`.
  template <typename OnLine>
  void Feed(std::span<const uint8_t> bytes, OnLine&& onLine) {
    for (uint8_t b : bytes) {
      if (b == '\n') {
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        onLine(line_);
        line_.clear();
      } else if (line_.size() < kMaxLine) {
        line_.push_back(static_cast<char>(b));
      }
    }
  }

 private:
  static constexpr size_t kMaxLine = 100;
  std::string line_;
};

}  // namespace skylode::sim
