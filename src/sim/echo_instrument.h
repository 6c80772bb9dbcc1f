// A loopback instrument: sends back every byte it receives. The serial-port
// and fault-injection tests talk to it.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

class EchoInstrument final : public InstrumentBehaviour {
 public:
  // With `echo` false it only swallows what arrives (a silent instrument).
  explicit EchoInstrument(bool echo = true) : echo_(echo) {}
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

  // Everything received so far; safe from any thread.
  std::vector<uint8_t> Received() const;

 private:
  bool echo_;
  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
};

}  // namespace skylode::sim
