// The DSX row of the family table. The family has no workers yet:
// its menu entries stay disabled and its command-line runs are refused.
#include "protocols/families.h"
#include "protocols/dsx/commands.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kDsx};
constexpr uint32_t kSpeeds[] = {57600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kDsx, .ownIgcText = true, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kWhenInstrumentSigned},
};
constexpr CommandLineName kNames[] = {
    {.name = "DSX", .protocol = P::kDsx},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadDsx, .menu = M::kLogs, .position = 602, .text = "Read &DSX", .access = A::kReadTrackLog, .protocol = P::kDsx},
    {.id = cmd::kWriteDsxPilotData, .menu = M::kMisc, .position = 600, .text = "Write DSX pilot data", .access = A::kWriteSettings, .protocol = P::kDsx, .dialog = CommandDialog::kOwn},
};

}  // namespace

const InstrumentFamily& DsxFamily() {
  static const InstrumentFamily kRow{
      .displayName = "DSX",
      .simName = "dsx",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .commandLineNames = kNames,
      .commands = kCommands,
  };
  return kRow;
}

}  // namespace skylode
