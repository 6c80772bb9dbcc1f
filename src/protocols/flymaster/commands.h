// Command numbers of the Flymaster entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadFlymaster = 40126;
inline constexpr int kSendWptFlymasterName = 40163;
inline constexpr int kSendWptFlymasterId = 40165;
inline constexpr int kSendWptFlymasterIdName = 40164;
inline constexpr int kWriteFlymasterIds = 40166;
inline constexpr int kWriteFlymasterName = 40145;
inline constexpr int kFlymasterAltitudeAlarm = 40157;
inline constexpr int kPowerOffFlymaster = 40146;

}  // namespace skylode::cmd
