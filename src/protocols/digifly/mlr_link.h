// Talking to an MLR receiver or a Digifly Leonardo: "$PMLR" commands and
// the product data every worker asks for first.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"

namespace skylode::mlr {

inline constexpr std::string_view kProductQuery = "$PMLR,26,01,01,0339\r\n";
inline constexpr std::string_view kTrackCommand = "$PMLR,24,02,0101,0399\r\n";
inline constexpr std::string_view kWaypointCommand = "$PMLR,24,02,0301,039B\r\n";
inline constexpr std::string_view kStopCommand = "$PMLR,06,00,02A9\r\n";

// The line speed, from the family's row.
uint32_t MlrBaud();

// The waits of the workers; tests against the virtual instrument shorten
// the silences with `Scaled`.
struct MlrTiming {
  std::chrono::milliseconds productReplyWindow{2000};
  std::chrono::milliseconds dataSilence{10000};
  std::chrono::milliseconds afterCommand{300};  // before the purge that drops the echo of the cycle
  std::chrono::milliseconds beforeStop{200};
  std::chrono::milliseconds betweenWaypoints{500};
  static MlrTiming Scaled(double scale);
};

struct MlrProduct {
  std::string product, second, serial, fourth;
  std::string model;           // "Digifly", "CPilot" or "MLR"
  std::string identification;  // "<model>: <serial>", at most 50 characters
};

// The product reply "$PMLR,IDGPS,01,<4 fields>*<XOR>\r<any>", a byte at a
// time.
class ProductReplyParser {
 public:
  enum class Feed { kMore, kComplete, kError };
  Feed Add(uint8_t byte);
  void Reset();
  const MlrProduct& product() const { return product_; }

 private:
  std::string prefix_;
  int field_ = -1;  // -1: in the prefix; 0..3 the fields; 4 checksum; 5 after CR
  std::string fields_[4];
  std::string check_;
  uint8_t xor_ = 0;
  bool afterCr_ = false;
  MlrProduct product_;
};

std::string_view ModelOf(std::string_view productText);

enum class Step { kOk, kFailed, kAborted };

// Opens the line at the request's speed (else the family's) without flow control (unless a port
// is attached) and reads the product data, filling `product`. Failures are
// shown; an abort shows "Transfer aborted".
Step MlrReadProductData(TransferContext& ctx, const MlrTiming& timing, MlrProduct& product);

// What a worker returns when the product data ended it.
inline TransferResult EndedEarly(Step step) {
  return step == Step::kAborted ? TransferResult::Cancelled() : TransferResult::Failure();
}

// Sends the stop command after a purge and a pause, leaving the instrument
// in its normal state after a broken fast download.
void SendStop(TransferContext& ctx, const MlrTiming& timing);

bool SendText(TransferContext& ctx, std::string_view text);

enum class ListenEnd { kStopped, kAborted, kReadError, kSilence };
// Reads until the sink says stop, an abort, a read failure or `silence`
// without a byte (none when zero).
ListenEnd Listen(TransferContext& ctx, std::chrono::milliseconds silence, const std::function<bool(uint8_t)>& sink);

// As Listen, but never longer than `window` in all: an instrument that keeps
// talking (the MLR's sentence cycle) must not hold a reply's wait open.
// Running out of time ends as kSilence.
ListenEnd ListenWithin(TransferContext& ctx, std::chrono::milliseconds window,
                       const std::function<bool(uint8_t)>& sink);

}  // namespace skylode::mlr
