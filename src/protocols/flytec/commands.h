// Command numbers of the Flytec / Brauniger entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadCompeo = 40054;
inline constexpr int kReadFlytec = 40085;
inline constexpr int kReadAllIqTracks = 40119;
inline constexpr int kReadAllFlytecTracks = 40120;
inline constexpr int kReadWptCompeo = 40055;
inline constexpr int kReadWptFlytec = 40086;
inline constexpr int kSendWptCompeoName = 40018;
inline constexpr int kSendWptFlytecName = 40023;
inline constexpr int kSendWptCompeoId = 40134;
inline constexpr int kSendWptFlytecId = 40135;
inline constexpr int kSendWptCompeoIdName = 40096;
inline constexpr int kSendWptFlytecIdName = 40097;
inline constexpr int kSendCtrCompeo = 40098;
inline constexpr int kSendCtrFlytec = 40099;
inline constexpr int kReadCtrCompeo = 40109;
inline constexpr int kReadCtrFlytec = 40110;

}  // namespace skylode::cmd
