// Command numbers of the LogIt / Tracklogger entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadLogIt57600 = 40010;
inline constexpr int kReadLogIt38400 = 40011;
inline constexpr int kReadLogIt19200 = 40012;
inline constexpr int kReadTracklogger = 40069;
inline constexpr int kEraseLogIt = 40014;
inline constexpr int kWriteLogItName = 40015;
inline constexpr int kReadLogItData = 40016;

}  // namespace skylode::cmd
