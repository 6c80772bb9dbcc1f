// Builds Graviter memory images the way the instrument writes them: a chain
// of tracks in a ring, records bit-packed as short deltas where they fit and
// long values where they do not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skylode::sim {

struct GraviterRecord {
  int32_t height = 0;       // metres
  uint32_t offset = 0;      // seconds after the track's start
  bool positioned = true;   // carries a position (flag bit 9)
  double latitude = 0;      // radians
  double longitude = 0;
  bool forceLong = false;   // every field in its long form
};

struct GraviterTrack {
  uint32_t address = 0;  // where its next-pointer goes; 0 = right after the previous track
  int day = 15, month = 7, year = 26, hour = 10, minute = 0, endHour = 11, endMinute = 0;
  int type = 3;
  std::vector<GraviterRecord> records;
  // The next track's pointer, when set; else the chain's order.
  int64_t nextOverride = -1;
};

// The reply to "y": 'y', the first-track pointer, memory up to the last byte
// used (all of the ring once a track wrapped), '*', XOR, CR, LF.
std::string BuildGraviterImage(const std::vector<GraviterTrack>& tracks);

// A flight of `count` positioned records drifting north-east, with a long
// record every 20.
std::vector<GraviterRecord> DemoGraviterRecords(int count);

}  // namespace skylode::sim
