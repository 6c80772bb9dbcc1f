// The Top Navigator log (.tnc), as the instruments send it and as files
// keep it: a header line, block lines of up to 40 one-second positions, and
// "@EOF". Positions are signed 24-bit hexadecimal hundredths of a minute.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/error.h"
#include "records/track_log.h"

namespace skylode {

// --- Fields of the instruments' text lines ----------------------------------------

// 0-15 for 0-9, A-F and a-f; 99 for every other byte.
int HexDigitValue(char c);
// The whole field as an unsigned hexadecimal or decimal number; nothing when
// any character is not a digit of the base (or the field is empty).
std::optional<uint32_t> HexField(std::string_view field);
std::optional<uint32_t> DecimalField(std::string_view field);
// Two's complement of the field's width (4 bits per digit, up to 8 digits).
std::optional<int32_t> SignedHexField(std::string_view field);

// --- The decoder -------------------------------------------------------------------

// Takes the lines of one log in order. `xcTrainer`: the header's character 4
// gives the heights; a Top Navigator's lines carry the GPS height only.
class TncDecoder {
 public:
  enum class State { kHeader, kFirstBlock, kBlocks, kDone };
  // Which line made a flush fail: errors 10 to 14 are reported as 20 to 24
  // when a block line caused the flush.
  explicit TncDecoder(bool xcTrainer) : xcTrainer_(xcTrainer) {}

  // 0, or the error number. Blank lines are skipped.
  int Feed(std::string_view line);
  State state() const { return state_; }
  bool hasBaroHeight() const { return variant_ == '0' || variant_ == '2'; }
  uint32_t serial() const { return serial_; }
  int errorBlocks() const { return errorBlocks_; }
  std::vector<TrackPoint>& points() { return points_; }
  // The last error came from flushing a block on a block line.
  bool errorOnBlockLine() const { return errorOnBlockLine_; }

 private:
  struct Record {
    bool valid = false;
    TrackPoint point;
  };
  int Flush(bool finalBlock);
  std::optional<Record> ParsePosition(std::string_view line) const;

  bool xcTrainer_;
  State state_ = State::kHeader;
  char variant_ = '1';
  uint32_t serial_ = 0;
  uint32_t dateBase_ = 0;
  uint32_t dayOffset_ = 0;
  uint32_t blockTime_ = 0;
  std::vector<Record> block_;
  std::vector<TrackPoint> points_;
  int errorBlocks_ = 0;
  bool errorOnBlockLine_ = false;
};

// A Top Navigator log file. The Error's text is the message ("Error 2 on
// block line 7", "Missing end-of-file record", ...).
struct TncFileTrack {
  std::vector<TrackPoint> points;
  bool hasBaroHeight = false;
};
Result<TncFileTrack> ReadTncLogFile(std::string_view text);

}  // namespace skylode
