#include "sim/mlr/graviter_instrument.h"

#include <cstdio>

namespace skylode::sim {

std::string GraviterProductLine(const GraviterSimConfig& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%-20.20s %-4.4s %-5.5s %-8.8s\r\n", c.product.c_str(), "V1.3", c.serial.c_str(),
                "20260101");
  return buf;
}

void GraviterInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  if (link.LineSpeed() != kGraviterSimBaud) return;
  for (uint8_t b : bytes) {
    if (b == 'V') link.Send(GraviterProductLine(config_));
    if (b == 'y') link.Send(config_.image.empty() ? BuildGraviterImage(config_.tracks) : config_.image);
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualGraviter(GraviterSimConfig config, InstrumentOptions options,
                                                        std::string& error) {
  return StartInstrument(std::make_unique<GraviterInstrument>(std::move(config)), std::move(options), error);
}

}  // namespace skylode::sim
