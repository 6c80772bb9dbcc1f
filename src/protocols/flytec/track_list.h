// The instrument's list of recorded flights, parsed byte by byte as the
// $PBRTL sentences arrive.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace skylode::flytec {

inline constexpr int kTrackListSize = 100;
inline constexpr size_t kTrackListSlotMax = 81;

struct TrackListSlot {
  std::string text;          // "NN   date   time   hh:mm:ss"; empty = no flight
  int32_t durationSeconds = 0;
};

struct TrackList {
  std::array<TrackListSlot, kTrackListSize> entries;  // indexed by flight number

  void Clear() { entries = {}; }
  int Count() const;
  // Flight numbers of the listed flights, ascending.
  std::vector<int> FlightNumbers() const;
};

// One call per received byte (XON/XOFF already dropped): 1 when the byte was
// taken, or a negative error number for the "E505 Format error %" message.
class TrackListParser {
 public:
  explicit TrackListParser(TrackList& list) : list_(list) {}
  int Feed(uint8_t byte);
  // Inside a sentence's fields: what came so far is not yet an entry.
  bool InSentence() const { return state_ >= 2; }

 private:
  void AppendField(uint8_t byte, size_t limit);

  TrackList& list_;
  int state_ = 0;
  size_t position_ = 0;
  uint8_t xor_ = 0;
  uint8_t received_ = 0;
  int digits_ = 0;
  int32_t number_ = 0;
  int flight_ = 0;
  int64_t duration_ = 0;
};

}  // namespace skylode::flytec
