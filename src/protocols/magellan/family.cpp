// The Magellan row of the family table.
#include "protocols/families.h"
#include "protocols/magellan/commands.h"
#include "protocols/magellan/workers.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kMagellan};
constexpr uint32_t kSpeeds[] = {9600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kMagellan, .ownIgcText = false, .extraData = false, .utcTimes = false, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "MAGELLAN", .protocol = P::kMagellan},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadMagellan, .menu = M::kLogs, .position = 600, .text = "Read Mage&llan (9600)", .shortcut = "Ctrl+N", .access = A::kReadTrackLog, .protocol = P::kMagellan},
    {.id = cmd::kReadWptMagellan, .menu = M::kWpts, .position = 107, .text = "Read from Magellan (9600)", .access = A::kReadWaypoints, .protocol = P::kMagellan},
    {.id = cmd::kSendWptMagellan, .menu = M::kWpts, .position = 206, .text = "Send to Magellan (9600)", .access = A::kSendWaypoints, .protocol = P::kMagellan},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterMagellanWorkers(table, magellan::ScaledTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& MagellanFamily() {
  static const InstrumentFamily kRow{
      .displayName = "Magellan",
      .simName = "magellan",
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
