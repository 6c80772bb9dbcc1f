// The XC Trainer / Top Navigator row of the family table.
#include "protocols/families.h"
#include "protocols/xctrainer/commands.h"
#include "protocols/xctrainer/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kTopNavigatorTncm, P::kXcTrainer, P::kTopNavigatorMxp, P::kXcTrainerMxp};
constexpr uint32_t kSpeeds[] = {57600, 9600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kXcTrainer, .ownIgcText = false, .extraData = true, .utcTimes = false, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "TOPNAV", .protocol = P::kTopNavigatorTncm, .igcLog = false},
    {.name = "XCTRAINER", .protocol = P::kXcTrainer},
    {.name = "XCT_MXP", .protocol = P::kXcTrainerMxp, .trackLogBaudRate = 57600},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadXcTrainerMxp, .menu = M::kLogs, .position = 300, .text = "Read &XC Trainer (MXP at 57600)", .shortcut = "Ctrl+X", .access = A::kReadTrackLog, .protocol = P::kXcTrainerMxp, .baudRate = 57600, .button = "XC Trainer (MXP)", .buttonPosition = 50},
    {.id = cmd::kReadXcTrainer, .menu = M::kLogs, .position = 301, .text = "Read XC Trainer (57600)", .access = A::kReadTrackLog, .protocol = P::kXcTrainer},
    {.id = cmd::kReadTopNavMxp, .menu = M::kLogs, .position = 302, .text = "Read &Top Nav (MXP at 57600)", .shortcut = "Ctrl+T", .access = A::kReadTrackLog, .protocol = P::kTopNavigatorMxp, .baudRate = 57600, .button = "TopNav (MXP)", .buttonPosition = 60},
    {.id = cmd::kReadTopNavigator, .menu = M::kLogs, .position = 303, .text = "Read Top Navigator (TNCM)", .shortcut = "Ctrl+Alt+T", .access = A::kReadTrackLog, .protocol = P::kTopNavigatorTncm},
    {.id = cmd::kReadWptTopNavigator, .menu = M::kWpts, .position = 108, .text = "Read from &Top Navigator", .access = A::kReadWaypoints, .protocol = P::kTopNavigatorTncm},
    {.id = cmd::kReadWptXcTrainer, .menu = M::kWpts, .position = 109, .text = "Read from &XC Trainer", .access = A::kReadWaypoints, .protocol = P::kXcTrainer},
    {.id = cmd::kSendWptTopNavigator, .menu = M::kWpts, .position = 207, .text = "Send to Top Navigator", .access = A::kSendWaypoints, .protocol = P::kTopNavigatorTncm},
    {.id = cmd::kSendWptXcTrainer, .menu = M::kWpts, .position = 208, .text = "Send to XC Trainer", .access = A::kSendWaypoints, .protocol = P::kXcTrainer},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterXcTrainerWorkers(table, tuning.waitScale);
}

}  // namespace

const InstrumentFamily& XcTrainerFamily() {
  static const InstrumentFamily kRow{
      .displayName = "XC Trainer / Top Navigator",
      .simName = "xctrainer",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .commandLineNames = kNames,
      .commands = kCommands,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
