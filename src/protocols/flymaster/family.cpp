// The Flymaster row of the family table.
#include "protocols/families.h"
#include "protocols/flymaster/commands.h"
#include "protocols/flymaster/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kFlymaster};
constexpr uint32_t kSpeeds[] = {57600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kFlymaster, .ownIgcText = false, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "FLYMASTER", .protocol = P::kFlymaster},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadFlymaster, .menu = M::kLogs, .position = 601, .text = "Read Fl&ymaster", .shortcut = "Ctrl+Y", .access = A::kReadTrackLog, .protocol = P::kFlymaster, .button = "Flymaster", .buttonPosition = 80},
    {.id = cmd::kSendWptFlymasterName, .menu = M::kWpts, .position = 210, .text = "Send to Flymaster (Only Name)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 1},
    {.id = cmd::kSendWptFlymasterId, .menu = M::kWpts, .position = 306, .text = "Send to Flymaster (Only ID)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 3},
    {.id = cmd::kSendWptFlymasterIdName, .menu = M::kWpts, .position = 307, .text = "Send to Flymaster (ID+Name)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 2},
    {.id = cmd::kWriteFlymasterIds, .menu = M::kMisc, .position = 500, .text = "Write Flymaster IDs", .access = A::kWriteSettings, .protocol = P::kFlymaster, .parameter = 2, .dialog = CommandDialog::kOwn},
    {.id = cmd::kWriteFlymasterName, .menu = M::kMisc, .position = 501, .text = "Write Flymaster Name", .access = A::kWriteSettings, .protocol = P::kFlymaster, .dialog = CommandDialog::kOwn},
    {.id = cmd::kFlymasterAltitudeAlarm, .menu = M::kMisc, .position = 502, .text = "Set Flymaster altitude alarm", .access = A::kWriteSettings, .protocol = P::kFlymaster, .parameter = 1, .dialog = CommandDialog::kOwn},
};
constexpr ProtocolType kPowerOffFlymasterProtocols[] = {P::kFlymaster};
constexpr FamilyToggle kToggles[] = {
    {.id = cmd::kPowerOffFlymaster, .menu = M::kMisc, .position = 503, .text = "Pwr off after log read", .initial = false, .effect = ToggleEffect::kPowerOffAfterTransfer, .protocols = kPowerOffFlymasterProtocols},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterFlymasterWorkers(table, flymaster::ScaledTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& FlymasterFamily() {
  static const InstrumentFamily kRow{
      .displayName = "Flymaster",
      .simName = "flymaster",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .commandLineNames = kNames,
      .commands = kCommands,
      .toggles = kToggles,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
