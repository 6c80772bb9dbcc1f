// Command numbers of the MTK / Pentagram entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadMtk = 40154;
inline constexpr int kEraseMtk = 40156;

}  // namespace skylode::cmd
