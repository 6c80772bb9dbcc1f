// Command numbers of the XC Trainer / Top Navigator entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadXcTrainerMxp = 40091;
inline constexpr int kReadXcTrainer = 40071;
inline constexpr int kReadTopNavMxp = 40090;
inline constexpr int kReadTopNavigator = 40039;
inline constexpr int kReadWptTopNavigator = 40053;
inline constexpr int kReadWptXcTrainer = 40076;
inline constexpr int kSendWptTopNavigator = 40009;
inline constexpr int kSendWptXcTrainer = 40013;

}  // namespace skylode::cmd
