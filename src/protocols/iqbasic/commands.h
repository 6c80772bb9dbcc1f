// Command numbers of the IQ Basic / Flytec 6015 entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadIqBasic = 40155;
inline constexpr int kReadWptIqBasic = 40158;
inline constexpr int kSendWptIqBasicName = 40159;
inline constexpr int kSendWptIqBasicId = 40161;
inline constexpr int kSendWptIqBasicIdName = 40162;

}  // namespace skylode::cmd
