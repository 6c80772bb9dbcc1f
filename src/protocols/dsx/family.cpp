// The DSX row of the family table.
#include "protocols/families.h"
#include "protocols/dsx/commands.h"
#include "protocols/dsx/pilot_data.h"
#include "protocols/dsx/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kDsx};
// It answers at 9,600 baud and is switched to 38,400 for the session.
constexpr uint32_t kSpeeds[] = {9600, 38400};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kDsx, .ownIgcText = true, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kWhenInstrumentSigned},
};
constexpr CommandLineName kNames[] = {
    {.name = "DSX", .protocol = P::kDsx},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadDsx, .menu = M::kLogs, .position = 602, .text = "Read &DSX", .access = A::kReadTrackLog, .protocol = P::kDsx},
    {.id = cmd::kWriteDsxPilotData, .menu = M::kMisc, .position = 600, .text = "Write DSX pilot data", .access = A::kWriteSettings, .protocol = P::kDsx, .dialog = CommandDialog::kForm, .form = &dsx::kPilotDataForm},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterDsxWorkers(table, dsx::ScaledDsxTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& DsxFamily() {
  static const InstrumentFamily kRow{
      .displayName = "DSX",
      .simName = "dsx",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .trackListChoosesOne = true,
      .commandLineNames = kNames,
      .commands = kCommands,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
