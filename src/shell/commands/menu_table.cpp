#include "shell/commands/menu_table.h"

#include <array>

#include "shell/commands/command_ids.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;

constexpr MenuItem kSeparator{};

constexpr MenuItem kFile[] = {
    {cmd::kSaveLog, "&Save log (Aerodiary/.kml)", "Ctrl+S"},
    {cmd::kSaveLogAs, "Save log &As...", ""},
    {cmd::kOpenLog, "&Open log...", "Ctrl+O"},
    kSeparator,
    {cmd::kSaveWaypointsAs, "Save wpts. A&s...", ""},
    {cmd::kOpenWaypoints, "Open &wpts...", "Ctrl+W"},
    kSeparator,
    {cmd::kSaveIgc, "Save log in &IGC format", "Ctrl+I"},
    {cmd::kSaveRawIgc, "Save IGC log from &GPS", ""},
    {cmd::kVerifyIgc, "&Verify IGC log from Skylode", "Ctrl+V"},
    kSeparator,
    {cmd::kAddIgcToCompOut, "Add IGC file to &comp. output", "", true},
    {cmd::kSavePilotListCsv, "Save &pilot list as .csv", ""},
    kSeparator,
    {cmd::kExit, "E&xit", ""},
};

constexpr MenuItem kEdit[] = {
    {cmd::kNewWaypoint, "&New waypoint", ""},
    {cmd::kEditWaypoint, "&Edit waypoint", ""},
    {cmd::kDeleteWaypoints, "&Delete waypoint(s)", ""},
    kSeparator,
    {cmd::kConvertPosition, "Convert &Position", ""},
    {cmd::kCalculateDistance, "Calculate d&istance", ""},
    kSeparator,
    {cmd::kSelectAll, "Select &all", "Ctrl+A"},
};

constexpr MenuItem kLogs[] = {
    {cmd::kReadGarmin, "Read &Garmin", "Ctrl+G"},
    {cmd::kReadGarminUsb, "Read Garmin &USB", "Ctrl+U"},
    kSeparator,
    {cmd::kReadCompeo, "Read IQ-Compeo(+)/Competino(+)", "Ctrl+E"},
    {cmd::kReadFlytec, "Read &Flytec 50xx/60xx", "Ctrl+F"},
    {cmd::kReadAllIqTracks, "Read all IQ Tracks", ""},
    {cmd::kReadAllFlytecTracks, "Read all Flytec Tracks", ""},
    {cmd::kReadIqBasic, "Read IQ Basic / Flytec 6015", ""},
    kSeparator,
    {cmd::kReadXcTrainerMxp, "Read &XC Trainer (MXP at 57600)", "Ctrl+X"},
    {cmd::kReadXcTrainer, "Read XC Trainer (57600)", ""},
    {cmd::kReadTopNavMxp, "Read &Top Nav (MXP at 57600)", "Ctrl+T"},
    {cmd::kReadTopNavigator, "Read Top Navigator (TNCM)", "Ctrl+Alt+T"},
    kSeparator,
    {cmd::kReadLogIt57600, "Read &Log It (57600)", "Ctrl+L"},
    {cmd::kReadLogIt38400, "Read Log It (38400)", ""},
    {cmd::kReadLogIt19200, "Read Log It (19200)", ""},
    {cmd::kReadTracklogger, "Read Tracklogger (115200)", ""},
    kSeparator,
    {cmd::kReadMlr, "Read &MLR", "Ctrl+M"},
    {cmd::kReadLeonardo, "Read Digifly Leona&rdo", "Ctrl+R"},
    {cmd::kReadGraviterAll, "Read Digifly Graviter (all tracks)", ""},
    {cmd::kReadGraviterLast, "Read Graviter (last?)", "", false, true},
    kSeparator,
    {cmd::kReadMagellan, "Read Mage&llan (9600)", "Ctrl+N"},
    {cmd::kReadFlymaster, "Read Fl&ymaster", "Ctrl+Y"},
    {cmd::kReadDsx, "Read &DSX", ""},
    {cmd::kReadMtk, "Read MTK/&Pentagram", ""},
};

