// Talking to an IQ Basic or Flytec 6015: short command texts out, plain text
// lines back, and the product data every operation starts with.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "protocols/flytec/link.h"

namespace skylode::iqbasic {

using flytec::Step;

inline constexpr uint32_t kIqBaud = 57600;

inline constexpr std::string_view kSerialCommand = "RPA_00\r\n";
inline constexpr std::string_view kDeviceTypeCommand = "RPA_01\r\n";
inline constexpr std::string_view kVersionCommand = "RPA_02\r\n";
inline constexpr std::string_view kTrackListCommand = "ACT_20_  \r\n";
inline constexpr std::string_view kWaypointListCommand = "ACT_31_00\r\n";
inline constexpr std::string_view kWaypointUploadCommand = "ACT_32_00\r\n";

// The waits of the protocol. The defaults are the instrument's; tests and
// the fault sweeps shorten them.
struct IqTiming {
  std::chrono::milliseconds replySilence{2000};  // a command's answer line
  std::chrono::milliseconds afterReply{200};
  std::chrono::milliseconds listSilence{1000};   // ends the track list
  std::chrono::milliseconds beforeFlightRequest{500};
  std::chrono::milliseconds flightSilence{2000};  // ends one flight's IGC text
  std::chrono::milliseconds waypointSilence{1000};
  std::chrono::milliseconds uploadAnswerSilence{1000};
  std::chrono::milliseconds uploadPause{100};

  // The IGC download is the Flytec one; these are its waits.
  flytec::FlytecTiming Igc() const;
};

IqTiming ScaledIqTiming(double scale);

// A received line: the text up to CR, at most kLineMax characters of it
// kept; LF ends it.
class LineReader {
 public:
  static constexpr size_t kLineMax = 1000;
  // True when `byte` ended a line; line() holds it until the next byte.
  bool Feed(uint8_t byte);
  std::string_view line() const { return line_; }
  // Bytes of a line that has not ended yet.
  bool InLine() const { return started_ && !complete_; }

 private:
  std::string line_;
  bool started_ = false;
  bool crSeen_ = false;
  bool complete_ = false;
};

enum class HexReply { kOk, kWrongPrefix, kFormatError };

// A reply "<prefix><number>": the prefix compared over its (first seven)
// characters, then blanks, then one to four little-endian hexadecimal byte
// pairs, the lowest byte first, and nothing else. A fifth pair would not fit
// the 32 bits, so it is a format error as much as an odd digit is.
HexReply ParseHexReply(std::string_view line, std::string_view prefix, uint32_t& value);

// How a command's answer ended.
enum class Reply { kLine, kNoLine, kFailed, kAborted };

// Writes `command` and reads one line within the reply silence (restarted by
// every byte). With `timeoutIsError` a missing line shows "Response timeout"
// and fails; without, it gives kNoLine for the caller to try again. Write and
// read failures are shown; an abort shows "Transfer aborted". After a line
// the instrument gets a short pause.
Reply SendAndReadLine(TransferContext& ctx, const IqTiming& timing, std::string_view command, bool timeoutIsError,
                      std::string& line);

struct IqProduct {
  uint32_t serialNumber = 0;
  uint32_t deviceType = 0;
  uint32_t softwareVersion = 0;
  std::string model;  // "6015" or "IQ-BASIC"
};

// "6015" for device type 0, "IQ-BASIC" for any other.
std::string ModelName(uint32_t deviceType);
// "IQ-BASIC, SW 1.1.05, S/N 1137".
std::string IdentificationText(const IqProduct& product);

// Opens the port (unless one is attached) and reads serial number, device
// type and software version; shows the product line.
Step IqReadProductData(TransferContext& ctx, const IqTiming& timing, IqProduct& product);

}  // namespace skylode::iqbasic
