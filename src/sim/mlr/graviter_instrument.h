// The virtual Digifly Graviter: at 38,400 baud it answers "V" with its
// product line and "y" with its memory image.
#pragma once

#include <map>
#include <memory>
#include <mutex>
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
  // What "T" is answered with; empty: nothing.
  std::string acknowledge = "!";
};

// What the instrument was sent and what it stored; shared so a test can look
// after the line closed.
struct GraviterSimLog {
  std::string received;
  std::map<uint32_t, uint8_t> memory;  // bytes written with "W", by address
  int acknowledged = 0;                // "T" commands answered
  // Each broken rule of a write: a write before "T", a short or non-digit
  // command, an address outside the owner name, a code past 255.
  std::vector<std::string> broken;

  // The owner name as the instrument holds it: the 8 bytes from 208.
  std::string OwnerName() const;
  std::string Received() const {
    std::lock_guard lock(mutex);
    return received;
  }
  std::vector<std::string> Broken() const {
    std::lock_guard lock(mutex);
    return broken;
  }
  mutable std::mutex mutex;
};

std::string GraviterProductLine(const GraviterSimConfig& config);

class GraviterInstrument final : public InstrumentBehaviour {
 public:
  explicit GraviterInstrument(GraviterSimConfig config, std::shared_ptr<GraviterSimLog> log = nullptr)
      : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<GraviterSimLog>()) {}
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

 private:
  void Write();

  GraviterSimConfig config_;
  std::shared_ptr<GraviterSimLog> log_;
  bool writing_ = false;  // after "T"
  std::string command_;   // a "W" command being received
};

std::unique_ptr<VirtualInstrument> StartVirtualGraviter(GraviterSimConfig config, InstrumentOptions options,
                                                        std::string& error,
                                                        std::shared_ptr<GraviterSimLog> log = nullptr);

}  // namespace skylode::sim
