// The MLR / Digifly row of the family table.
#include "protocols/families.h"
#include "protocols/digifly/commands.h"
#include "protocols/digifly/graviter_name.h"
#include "protocols/digifly/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kMlrNmea, P::kDigiflyGraviter, P::kMlrFast};
// The MLR line first (its workers read it from here), then the Graviter's.
constexpr uint32_t kSpeeds[] = {4800, 38400};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kMlrLeonardo, .ownIgcText = false, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kAlways},
    {.source = TrackLogSource::kGraviter, .ownIgcText = false, .extraData = false, .utcTimes = false, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "MLR", .protocol = P::kMlrNmea},
    {.name = "GRAVITER", .protocol = P::kDigiflyGraviter, .igcLog = false},
    {.name = "MLRC", .protocol = P::kMlrFast},
};
// "Write GPS name": the Graviter's owner name.
FormVerdict CheckName(std::span<const std::string> values) {
  const std::string& name = values[0];
  if (name.find_first_not_of(' ') == std::string::npos) return {FormVerdict::Kind::kNothingToSend, {}};
  // The instrument takes one byte per character; a character outside ASCII
  // would arrive as two unrelated ones.
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return {FormVerdict::Kind::kRefuse, "Name: plain letters only"};
  }
  return {};
}

constexpr FormField kNameFields[] = {
    {.label = "Name", .maxLength = graviter::kOwnerNameLength},
};
constexpr FamilyForm kNameForm{
    .title = "Write GPS name",
    .caption = "Upload user name",
    .fields = kNameFields,
    // Every byte goes as its own number; none ends or shifts a field.
    .refused = "",
    .check = CheckName,
};

constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadMlr, .menu = M::kLogs, .position = 500, .text = "Read &MLR", .shortcut = "Ctrl+M", .access = A::kReadTrackLog, .protocol = P::kMlrNmea, .button = "MLR / Digifly", .buttonPosition = 70},
    {.id = cmd::kReadLeonardo, .menu = M::kLogs, .position = 501, .text = "Read Digifly Leona&rdo", .shortcut = "Ctrl+R", .access = A::kReadTrackLog, .protocol = P::kMlrNmea},
    {.id = cmd::kReadGraviterAll, .menu = M::kLogs, .position = 502, .text = "Read Digifly Graviter (all tracks)", .access = A::kReadTrackLog, .protocol = P::kDigiflyGraviter},
    {.id = cmd::kReadGraviterLast, .menu = M::kLogs, .position = 503, .text = "Read Graviter (last?)", .access = A::kReadTrackLog, .protocol = P::kDigiflyGraviter, .alwaysDisabled = true},
    {.id = cmd::kReadWptMlr, .menu = M::kWpts, .position = 105, .text = "Read from &MLR (NMEA)", .access = A::kReadWaypoints, .protocol = P::kMlrNmea},
    {.id = cmd::kReadWptMlrFast, .menu = M::kWpts, .position = 106, .text = "Read from MLR (Fast)", .access = A::kReadWaypoints, .protocol = P::kMlrFast},
    {.id = cmd::kSendWptMlr, .menu = M::kWpts, .position = 205, .text = "Send to MLR", .access = A::kSendWaypoints, .protocol = P::kMlrNmea},
    {.id = cmd::kSendWptLeonardo, .menu = M::kWpts, .position = 209, .text = "Send to Digifly Leonardo", .access = A::kSendWaypoints, .protocol = P::kMlrNmea},
    {.id = cmd::kWriteGraviterName, .menu = M::kMisc, .position = 602, .text = "Write Graviter Name", .access = A::kWriteSettings, .protocol = P::kDigiflyGraviter, .dialog = CommandDialog::kForm, .form = &kNameForm},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterDigiflyWorkers(table, tuning.waitScale);
}

}  // namespace

const InstrumentFamily& DigiflyFamily() {
  static const InstrumentFamily kRow{
      .displayName = "MLR / Digifly",
      .simName = "mlr",
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
