// The virtual Digifly Graviter: at 38,400 baud it answers "V" with its
// product line and "y" with its memory image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/mlr/graviter_image_builder.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

inline constexpr uint32_t kGraviterSimBaud = 38400;

struct GraviterSimConfig {
  std::string product = "GRAVITER";
  std::string serial = "04711";
  std::vector<GraviterTrack> tracks;
  // Replaces the built image (tests of broken memories).
  std::string image;
};

std::string GraviterProductLine(const GraviterSimConfig& config);

class GraviterInstrument final : public InstrumentBehaviour {
 public:
  explicit GraviterInstrument(GraviterSimConfig config) : config_(std::move(config)) {}
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

 private:
  GraviterSimConfig config_;
};

std::unique_ptr<VirtualInstrument> StartVirtualGraviter(GraviterSimConfig config, InstrumentOptions options,
                                                        std::string& error);

}  // namespace skylode::sim
