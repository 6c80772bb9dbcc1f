// Command numbers of the shell's own menus, accelerators and buttons. The
// instrument families keep theirs in their folders. The numbers are the ones
// instrument tools and scripts have always used.
#pragma once

namespace skylode::cmd {

// File
inline constexpr int kSaveLog = 40115;
inline constexpr int kSaveLogButton = 1315;
inline constexpr int kSaveLogAs = 40116;
inline constexpr int kOpenLog = 40117;
inline constexpr int kSaveWaypointsAs = 40118;
inline constexpr int kOpenWaypoints = 40047;
inline constexpr int kSaveIgc = 40043;
inline constexpr int kSaveRawIgc = 40072;
inline constexpr int kVerifyIgc = 40073;
inline constexpr int kAddIgcToCompOut = 40139;
inline constexpr int kSavePilotListCsv = 40143;
inline constexpr int kExit = 40019;

// Edit
inline constexpr int kNewWaypoint = 40038;
inline constexpr int kEditWaypoint = 40030;
inline constexpr int kDeleteWaypoints = 40031;
inline constexpr int kConvertPosition = 40032;
inline constexpr int kCalculateDistance = 40028;
inline constexpr int kSelectAll = 40042;

// CTR
inline constexpr int kReadCtrFile = 40100;
inline constexpr int kWriteCtrFile = 40108;
inline constexpr int kEditCtr = 40104;
inline constexpr int kNewCtr = 40105;
inline constexpr int kDeleteCtr = 40111;
inline constexpr int kShowCtrAsWaypoints = 40112;
inline constexpr int kWriteCtrGpx = 40149;

// Misc
inline constexpr int kSetComPort = 40006;
inline constexpr int kRotateTrack = 40124;
inline constexpr int kSetLoopFlightGap = 40151;
inline constexpr int kLogFilter = 40088;
inline constexpr int kSetTrackGapTime = 40136;
inline constexpr int kFlightStatistics = 40160;
inline constexpr int kOlcIgcBuffer = 40095;
inline constexpr int kOlcSelected = 40094;
inline constexpr int kCompetitionMode = 40121;

// View
inline constexpr int kViewTrackLog = 40025;
inline constexpr int kViewWaypoints = 40024;
inline constexpr int kViewPilots = 40129;
inline constexpr int kViewCtr = 40101;
inline constexpr int kShowTrack = 40141;
// Numbers from 40300 on are the program's own, past the old resource range.
inline constexpr int kFlightView = 40300;
inline constexpr int kListSmall = 40131;
inline constexpr int kListDefault = 40132;
inline constexpr int kListLarge = 40133;

// Help
inline constexpr int kAbout = 40005;
inline constexpr int kDumpDebug = 40079;
inline constexpr int kClearDebug = 40080;
inline constexpr int kTest = 40140;

// Accelerators without a menu entry
inline constexpr int kCopyTrackPoints = 40083;
inline constexpr int kToggleCompSpecial = 40130;

}  // namespace skylode::cmd
