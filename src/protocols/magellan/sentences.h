// The Magellan unit's "$PMGN" sentences: what its track and waypoint
// sentences carry, and the waypoint sentence sent to it.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode::magellan {

// What one received sentence gave.
inline constexpr int kSentenceTaken = 1;  // used or passed over
inline constexpr int kDownloadEnd = 0;    // "$PMGNCMD,END"

// `fields` as CheckAndSplitSentence gives them (field 0 is the name with
// its '$'). kSentenceTaken, kDownloadEnd or the positive number of the
// broken rule, shown as "Format error %". A sentence with a point sets
// `point` and `hasPoint`.
int ParseMagellanTrackSentence(std::span<const std::string_view> fields, TrackPoint& point, bool& hasPoint);
int ParseMagellanWaypointSentence(std::span<const std::string_view> fields, Waypoint& waypoint, bool& hasWaypoint);

// The unit's byte-driven reader: '$' starts a sentence, up to 100
// characters are kept (later ones still count in the checksum), '*' ends
// the text, two check digits of either case, CR and LF follow.
class MagellanSentenceReader {
 public:
  static constexpr size_t kMaxKept = 100;
  // 1 byte taken, 0 a sentence is complete (fields() holds it until the
  // next byte), or the reader error: 2 bad check digit, 3 no CR or a wrong
  // checksum, 4 no LF, 5 a byte other than CR or LF outside a sentence.
  // After an error the reader waits for the next '$'.
  int Feed(uint8_t byte);
  // Field 0 is the name with its '$'; fields end at commas.
  const std::vector<std::string_view>& fields() const { return fields_; }
  // A sentence has begun and not ended: silence now cuts it off.
  bool InSentence() const { return state_ != State::kWaitDollar; }

 private:
  enum class State { kWaitDollar, kText, kDigit1, kDigit2, kCr, kLf };
  State state_ = State::kWaitDollar;
  std::string text_;
  std::vector<std::string_view> fields_;
  uint8_t xor_ = 0, received_ = 0;
};

// "$PMGNWPL,DDMM.mmm,N,DDDMM.mmm,E,hhhh,M,ID,NAME*HH\r\n".
std::string MagellanWaypointSentence(const Waypoint& waypoint);

}  // namespace skylode::magellan
