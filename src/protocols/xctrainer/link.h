// Listening to an XC Trainer or Top Navigator: the pilot starts the
// transfer on the instrument, the program opens the line with the
// instrument's flow control and takes what comes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"

namespace skylode::xctrainer {

inline constexpr uint32_t kMxpBaud = 57600;
inline constexpr uint32_t kWaypointBaud = 9600;

inline constexpr std::string_view kCaptionTrackLog = "Read GPS track log";
inline constexpr std::string_view kCaptionDecode = "Decode track log sentence";

// Whether the column's line runs with XON/XOFF (the XC Trainer's do).
bool UsesSoftwareFlow(ProtocolType protocol);

// "XcTrainer", "TopNav" or "Unknown".
std::string_view ModelName(ProtocolType protocol);

// Opens the line at the request's speed (else `baud`) with XON/XOFF as
// given, unless a port is attached already. False after the context showed
// why (or on an abort).
bool OpenLine(TransferContext& ctx, uint32_t baud, bool softwareFlow);
// What a worker gives when OpenLine failed: cancelled after an abort.
inline TransferResult NotOpened(TransferContext& ctx) {
  return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
}

enum class ListenEnd {
  kStopped,    // the sink asked to stop
  kAborted,
  kReadError,  // the port failed or the line went away
  kSilence,    // `silence` passed without a byte
};

// Reads 200 bytes at a time until the sink says stop, an abort, a read
// failure, or (when `silence` is positive) that long without a byte. With
// `dropFlowControl`, XON and XOFF never reach the sink.
ListenEnd Listen(TransferContext& ctx, bool dropFlowControl, std::chrono::milliseconds silence,
                 const std::function<bool(uint8_t)>& sink);

}  // namespace skylode::xctrainer
