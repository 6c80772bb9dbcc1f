// The virtual Magellan unit: answers the version, track and waypoint
// commands with its sentences and takes uploaded waypoints, which a later
// waypoint download serves back.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct MagellanSimConfig {
  int productId = 27;
  std::string version = "3.14";
  std::string description = "MERIDIAN GPS";
  std::vector<std::string> track;      // "PMGNTRK,..." bodies
  std::vector<std::string> waypoints;  // "PMGNWPL,..." bodies
  bool sendEnd = true;                 // "$PMGNCMD,END" after a download
  // Switched off once the log holds this many uploaded waypoints (-1: never).
  int hangUpAfterWaypoints = -1;
};

// What the unit saw; outlasts one opening of the port.
struct MagellanSimLog {
  std::vector<std::string> commands;  // every sentence body received
  std::vector<std::string> received;  // uploaded waypoint bodies, in order
  std::vector<std::string> faults;    // broken rules of what arrived
  bool uploadEnded = false;
  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex);
    return commands;
  }
  std::vector<std::string> Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  bool UploadEnded() const {
    std::lock_guard lock(mutex);
    return uploadEnded;
  }
  std::vector<std::string> Faults() const {
    std::lock_guard lock(mutex);
    return faults;
  }
  mutable std::mutex mutex;
};

class MagellanInstrument final : public InstrumentBehaviour {
 public:
  explicit MagellanInstrument(MagellanSimConfig config, std::shared_ptr<MagellanSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

 private:
  void Take(const std::string& line, InstrumentLink& link);
  MagellanSimConfig config_;
  std::shared_ptr<MagellanSimLog> log_;
  std::string line_;
  bool inLine_ = false;
};

// "$body*HH\r\n".
std::string MagellanSentence(const std::string& body);
// A track sentence body: degrees, metres, seconds since 1970, fix valid.
std::string MagellanTrackBody(double latitude, double longitude, int metres, uint32_t utc, bool valid = true);

std::unique_ptr<VirtualInstrument> StartVirtualMagellan(MagellanSimConfig config, InstrumentOptions options,
                                                        std::string& error,
                                                        std::shared_ptr<MagellanSimLog> log = nullptr);
void RegisterVirtualMagellan(const std::string& name, MagellanSimConfig config, InstrumentOptions options = {},
                             std::shared_ptr<MagellanSimLog> log = nullptr);
// "sim:magellan" with a short track and two waypoints.
void RegisterVirtualMagellan();
MagellanSimConfig DemoMagellanConfig();

}  // namespace skylode::sim
