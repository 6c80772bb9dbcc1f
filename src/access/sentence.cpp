#include "access/sentence.h"

#include <limits>

namespace skylode {

namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";

// Value of a check digit, or -1. `upperOnly` refuses a-f.
int HexValue(unsigned char c, bool upperOnly) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (!upperOnly && c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads the digits of `field` starting at `pos`, between optional blanks, as
// a magnitude no larger than `limit`. Nothing for any other character or a
// value beyond the limit.
std::optional<int64_t> ReadMagnitude(std::string_view field, size_t pos, int64_t limit) {
  while (pos < field.size() && field[pos] == ' ') ++pos;
  int64_t value = 0;
  for (; pos < field.size(); ++pos) {
    const auto c = static_cast<unsigned char>(field[pos]);
    if (c < '0' || c > '9') break;
    // value stays <= limit < 2^32 here, so the product cannot overflow.
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  while (pos < field.size() && field[pos] == ' ') ++pos;
  if (pos != field.size()) return std::nullopt;
  return value;
}

// Commas end fields; past `maxFields` they still end the field before them.
void SplitFields(std::string_view body, std::vector<std::string_view>& fields, int maxFields) {
  size_t start = 0;
  while (static_cast<int>(fields.size()) < maxFields) {
    const size_t comma = body.find(',', start);
    if (comma == std::string_view::npos) {
      fields.push_back(body.substr(start));
      break;
    }
    fields.push_back(body.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace

uint8_t SentenceChecksum(std::string_view body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= static_cast<uint8_t>(c);
  return sum;
}

bool AppendChecksum(std::string& sentence, ChecksumDigits digits) {
  const size_t dollar = sentence.find('$');
  if (dollar == std::string::npos) return false;
  const uint8_t sum = SentenceChecksum(std::string_view(sentence).substr(dollar + 1));
  const char* table = digits == ChecksumDigits::kUpper ? kUpperDigits : kLowerDigits;
  sentence += '*';
  sentence += table[sum >> 4];
  sentence += table[sum & 0x0F];
  sentence += "\r\n";
  return true;
}

int CheckAndSplitSentence(std::string_view text, std::vector<std::string_view>& fields, int maxFields) {
  fields.clear();
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.empty() || text[0] != '$') return kSentenceNoDollar;

  const size_t star = text.find('*', 1);
  if (star == std::string_view::npos) return kSentenceNoStar;
  const std::string_view body = text.substr(0, star);
  const uint8_t sum = SentenceChecksum(body.substr(1));

  const std::string_view tail = text.substr(star + 1);
  const int high = tail.size() > 0 ? HexValue(static_cast<unsigned char>(tail[0]), false) : -1;
  const int low = tail.size() > 1 ? HexValue(static_cast<unsigned char>(tail[1]), false) : -1;
  if (high < 0 || low < 0) return kSentenceBadChecksumDigit;
  if (tail.size() > 2) return kSentenceTrailingText;
  if (((high << 4) | low) != sum) return kSentenceChecksumMismatch;

  SplitFields(body, fields, maxFields);
  return static_cast<int>(fields.size());
}

void SentenceReader::Reset() {
  state_ = State::kWaitDollar;
  length_ = 0;
  xor_ = 0;
  received_ = 0;
}

int SentenceReader::Feed(uint8_t byte) {
  switch (state_) {
    case State::kWaitDollar:
      if (byte == '$') {
        text_[0] = '$';
        length_ = 1;
        xor_ = 0;
        state_ = State::kBody;
      } else {
        // The previous sentence is no longer on offer once other bytes arrive.
        length_ = 0;
      }
      return 1;
    case State::kBody:
      if (byte == '*') {
        state_ = State::kDigit1;
        return 1;
      }
      text_[length_++] = static_cast<char>(byte);
      xor_ ^= byte;
      if (length_ >= kMaxStored) {
        Reset();
        return -1;
      }
      return 1;
    case State::kDigit1: {
      const int v = HexValue(byte, true);
      if (v < 0) {
        Reset();
        return -2;
      }
      received_ = static_cast<uint8_t>(v << 4);
      state_ = State::kDigit2;
      return 1;
    }
    case State::kDigit2: {
      const int v = HexValue(byte, true);
      if (v < 0) {
        Reset();
        return -3;
      }
      received_ = static_cast<uint8_t>(received_ | v);
      state_ = State::kCr;
      return 1;
    }
    case State::kCr:
      if (byte != '\r') {
        Reset();
        return -4;
      }
      state_ = State::kLf;
      return 1;
    case State::kLf: {
      if (byte != '\n') {
        Reset();
        return -6;
      }
      const bool match = received_ == xor_;
      // Keep the text for the caller; the next '$' starts over.
      state_ = State::kWaitDollar;
      if (!match) {
        length_ = 0;
        return -5;
      }
      return 0;
    }
  }
  return 1;
}

void SentenceLineCollector::Reset() {
  state_ = State::kWaitDollar;
  line_.clear();
  complete_ = false;
  restart_ = false;
  ending_ = Ending::kCrLf;
}

bool SentenceLineCollector::Feed(uint8_t byte) {
  if (complete_) {
    line_.clear();
    complete_ = false;
    if (restart_) {
      restart_ = false;
      line_.assign(1, '$');
      ending_ = Ending::kCrLf;
      state_ = State::kLine;
    }
  }
  switch (state_) {
    case State::kWaitDollar:
      if (byte == '$') {
        line_.assign(1, '$');
        ending_ = Ending::kCrLf;
        state_ = State::kLine;
      }
      return false;
    case State::kLine:
      if (byte == '$') {
        ending_ = Ending::kCutOff;
        restart_ = true;
        complete_ = true;
        return true;
      }
      if (byte == '\r') {
        state_ = State::kWaitLf;
        return false;
      }
      if (byte != '\n') {
        if (line_.size() < kMaxLine) line_ += static_cast<char>(byte);
        return false;
      }
      ending_ = Ending::kBareLf;  // a bare LF ends the line too
      break;
    case State::kWaitLf:
      if (byte != '\n') {
        ending_ = Ending::kStrayLf;
        return false;
      }
      break;
  }
  state_ = State::kWaitDollar;
  complete_ = true;
  return true;
}

SentenceLineReader::SentenceLineReader(std::string_view prefix, int maxFields)
    : prefix_(prefix), maxFields_(maxFields) {}

void SentenceLineReader::Reset() {
  collector_.Reset();
  line_.clear();
  fields_.clear();
  check_ = 0;
}

bool SentenceLineReader::Feed(uint8_t byte) {
  if (!collector_.Feed(byte)) return false;
  if (!collector_.Line().starts_with(prefix_)) return false;
  line_ = collector_.Line();
  check_ = CheckAndSplitSentence(line_, fields_, maxFields_);
  if (check_ == kSentenceNoStar) {
    std::string_view body = line_;
    if (const size_t nul = body.find('\0'); nul != std::string_view::npos) body = body.substr(0, nul);
    SplitFields(body, fields_, maxFields_);
  }
  return true;
}

std::string_view SentenceLineReader::checkDigits() const {
  const size_t star = line_.find('*', 1);
  if (star == std::string::npos) return {};
  return std::string_view(line_).substr(star + 1, 2);
}

bool SentenceLineReader::MissingCr() const {
  using Ending = SentenceLineCollector::Ending;
  return check_ == kSentenceTrailingText || ending() == Ending::kBareLf || ending() == Ending::kCutOff;
}

SentenceLineReader::FieldEnd SentenceLineReader::EndOfField(size_t i) const {
  if (i + 1 < fields_.size()) return FieldEnd::kComma;
  return check_ >= 0 ? FieldEnd::kStar : FieldEnd::kLineEnd;
}

bool SentenceLineReader::InSentence() const {
  return collector_.InLine() && collector_.Line().starts_with(prefix_);
}

std::optional<int32_t> ReadDecimal(std::string_view field) {
  const auto v = ReadMagnitude(field, 0, std::numeric_limits<int32_t>::max());
  if (!v) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::optional<int32_t> ReadSignedDecimal(std::string_view field) {
  size_t pos = 0;
  while (pos < field.size() && field[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
    negative = field[pos] == '-';
    ++pos;
  }
  // The negative side reaches one further than the positive one.
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  const auto v = ReadMagnitude(field, pos, limit);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(negative ? -*v : *v);
}

}  // namespace skylode
