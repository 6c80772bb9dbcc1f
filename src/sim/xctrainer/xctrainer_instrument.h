// The virtual XC Trainer and Top Navigator: once the program has set up its
// end of the line, and after the pilot's delay, they send their log on their
// own, as the instruments do when the pilot starts a transfer.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
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

// A waypoint as the instruments keep it.
struct XcSimWaypoint {
  std::string name;        // up to 11 characters (the Top Navigator sends up to 6)
  int32_t latitude = 0;    // 1/100 minute, north positive
  int32_t longitude = 0;   // 1/100 minute, east positive
  int32_t height = 0;      // metres
};

// What the pilot started on the instrument.
enum class PilotSends {
  kByLine,        // by the line the program set up: 57600 the MXP log; 9600 the
                  // Top Navigator's TNC log or the XC Trainer's waypoints
  kMxpLog,
  kTncLog,
  kWaypoints,
  kReceiveWaypoints,  // waits for the program's waypoint records
};

// What the instrument was sent; shared with whoever started it, so a test
// can look after the line has closed.
struct XcTrainerSimLog {
  std::string received;  // every byte the program sent
  int acknowledgements = 0;
  std::string Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  int Acknowledgements() const {
    std::lock_guard lock(mutex);
    return acknowledgements;
  }
  mutable std::mutex mutex;
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
  PilotSends sends = PilotSends::kByLine;
  std::vector<XcSimWaypoint> waypoints;
};

// A steady climbing flight of `count` points one second apart.
std::vector<MxpSimPoint> DemoMxpPoints(int count);

// The log's lines without line ends: header, then one line per point.
std::vector<std::string> MxpLogLines(const XcTrainerSimConfig& config);
// Everything the instrument sends for its MXP log, flow-control bytes included.
std::string MxpLogBytes(const XcTrainerSimConfig& config);
// The XOR checksum appended as two upper-case hex digits.
std::string WithChecksum(const std::string& covered);

// The TNC log of the same points, one a second from the start time: a block
// line every 30 seconds, then "@EOF". Positions in 1/100 minute are the MXP
// values divided by 4, truncated.
std::vector<std::string> TncLogLines(const XcTrainerSimConfig& config);
std::string TncLogBytes(const XcTrainerSimConfig& config);
inline int32_t TncCentiMinutes(int32_t mxpUnits) { return mxpUnits / 4; }

// One waypoint as the XC Trainer sends it (31 bytes) or the Top Navigator's
// line (with CR LF).
std::string XcTrainerWaypointRecord(const XcSimWaypoint& w);
std::string TopNavWaypointLine(const XcSimWaypoint& w);

class XcTrainerInstrument final : public InstrumentBehaviour {
 public:
  explicit XcTrainerInstrument(XcTrainerSimConfig config, std::shared_ptr<XcTrainerSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

 private:
  void SendWaypoint(InstrumentLink& link);

  XcTrainerSimConfig config_;
  std::shared_ptr<XcTrainerSimLog> log_;
  PilotSends sending_ = PilotSends::kByLine;
  size_t nextWaypoint_ = 0;
  std::string pendingAck_;
  std::chrono::steady_clock::time_point lineSetAt_{};
  bool lineSet_ = false;
  bool sent_ = false;
};

std::unique_ptr<VirtualInstrument> StartVirtualXcTrainer(XcTrainerSimConfig config, InstrumentOptions options,
                                                         std::string& error,
                                                         std::shared_ptr<XcTrainerSimLog> log = nullptr);

// Demo waypoints round Annecy.
std::vector<XcSimWaypoint> DemoXcWaypoints();

// "sim:xctrainer" and "sim:topnav" with a demo flight.
void RegisterVirtualXcTrainer();

}  // namespace skylode::sim
