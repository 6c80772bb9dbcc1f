#include "protocols/flytec/track_list.h"

#include <string_view>

namespace skylode::flytec {
namespace {

constexpr std::string_view kHeader = "$PBRTL,";
// Durations are hh:mm:ss; a field that keeps growing only has to stay finite.
constexpr int32_t kFieldCap = 1'000'000;

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsLineEnd(uint8_t b) { return b == '\r' || b == '\n'; }

int HexValue(uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  return -1;
}

int32_t Accumulate(int32_t value, uint8_t digit) {
  const int32_t next = value * 10 + (digit - '0');
  return next > kFieldCap ? kFieldCap : next;
}

}  // namespace

int TrackList::Count() const {
  int n = 0;
  for (const auto& e : entries) n += e.text.empty() ? 0 : 1;
  return n;
}

std::vector<int> TrackList::FlightNumbers() const {
  std::vector<int> numbers;
  for (int i = 0; i < kTrackListSize; ++i)
    if (!entries[i].text.empty()) numbers.push_back(i);
  return numbers;
}

void TrackListParser::AppendField(uint8_t byte, size_t limit) {
  std::string& text = list_.entries[flight_].text;
  if (text.size() < limit) text.push_back(static_cast<char>(byte));
}

int TrackListParser::Feed(uint8_t byte) {
  // Everything between '$' and '*' is covered by the checksum.
  if (state_ >= 1 && state_ <= 8 && !(state_ == 8 && byte == '*')) xor_ ^= byte;
  switch (state_) {
    case 0:
      if (byte == '$') {
        state_ = 1;
        xor_ = 0;
        received_ = 0;
        position_ = 1;
      }
      return 1;
    case 1:
      if (byte != static_cast<uint8_t>(kHeader[position_])) {
        state_ = 0;
        return 1;
      }
      if (++position_ == kHeader.size()) state_ = 2;
      return 1;
    case 2:  // number of flights in the list, not needed
      if (byte == ',') {
        state_ = 3;
        number_ = 0;
        digits_ = 0;
        return 1;
      }
      if (IsLineEnd(byte)) return -1;
      return IsDigit(byte) ? 1 : -2;
    case 3:  // flight number
      if (IsLineEnd(byte)) return -3;
      if (byte == ',') {
        flight_ = number_;
        std::string& text = list_.entries[flight_].text;
        text.assign({static_cast<char>('0' + flight_ / 10), static_cast<char>('0' + flight_ % 10)});
        text += "   ";
        list_.entries[flight_].durationSeconds = 0;
        state_ = 4;
        return 1;
      }
      // The list has 100 slots: a third digit cannot name one of them, and
      // capping it would overwrite the entry of flight 99.
      if (!IsDigit(byte) || digits_ == 2) return -4;
      number_ = number_ * 10 + (byte - '0');
      ++digits_;
      return 1;
    case 4:  // date
    case 5:  // time
      if (IsLineEnd(byte)) return state_ == 4 ? -5 : -6;
      if (byte == ',') {
        std::string& text = list_.entries[flight_].text;
        if (text.size() < 79) text += "   ";
        ++state_;
        number_ = 0;
        duration_ = 0;
        return 1;
      }
      AppendField(byte, kTrackListSlotMax);
      return 1;
    case 6:  // hours
    case 7:  // minutes
      if (IsDigit(byte)) {
        AppendField(byte, kTrackListSlotMax);
        number_ = Accumulate(number_, byte);
        return 1;
      }
      if (byte == ':') {
        AppendField(byte, kTrackListSlotMax);
        duration_ += static_cast<int64_t>(number_) * (state_ == 6 ? 3600 : 60);
        number_ = 0;
        ++state_;
        return 1;
      }
      return state_ == 6 ? -7 : -8;
    case 8:  // seconds
      if (IsDigit(byte)) {
        AppendField(byte, kTrackListSlotMax);
        number_ = Accumulate(number_, byte);
        return 1;
      }
      if (byte == '*') {
        duration_ += number_;
        list_.entries[flight_].durationSeconds =
            duration_ > INT32_MAX ? INT32_MAX : static_cast<int32_t>(duration_);
        state_ = 9;
        position_ = 0;
        return 1;
      }
      return -9;
    case 9:  // checksum, CR, LF
      if (position_ < 2) {
        if (IsLineEnd(byte)) return -10;
        const int v = HexValue(byte);
        if (v < 0) return -11;
        received_ = static_cast<uint8_t>(received_ << 4 | v);
        ++position_;
        return 1;
      }
      if (position_ == 2) {
        if (byte != '\r') return -12;
        ++position_;
        return 1;
      }
      if (received_ != xor_) return -13;
      state_ = 0;
      return 1;
    default:
      return -14;
  }
}

}  // namespace skylode::flytec
