// The virtual DSX recorder: answers V1 with its prompt at 9,600 baud, moves
// to 38,400 baud on V4, lists its flights, hands out a flight's IGC text and
// keeps the pilot data written to it.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/flytec/igc_text.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

inline constexpr uint32_t kDsxSimOpenBaud = 9600;
inline constexpr uint32_t kDsxSimFastBaud = 38400;

struct DsxSimConfig {
  std::vector<SimFlight> flights;  // listed as flights 1, 2, ... oldest first
  // Replaces the list the flights give (the whole reply) when set.
  std::optional<std::string> listReply;
  std::array<std::string, 5> pilot = {"Max Muster", "17", "12345", "Advance Iota 2", "Skylode"};
  int promptAfter = 0;  // V1 requests it ignores before the first prompt
};

// What the recorder saw; shared with whoever started it.
struct DsxSimLog {
  std::vector<std::string> commands;   // without their CR
  std::vector<std::string> written;    // H and C commands, in order
  std::vector<std::string> faults;     // commands at the wrong line speed
  bool sessionEnded = false;           // V0 came
  std::optional<std::array<std::string, 5>> pilot;  // the recorder's pilot data
  size_t bytesQueued = 0;

  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex);
    return commands;
  }
  std::vector<std::string> Written() const {
    std::lock_guard lock(mutex);
    return written;
  }
  std::vector<std::string> Faults() const {
    std::lock_guard lock(mutex);
    return faults;
  }
  bool SessionEnded() const {
    std::lock_guard lock(mutex);
    return sessionEnded;
  }
  std::array<std::string, 5> Pilot() const {
    std::lock_guard lock(mutex);
    return pilot.value_or(std::array<std::string, 5>{});
  }
  size_t BytesQueued() const {
    std::lock_guard lock(mutex);
    return bytesQueued;
  }
  mutable std::mutex mutex;
};

class DsxInstrument final : public InstrumentBehaviour {
 public:
  explicit DsxInstrument(DsxSimConfig config, std::shared_ptr<DsxSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;

  // The exact replies, for tests that need to know what goes over the line.
  static std::string Prompt();
  std::string ListReply() const;
  std::string FlightReply(int number) const;  // echo, '#', the text, the end line
  std::string FieldReply(int field) const;

 private:
  void Answer(const std::string& command, InstrumentLink& link);
  void Send(const std::string& text, InstrumentLink& link);

  DsxSimConfig config_;
  std::shared_ptr<DsxSimLog> log_;
  std::string pending_;
  bool fast_ = false;  // V4 came: the session runs at 38,400 baud
  int ignoredOpens_ = 0;
};

std::unique_ptr<VirtualInstrument> StartVirtualDsx(DsxSimConfig config, InstrumentOptions options,
                                                   std::string& error, std::shared_ptr<DsxSimLog> log = nullptr);

// "sim:dsx" with the demo flights.
void RegisterVirtualDsx();

}  // namespace skylode::sim
