// Command numbers of the menus, accelerators and buttons of the main window.
// The numbers are the ones instrument tools and scripts have always used.
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

// Logs: read track log
inline constexpr int kReadGarmin = 40029;
inline constexpr int kReadGarminUsb = 40075;
inline constexpr int kReadCompeo = 40054;
inline constexpr int kReadFlytec = 40085;
inline constexpr int kReadAllIqTracks = 40119;
inline constexpr int kReadAllFlytecTracks = 40120;
inline constexpr int kReadXcTrainerMxp = 40091;
inline constexpr int kReadXcTrainer = 40071;
inline constexpr int kReadTopNavMxp = 40090;
inline constexpr int kReadTopNavigator = 40039;
inline constexpr int kReadLogIt57600 = 40010;
inline constexpr int kReadLogIt38400 = 40011;
inline constexpr int kReadLogIt19200 = 40012;
inline constexpr int kReadTracklogger = 40069;
inline constexpr int kReadMlr = 40004;
inline constexpr int kReadLeonardo = 40137;
inline constexpr int kReadGraviterAll = 40058;
inline constexpr int kReadGraviterLast = 40056;
inline constexpr int kReadMagellan = 40065;
inline constexpr int kReadFlymaster = 40126;
inline constexpr int kReadDsx = 40148;
inline constexpr int kReadMtk = 40154;
inline constexpr int kReadIqBasic = 40155;

// Wpts: read
inline constexpr int kReadWptGarmin = 40027;
inline constexpr int kReadWptGarminUsb = 40078;
inline constexpr int kReadWptCompeo = 40055;
inline constexpr int kReadWptFlytec = 40086;
inline constexpr int kReadWptIqBasic = 40158;
inline constexpr int kReadWptMlr = 40033;
inline constexpr int kReadWptMlrFast = 40150;
inline constexpr int kReadWptMagellan = 40066;
inline constexpr int kReadWptTopNavigator = 40053;
inline constexpr int kReadWptXcTrainer = 40076;
// Wpts: send
inline constexpr int kSendWptGarmin = 40021;
inline constexpr int kSendWptGarminUsb = 40022;
inline constexpr int kSendWptCompeoName = 40018;
inline constexpr int kSendWptFlytecName = 40023;
inline constexpr int kSendWptIqBasicName = 40159;
inline constexpr int kSendWptMlr = 40007;
inline constexpr int kSendWptMagellan = 40008;
inline constexpr int kSendWptTopNavigator = 40009;
inline constexpr int kSendWptXcTrainer = 40013;
inline constexpr int kSendWptLeonardo = 40138;
inline constexpr int kSendWptFlymasterName = 40163;
inline constexpr int kSendWptCompeoId = 40134;
inline constexpr int kSendWptFlytecId = 40135;
inline constexpr int kSendWptCompeoIdName = 40096;
inline constexpr int kSendWptFlytecIdName = 40097;
inline constexpr int kSendWptIqBasicId = 40161;
inline constexpr int kSendWptIqBasicIdName = 40162;
inline constexpr int kSendWptFlymasterId = 40165;
inline constexpr int kSendWptFlymasterIdName = 40164;

// CTR
inline constexpr int kSendCtrCompeo = 40098;
inline constexpr int kSendCtrFlytec = 40099;
inline constexpr int kSendCtrGarmin = 40106;
inline constexpr int kSendCtrGarminUsb = 40107;
inline constexpr int kReadCtrCompeo = 40109;
inline constexpr int kReadCtrFlytec = 40110;
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
inline constexpr int kSendWptAsGarminLog = 40017;
inline constexpr int kSendWptAsGarminLogUsb = 40092;
inline constexpr int kUsbCompCheckWaypoints = 40144;
inline constexpr int kPowerOffGarmin = 40142;
inline constexpr int kEraseLogIt = 40014;
inline constexpr int kWriteLogItName = 40015;
inline constexpr int kReadLogItData = 40016;
inline constexpr int kWriteFlymasterIds = 40166;
inline constexpr int kWriteFlymasterName = 40145;
inline constexpr int kFlymasterAltitudeAlarm = 40157;
inline constexpr int kPowerOffFlymaster = 40146;
inline constexpr int kWriteDsxPilotData = 40153;
inline constexpr int kEraseMtk = 40156;
inline constexpr int kCompetitionMode = 40121;

// View
inline constexpr int kViewTrackLog = 40025;
inline constexpr int kViewWaypoints = 40024;
inline constexpr int kViewPilots = 40129;
inline constexpr int kViewCtr = 40101;
inline constexpr int kShowTrack = 40141;
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
