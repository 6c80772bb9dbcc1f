// What a port setting names, and which ports the system offers.
//
// A setting is one of:
//   "COMn" or "\\.\COMn" (n = 1..20): the names pilots know from other
//       programs; COMn stands for /dev/ttyS<n-1>, the n-th on-board port.
//       USB adapters are chosen by their device path instead.
//   a device path such as /dev/ttyUSB0 or /dev/serial/by-id/...: used as is.
//   "sim:<family>": a virtual instrument registered for that family.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

inline constexpr std::string_view kVirtualPortPrefix = "sim:";
inline constexpr size_t kPortNameMax = 80;

// "COM%d" for 1..9 and "\\.\COM%d" from 10 on.
std::string FormatComName(int number);
// The number of "COMn" or "\\.\COMn", or nothing for any other text.
std::optional<int> ParseComName(std::string_view name);
// The device path to open for a setting; the family for "sim:" settings is
// returned by VirtualFamily instead.
std::string ResolvePortDevice(std::string_view name);
// "flytec" for "sim:flytec"; nothing for real ports.
std::optional<std::string> VirtualFamily(std::string_view name);

// The ports the port dialog offers: stable /dev/serial/by-id links first,
// then /dev/ttyUSB*, /dev/ttyACM* and the on-board /dev/ttyS* that the
// serial driver reports as present. Paths, sorted within each group.
std::vector<std::string> ListSerialPorts();

}  // namespace skylode