constexpr MenuItem kWpts[] = {
    {cmd::kReadWptGarmin, "Read from &Garmin", ""},
    {cmd::kReadWptGarminUsb, "Read from Garmin (&USB)", ""},
    {cmd::kReadWptCompeo, "Read from &Compeo(+)/Competino(+)", ""},
    {cmd::kReadWptFlytec, "Read from &Flytec 50xx/60xx", ""},
    {cmd::kReadWptIqBasic, "Read from IqBasic/Flytec 6015", ""},
    {cmd::kReadWptMlr, "Read from &MLR (NMEA)", ""},
    {cmd::kReadWptMlrFast, "Read from MLR (Fast)", ""},
    {cmd::kReadWptMagellan, "Read from Magellan (9600)", ""},
    {cmd::kReadWptTopNavigator, "Read from &Top Navigator", ""},
    {cmd::kReadWptXcTrainer, "Read from &XC Trainer", ""},
    kSeparator,
    {cmd::kSendWptGarmin, "Send to Garmin", ""},
    {cmd::kSendWptGarminUsb, "Send to Garmin (USB)", ""},
    {cmd::kSendWptCompeoName, "Send to Compeo(+)/Competino(+) (Only Name)", ""},
    {cmd::kSendWptFlytecName, "Send to Flytec 50xx/60xx (Only Name)", ""},
    {cmd::kSendWptIqBasicName, "Send to IqBasic/Flytec 6015 (Only Name)", ""},
    {cmd::kSendWptMlr, "Send to MLR", ""},
    {cmd::kSendWptMagellan, "Send to Magellan (9600)", ""},
    {cmd::kSendWptTopNavigator, "Send to Top Navigator", ""},
    {cmd::kSendWptXcTrainer, "Send to XC Trainer", ""},
    {cmd::kSendWptLeonardo, "Send to Digifly Leonardo", ""},
    {cmd::kSendWptFlymasterName, "Send to Flymaster (Only Name)", ""},
    kSeparator,
    {cmd::kSendWptCompeoId, "Send to Compeo/Competino (Only ID)", ""},
    {cmd::kSendWptFlytecId, "Send to Flytec 50xx/60xx (Only ID)", ""},
    {cmd::kSendWptCompeoIdName, "Send to Compeo/Competino (ID+Name)", ""},
    {cmd::kSendWptFlytecIdName, "Send to Flytec 50xx/60xx (ID+Name)", ""},
    {cmd::kSendWptIqBasicId, "Send to IqBasic/Flytec 6015 (OnlyID)", ""},
    {cmd::kSendWptIqBasicIdName, "Send to IqBasic/Flytec 6015 (ID+Name)", ""},
    {cmd::kSendWptFlymasterId, "Send to Flymaster (Only ID)", ""},
    {cmd::kSendWptFlymasterIdName, "Send to Flymaster (ID+Name)", ""},
};

constexpr MenuItem kCtr[] = {
    {cmd::kSendCtrCompeo, "Send to &Compeo/Competino", ""},
    {cmd::kSendCtrFlytec, "Send to &Flytec 50xx/60xx", ""},
    {cmd::kSendCtrGarmin, "Send to &Garmin as a log", ""},
    {cmd::kSendCtrGarminUsb, "Send to Garmin &USB as a log", ""},
    kSeparator,
    {cmd::kReadCtrCompeo, "Read from Compeo/Competino", ""},
    {cmd::kReadCtrFlytec, "Read from Flytec 50xx/60xx", ""},
    kSeparator,
    {cmd::kReadCtrFile, "&Read CTR(s) from file", ""},
    {cmd::kWriteCtrFile, "&Write CTR(s) to file", ""},
    {cmd::kWriteCtrGpx, "Write CTR(s) to .g&px file", ""},
    kSeparator,
    {cmd::kEditCtr, "&Edit CTR", ""},
    {cmd::kNewCtr, "&New CTR", ""},
    {cmd::kDeleteCtr, "&Delete CTR(s)", ""},
    {cmd::kShowCtrAsWaypoints, "&Show CTR as waypoints", ""},
};

