// One conversation with a Garmin unit, over a serial line (packets with
// acknowledgements) or USB: product identification and the capability
// check. The operations (waypoints, tracks) build on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/garmin/link.h"
#include "protocols/garmin/protocol_set.h"
#include "protocols/garmin/transport.h"
#include "protocols/garmin/usb_link.h"
#include "records/error.h"

namespace skylode::garmin {

// How long each wait lasts. The defaults are what real units need; tests
// against the virtual unit shorten them.
struct GarminTimeouts {
  std::chrono::milliseconds product{2000};     // each product request
  std::chrono::milliseconds capability{5000};  // the protocol array after product data
  std::chrono::milliseconds data{5000};        // every packet of a transfer
  GarminUsbTimeouts usb{};
};

class GarminSession {
 public:
  // The transport follows the context's protocol column: USB for the
  // Garmin USB column, the serial link otherwise.
  explicit GarminSession(TransferContext& ctx, GarminTimeouts timeouts = {});
  ~GarminSession();

  TransferContext& ctx() { return ctx_; }
  const GarminTimeouts& timeouts() const { return timeouts_; }

  // Frames and writes one packet; false on a write failure or an abort.
  bool Send(const GarminPacket& p);
  bool SendCommand(uint16_t command) { return Send(MakeCommandPacket(command)); }
  // Nothing goes out on a transport that needs no acknowledgements.
  bool SendAck(uint8_t ackedId) { return !acknowledged() || Send(MakeAckPacket(ackedId)); }
  // Tells the unit to stop the transfer it is in; failures do not matter here.
  // Sent even after the user aborted, which is when it matters most.
  void SendAbortTransfer();

  bool usb() const { return usb_; }
  bool acknowledged() const { return !usb_; }
  // Which step of the last failed receive went wrong (USB), 0 otherwise.
  int readErrorNumber() const { return transport_ ? transport_->ReadErrorNumber() : 0; }

  // Waits for the next correct packet; bytes left over from the previous
  // read are used first. Packets with a bad checksum are dropped silently.
  RxStatus Receive(std::chrono::milliseconds timeout);
  const GarminPacket& packet() const { return packet_; }
  // Forgets a half-received packet and any leftover bytes.
  void ResetReceiver();

  // Opens the port at 9600 baud (or the USB unit and its session),
  // identifies the unit and settles its capabilities. Its failures have been shown (each under its own caption)
  // when they are returned.
  Status ReadProductData();

  const GarminProtocolSet& protocols() const { return protocols_; }
  int16_t productId() const { return productId_; }
  uint16_t softwareVersion() const { return softwareVersion_; }
  // The unit's own description, at most 80 characters.
  const std::string& description() const { return description_; }
  // "Garmin: " and the description, at most 50 characters; on USB
  // "Garmin USB: " and the unit ID.
  const std::string& identification() const { return identification_; }

  // Records the last packet as the one that explains a failure.
  void KeepFailedPacket() const;

 private:
  Status ReadCapabilities();
  Status ReadProductDataUsb();
  void TakeProductData(std::string_view identificationPrefix);

  TransferContext& ctx_;
  GarminTimeouts timeouts_;
  bool usb_ = false;
  std::unique_ptr<GarminTransport> transport_;
  GarminPacket packet_;

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
