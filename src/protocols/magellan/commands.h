// Command numbers of the Magellan entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadMagellan = 40065;
inline constexpr int kReadWptMagellan = 40066;
inline constexpr int kSendWptMagellan = 40008;

}  // namespace skylode::cmd
