// A unit on USB seen as its pipes: interrupt IN, bulk IN and bulk OUT. The
// real device (libusb) and the in-process virtual units both stand behind it,
// since a pseudo-terminal cannot carry pipes. Virtual units register a
// factory here, the way serial ones do in virtual_line.h, and are reached as
// the port "sim:<name>".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "access/port.h"

namespace skylode {

enum class UsbPipe { kInterruptIn, kBulkIn };

class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  UsbDevice() = default;
  UsbDevice(const UsbDevice&) = delete;
  UsbDevice& operator=(const UsbDevice&) = delete;

  // One IN transfer: the bytes of the unit's packets until a short one (a
  // zero-length packet included) or a full buffer. Waits at most `timeout`
  // (kTimeout with nothing), returns kCancelled soon after `cancel` is set and
  // kHangUp once the unit is gone. kOk with 0 bytes is a zero-length packet.
  virtual IoResult Read(UsbPipe pipe, std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                        const CancelToken& cancel) = 0;
  // One bulk OUT transfer, carried in packets of MaxPacketSize(); an empty
  // span sends a zero-length packet.
  virtual IoResult Write(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout,
                         const CancelToken& cancel) = 0;
  // wMaxPacketSize of the bulk OUT endpoint.
  virtual size_t MaxPacketSize() const = 0;
  virtual std::string LastError() const = 0;
};

using VirtualUsbFactory = std::function<std::unique_ptr<UsbDevice>(std::string& error)>;

// Replaces an earlier factory of the same name. Thread-safe.
void RegisterVirtualUsbDevice(const std::string& name, VirtualUsbFactory factory);
void UnregisterVirtualUsbDevice(const std::string& name);
bool HasVirtualUsbDevice(const std::string& name);
// Null (with `error` filled) when nothing is registered under the name or it
// did not start.
std::unique_ptr<UsbDevice> StartVirtualUsbDevice(const std::string& name, std::string& error);
std::vector<std::string> VirtualUsbDeviceNames();

}  // namespace skylode
