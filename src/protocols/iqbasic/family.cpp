// The IQ Basic / Flytec 6015 row of the family table.
#include "protocols/families.h"
#include "protocols/iqbasic/commands.h"
#include "protocols/iqbasic/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kIqBasic};
constexpr uint32_t kSpeeds[] = {57600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kIqBasic, .ownIgcText = true, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kWhenInstrumentSigned},
};
constexpr CommandLineName kNames[] = {
    {.name = "IQBASIC", .protocol = P::kIqBasic},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadIqBasic, .menu = M::kLogs, .position = 204, .text = "Read IQ Basic / Flytec 6015", .access = A::kReadTrackLog, .protocol = P::kIqBasic},
    {.id = cmd::kReadWptIqBasic, .menu = M::kWpts, .position = 104, .text = "Read from IqBasic/Flytec 6015", .access = A::kReadWaypoints, .protocol = P::kIqBasic},
    {.id = cmd::kSendWptIqBasicName, .menu = M::kWpts, .position = 204, .text = "Send to IqBasic/Flytec 6015 (Only Name)", .access = A::kSendWaypoints, .protocol = P::kIqBasic, .parameter = 1},
    {.id = cmd::kSendWptIqBasicId, .menu = M::kWpts, .position = 304, .text = "Send to IqBasic/Flytec 6015 (OnlyID)", .access = A::kSendWaypoints, .protocol = P::kIqBasic, .parameter = 3},
    {.id = cmd::kSendWptIqBasicIdName, .menu = M::kWpts, .position = 305, .text = "Send to IqBasic/Flytec 6015 (ID+Name)", .access = A::kSendWaypoints, .protocol = P::kIqBasic, .parameter = 2},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterIqBasicWorkers(table, iqbasic::ScaledIqTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& IqBasicFamily() {
  static const InstrumentFamily kRow{
      .displayName = "IQ Basic / Flytec 6015",
      .simName = "iqbasic",
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
