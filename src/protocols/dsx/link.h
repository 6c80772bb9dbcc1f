// Talking to a DSX flight recorder: short commands ended by CR, a session
// opened with a fixed handshake at 9,600 baud and continued at 38,400.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "protocols/flytec/link.h"

namespace skylode::dsx {

using flytec::Step;

inline constexpr uint32_t kDsxOpenBaud = 9600;
inline constexpr uint32_t kDsxFastBaud = 38400;

inline constexpr std::string_view kOpenCommand = "V1\r";
inline constexpr std::string_view kFastModeCommand = "V4\r";
inline constexpr std::string_view kFlightListCommand = "FL\r";
inline constexpr std::string_view kEndSessionCommand = "V0\r";
// What the recorder answers V1 with once it is ready.
inline constexpr std::string_view kPrompt = "Conn\n\r\r\n#";

// The waits of the protocol. The defaults are the recorder's; tests and the
// fault sweeps shorten them.
struct DsxTiming {
  std::chrono::milliseconds promptWindow{2000};  // per connection attempt
  std::chrono::milliseconds beforeSpeedChange{200};
  std::chrono::milliseconds listSilence{2000};
  std::chrono::milliseconds flightSilence{10000};
  std::chrono::milliseconds fieldSilence{1000};  // a pilot data answer
  std::chrono::milliseconds afterField{200};
  std::chrono::milliseconds betweenWrites{1000};
};

DsxTiming ScaledDsxTiming(double scale);

using flytec::SendCommand;

// Opens the port at 9,600 baud (unless one is attached), sends V1 until the
// prompt comes, half the connection attempts at most, then switches the
// recorder and the line to 38,400 baud.
Step DsxConnect(TransferContext& ctx, const DsxTiming& timing);

}  // namespace skylode::dsx