constexpr MenuItem kMisc[] = {
    {cmd::kSetComPort, "Set &COM port", ""},
    kSeparator,
    {cmd::kFlightStatistics, "Get flight &statistics", ""},
    {cmd::kRotateTrack, "&Rotate Track", ""},
    {cmd::kSetLoopFlightGap, "Set &loop flight gap", ""},
    {cmd::kLogFilter, "&Track log filter (speed analysis)", "", true},
    {cmd::kSetTrackGapTime, "Set track &gap filter time", ""},
    {cmd::kOlcIgcBuffer, "&OLC statistics (use IGC buffer)", ""},
    {cmd::kOlcSelected, "OLC statistics (use selected &pos.)", ""},
    kSeparator,
    {cmd::kSendWptAsGarminLog, "Send wpts. as Garmin log (COM)", ""},
    {cmd::kSendWptAsGarminLogUsb, "Send wpts. as Garmin log (USB)", ""},
    {cmd::kUsbCompCheckWaypoints, "USB && comp. mode: Check wpts", "", true},
    {cmd::kPowerOffGarmin, "Pwr off after wpts wr && log read", "", true},
    kSeparator,
    {cmd::kEraseLogIt, "Erase LogIt track", ""},
    {cmd::kWriteLogItName, "Write LogIt Name", ""},
    {cmd::kReadLogItData, "Read LogIt Data", ""},
    kSeparator,
    {cmd::kWriteFlymasterIds, "Write Flymaster IDs", ""},
    {cmd::kWriteFlymasterName, "Write Flymaster Name", ""},
    {cmd::kFlymasterAltitudeAlarm, "Set Flymaster altitude alarm", ""},
    {cmd::kPowerOffFlymaster, "Pwr off after log read", "", true},
    kSeparator,
    {cmd::kWriteDsxPilotData, "Write DSX pilot data", ""},
    {cmd::kEraseMtk, "Erase MTK/Pentagram", ""},
    kSeparator,
    {cmd::kCompetitionMode, "Co&mpetition Mode", ""},
};

constexpr MenuItem kView[] = {
    {cmd::kViewTrackLog, "&Tracklog", "Ctrl+1"},
    {cmd::kViewWaypoints, "&Waypoints", "Ctrl+2"},
    {cmd::kViewPilots, "&Pilot List", "Ctrl+3"},
    {cmd::kViewCtr, "&CTR", "Ctrl+4"},
    kSeparator,
    {cmd::kShowTrack, "&Show track", ""},
    kSeparator,
    {cmd::kListSmall, "Set s&mall list size", "Ctrl+Alt+0"},
    {cmd::kListDefault, "Set &default list size", "Ctrl+Alt+1"},
    {cmd::kListLarge, "Set &large list size", "Ctrl+Alt+2"},
};

constexpr MenuItem kHelp[] = {
    {cmd::kAbout, "&About Skylode", ""},
    kSeparator,
    {cmd::kDumpDebug, "&Dump Debug Data", ""},
    {cmd::kClearDebug, "&Clear Debug Data", ""},
    {cmd::kTest, "&Test", ""},
};

constexpr Menu kMenus[] = {
    {"&File", kFile}, {"&Edit", kEdit}, {"&Logs", kLogs}, {"&Wpts", kWpts},
    {"&CTR", kCtr},   {"&Misc", kMisc}, {"&View", kView}, {"&Help", kHelp},
};

constexpr ButtonEntry kButtons[] = {
    {cmd::kReadGarmin, "Garmin (RS232)"},
    {cmd::kReadGarminUsb, "Garmin (USB)"},
    {cmd::kReadCompeo, "Compeo/Competino"},
    {cmd::kReadFlytec, "Flytec 5020/5030"},
    {cmd::kReadXcTrainerMxp, "XC Trainer (MXP)"},
    {cmd::kReadTopNavMxp, "TopNav (MXP)"},
    {cmd::kReadMlr, "MLR / Digifly"},
    {cmd::kReadFlymaster, "Flymaster"},
    {cmd::kSaveLogButton, "Save log (Aerodiary)"},
    {cmd::kExit, "Exit"},
};

constexpr ExtraShortcut kExtraShortcuts[] = {
    {cmd::kCopyTrackPoints, "Ctrl+C"},
    {cmd::kToggleCompSpecial, "Ctrl+Alt+C"},
    {cmd::kToggleCompSpecial, "Ctrl+Shift+C"},
};

