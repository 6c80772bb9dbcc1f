// The virtual MLR receiver: answers the product query and the fast
// download commands at 4,800 baud, and otherwise sends its waypoints over
// and over as "$GPWPL" sentences.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/command_lines.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct MlrSimPoint {
  uint32_t gpsTime = 0;  // seconds since 1980-01-06
  int32_t latitude = 0;  // semicircles
  int32_t longitude = 0;
  int32_t height = 0;    // tenths of a metre, 24 bits signed
  bool newSegment = false;
};

struct MlrSimWaypoint {
  std::string id;           // up to 6 characters
  std::string description;  // up to 22 characters (sentences only)
  MlrSimPoint fix;
};

struct MlrSimConfig {
  std::string product = "MLR SP24 XC";
  std::string second = "V2.10";
  std::string serial = "123456";
  std::string fourth = "GPS";
  uint8_t firstSequence = 0x10;
  int pointsPerFrame = 27;
  int waypointsPerFrame = 23;
  std::vector<MlrSimPoint> points;
  std::vector<MlrSimWaypoint> waypoints;
  // Replaces the built download (tests that inject the instrument's errors).
  std::string trackBytes;
  // Sends the waypoints as sentences while no fast download runs.
  bool sentenceCycle = false;
  std::chrono::milliseconds sentenceInterval{250};
  // Off: the product query goes unanswered (a receiver busy with its cycle).
  bool answersProductQuery = true;
  // Between the fast command and the first frame; the program waits 300 ms
  // and purges before it listens.
  std::chrono::milliseconds frameDelay{500};
};

// What the instrument was sent; shared so a test can look after the line closed.
struct MlrSimLog {
  std::string received;
  int stops = 0;
  std::string Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  int Stops() const {
    std::lock_guard lock(mutex);
    return stops;
  }
  mutable std::mutex mutex;
};

inline constexpr uint32_t kMlrSimBaud = 4800;

std::string MlrProductReply(const MlrSimConfig& config);
std::string MlrStartFrame(uint8_t sequence, bool waypoints);
std::string MlrEndFrame(uint8_t sequence, bool waypoints);
// A data frame around `records` (each 18 or 22 bytes), `count` of them.
std::string MlrDataFrame(uint8_t sequence, bool waypoints, int count, const std::string& records);
std::string MlrTrackRecord(uint16_t number, const MlrSimPoint& p);
std::string MlrWaypointRecord(const MlrSimWaypoint& w);
// The whole fast download: start frame, data frames, end frame.
std::string MlrDownloadBytes(const MlrSimConfig& config, bool waypoints);
std::string MlrWaypointSentence(const MlrSimWaypoint& w);

// A flight of `count` points one second apart, a new segment every `segment`.
std::vector<MlrSimPoint> DemoMlrPoints(int count, int segment = 0);
std::vector<MlrSimWaypoint> DemoMlrWaypoints();

class MlrInstrument final : public InstrumentBehaviour {
 public:
  explicit MlrInstrument(MlrSimConfig config, std::shared_ptr<MlrSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

 private:
  void Command(const std::string& line, InstrumentLink& link);

  MlrSimConfig config_;
  std::shared_ptr<MlrSimLog> log_;
  CommandLines lines_;
  std::string pending_;
  std::chrono::steady_clock::time_point pendingAt_{};
  bool fast_ = false;
  size_t nextSentence_ = 0;
  std::chrono::steady_clock::time_point lastSentence_{};
};

std::unique_ptr<VirtualInstrument> StartVirtualMlr(MlrSimConfig config, InstrumentOptions options,
                                                   std::string& error, std::shared_ptr<MlrSimLog> log = nullptr);

// "sim:mlr" with a demo flight and waypoints, and "sim:graviter" with a
// track without points and a flight.
void RegisterVirtualMlr();

}  // namespace skylode::sim
