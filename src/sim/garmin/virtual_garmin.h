// A virtual Garmin unit on the serial line: it answers product requests,
// reports (or, as old units do, withholds) its capabilities, serves its
// waypoints and track log, keeps what is uploaded to it and can misbehave on
// purpose. Written from the unit's side of the protocol and sharing no code
// with the program's Garmin driver, so the two check each other.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct VirtualGarminProfile {
  std::string name;
  uint16_t productId = 0;
  uint16_t version = 0;  // software version x 100
  std::string description;
  // Units from before the protocol array send none; the program then looks
  // their capabilities up by product and version.
  bool sendsProtocolArray = true;
  // Sent as the protocol array when not empty, instead of the one built from
  // the types below (for units with broken arrays).
  std::vector<uint8_t> rawProtocolArray;
  uint16_t waypointType = 0;     // D1xx
  uint16_t trackProtocol = 0;    // A300..A302, 0 = none
  uint16_t trackHeaderType = 0;  // D31x, 0 = none
  uint16_t trackPointType = 0;   // D30x
  // Some units acknowledge the product request before answering it.
  bool acksProductRequest = false;
};

// "" or "d109": A100/D109 with A301/D310/D301. "d108": D108 with
// A302/D312/D302. "d110": D110 with A302/D312/D304. "p29-399", "p29-400",
// "p77-300", "p77-349", "p77-355", "p77-400": old units without a protocol
// array. "unknown": an old unit whose product the program does not know.
std::optional<VirtualGarminProfile> FindVirtualGarminProfile(std::string_view name);
std::vector<std::string> VirtualGarminProfileNames();

// The protocol array a unit of this profile reports.
std::vector<uint8_t> GarminProtocolArrayOf(const VirtualGarminProfile& profile);

// One record as the unit holds it: packet ID and data bytes.
struct GarminRecord {
  uint8_t id = 0;
  std::vector<uint8_t> data;
  friend bool operator==(const GarminRecord&, const GarminRecord&) = default;
};

// Unit-side record builders, little-endian as on the wire.
std::vector<uint8_t> GarminWaypointRecordData(uint16_t type, std::string_view ident, std::string_view comment,
                                              int32_t latitude, int32_t longitude, float altitude, uint16_t symbol,
                                              uint32_t time);
std::vector<uint8_t> GarminTrackPointRecordData(uint16_t type, int32_t latitude, int32_t longitude, uint32_t time,
                                                float altitude, float depth, bool newTrack);
std::vector<uint8_t> GarminTrackHeaderRecordData(std::string_view name);

// Faults of the unit's own making; counts start at 0. The framework's
// FaultPlan adds byte-level faults (silence, corruption, hang-up).
struct VirtualGarminFaults {
  // The n-th packet the unit sends goes out once with a wrong checksum; the
  // unit resends it when no acknowledgement comes.
  std::optional<size_t> badChecksumOnPacket;
  // The n-th packet the unit receives (acknowledgements not counted) is
  // taken but never acknowledged.
  std::optional<size_t> withholdAckOfPacket;
  // The unit stops sending anything after this many packets.
  std::optional<size_t> silentAfterPackets;
};

struct VirtualGarminOptions {
  VirtualGarminProfile profile;
  std::vector<GarminRecord> waypoints;  // ID 35 records in the profile's type
  std::vector<GarminRecord> track;      // ID 34 and 99 records
  // A packet without an acknowledgement is sent again after this long, at
  // most maxResends times.
  std::chrono::milliseconds resendAfter{1000};
  int maxResends = 3;
  VirtualGarminFaults faults;
};

// Options for a profile with a few waypoints and a short track of its types.
VirtualGarminOptions DefaultVirtualGarminOptions(const VirtualGarminProfile& profile, int trackPoints = 100);

// What a virtual unit holds and was told, whatever line it is on; safe from
// any thread.
class GarminUnitLog {
 public:
  std::vector<GarminRecord> Waypoints() const;
  std::vector<GarminRecord> UploadedTrack() const;
  // Every track uploaded since the start, in order (CTRs go up one each).
  std::vector<std::vector<GarminRecord>> UploadedTracks() const;
  int PowerOffCommands() const;
  // Requests to drop the transfer in progress.
  int AbortCommands() const;

  void SetWaypoints(std::vector<GarminRecord> waypoints);
  // A packet of an upload from the program: a record count starts one,
  // waypoints, track points and headers are gathered, and transfer complete
  // keeps them (as the waypoints or as a track, by its command). Other
  // packets are left alone.
  void TakeUploadPacket(uint16_t id, const std::vector<uint8_t>& data);
  void CountPowerOff();
  void CountAbort();

 private:
  mutable std::mutex mutex_;
  std::vector<GarminRecord> incoming_;  // the upload in progress
  std::vector<GarminRecord> waypoints_;
  std::vector<GarminRecord> uploadedTrack_;
  std::vector<std::vector<GarminRecord>> uploadedTracks_;
  int powerOffs_ = 0;
  int aborts_ = 0;
};

class VirtualGarmin final : public InstrumentBehaviour, public GarminUnitLog {
 public:
  explicit VirtualGarmin(VirtualGarminOptions options);
  ~VirtualGarmin() override;

  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

  // Packets that arrived with a bad checksum or in a broken frame.
  int BadPacketsReceived() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Runs a virtual Garmin behind a pty; the pointer to the behaviour stays
// valid for the instrument's life.
std::unique_ptr<VirtualInstrument> StartVirtualGarmin(VirtualGarminOptions options, InstrumentOptions instrument,
                                                      std::string& error, VirtualGarmin** behaviour = nullptr);

// Makes "sim:garmin" and "sim:garmin/<profile>" available.
void RegisterVirtualGarmin();

}  // namespace skylode::sim
