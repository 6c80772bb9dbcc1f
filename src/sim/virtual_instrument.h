// Our own implementation of an instrument's side of a line, served behind a
// pseudo-terminal so the program talks to it through its real serial code.
//
// A family writes an InstrumentBehaviour (what the instrument answers) and
// runs it in a VirtualInstrument, which owns the pty and the thread, paces
// the output at the line's speed when asked, and injects faults into what
// the instrument sends.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "access/virtual_line.h"

namespace skylode::sim {

// Faults in the instrument's output, by offset of the byte in everything it
// has sent since it started (0 = its first byte). Unset = no such fault.
struct FaultPlan {
  std::optional<size_t> silenceFrom;  // nothing from this byte on
  std::optional<size_t> corruptAt;    // this byte is XORed with corruptMask
  uint8_t corruptMask = 0x01;
  std::optional<size_t> dropAt;       // this byte is left out
  std::optional<size_t> doubleAt;     // this byte goes out twice
  std::optional<size_t> hangUpAt;     // the line dies before this byte
};

// What the instrument can do from inside its behaviour. Only valid on the
// instrument's thread, during a call into the behaviour.
class InstrumentLink {
 public:
  virtual ~InstrumentLink() = default;
  virtual void Send(std::span<const uint8_t> bytes) = 0;
  void Send(std::string_view text) {
    Send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }
  // The speed the program set on its end of the line (0 if unknown).
  virtual uint32_t LineSpeed() const = 0;
  // Whether the program asked for XON/XOFF.
  virtual bool SoftwareFlow() const = 0;
  // Closes the line as an instrument being switched off would.
  virtual void HangUp() = 0;
};

// One family's instrument. Called only on the instrument's thread.
class InstrumentBehaviour {
 public:
  virtual ~InstrumentBehaviour() = default;
  // Bytes the program sent, as they arrive (any split).
  virtual void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) = 0;
  // About every 10 ms, for instruments that talk on their own.
  virtual void OnTick(InstrumentLink& /*link*/) {}
};

struct InstrumentOptions {
  // Sends at the line's real speed (bytes x 10 / baud) instead of at once.
  bool pace = false;
  // Never reads what the program sends, so its writes back up as they would
  // against a stalled instrument.
  bool stallInput = false;
  FaultPlan faults;
};

class VirtualInstrument final : public VirtualLine {
 public:
  explicit VirtualInstrument(std::unique_ptr<InstrumentBehaviour> behaviour, InstrumentOptions options = {});
  // Stops the thread and closes the pty.
  ~VirtualInstrument() override;
  VirtualInstrument(const VirtualInstrument&) = delete;
  VirtualInstrument& operator=(const VirtualInstrument&) = delete;

  // Opens the pty and starts the thread. False with `error` when it cannot.
  bool Start(std::string& error);
  void Stop();

  std::string SlavePath() const override { return slavePath_; }
  // Bytes the instrument has sent (after faults) and received so far.
  size_t BytesSent() const { return sent_.load(); }
  size_t BytesReceived() const { return received_.load(); }
  bool HungUp() const { return hungUp_.load(); }

  // The behaviour, for tests that inspect what it saw after Stop().
  InstrumentBehaviour& behaviour() { return *behaviour_; }

 private:
  class Link;
  void Run();

  std::unique_ptr<InstrumentBehaviour> behaviour_;
  InstrumentOptions options_;
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up before the program opens
  int wakeRead_ = -1, wakeWrite_ = -1;
  std::string slavePath_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> sent_{0};
  std::atomic<size_t> received_{0};
  std::atomic<bool> hungUp_{false};
};

// Starts `behaviour` in a new instrument; null with `error` on failure.
std::unique_ptr<VirtualInstrument> StartInstrument(std::unique_ptr<InstrumentBehaviour> behaviour,
                                                   InstrumentOptions options, std::string& error);

}  // namespace skylode::sim
