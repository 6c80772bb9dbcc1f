// The virtual IQ Basic / Flytec 6015: answers its RPA_ queries, the flight
// list, flights by number and the waypoint list, and takes uploaded
// waypoints, as the instrument does over its serial line at 57,600 baud.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/flytec/flytec_instrument.h"
#include "sim/flytec/igc_text.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

inline constexpr uint32_t kIqBasicSimBaud = 57600;

struct IqBasicSimConfig {
  uint32_t deviceType = 1;  // 0: Flytec 6015
  uint32_t serial = 1137;
  uint32_t version = 1105;  // SW 1.1.05
  // Replaces the instrument's own answer to RPA_00, RPA_01 or RPA_02 (the
  // whole line without CR LF) when set.
  std::optional<std::string> serialReply, deviceTypeReply, versionReply;
  std::vector<SimFlight> flights;  // listed as flights firstFlightNumber, firstFlightNumber + 1, ...
  int firstFlightNumber = 1;
  std::vector<std::string> extraListLines;  // sent after the flights' lines
  std::vector<SimWaypoint> waypoints;
  // Uploaded waypoints whose name (trailing blanks gone) is listed here are
  // answered with this text instead of " Done".
  std::vector<std::string> refusedNames;
  std::string refusal = "ERR";
};

// What the instrument saw; shared with whoever started it, so a test can
// look after the transfer has closed the line.
struct IqBasicSimLog {
  std::vector<std::string> commands;  // lines without CR LF
  std::vector<SimWaypoint> received;  // uploaded waypoints as it read them
  std::vector<std::string> faults;    // every broken rule of an upload
  size_t bytesQueued = 0;

  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex);
    return commands;
  }
  std::vector<SimWaypoint> Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  std::vector<std::string> Faults() const {
    std::lock_guard lock(mutex);
    return faults;
  }
  size_t BytesQueued() const {
    std::lock_guard lock(mutex);
    return bytesQueued;
  }
  mutable std::mutex mutex;
};

class IqBasicInstrument final : public InstrumentBehaviour {
 public:
  explicit IqBasicInstrument(IqBasicSimConfig config, std::shared_ptr<IqBasicSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

  // The exact replies, for tests that need to know what goes over the line.
  std::string ProductReply(int query) const;  // 0, 1 or 2, with CR LF
  std::string TrackListReply() const;
  std::string FlightReply(int number) const;
  std::string WaypointReply() const;

 private:
  void Answer(const std::string& line, InstrumentLink& link);
  void TakeWaypoint(const std::string& line, InstrumentLink& link);
  void Send(const std::string& text, InstrumentLink& link);
  void Fault(std::string what);

  IqBasicSimConfig config_;
  std::shared_ptr<IqBasicSimLog> log_;
  std::vector<std::string> igc_;
  std::string pending_;
  bool waypointNext_ = false;  // the line after ACT_32_00 is the waypoint
};

std::unique_ptr<VirtualInstrument> StartVirtualIqBasic(IqBasicSimConfig config, InstrumentOptions options,
                                                       std::string& error,
                                                       std::shared_ptr<IqBasicSimLog> log = nullptr);

// "sim:iqbasic" with the demo flights and waypoints.
void RegisterVirtualIqBasic();

}  // namespace skylode::sim
