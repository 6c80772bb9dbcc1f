// The virtual Flymaster: product data, the flight list, each flight as a
// stream of binary blocks that waits for the program's acknowledgement after
// every block and sends a block again when asked, waypoints with a reply
// each, pilot data, IDs and the altitude alarm, and the power-off command.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

// One fix in the instrument's own units.
struct FlymasterFix {
  int32_t latitude = 0;   // 1/60000 degree, north positive
  int32_t longitude = 0;  // 1/60000 degree, WEST positive
  int16_t gpsAltitude = 0;  // metres
  int16_t pressure = 0;     // tenths of a hectopascal
  uint32_t time = 0;        // seconds since 2000-01-01 UTC
};

struct FlymasterSimFlight {
  std::vector<FlymasterFix> fixes;
  uint8_t firmwareMajor = 1;
  uint8_t firmwareMinor = 23;
  uint32_t serialNumber = 4711;
  // When set, these exact blocks (each complete, checksum and all) are the
  // flight instead of the ones built from the fixes.
  std::vector<std::vector<uint8_t>> script;
};

// What the instrument keeps of what it is told; the flight info block
// carries the IDs back.
struct FlymasterSimSettings {
  std::string pilotName, competitionNumber, gliderBrand, gliderModel;
  std::string competitionId, civlId, idsPilotName;
  int32_t altitudeAlarm = 0;
};

struct FlymasterSimConfig {
  std::string product = "GpsSD";  // "B1NAV" for a B1 NAV
  std::string serial = "4711";
  std::string version = "1.23";
  std::vector<FlymasterSimFlight> flights;  // newest first, as listed
  FlymasterSimSettings settings;
  // Blocks (by position in the stream, 0 = flight info) whose first sending
  // goes out with a broken checksum.
  std::set<size_t> damagedBlocks;
  // Records between key blocks at most (a block holds 42).
  size_t recordsPerBlock = 40;
};

// What the instrument saw; shared with whoever started it, so a test can
// look after the transfer closed the line.
struct FlymasterSimLog {
  mutable std::mutex mutex;
  std::vector<std::string> sentences;  // bodies between '$' and '*'
  size_t acks = 0, resendRequests = 0, cancels = 0;
  size_t blocksSent = 0;
  size_t bytesQueued = 0;
  std::vector<std::string> waypointNames;
  FlymasterSimSettings settings;
  bool poweredOff = false;

  std::vector<std::string> Sentences() const {
    std::lock_guard lock(mutex);
    return sentences;
  }
  template <typename T>
  T Read(T FlymasterSimLog::*field) const {
    std::lock_guard lock(mutex);
    return this->*field;
  }
};

// The blocks of a flight: flight info, then a key block and position blocks
// (a new key block whenever a step does not fit a record), then the end.
std::vector<std::vector<uint8_t>> FlymasterFlightBlocks(const FlymasterSimFlight& flight,
                                                       const FlymasterSimSettings& settings,
                                                       size_t recordsPerBlock = 40);
// One block: the identifier twice, the length, the payload, the checksum.
std::vector<uint8_t> FlymasterBlock(uint8_t id, std::span<const uint8_t> payload);

// "$body*HH\r\n".
std::string FlymasterSentence(const std::string& body);

class FlymasterInstrument final : public InstrumentBehaviour {
 public:
  explicit FlymasterInstrument(FlymasterSimConfig config, std::shared_ptr<FlymasterSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

  std::string ProductReply() const;
  std::string TrackListReply() const;

 private:
  void Answer(const std::string& body, InstrumentLink& link);
  void OnControl(uint8_t byte, InstrumentLink& link);
  void SendBlock(InstrumentLink& link);
  void Send(std::span<const uint8_t> bytes, InstrumentLink& link);

  FlymasterSimConfig config_;
  std::shared_ptr<FlymasterSimLog> log_;
  std::string pending_;
  bool inSentence_ = false;
  std::vector<std::vector<uint8_t>> stream_;
  size_t current_ = 0;
  bool streaming_ = false;
  std::set<size_t> damaged_;
};

std::unique_ptr<VirtualInstrument> StartVirtualFlymaster(FlymasterSimConfig config, InstrumentOptions options,
                                                         std::string& error,
                                                         std::shared_ptr<FlymasterSimLog> log = nullptr);

// Makes "sim:<name>" start a virtual Flymaster with `config`.
void RegisterVirtualFlymaster(const std::string& name, FlymasterSimConfig config, InstrumentOptions options = {},
                              std::shared_ptr<FlymasterSimLog> log = nullptr);

// "sim:flymaster" with a demo flight.
void RegisterVirtualFlymaster();

// A thermal flight of `count` fixes a second apart, drifting and climbing,
// with now and then a jump no record can hold.
FlymasterSimFlight DemoFlymasterFlight(uint32_t start, size_t count, uint64_t seed = 1);

}  // namespace skylode::sim