struct Binding {
  int id;
  TransferBinding transfer;
};

constexpr Binding kBindings[] = {
    // Track logs
    {cmd::kReadGarmin, {A::kReadTrackLog, P::kGarminSerial}},
    {cmd::kReadGarminUsb, {A::kReadTrackLog, P::kGarminUsb}},
    {cmd::kReadCompeo, {A::kReadTrackLog, P::kFlytec}},
    {cmd::kReadFlytec, {A::kReadTrackLog, P::kFlytec}},
    {cmd::kReadAllIqTracks, {A::kReadTrackLog, P::kFlytecAllTracks}},
    {cmd::kReadAllFlytecTracks, {A::kReadTrackLog, P::kFlytecAllTracks}},
    {cmd::kReadXcTrainerMxp, {A::kReadTrackLog, P::kXcTrainerMxp, 57600}},
    {cmd::kReadXcTrainer, {A::kReadTrackLog, P::kXcTrainer}},
    {cmd::kReadTopNavMxp, {A::kReadTrackLog, P::kTopNavigatorMxp, 57600}},
    {cmd::kReadTopNavigator, {A::kReadTrackLog, P::kTopNavigatorTncm}},
    {cmd::kReadLogIt57600, {A::kReadTrackLog, P::kLogIt, 57600}},
    {cmd::kReadLogIt38400, {A::kReadTrackLog, P::kLogIt, 38400}},
    {cmd::kReadLogIt19200, {A::kReadTrackLog, P::kLogIt, 19200}},
    {cmd::kReadTracklogger, {A::kReadTrackLog, P::kLogIt, 115200}},
    {cmd::kReadMlr, {A::kReadTrackLog, P::kMlrNmea}},
    {cmd::kReadLeonardo, {A::kReadTrackLog, P::kMlrNmea}},
    {cmd::kReadGraviterAll, {A::kReadTrackLog, P::kDigiflyGraviter}},
    {cmd::kReadGraviterLast, {A::kReadTrackLog, P::kDigiflyGraviter}},
    {cmd::kReadMagellan, {A::kReadTrackLog, P::kMagellan}},
    {cmd::kReadFlymaster, {A::kReadTrackLog, P::kFlymaster}},
    {cmd::kReadDsx, {A::kReadTrackLog, P::kDsx}},
    {cmd::kReadMtk, {A::kReadTrackLog, P::kMtk}},
    {cmd::kReadIqBasic, {A::kReadTrackLog, P::kIqBasic}},
    // Waypoint downloads
    {cmd::kReadWptGarmin, {A::kReadWaypoints, P::kGarminSerial}},
    {cmd::kReadWptGarminUsb, {A::kReadWaypoints, P::kGarminUsb}},
    {cmd::kReadWptCompeo, {A::kReadWaypoints, P::kFlytec}},
    {cmd::kReadWptFlytec, {A::kReadWaypoints, P::kFlytec}},
    {cmd::kReadWptIqBasic, {A::kReadWaypoints, P::kIqBasic}},
    {cmd::kReadWptMlr, {A::kReadWaypoints, P::kMlrNmea}},
    {cmd::kReadWptMlrFast, {A::kReadWaypoints, P::kMlrFast}},
    {cmd::kReadWptMagellan, {A::kReadWaypoints, P::kMagellan}},
    {cmd::kReadWptTopNavigator, {A::kReadWaypoints, P::kTopNavigatorTncm}},
    {cmd::kReadWptXcTrainer, {A::kReadWaypoints, P::kXcTrainer}},
    // Waypoint uploads: the parameter is the upload mode
    {cmd::kSendWptGarmin, {A::kSendWaypoints, P::kGarminSerial, 0, 0}},
    {cmd::kSendWptGarminUsb, {A::kSendWaypoints, P::kGarminUsb, 0, 0}},
    {cmd::kSendWptCompeoName, {A::kSendWaypoints, P::kFlytec, 0, 1}},
    {cmd::kSendWptFlytecName, {A::kSendWaypoints, P::kFlytec, 0, 1}},
    {cmd::kSendWptIqBasicName, {A::kSendWaypoints, P::kIqBasic, 0, 1}},
    {cmd::kSendWptMlr, {A::kSendWaypoints, P::kMlrNmea, 0, 0}},
    {cmd::kSendWptMagellan, {A::kSendWaypoints, P::kMagellan, 0, 0}},
    {cmd::kSendWptTopNavigator, {A::kSendWaypoints, P::kTopNavigatorTncm, 0, 0}},
    {cmd::kSendWptXcTrainer, {A::kSendWaypoints, P::kXcTrainer, 0, 0}},
    {cmd::kSendWptLeonardo, {A::kSendWaypoints, P::kMlrNmea, 0, 0}},
    {cmd::kSendWptFlymasterName, {A::kSendWaypoints, P::kFlymaster, 0, 1}},
    {cmd::kSendWptCompeoId, {A::kSendWaypoints, P::kFlytec, 0, 3}},
    {cmd::kSendWptFlytecId, {A::kSendWaypoints, P::kFlytec, 0, 3}},
    {cmd::kSendWptCompeoIdName, {A::kSendWaypoints, P::kFlytec, 0, 2}},
    {cmd::kSendWptFlytecIdName, {A::kSendWaypoints, P::kFlytec, 0, 2}},
    {cmd::kSendWptIqBasicId, {A::kSendWaypoints, P::kIqBasic, 0, 3}},
    {cmd::kSendWptIqBasicIdName, {A::kSendWaypoints, P::kIqBasic, 0, 2}},
    {cmd::kSendWptFlymasterId, {A::kSendWaypoints, P::kFlymaster, 0, 3}},
    {cmd::kSendWptFlymasterIdName, {A::kSendWaypoints, P::kFlymaster, 0, 2}},
    // Airspaces
    {cmd::kSendCtrCompeo, {A::kUploadAirspaces, P::kFlytec}},
    {cmd::kSendCtrFlytec, {A::kUploadAirspaces, P::kFlytec}},
    {cmd::kSendCtrGarmin, {A::kUploadAirspaces, P::kGarminSerial}},
    {cmd::kSendCtrGarminUsb, {A::kUploadAirspaces, P::kGarminUsb}},
    {cmd::kReadCtrCompeo, {A::kReadAirspaces, P::kFlytec}},
    {cmd::kReadCtrFlytec, {A::kReadAirspaces, P::kFlytec}},
    // Misc; the Flymaster parameter is the data mode: 0 pilot data, 1 altitude alarm, 2 IDs
    {cmd::kSendWptAsGarminLog, {A::kUploadTrackLog, P::kGarminSerial}},
    {cmd::kSendWptAsGarminLogUsb, {A::kUploadTrackLog, P::kGarminUsb}},
    {cmd::kEraseLogIt, {A::kEraseTrackLog, P::kLogIt}},
    {cmd::kWriteLogItName, {A::kWriteSettings, P::kLogIt}},
    {cmd::kReadLogItData, {A::kReadLoggerData, P::kLogIt}},
    {cmd::kWriteFlymasterIds, {A::kWriteSettings, P::kFlymaster, 0, 2}},
    {cmd::kWriteFlymasterName, {A::kWriteSettings, P::kFlymaster, 0, 0}},
    {cmd::kFlymasterAltitudeAlarm, {A::kWriteSettings, P::kFlymaster, 0, 1}},
    {cmd::kWriteDsxPilotData, {A::kWriteSettings, P::kDsx}},
    {cmd::kEraseMtk, {A::kEraseTrackLog, P::kMtk}},
};

}  // namespace

std::span<const Menu> MainMenus() { return kMenus; }
std::span<const ButtonEntry> MainButtons() { return kButtons; }
std::span<const ExtraShortcut> ExtraShortcuts() { return kExtraShortcuts; }

const MenuItem* FindMenuItem(int id) {
  if (id == 0) return nullptr;
  for (const Menu& menu : kMenus) {
    for (const MenuItem& item : menu.items) {
      if (item.id == id) return &item;
    }
  }
  return nullptr;
}

std::optional<TransferBinding> TransferBindingOf(int id) {
  for (const Binding& b : kBindings) {
    if (b.id == id) return b.transfer;
  }
  return std::nullopt;
}

}  // namespace skylode
