#include "protocols/flymaster/track_list.h"

#include <cstdio>

#include "protocols/flymaster/link.h"

namespace skylode::flymaster {
namespace {

constexpr std::string_view kPrefix = "$PFMLST,";
// Each field is a small number; more digits than this is not a list line
// but noise, and must not wrap the accumulator.
constexpr int kMaxDigits = 9;
// State 2 to 12 read the eleven numbers; each ends on its own character.
constexpr char kTerminators[11] = {',', ',', '.', '.', ',', ':', ':', ',', ':', ':', '*'};

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ListedFlight::Line() const {
  char text[96];
  std::snprintf(text, sizeof text, "%d.%02d.%02d   %02d:%02d:%02d   %02d:%02d:%02d", year() + 2000, month(), day(),
                hour(), minute(), second(), values[8], values[9], values[10]);
  return text;
}

std::string ListedFlight::DownloadCommand() const {
  char body[64];
  // Two digits each: the list's numbers are bounded, but a year 2100 or a
  // bad value must not widen the field the instrument reads by position.
  auto two = [](int32_t v) { return v < 0 ? 0 : v % 100; };
  std::snprintf(body, sizeof body, "PFMDNL,%02d%02d%02d%02d%02d%02d,", two(year()), two(month()), two(day()),
                two(hour()), two(minute()), two(second()));
  return Sentence(body, false);
}

int TrackListParser::Feed(uint8_t c) {
  switch (state_) {
    case 0:
      if (c == '$') {
        xor_ = 0;
        received_ = 0;
        position_ = 1;
        state_ = 1;
      }
      return 1;
    case 1:
      if (c != static_cast<uint8_t>(kPrefix[position_])) {
        if (c == '$') {
          xor_ = 0;
          position_ = 1;
        } else {
          state_ = 0;
        }
        return 1;
      }
      xor_ ^= c;
      if (++position_ < kPrefix.size()) return 1;
      if (list_.size() >= kTrackListMax) {
        state_ = 0;
        return -1;
      }
      entry_ = {};
      number_ = 0;
      digits_ = 0;
      state_ = 2;
      return 1;
    default:
      break;
  }
  if (state_ >= 2 && state_ <= 12) {
    const int field = state_ - 2;
    if (c >= '0' && c <= '9') {
      if (++digits_ > kMaxDigits) {
        const int error = state_;
        state_ = 0;
        return -error;
      }
      xor_ ^= c;
      number_ = number_ * 10 + (c - '0');
      return 1;
    }
    if (c != static_cast<uint8_t>(kTerminators[field])) {
      const int error = state_;
      state_ = 0;
      return -error;
    }
    if (c != '*') xor_ ^= c;
    entry_.values[static_cast<size_t>(field)] = static_cast<int32_t>(number_);
    number_ = 0;
    digits_ = 0;
    ++state_;
    checkDigits_ = 0;
    return 1;
  }
  if (state_ == 13) {
    if (checkDigits_ < 2) {
      if (c == '\r' || c == '\n') {
        state_ = 0;
        return -13;
      }
      const int v = HexValue(c);
      if (v < 0) {
        state_ = 0;
        return -14;
      }
      received_ = static_cast<uint8_t>(received_ << 4 | v);
      ++checkDigits_;
      return 1;
    }
    if (checkDigits_ == 2) {
      if (c != '\r') {
        state_ = 0;
        return -15;
      }
      ++checkDigits_;
      return 1;
    }
    state_ = 0;
    if (received_ != xor_) return -16;
    list_.push_back(entry_);
    return 1;
  }
  state_ = 0;
  return -17;
}

}  // namespace skylode::flymaster
