// Command numbers of the MLR / Digifly entries in the menus; older tools and
// scripts know them by these numbers.
#pragma once

namespace skylode::cmd {

inline constexpr int kReadMlr = 40004;
inline constexpr int kReadLeonardo = 40137;
inline constexpr int kReadGraviterAll = 40058;
inline constexpr int kReadGraviterLast = 40056;
inline constexpr int kReadWptMlr = 40033;
inline constexpr int kReadWptMlrFast = 40150;
inline constexpr int kSendWptMlr = 40007;
inline constexpr int kSendWptLeonardo = 40138;
inline constexpr int kWriteGraviterName = 40170;

}  // namespace skylode::cmd
