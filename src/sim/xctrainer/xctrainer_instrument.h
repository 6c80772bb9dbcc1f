// The virtual XC Trainer and Top Navigator: once the program has set up its
// end of the line, and after the pilot's delay, they send their log on their
// own, as the instruments do when the pilot starts a transfer.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

// One logged position in the units the MXP lines carry.
struct MxpSimPoint {
  uint32_t timeField = 0;  // seconds after the start time, wrapping after 65535
  int32_t latitude = 0;    // 1/24000 degree
  int32_t longitude = 0;
  int32_t baroHeight = 0;  // metres
  int32_t gpsHeight = 0;   // metres
};

struct XcTrainerSimConfig {
  bool topNavigator = false;  // "@tn" and no flow control; else "@xc" with XON/XOFF
  std::string firmware = "1234";
  uint16_t serial = 0x1234;
  // Start date and time as the header writes them.
  int year = 26, month = 8, day = 2, hour = 11, minute = 30, second = 0;
  char heightVariant = '2';  // '0' barometric, '2' both, else GPS only
  int firstRecord = 1;
  std::vector<MxpSimPoint> points;
  // Replaces the built log: each line is sent as given, followed by CR LF
  // (tests that inject the instrument's errors).
  std::vector<std::string> lines;
  // Between the program setting up the line and the first byte; never less
  // than 350 ms, or the program's purge after opening would eat the start.
  std::chrono::milliseconds startDelay{300};
  // The XC Trainer puts XOFF XON between its lines every so many lines.
  int flowControlEvery = 5;
};

// A steady climbing flight of `count` points one second apart.
std::vector<MxpSimPoint> DemoMxpPoints(int count);

// The log's lines without line ends: header, then one line per point.
std::vector<std::string> MxpLogLines(const XcTrainerSimConfig& config);
// Everything the instrument sends for its MXP log, flow-control bytes included.
std::string MxpLogBytes(const XcTrainerSimConfig& config);
// The XOR checksum appended as two upper-case hex digits.
std::string WithChecksum(const std::string& covered);

class XcTrainerInstrument final : public InstrumentBehaviour {
 public:
  explicit XcTrainerInstrument(XcTrainerSimConfig config);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

 private:
  XcTrainerSimConfig config_;
  std::chrono::steady_clock::time_point lineSetAt_{};
  bool lineSet_ = false;
  bool sent_ = false;
};

std::unique_ptr<VirtualInstrument> StartVirtualXcTrainer(XcTrainerSimConfig config, InstrumentOptions options,
                                                         std::string& error);

// "sim:xctrainer" and "sim:topnav" with a demo flight.
void RegisterVirtualXcTrainer();

}  // namespace skylode::sim
