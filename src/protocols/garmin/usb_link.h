// Garmin packets on USB: the 12-byte header, the pipe logic (interrupt
// first, bulk after the unit announced data there) and the session start,
// over any UsbDevice.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "access/usb_device.h"
#include "protocols/garmin/transport.h"
#include "records/error.h"

namespace skylode::garmin {

inline constexpr uint16_t kGarminUsbVendor = 0x091E;
inline constexpr uint16_t kGarminUsbProduct = 0x0003;

inline constexpr uint8_t kUsbProtocolLayer = 0;
inline constexpr uint8_t kUsbApplicationLayer = 20;
inline constexpr uint16_t kUsbDataAvailable = 2;
inline constexpr uint16_t kUsbStartSession = 5;
inline constexpr uint16_t kUsbSessionStarted = 6;
inline constexpr uint8_t kPidExtendedProductData = 248;

inline constexpr size_t kUsbHeaderSize = 12;
// Header and the largest data any record needs; longer packets are cut.
inline constexpr size_t kUsbPacketKept = kUsbHeaderSize + kMaxPacketData;
inline constexpr size_t kInterruptBuffer = 64;
inline constexpr size_t kBulkBuffer = 4096;

// One packet as it travelled: type, 16-bit ID, the header's size and the
// data actually kept (at most 255 bytes).
struct GarminUsbPacket {
  uint8_t type = 0;
  uint16_t id = 0;
  uint32_t declaredSize = 0;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> EncodeGarminUsbPacket(uint8_t type, uint16_t id, std::span<const uint8_t> data);

enum class UsbPacketCheck {
  kOk,
  kShort,       // not even a header
  kClaimsMore,  // the header's size is more than the bytes that came
};

// Reads a packet from `kept` (the first bytes of a transfer) when `received`
// bytes came in all. The data size used is the header's, which must not be
// more than what came; at most 255 data bytes are kept.
UsbPacketCheck DecodeGarminUsbPacket(std::span<const uint8_t> kept, size_t received, GarminUsbPacket& out);

struct GarminUsbTimeouts {
  std::chrono::milliseconds session{9999};  // the whole session start
  std::chrono::milliseconds write{500};     // each bulk OUT transfer
  std::chrono::milliseconds gather{500};    // each further read of one packet
};

class GarminUsbTransport final : public GarminTransport {
 public:
  GarminUsbTransport(TransferContext& ctx, std::unique_ptr<UsbDevice> device, GarminUsbTimeouts timeouts = {});

  bool Send(const GarminPacket& p) override;
  RxStatus Receive(std::chrono::milliseconds timeout, GarminPacket& out) override;
  int ReadErrorNumber() const override { return readError_; }
  bool Acknowledges() const override { return false; }
  // A start-session packet: the unit drops what it was sending.
  void SendAbortTransfer() override;

  // Starts the USB session; failures shown under `caption`.
  Status StartSession(std::string_view caption);
  uint32_t unitId() const { return unitId_; }
  bool bulk() const { return bulk_; }

  // Writes a packet of either layer; false when it did not all go out.
  bool SendRaw(uint8_t type, uint16_t id, std::span<const uint8_t> data, const CancelToken& cancel);

 private:
  enum class Got { kPacket, kBurstEnd, kTimeout, kFailed, kCancelled };
  struct PipeRead {
    Got got = Got::kFailed;
    std::vector<uint8_t> bytes;  // at most kUsbPacketKept
    size_t received = 0;
  };
  PipeRead ReadPipe(UsbPipe pipe, std::chrono::steady_clock::time_point deadline);
  // One packet of either layer; on failure sets readError_ from the numbers
  // given for (read failed, wrong type, bad size).
  RxStatus ReadOne(UsbPipe pipe, std::chrono::steady_clock::time_point deadline, GarminUsbPacket& out,
                   bool& burstEnd);
  void Trace(std::string_view text);
  void TraceBytes(std::string_view pipe, std::span<const uint8_t> bytes);

  TransferContext& ctx_;
  std::unique_ptr<UsbDevice> device_;
  GarminUsbTimeouts timeouts_;
  bool bulk_ = false;
  int readError_ = 0;
  uint32_t unitId_ = 0;
};

// The text shown when the system refuses access to the unit.
inline constexpr std::string_view kUsbAccessDenied =
    "No permission to use the Garmin USB unit. Install the udev rule 51-skylode-garmin.rules "
    "(in /etc/udev/rules.d), then unplug the unit and plug it in again.";

// What the real device layer offers; implemented with libusb.
enum class UsbOpenOutcome { kOpened, kNoUnit, kAccessDenied, kFailed };
UsbOpenOutcome OpenLibusbGarmin(std::unique_ptr<UsbDevice>& out, std::string& error);
using UsbOpener = UsbOpenOutcome (*)(std::unique_ptr<UsbDevice>& out, std::string& error);

// Finds and opens the unit named by the port setting: "sim:<name>" for a
// virtual one, anything else for the first Garmin on USB (through
// `opener`). Only attached units are listed, so none found is a failed
// attempt and tried again a second later. Retries with "Connecting to GPS
// (%)"; null after its message (or quietly on abort).
std::unique_ptr<UsbDevice> OpenGarminUsb(TransferContext& ctx, UsbOpener opener = OpenLibusbGarmin);

}  // namespace skylode::garmin
