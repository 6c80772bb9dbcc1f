// The virtual MTK / Pentagram logger: answers product data, logging status
// and switching, memory used, chunk reads and erase, as the logger does over
// its serial line.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct MtkSimConfig {
  std::string firmware = "AXN_1.30-B_2838";
  std::string build = "0001";
  std::vector<uint8_t> memory;  // the used memory
  uint32_t loggingStatus = 0x2 | 0x4;  // bit 1: logging on
  // Faults of the logger's replies.
  bool doubleReplies = false;  // every reply goes out twice
  bool staleReplies = false;   // the previous reply goes out again before each reply
  std::optional<uint32_t> silentChunkOnce;  // the first request for this offset stays unanswered
  std::optional<uint32_t> shortChunkOnce;   // ... is answered with one byte missing
  std::optional<uint32_t> badChecksumChunkOnce;  // ... with a wrong checksum
  bool silentLoggingOn = false;  // never confirms logging on
  int eraseTicks = 0;            // 10 ms ticks before the erase is confirmed; -1 never
};

// What the logger saw; shared with whoever started it.
struct MtkSimLog {
  std::vector<std::string> commands;  // sentence bodies, e.g. "PMTK182,2,7"
  uint32_t loggingStatus = 0;
  bool erased = false;
  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex);
    return commands;
  }
  uint32_t LoggingStatus() const {
    std::lock_guard lock(mutex);
    return loggingStatus;
  }
  bool Erased() const {
    std::lock_guard lock(mutex);
    return erased;
  }
  mutable std::mutex mutex;
};

class MtkInstrument final : public InstrumentBehaviour {
 public:
  explicit MtkInstrument(MtkSimConfig config, std::shared_ptr<MtkSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

 private:
  void Take(const std::string& body, InstrumentLink& link);
  void Reply(const std::string& body, InstrumentLink& link, bool asStale = true);

  MtkSimConfig config_;
  std::shared_ptr<MtkSimLog> log_;
  std::string line_;
  bool inLine_ = false;
  std::string previous_;
  int eraseCountdown_ = -1;
  bool silentDone_ = false, shortDone_ = false, badDone_ = false;
};

// "$body*HH\r\n".
std::string MtkSentence(const std::string& body);

std::unique_ptr<VirtualInstrument> StartVirtualMtk(MtkSimConfig config, InstrumentOptions options, std::string& error,
                                                   std::shared_ptr<MtkSimLog> log = nullptr);
void RegisterVirtualMtk(const std::string& name, MtkSimConfig config, InstrumentOptions options = {},
                        std::shared_ptr<MtkSimLog> log = nullptr);
// "sim:mtk" with two short flights.
void RegisterVirtualMtk();

// Two flights on 2 Aug 2026: one in a closed sector, the next in an open
// one with a format change and 0, 1 and 32 satellites.
std::vector<uint8_t> DemoMtkMemory();

}  // namespace skylode::sim
