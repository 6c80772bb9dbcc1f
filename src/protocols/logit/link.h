// Talking to a LogIt logger or a Tracklogger at its command speed: the
// "$PMLR" commands, the product data every worker asks for first, and the
// Tracklogger's point count.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "access/transfer_context.h"

namespace skylode::logit {

inline constexpr uint32_t kCommandBaud = 4800;

inline constexpr std::string_view kStopCommand = "$PMLR,06,00,02A9\r\n";
inline constexpr std::string_view kProductQuery = "$PMLR,26,01,01,0339\r\n";
inline constexpr std::string_view kPointCountCommand = "$PMLR,58,00,02B0\r\n";
inline constexpr std::string_view kEraseCommand = "$PMLR,99,00,02B5\r\n";
// Asked for a speed the loggers do not know, the program keeps the command
// speed and sends this; its check digits are not the character sum.
inline constexpr std::string_view kOtherSpeedCommand = "$PMLR,24,02,0110,0388\r\n";

inline constexpr std::string_view kTracklogger = "TRACKLOGGER";
inline constexpr size_t kOwnerNameLength = 9;

// The waits of the workers; tests against the virtual instrument shorten
// them with `Scaled`.
struct LogItTiming {
  std::chrono::milliseconds afterFirstStop{100};
  std::chrono::milliseconds productReplyWindow{2000};
  std::chrono::milliseconds afterProductData{200};
  std::chrono::milliseconds pointCountWindow{10000};
  std::chrono::milliseconds afterPointCount{200};
  std::chrono::milliseconds beforeSpeedSwitch{300};  // after a download command
  std::chrono::milliseconds beforeStop{300};         // after switching back to the command speed
  std::chrono::milliseconds afterResumeRequest{200};
  std::chrono::milliseconds beforeCommand{500};      // erase and owner name, after the stop
  // Nothing at all arriving for this long ends (or, on a Tracklogger,
  // resumes) a download.
  std::chrono::milliseconds dataSilence{10000};
  static LogItTiming Scaled(double scale);
};

// The 16-bit sum of the character codes: the check digits of every command
// but the owner name.
uint16_t CharacterSum(std::string_view text);
// `text` (from '$' to its last comma) with its four check digits and CR LF.
std::string WithCharacterSum(std::string_view text);
// "$PMLR,24,02,01xx,..." for 115200, 57600, 38400 and 19200; empty for any
// other speed.
std::string_view DownloadCommand(uint32_t baud);
// "$PMLR,59,<point>,XXXX\r\n": the Tracklogger resumes at `point`.
std::string ResumeCommand(int64_t point);
// The name padded with blanks to nine characters in its fixed sentence.
std::string OwnerNameCommand(std::string_view name);

struct LogItProduct {
  std::string model, userName, serialNumber, software;
};

// The product reply "$PMLR,IDGPS,01,<model>,<user>,<serial>,<software>*hh\r<any>",
// a byte at a time. Add gives 1 while more is needed, 0 once the reply is
// complete, or a negative format error:
//   1 the fixed start does not follow; 2, 4, 6, 8 CR or LF in the model,
//   user, serial or software field; 3, 5, 7, 9 one of them too long;
//   10 CR or LF among the check digits; 11 a check digit that is no hex
//   digit; 12 no CR after them; 13 the check value differs (software 1.02
//   sends any check digits).
// After an error the parser must be Reset.
class ProductReplyParser {
 public:
  int Add(uint8_t byte);
  void Reset() { *this = ProductReplyParser(); }
  const LogItProduct& product() const { return product_; }

 private:
  std::string& Field();
  size_t matched_ = 0;  // of the fixed start
  int field_ = 0;       // 0..3 the fields, 4 check digits, 5 CR, 6 the closing byte
  LogItProduct product_;
  uint8_t xor_ = 0;
  int digits_ = 0;
  int check_ = 0;
};

// The Tracklogger's "$PMLR,NUMTRACKPOINTS,<count>*hh\r<any>". Errors:
//   1 the fixed start does not follow; 2 CR or LF among the digits; 3 a
//   character other than a digit or '*'; 4 a digit after the count reached
//   214,748,363 (the next would not fit 32 bits);
//   5 CR or LF among the check digits; 6 a check digit that is no hex digit;
//   7 no CR after them; 8 the check value differs.
class PointCountParser {
 public:
  int Add(uint8_t byte);
  void Reset() { *this = PointCountParser(); }
  int32_t count() const { return count_; }

 private:
  size_t matched_ = 0;
  int state_ = 0;  // 0 fixed start, 1 digits, 2 check digits, 3 CR, 4 the closing byte
  int32_t count_ = 0;
  uint8_t xor_ = 0;
  int digits_ = 0;
  int check_ = 0;
};

int HexDigitValue(uint8_t c);

enum class Step { kOk, kFailed, kAborted };

// What a worker returns when a step ended it.
inline TransferResult EndedEarly(Step step) {
  return step == Step::kAborted ? TransferResult::Cancelled() : TransferResult::Failure();
}

bool SendText(TransferContext& ctx, std::string_view text);

// Opens the line at the command speed without flow control (unless a port
// is attached) and reads the product data. Failures are shown; an abort
// shows "Transfer aborted". On success the product line shows
// "<model> <software, 4 characters> (<user>)".
Step LogItReadProductData(TransferContext& ctx, const LogItTiming& timing, LogItProduct& product);

// The Tracklogger's point count; -1 (unknown) for every other model.
Step LogItReadPointCount(TransferContext& ctx, const LogItTiming& timing, const LogItProduct& product,
                         int32_t& total);

// "<model>: <serial>", at most 50 characters.
std::string Identification(const LogItProduct& product);

}  // namespace skylode::logit
