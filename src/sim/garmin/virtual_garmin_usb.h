// A virtual Garmin on USB, in-process: a pseudo-terminal cannot carry pipes.
// It plays the unit's side of USB: the session start in either order, its
// packets on the interrupt pipe or as bulk bursts announced there and ended
// by a zero-length packet, a unit that waits for the zero-length packet
// closing a transfer of whole packets, and faults (unplugging, a packet whose
// header claims more than it carries, packets longer than any record,
// silence). The records are those of the serial virtual unit; nothing is
// shared with the program's driver.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "access/usb_device.h"
#include "sim/garmin/virtual_garmin.h"

namespace skylode::sim {

enum class UsbSessionOrder {
  kStartedFirst,        // session started on the interrupt pipe at once
  kDataAvailableFirst,  // data available first, session started on the bulk pipe
};

enum class UsbDelivery {
  kInterrupt,  // application packets on the interrupt pipe
  kBulk,       // announced on the interrupt pipe, sent as bulk bursts
};

// How a unit may get the session start wrong.
enum class UsbSessionFault {
  kNoAnswer,      // it never says the session started
  kShortAnswer,   // session started with 2 bytes instead of the unit ID
  kWrongPacket,   // an application packet instead
};

// Counts are of the application packets the unit sends, from 0.
struct VirtualGarminUsbFaults {
  std::optional<UsbSessionFault> session;
  // The unit is unplugged instead of sending this packet.
  std::optional<size_t> unplugAtPacket;
  // The unit is unplugged as the program's n-th application packet arrives
  // (from 0); that packet is lost.
  std::optional<size_t> unplugAtReceivedPacket;
  // This packet's header claims 100 bytes more than it carries.
  std::optional<size_t> claimsMoreAtPacket;
  // This packet is padded to 300 data bytes, its header saying so.
  std::optional<size_t> oversizedAtPacket;
  // From this packet on nothing comes; with bulk delivery the unit still
  // announces its burst, so the program waits on the bulk pipe.
  std::optional<size_t> silentFromPacket;
};

struct VirtualGarminUsbOptions {
  VirtualGarminOptions unit;  // profile and records; the serial faults are not used
  UsbSessionOrder sessionOrder = UsbSessionOrder::kStartedFirst;
  UsbDelivery delivery = UsbDelivery::kInterrupt;
  uint32_t unitId = 3456789012u;
  size_t maxPacketSize = 64;
  // Time between the application packets the unit sends.
  std::chrono::microseconds packetInterval{0};
  VirtualGarminUsbFaults faults;
};

class VirtualGarminUsb final : public GarminUnitLog {
 public:
  explicit VirtualGarminUsb(VirtualGarminUsbOptions options);
  ~VirtualGarminUsb();

  // A connection to the unit for the program; the unit outlives it.
  static std::unique_ptr<UsbDevice> Connect(std::shared_ptr<VirtualGarminUsb> unit);

  // Sessions started, and zero-length packets that closed a transfer.
  int SessionsStarted() const;
  int ZeroLengthPacketsReceived() const;
  // A transfer of whole packets still waiting for its zero-length packet.
  bool WaitingForEndOfTransfer() const;
  // Bytes the unit sent and received on all pipes.
  size_t BytesMoved() const;

  void Unplug();

 private:
  friend class VirtualGarminUsbPort;
  struct State;
  std::unique_ptr<State> s_;
};

// Makes "sim:garmin-usb" (session started first, packets on the interrupt
// pipe), "sim:garmin-usb/bulk" (data available first, bulk bursts) and
// "sim:garmin-usb/<profile>" for the profiles with a protocol array.
void RegisterVirtualGarminUsb();

}  // namespace skylode::sim
