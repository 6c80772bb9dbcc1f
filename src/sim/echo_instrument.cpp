#include "sim/echo_instrument.h"

namespace skylode::sim {

void EchoInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  {
    std::lock_guard lock(mutex_);
    received_.insert(received_.end(), bytes.begin(), bytes.end());
  }
  if (echo_) link.Send(bytes);
}

std::vector<uint8_t> EchoInstrument::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

}  // namespace skylode::sim
