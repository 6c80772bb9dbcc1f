// The virtual Flytec: answers product data, the flight list, flights by
// number or the most recent one, and the waypoint list, as the instrument
// does over its serial line.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
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
  // Airspaces it holds at the start, each as its sentence bodies
  // ("PBRCTR,005,000,NAME...,0200", ...), served back on "$PBRCTR,".
  std::vector<std::vector<std::string>> ctrAreas;
  size_t ctrMemory = 500;                      // areas it has room for; then status 3
  std::optional<char> ackStatus;               // every area answered with this status
  bool corruptAck = false;                     // acknowledgements with a wrong checksum
  bool silentAck = false;                      // no acknowledgement at all
  bool xoffBursts = false;                     // XOFF/XON between the sentences it sends
  std::chrono::milliseconds minGap{0};         // closer sentences are a pacing fault
  std::optional<size_t> listSilenceAfter;      // the list stops after this many sentences
};

// What the instrument saw and sent; shared with whoever started it, so a test
// can look after the transfer has closed the line.
struct FlytecSimLog {
  std::vector<std::string> commands;  // sentence bodies, e.g. "PBRTR,02"
  size_t bytesQueued = 0;             // everything handed to the line, before faults
  std::vector<SimWaypoint> received;  // uploaded waypoints, as the instrument read them
  // Areas taken (sentence bodies, as served back), and every rule an upload
  // broke: widths, numbering, totals, pacing, characters.
  std::vector<std::vector<std::string>> ctrAreas;
  bool ctrAreasLoaded = false;
  std::vector<std::string> faults;

  std::vector<std::string> Faults() const {
    std::lock_guard lock(mutex);
    return faults;
  }
  std::vector<SimWaypoint> Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  std::vector<std::vector<std::string>> CtrAreas() const {
    std::lock_guard lock(mutex);
    return ctrAreas;
  }

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
  void TakeWaypoint(const std::string& body);
  void TakeCtrSentence(const std::string& body, InstrumentLink& link);
  void Acknowledge(char status, InstrumentLink& link);
  void Fault(std::string what);
  std::string CtrListReply() const;

  FlytecSimConfig config_;
  std::shared_ptr<FlytecSimLog> log_;
  std::vector<std::string> igc_;  // built once per flight
  std::string pending_;
  bool inSentence_ = false;
  std::chrono::steady_clock::time_point lastSentence_{};
  std::vector<std::string> area_;  // the area being uploaded
  int areaTotal_ = 0;
  bool areaBad_ = false;
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
