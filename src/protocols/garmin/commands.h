// Command numbers of the Garmin entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadGarmin = 40029;
inline constexpr int kReadGarminUsb = 40075;
inline constexpr int kReadWptGarmin = 40027;
inline constexpr int kReadWptGarminUsb = 40078;
inline constexpr int kSendWptGarmin = 40021;
inline constexpr int kSendWptGarminUsb = 40022;
inline constexpr int kSendCtrGarmin = 40106;
inline constexpr int kSendCtrGarminUsb = 40107;
inline constexpr int kSendWptAsGarminLog = 40017;
inline constexpr int kSendWptAsGarminLogUsb = 40092;
inline constexpr int kUsbCompCheckWaypoints = 40144;
inline constexpr int kPowerOffGarmin = 40142;

}  // namespace skylode::cmd
