// The virtual Flytec: answers product data, the flight list, flights by
// number or the most recent one, and the waypoint list, as the instrument
// does over its serial line.
#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "sim/flytec/igc_text.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct SimWaypoint {
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
  std::string shortName;
  std::string longName;
  int altitude = 0;  // metres
};

struct FlytecSimConfig {
  std::string product = "COMPEO+";
  std::string pilot = "Max Muster";
  std::string serial = "10342";
  std::string version = "2.48";
  std::vector<SimFlight> flights;  // flight number = index; 0 is the most recent
  std::vector<SimWaypoint> waypoints;
};

// What the instrument saw and sent; shared with whoever started it, so a test
// can look after the transfer has closed the line.
struct FlytecSimLog {
  std::vector<std::string> commands;  // sentence bodies, e.g. "PBRTR,02"
  size_t bytesQueued = 0;             // everything handed to the line, before faults

  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex);
    return commands;
  }
  size_t BytesQueued() const {
    std::lock_guard lock(mutex);
    return bytesQueued;
  }
  mutable std::mutex mutex;
};

class FlytecInstrument final : public InstrumentBehaviour {
 public:
  explicit FlytecInstrument(FlytecSimConfig config, std::shared_ptr<FlytecSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

  // The exact replies, for tests that need to know what goes over the line.
  std::string ProductReply() const;
  std::string TrackListReply() const;
  std::string FlightReply(size_t number) const;
  std::string WaypointReply() const;

 private:
  void Answer(const std::string& body, InstrumentLink& link);
  void Send(const std::string& text, InstrumentLink& link);

  FlytecSimConfig config_;
  std::shared_ptr<FlytecSimLog> log_;
  std::vector<std::string> igc_;  // built once per flight
  std::string pending_;
  bool inSentence_ = false;
};

// "$body*HH\r\n" with the upper-case checksum.
std::string FlytecSentence(const std::string& body);

// Starts a virtual Flytec behind a pseudo-terminal.
std::unique_ptr<VirtualInstrument> StartVirtualFlytec(FlytecSimConfig config, InstrumentOptions options,
                                                      std::string& error,
                                                      std::shared_ptr<FlytecSimLog> log = nullptr);

// Makes "sim:<family>" start a virtual Flytec with `config` and `options`.
void RegisterVirtualFlytec(const std::string& family, FlytecSimConfig config, InstrumentOptions options = {},
                           std::shared_ptr<FlytecSimLog> log = nullptr);

// "sim:flytec" with the demo flights and waypoints.
void RegisterVirtualFlytec();

}  // namespace skylode::sim
