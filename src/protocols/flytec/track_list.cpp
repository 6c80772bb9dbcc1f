#include "protocols/flytec/track_list.h"

#include <string_view>

namespace skylode::flytec {
namespace {

constexpr std::string_view kPrefix = "$PBRTL,";
// Name, count, flight, date, time, duration; a seventh means a stray comma.
constexpr int kMaxFields = 7;
// Durations are hh:mm:ss; a field that keeps growing only has to stay finite.
constexpr int32_t kFieldCap = 1'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

using FieldEnd = SentenceLineReader::FieldEnd;

void AppendBounded(std::string& text, char c) {
  if (text.size() < kTrackListSlotMax) text.push_back(c);
}

int32_t Accumulate(int32_t value, char digit) {
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

TrackListParser::TrackListParser(TrackList& list) : list_(list), reader_(kPrefix, kMaxFields) {}

int TrackListParser::Feed(uint8_t byte) { return reader_.Feed(byte) ? TakeLine() : 1; }

// The error numbers follow the field in which a line went wrong, so that a
// message names the same place whichever way the line broke.
int TrackListParser::TakeLine() {
  const int check = reader_.check();
  if (check != kSentenceNoStar) {
    if (check == kSentenceBadChecksumDigit) {
      const std::string_view digits = reader_.checkDigits();
      for (size_t i = 0; i < 2; ++i) {
        if (i >= digits.size()) return -10;
        if (!IsHex(digits[i])) return -11;
      }
    }
    if (reader_.MissingCr()) return -12;
    if (check == kSentenceChecksumMismatch) return -13;
    if (check < 0) return -14;
  }
  const std::vector<std::string_view>& fields = reader_.fields();
  const auto endOf = [this](size_t i) { return reader_.EndOfField(i); };

  // Number of flights in the list, not needed.
  for (char c : fields[1])
    if (!IsDigit(c)) return -2;
  if (endOf(1) != FieldEnd::kComma) return endOf(1) == FieldEnd::kLineEnd ? -1 : -2;

  int flight = 0;
  for (size_t i = 0; i < fields[2].size(); ++i) {
    // The list has 100 slots: a third digit cannot name one of them, and
    // capping it would overwrite the entry of flight 99.
    if (!IsDigit(fields[2][i]) || i == 2) return -4;
    flight = flight * 10 + (fields[2][i] - '0');
  }
  if (endOf(2) != FieldEnd::kComma) return endOf(2) == FieldEnd::kLineEnd ? -3 : -4;

  TrackListSlot slot;
  slot.text = {static_cast<char>('0' + flight / 10), static_cast<char>('0' + flight % 10), ' ', ' ', ' '};
  for (size_t f = 3; f <= 4; ++f) {  // date, time
    for (char c : fields[f]) AppendBounded(slot.text, c);
    if (endOf(f) != FieldEnd::kComma) return f == 3 ? -5 : -6;
    if (slot.text.size() < 79) slot.text += "   ";
  }

  // hh:mm:ss, copied as received; the duration sums the three parts.
  constexpr int32_t kUnit[] = {3600, 60, 1};
  int part = 0;
  int32_t number = 0;
  int64_t duration = 0;
  for (char c : fields[5]) {
    if (IsDigit(c)) {
      AppendBounded(slot.text, c);
      number = Accumulate(number, c);
    } else if (c == ':' && part < 2) {
      AppendBounded(slot.text, c);
      duration += static_cast<int64_t>(number) * kUnit[part++];
      number = 0;
    } else {
      return -7 - part;
    }
  }
  if (part < 2 || endOf(5) != FieldEnd::kStar) return -7 - part;
  duration += number;
  slot.durationSeconds = duration > INT32_MAX ? INT32_MAX : static_cast<int32_t>(duration);
  list_.entries[flight] = std::move(slot);
  return 1;
}

}  // namespace skylode::flytec
