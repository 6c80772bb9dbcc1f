// What the Garmin application layer needs from the line under it: packets
// out, packets in. The serial link (framed, checksummed, acknowledged) and
// USB (packets on pipes, no acknowledgements) are its two forms.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "access/transfer_context.h"
#include "protocols/garmin/link.h"

namespace skylode::garmin {

enum class RxStatus {
  kPacket,     // a complete, correct packet is in the caller's packet
  kTimeout,
  kReadError,  // the port failed or the line went away
  kCancelled,  // the transfer was aborted
};

class GarminTransport {
 public:
  virtual ~GarminTransport() = default;

  // False on a write failure or an abort.
  virtual bool Send(const GarminPacket& p) = 0;
  // The next packet for the application layer.
  virtual RxStatus Receive(std::chrono::milliseconds timeout, GarminPacket& out) = 0;
  // Forgets anything half-received.
  virtual void Reset() {}
  // Which step of the last Receive failed, 1 and up; 0 when it did not fail
  // or the transport does not number its failures.
  virtual int ReadErrorNumber() const { return 0; }
  // Whether every packet is acknowledged by the receiver (serial) or the
  // transport itself guarantees delivery (USB).
  virtual bool Acknowledges() const = 0;
  // Tells the unit to stop the transfer it is in, even after an abort; its
  // failure does not matter.
  virtual void SendAbortTransfer() = 0;
};

// The serial link over the context's open port.
std::unique_ptr<GarminTransport> MakeSerialTransport(TransferContext& ctx);

}  // namespace skylode::garmin
