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
    {.name = "FLYMASTER", .protocol = P::kFlymaster, .userNameCommand = cmd::kWriteFlymasterIds},
};

// "Set Flymaster Name": empty fields go out as empty fields.
constexpr FormField kNameFields[] = {
    {.label = "Pilot name", .maxLength = 14},
    {.label = "Comp. number", .maxLength = 7, .digitsOnly = true},
    {.label = "Glider brand", .maxLength = 14},
    {.label = "Glider model", .maxLength = 14},
};
constexpr FamilyForm kNameForm{
    .title = "Set Flymaster Name",
    .note = "Blank fields are not sent",
    .caption = "Set Flymaster data",
    .fields = kNameFields,
};

FormVerdict CheckAltitude(std::span<const std::string> values) {
  std::string_view text = values[0];
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return {FormVerdict::Kind::kRefuse, "Missing input"};
  int64_t metres = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return {FormVerdict::Kind::kRefuse, "Bad input format"};
    metres = metres * 10 + (c - '0');
    if (metres > 11000) return {FormVerdict::Kind::kRefuse, "Altitude too high"};
  }
  // 0 leaves the alarm as it is, like Cancel.
  if (metres == 0) return {FormVerdict::Kind::kNothingToSend, {}};
  return {};
}

constexpr FormField kAltitudeFields[] = {
    {.label = "Altitude (m)", .maxLength = 6},
};
constexpr FamilyForm kAltitudeForm{
    .title = "Set Flymaster altitude alarm",
    .note = "Available from firmware version 1.21",
    .caption = "Set Flymaster data",
    .fields = kAltitudeFields,
    .check = CheckAltitude,
};

constexpr FormField kIdFields[] = {
    {.label = "Pilot name", .maxLength = 14, .fill = FormFill::kPilotName},
    {.label = "COMP ID", .maxLength = 7, .digitsOnly = true, .fill = FormFill::kCompetitionId},
    {.label = "CIVL ID", .maxLength = 7, .digitsOnly = true, .fill = FormFill::kCivlId},
};
constexpr FamilyForm kIdForm{
    .title = "Set Flymaster IDs",
    .caption = "Set Flymaster IDs",
    .fields = kIdFields,
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadFlymaster, .menu = M::kLogs, .position = 601, .text = "Read Fl&ymaster", .shortcut = "Ctrl+Y", .access = A::kReadTrackLog, .protocol = P::kFlymaster, .button = "Flymaster", .buttonPosition = 80},
    {.id = cmd::kSendWptFlymasterName, .menu = M::kWpts, .position = 210, .text = "Send to Flymaster (Only Name)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 1},
    {.id = cmd::kSendWptFlymasterId, .menu = M::kWpts, .position = 306, .text = "Send to Flymaster (Only ID)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 3},
    {.id = cmd::kSendWptFlymasterIdName, .menu = M::kWpts, .position = 307, .text = "Send to Flymaster (ID+Name)", .access = A::kSendWaypoints, .protocol = P::kFlymaster, .parameter = 2},
    {.id = cmd::kWriteFlymasterIds, .menu = M::kMisc, .position = 500, .text = "Write Flymaster IDs", .access = A::kWriteSettings, .protocol = P::kFlymaster, .parameter = 2, .dialog = CommandDialog::kForm, .form = &kIdForm},
    {.id = cmd::kWriteFlymasterName, .menu = M::kMisc, .position = 501, .text = "Write Flymaster Name", .access = A::kWriteSettings, .protocol = P::kFlymaster, .dialog = CommandDialog::kForm, .form = &kNameForm},
    {.id = cmd::kFlymasterAltitudeAlarm, .menu = M::kMisc, .position = 502, .text = "Set Flymaster altitude alarm", .access = A::kWriteSettings, .protocol = P::kFlymaster, .parameter = 1, .dialog = CommandDialog::kForm, .form = &kAltitudeForm},
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
      .trackListChoosesOne = true,
      .commandLineNames = kNames,
      .commands = kCommands,
      .toggles = kToggles,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
