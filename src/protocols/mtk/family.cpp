// The MTK / Pentagram row of the family table.
#include "protocols/families.h"
#include "protocols/mtk/commands.h"
#include "protocols/mtk/workers.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kMtk};
constexpr uint32_t kSpeeds[] = {115200};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kMtk, .ownIgcText = false, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "MTK", .protocol = P::kMtk},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadMtk, .menu = M::kLogs, .position = 603, .text = "Read MTK/&Pentagram", .access = A::kReadTrackLog, .protocol = P::kMtk},
    {.id = cmd::kEraseMtk, .menu = M::kMisc, .position = 601, .text = "Erase MTK/Pentagram", .access = A::kEraseTrackLog, .protocol = P::kMtk},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterMtkWorkers(table, mtk::ScaledTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& MtkFamily() {
  static const InstrumentFamily kRow{
      .displayName = "MTK / Pentagram",
      .simName = "mtk",
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
