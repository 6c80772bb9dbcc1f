// The instrument's list of recorded flights, read from its $PBRTL
// sentences as they arrive.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "access/sentence.h"

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
// Each $PBRTL line is collected whole, checked and split by the shared
// sentence code, and then read field by field; other sentences are passed
// over.
class TrackListParser {
 public:
  explicit TrackListParser(TrackList& list);
  int Feed(uint8_t byte);
  // Inside a $PBRTL line: what came so far is not yet an entry.
  bool InSentence() const { return reader_.InSentence(); }

 private:
  int TakeLine();

  TrackList& list_;
  SentenceLineReader reader_;
};
}  // namespace skylode::flytec
