// A serial line through POSIX termios: exclusive, raw 8N1, non-blocking with
// poll(), DTR and RTS raised. Also serves the pseudo-terminals of virtual
// instruments, so they exercise exactly this code.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "access/port.h"
#include "access/port_holder.h"

namespace skylode {

class VirtualLine;

enum class OpenFailure {
  kNone,
  kCannotOpen,       // absent or refused: worth another attempt
  kBusy,             // another program has it open: worth another attempt
  kCannotConfigure,  // opened but the line settings failed: give up
};

struct PortOpenResult {
  std::unique_ptr<Port> port;
  OpenFailure failure = OpenFailure::kNone;
  std::string error;  // the system's text when it failed
  // Who has the line open, for kBusy, when the system tells.
  std::optional<PortHolder> holder;
};

class SerialPort final : public Port {
 public:
  // One attempt at opening `devicePath` (already resolved, e.g. /dev/ttyUSB0).
  // `displayName` is what Name() reports.
  static PortOpenResult Open(const std::string& devicePath, const std::string& displayName,
                             uint32_t baud, bool softwareFlow);
  ~SerialPort() override;

  IoResult Write(std::span<const uint8_t> bytes, const CancelToken& cancel) override;
  bool SetSpeed(uint32_t baud, bool softwareFlow) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  const std::string& Name() const override { return name_; }
  uint32_t Speed() const override { return baud_; }
  std::string LastError() const override { return lastError_; }

  // A write may take perByte for every byte (3 ms at 4800 baud and below,
  // 2 ms above) plus `margin`, because USB-serial adapters add latency of
  // their own. Tests shorten both.
  void SetWriteTiming(std::chrono::microseconds perByte, std::chrono::milliseconds margin);
  std::chrono::milliseconds WriteBound(size_t bytes) const;

  // Keeps a virtual instrument alive for as long as this port is open; it is
  // stopped after the descriptor has been closed.
  void AttachVirtualLine(std::unique_ptr<VirtualLine> line);

 protected:
  IoResult ReadSome(std::span<uint8_t> buffer) override;
  bool PurgeDevice() override;

 private:
  SerialPort(int fd, std::string name, uint32_t baud);
  bool Configure(uint32_t baud, bool softwareFlow);
  void SetError(const char* what, int err);

  int fd_ = -1;
  std::string name_;
  uint32_t baud_ = 0;
  std::string lastError_;
  std::chrono::microseconds perByte_{0};  // 0: derived from the speed
  std::chrono::milliseconds margin_{100};
  std::unique_ptr<VirtualLine> virtualLine_;
};

}  // namespace skylode
