// Talking to a Flytec or Brauniger instrument: commands out, bytes in with
// XON/XOFF removed, and the product-data query every operation starts with.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "protocols/flytec/product.h"

namespace skylode::flytec {

inline constexpr uint32_t kFlytecBaud = 57600;

// The waits of the protocol. The defaults are the instrument's; tests and
// the fault sweeps shorten them.
struct FlytecTiming {
  std::chrono::milliseconds productReplyWindow{2000};  // per product-data attempt
  std::chrono::milliseconds afterProductData{1000};    // before the next command
  std::chrono::milliseconds listSilence{1000};         // ends the track list
  std::chrono::milliseconds beforeFlightRequest{500};
  std::chrono::milliseconds flightSilence{2000};       // ends one flight's IGC text
  // Ends a flight of the all-tracks download: longer, since there the
  // instrument pauses between the flights it sends.
  std::chrono::milliseconds manyFlightsSilence{3000};
  std::chrono::milliseconds waypointSilence{1000};     // ends the waypoint list
  // Uploads: the instrument acknowledges no waypoint, so the pauses are
  // all the pacing it gets.
  std::chrono::milliseconds waypointPause{300};
  std::chrono::milliseconds ctrPause{100};     // after a name, remark, point, circle or arc end
  std::chrono::milliseconds ctrArcPause{200};  // after an arc's centre and start
  std::chrono::milliseconds ctrAckSilence{20000};
  std::chrono::milliseconds ctrAckOkPause{300};
  std::chrono::milliseconds ctrListSilence{10000};  // ends a list that stopped half way
};

// The instrument's own waits, each times `scale` (virtual instruments answer
// at once, so tests need not wait as long).
FlytecTiming ScaledTiming(double scale);

// How a step ended. Failures have been reported to the person already.
enum class Step { kOk, kFailed, kAborted };

enum class ReceiveEnd {
  kSilence,    // the silence limit passed without a byte
  kStopped,    // the sink asked to stop
  kAborted,
  kReadError,  // the port failed or the line went away
};

// Sends one complete command in a single write. False on a failed write or
// an abort (check ctx.aborted()).
bool SendCommand(TransferContext& ctx, std::string_view command);

// Reads up to 100 bytes at a time until `silence` passes without a byte,
// the sink returns false, or `window` (measured from the call) runs out,
// which also counts as kSilence. XON and XOFF never reach the sink.
ReceiveEnd Receive(TransferContext& ctx, std::chrono::milliseconds silence,
                   const std::function<bool(uint8_t)>& sink,
                   std::chrono::milliseconds window = std::chrono::hours(24));

// Shows "Transfer aborted" and gives Step::kAborted: the one way every step
// ends on an abort.
Step Aborted(TransferContext& ctx);

struct InstrumentInfo {
  ProductData product;
  std::string model;  // "Compeo", ..., "Unknown"
};

// Opens the port at 57600 baud with XON/XOFF (unless a port is attached
// already) and asks for the product data, half the configured connection
// attempts at most. Shows the product line and pauses before the next
// command.
Step FlytecReadProductData(TransferContext& ctx, const FlytecTiming& timing, InstrumentInfo& info);

}  // namespace skylode::flytec
