// One conversation with a Garmin unit over a serial line: packets with
// acknowledgements, product identification and the capability check. The
// operations (waypoints, tracks) build on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/garmin/link.h"
#include "protocols/garmin/protocol_set.h"
#include "records/error.h"

namespace skylode::garmin {

// How long each wait lasts. The defaults are what real units need; tests
// against the virtual unit shorten them.
struct GarminTimeouts {
  std::chrono::milliseconds product{2000};     // each product request
  std::chrono::milliseconds capability{5000};  // the protocol array after product data
  std::chrono::milliseconds data{5000};        // every packet of a transfer
};

enum class RxStatus {
  kPacket,     // a complete, correct packet is in packet()
  kTimeout,
  kReadError,  // the port failed or the line went away
  kCancelled,  // the transfer was aborted
};

class GarminSession {
 public:
  explicit GarminSession(TransferContext& ctx, GarminTimeouts timeouts = {});

  TransferContext& ctx() { return ctx_; }
  const GarminTimeouts& timeouts() const { return timeouts_; }

  // Frames and writes one packet; false on a write failure or an abort.
  bool Send(const GarminPacket& p);
  bool SendCommand(uint16_t command) { return Send(MakeCommandPacket(command)); }
  bool SendAck(uint8_t ackedId) { return Send(MakeAckPacket(ackedId)); }
  // Tells the unit to stop the transfer it is in; failures do not matter here.
  // Sent even after the user aborted, which is when it matters most.
  void SendAbortTransfer();

  // Waits for the next correct packet; bytes left over from the previous
  // read are used first. Packets with a bad checksum are dropped silently.
  RxStatus Receive(std::chrono::milliseconds timeout);
  const GarminPacket& packet() const { return packet_; }
  // Forgets a half-received packet and any leftover bytes.
  void ResetReceiver();

  // Opens the port at 9600 baud, identifies the unit and settles its
  // capabilities. Its failures have been shown (each under its own caption)
  // when they are returned.
  Status ReadProductData();

  const GarminProtocolSet& protocols() const { return protocols_; }
  int16_t productId() const { return productId_; }
  uint16_t softwareVersion() const { return softwareVersion_; }
  // The unit's own description, at most 80 characters.
  const std::string& description() const { return description_; }
  // "Garmin: " and the description, at most 50 characters.
  const std::string& identification() const { return identification_; }

  // Records the last packet as the one that explains a failure.
  void KeepFailedPacket() const;

 private:
  Status ReadCapabilities();

  TransferContext& ctx_;
  GarminTimeouts timeouts_;
  GarminReceiver rx_;
  GarminPacket packet_;
  std::array<uint8_t, 100> readBuffer_{};
  size_t leftoverAt_ = 0;
  size_t leftoverEnd_ = 0;

  GarminProtocolSet protocols_;
  int16_t productId_ = 0;
  uint16_t softwareVersion_ = 0;
  std::string description_;
  std::string identification_;
};

// The last packet received in a failed operation, for the debug view.
GarminPacket GarminLastFailedPacket();

// "1.005" for 1005 ms: whole seconds and three digits of milliseconds.
std::string FormatSeconds(std::chrono::milliseconds elapsed);

}  // namespace skylode::garmin
