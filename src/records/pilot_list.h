// The competition pilot list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace skylode {

inline constexpr size_t kPilotNameMax = 80;
inline constexpr size_t kPilotDeviceMax = 50;

struct PilotEntry {
  std::string name;      // at most 80 characters
  int32_t civlId = -1;   // -1: none (shown as three blanks)
  int32_t compId = -1;   // -1: none
  std::array<std::string, 4> devices;  // instrument names, at most 50 characters each
  friend bool operator==(const PilotEntry&, const PilotEntry&) = default;
};

struct PilotList {
  std::vector<PilotEntry> items;
  int32_t count() const { return static_cast<int32_t>(items.size()); }
  bool empty() const { return items.empty(); }
};

}  // namespace skylode
