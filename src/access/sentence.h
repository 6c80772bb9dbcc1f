// The text sentences most instruments talk in: "$NAME,field,...*HH\r\n", where
// HH is the XOR of every byte between '$' and '*'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

// XOR of all bytes of `body` (the text between '$' and '*').
uint8_t SentenceChecksum(std::string_view body);

// Instruments disagree on the case of the checksum digits; each protocol
// states which one it sends.
enum class ChecksumDigits { kUpper, kLower };

// Closes a sentence: XORs what follows the first '$' and appends '*', the two
// digits and CR LF. Anything before the '$' (the XON some instruments want)
// stays outside the checksum. A text without '$' is left alone and gives
// false: sending it would only earn a format error from the instrument.
bool AppendChecksum(std::string& sentence, ChecksumDigits digits = ChecksumDigits::kUpper);

// Errors of CheckAndSplitSentence.
inline constexpr int kSentenceNoDollar = -1;
inline constexpr int kSentenceBadChecksumDigit = -2;
inline constexpr int kSentenceTrailingText = -3;
inline constexpr int kSentenceChecksumMismatch = -4;
inline constexpr int kSentenceNoStar = -5;

// Checks one received sentence (without CR LF) and splits it at the commas.
// Returns the number of fields stored in `fields` (at most `maxFields`) or one
// of the negative errors above. Field 0 is the name with its '$' ("$PBRSNP");
// the last field ends at '*'. Fields are views into `text`, untrimmed; an
// empty field stays an empty field. Commas past `maxFields` still end the
// field before them. A NUL byte ends the text, as it did for the instrument
// code that first produced these lines. Checksum digits may be either case.
int CheckAndSplitSentence(std::string_view text, std::vector<std::string_view>& fields, int maxFields);

// The general byte-driven reader: fed one received byte at a time, it finds
// "$...*HH\r\n" sentences with upper-case check digits.
//
// Feed returns 1 (byte taken), 0 (a sentence is complete and correct; Text()
// holds it until the next byte) or a negative error, which callers show
// made positive in their "Format error %" message:
//   -1 the sentence reached 82 stored bytes without '*'
//   -2 / -3 the first / second check digit is not 0-9 or A-F
//   -4 no CR after the check digits
//   -5 the check digits differ from the XOR (found at the LF)
//   -6 no LF after the CR
// After an error the reader waits for the next '$' again.
class SentenceReader {
 public:
  static constexpr size_t kMaxStored = 82;

  int Feed(uint8_t byte);
  void Reset();

  // The last complete sentence from '$' up to but not including '*'.
  std::string_view Text() const { return {text_, length_}; }

 private:
  enum class State { kWaitDollar, kBody, kDigit1, kDigit2, kCr, kLf };

  State state_ = State::kWaitDollar;
  char text_[kMaxStored] = {};
  size_t length_ = 0;
  uint8_t xor_ = 0;
  uint8_t received_ = 0;
};

// For protocols that collect a whole line before checking it: the bytes from
// '$' up to CR, at most 80 of them (the rest of a longer line is dropped, so
// its checksum fails later), ended by LF. Bytes before a '$' are skipped. A
// '$' inside a line starts the next sentence: the line so far is handed over
// as cut off, so that a sentence that lost its end is never taken for whole
// nor dropped unseen.
class SentenceLineCollector {
 public:
  static constexpr size_t kMaxLine = 80;

  // How the last line ended; protocols that insist on CR LF look here.
  enum class Ending {
    kCrLf,
    kBareLf,    // LF without CR
    kStrayLf,   // other bytes between CR and LF (dropped)
    kCutOff,    // the next sentence's '$' came first
  };

  // True when `byte` completed a line; Line() then holds it until the next byte.
  bool Feed(uint8_t byte);
  void Reset();
  std::string_view Line() const { return line_; }
  Ending ending() const { return ending_; }
  // A line has begun and its LF has not come yet; Line() holds what came.
  bool InLine() const { return state_ != State::kWaitDollar; }

 private:
  enum class State { kWaitDollar, kLine, kWaitLf };
  State state_ = State::kWaitDollar;
  std::string line_;
  bool complete_ = false;
  bool restart_ = false;  // the '$' that cut off the last line begins the next
  Ending ending_ = Ending::kCrLf;
};

// The whole-line way of reading one kind of sentence, shared by the
// protocols that parse fields rather than bytes: lines are collected as
// SentenceLineCollector does, lines that do not begin with `prefix` are passed
// over, and the others are checked and split by CheckAndSplitSentence. What
// the fields mean, and which error numbers a protocol shows, stay with the
// protocol.
class SentenceLineReader {
 public:
  // `prefix` as the line begins, e.g. "$PBRTL,"; empty takes every line.
  SentenceLineReader(std::string_view prefix, int maxFields);
  SentenceLineReader(const SentenceLineReader&) = delete;
  SentenceLineReader& operator=(const SentenceLineReader&) = delete;

  // True when `byte` completed a line that begins with the prefix; the
  // accessors below describe it until the next byte.
  bool Feed(uint8_t byte);
  void Reset();

  // CheckAndSplitSentence's result for the line: the number of fields or one
  // of the kSentence errors.
  int check() const { return check_; }
  bool checked() const { return check_ >= 0; }
  // The fields, views into line(). A line without '*' is split all the same,
  // the whole of it as body, so that a protocol can tell in which field it
  // broke off.
  const std::vector<std::string_view>& fields() const { return fields_; }
  std::string_view line() const { return line_; }
  // What follows '*': the check digits, or less when the line ends sooner.
  std::string_view checkDigits() const;
  SentenceLineCollector::Ending ending() const { return collector_.ending(); }
  // Something other than CR came after the check digits (more text, a bare
  // LF, the next sentence).
  bool MissingCr() const;

  // What ended field `i`: the next comma, the '*' of a checked line, or the
  // end of a line that never reached its '*'. Protocols that number their
  // errors by field tell from this where a line broke off.
  enum class FieldEnd { kComma, kStar, kLineEnd };
  FieldEnd EndOfField(size_t i) const;
  // A line with the prefix has begun and not ended: silence now would cut
  // off a sentence that was meant for us.
  bool InSentence() const;

 private:
  SentenceLineCollector collector_;
  std::string prefix_;
  int maxFields_;
  std::string line_;
  std::vector<std::string_view> fields_;
  int check_ = 0;
};

// The decimal readers of numeric fields. Blanks may lead and trail; a field
// of blanks only (or an empty field) reads as 0; any other character fails,
// and so does a value outside the 32-bit range.
std::optional<int32_t> ReadDecimal(std::string_view field);
// As ReadDecimal, with one optional '+' or '-' first (blanks may follow it).
// Reads -2147483648 to 2147483647; a sign without digits reads as 0, like a
// blank field.
std::optional<int32_t> ReadSignedDecimal(std::string_view field);

}  // namespace skylode
