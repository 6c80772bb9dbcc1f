// Talking to a Flymaster instrument: sentences out, raw bytes in (the flight
// comes as binary blocks, so nothing is filtered), and the product-data query
// every operation starts with.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"

namespace skylode::flymaster {

inline constexpr uint32_t kFlymasterBaud = 57600;

inline constexpr std::string_view kProductDataCommand = "$PBRSNP,*21\r\n";
// The instrument wants these check digits, not the XOR of the text.
inline constexpr std::string_view kTrackListCommand = "$PFMDNL,LST,*72\r\n";
inline constexpr std::string_view kPowerOffCommand = "$PFMOFF*14\r\n";
inline constexpr uint8_t kAck = 0xB1;
inline constexpr uint8_t kResend = 0xB2;
inline constexpr uint8_t kCancel = 0xB3;

// The instrument's waits; tests and the fault sweeps shorten them.
struct FlymasterTiming {
  std::chrono::milliseconds productReplyWindow{2000};  // per product-data attempt
  std::chrono::milliseconds afterProductData{200};
  std::chrono::milliseconds listSilence{2000};   // ends the track list
  std::chrono::milliseconds blockSilence{3000};  // a flight stalled
  std::chrono::milliseconds waypointReply{2000};
  std::chrono::milliseconds betweenWaypoints{100};
  std::chrono::milliseconds afterSetData{500};
};

FlymasterTiming ScaledTiming(double scale);

// How a step ended. Failures have been reported to the person already.
enum class Step { kOk, kFailed, kAborted };

enum class ReceiveEnd { kSilence, kStopped, kAborted, kReadError };

// Sends bytes in one write; false on a failed write or an abort.
bool SendBytes(TransferContext& ctx, std::string_view bytes);
bool SendByte(TransferContext& ctx, uint8_t byte);

// Feeds every byte to `sink` until `silence` passes without one, or the sink
// returns false.
ReceiveEnd Receive(TransferContext& ctx, std::chrono::milliseconds silence, const std::function<bool(uint8_t)>& sink,
                   std::chrono::milliseconds window = std::chrono::hours(24));

// "Transfer aborted" on the status line; Step::kAborted.
Step Aborted(TransferContext& ctx);

inline constexpr size_t kProductNameMax = 40;
inline constexpr size_t kSoftwareVersionMax = 10;
inline constexpr size_t kIdentificationMax = 50;
inline constexpr std::string_view kModelName = "Flymaster";

struct ProductData {
  std::string product;          // field 1
  std::string serialNumber;     // field 3
  std::string softwareVersion;  // field 4
  bool b1Nav() const { return product == "B1NAV"; }
  // "Flymaster <product>  SN<serial>  SW<version>"
  std::string InstrumentText() const;
  // "Flymaster: <serial>", at most 50 characters.
  std::string Identification() const;
};

// Fills `out` from a received line ("$PBRSNP,..." without CR LF); false when
// the line is not a correct product-data reply.
bool ParseProductReply(std::string_view line, ProductData& out);

// Opens the port at 57600 baud without XON/XOFF (the flight's bytes include
// 0x11 and 0x13) unless a port is attached already, and asks for the
// product data.
Step ReadProductData(TransferContext& ctx, const FlymasterTiming& timing, ProductData& out);

// A text for one field of a sentence: a character that would end or shift
// the instrument's fields (',', '*', '$', control characters) goes out as a
// blank, whoever filled the text in.
std::string FieldText(std::string_view text);

// "$<body>*hh\r\n" with the XOR of the body in the given case.
std::string Sentence(std::string_view body, bool upperDigits);

}  // namespace skylode::flymaster
