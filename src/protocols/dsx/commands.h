// Command numbers of the DSX entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadDsx = 40148;
inline constexpr int kWriteDsxPilotData = 40153;

}  // namespace skylode::cmd
