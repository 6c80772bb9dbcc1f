// The instrument's list of recorded flights, parsed byte by byte from its
// "$PFMLST," lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace skylode::flymaster {

inline constexpr size_t kTrackListMax = 1000;

struct ListedFlight {
  // list value 1 and 2 (received, not used), then the start of the flight
  // (day, month, two-digit year, hour, minute, second) and its duration.
  std::array<int32_t, 11> values{};
  int32_t day() const { return values[2]; }
  int32_t month() const { return values[3]; }
  int32_t year() const { return values[4]; }
  int32_t hour() const { return values[5]; }
  int32_t minute() const { return values[6]; }
  int32_t second() const { return values[7]; }
  int64_t durationSeconds() const {
    return int64_t{values[8]} * 3600 + int64_t{values[9]} * 60 + values[10];
  }
  // "%d.%02d.%02d   %02d:%02d:%02d   %02d:%02d:%02d" as the dialog shows it.
  std::string Line() const;
  // "$PFMDNL,YYMMDDhhmmss,*hh\r\n": the request for this flight.
  std::string DownloadCommand() const;
};

// One call per received byte: 1 when taken, or the negative error number for
// "E505 Format error %".
class TrackListParser {
 public:
  explicit TrackListParser(std::vector<ListedFlight>& list) : list_(list) {}
  int Feed(uint8_t byte);
  // A line has begun and not ended.
  bool InLine() const { return state_ != 0; }

 private:
  std::vector<ListedFlight>& list_;
  ListedFlight entry_;
  int state_ = 0;
  size_t position_ = 0;
  int64_t number_ = 0;
  int digits_ = 0;
  uint8_t xor_ = 0;
  uint8_t received_ = 0;
  int checkDigits_ = 0;
};

}  // namespace skylode::flymaster
