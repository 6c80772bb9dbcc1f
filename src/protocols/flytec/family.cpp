// The Flytec / Brauniger row of the family table.
#include "protocols/families.h"
#include "protocols/flytec/commands.h"
#include "protocols/flytec/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kFlytec, P::kFlytecAllTracks};
constexpr uint32_t kSpeeds[] = {57600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kFlytec, .ownIgcText = true, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kWhenInstrumentSigned},
};
constexpr CommandLineName kNames[] = {
    {.name = "IQCOMPEO", .protocol = P::kFlytec, .uploadNamesCarryIds = true},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadCompeo, .menu = M::kLogs, .position = 200, .text = "Read IQ-Compeo(+)/Competino(+)", .shortcut = "Ctrl+E", .access = A::kReadTrackLog, .protocol = P::kFlytec, .button = "Compeo/Competino", .buttonPosition = 30},
    {.id = cmd::kReadFlytec, .menu = M::kLogs, .position = 201, .text = "Read &Flytec 50xx/60xx", .shortcut = "Ctrl+F", .access = A::kReadTrackLog, .protocol = P::kFlytec, .button = "Flytec 5020/5030", .buttonPosition = 40},
    {.id = cmd::kReadAllIqTracks, .menu = M::kLogs, .position = 202, .text = "Read all IQ Tracks", .access = A::kReadTrackLog, .protocol = P::kFlytecAllTracks, .manyFlights = true},
    {.id = cmd::kReadAllFlytecTracks, .menu = M::kLogs, .position = 203, .text = "Read all Flytec Tracks", .access = A::kReadTrackLog, .protocol = P::kFlytecAllTracks, .manyFlights = true},
    {.id = cmd::kReadWptCompeo, .menu = M::kWpts, .position = 102, .text = "Read from &Compeo(+)/Competino(+)", .access = A::kReadWaypoints, .protocol = P::kFlytec},
    {.id = cmd::kReadWptFlytec, .menu = M::kWpts, .position = 103, .text = "Read from &Flytec 50xx/60xx", .access = A::kReadWaypoints, .protocol = P::kFlytec},
    {.id = cmd::kSendWptCompeoName, .menu = M::kWpts, .position = 202, .text = "Send to Compeo(+)/Competino(+) (Only Name)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 1},
    {.id = cmd::kSendWptFlytecName, .menu = M::kWpts, .position = 203, .text = "Send to Flytec 50xx/60xx (Only Name)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 1},
    {.id = cmd::kSendWptCompeoId, .menu = M::kWpts, .position = 300, .text = "Send to Compeo/Competino (Only ID)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 3},
    {.id = cmd::kSendWptFlytecId, .menu = M::kWpts, .position = 301, .text = "Send to Flytec 50xx/60xx (Only ID)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 3},
    {.id = cmd::kSendWptCompeoIdName, .menu = M::kWpts, .position = 302, .text = "Send to Compeo/Competino (ID+Name)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 2},
    {.id = cmd::kSendWptFlytecIdName, .menu = M::kWpts, .position = 303, .text = "Send to Flytec 50xx/60xx (ID+Name)", .access = A::kSendWaypoints, .protocol = P::kFlytec, .parameter = 2},
    {.id = cmd::kSendCtrCompeo, .menu = M::kCtr, .position = 100, .text = "Send to &Compeo/Competino", .access = A::kUploadAirspaces, .protocol = P::kFlytec},
    {.id = cmd::kSendCtrFlytec, .menu = M::kCtr, .position = 101, .text = "Send to &Flytec 50xx/60xx", .access = A::kUploadAirspaces, .protocol = P::kFlytec},
    {.id = cmd::kReadCtrCompeo, .menu = M::kCtr, .position = 200, .text = "Read from Compeo/Competino", .access = A::kReadAirspaces, .protocol = P::kFlytec},
    {.id = cmd::kReadCtrFlytec, .menu = M::kCtr, .position = 201, .text = "Read from Flytec 50xx/60xx", .access = A::kReadAirspaces, .protocol = P::kFlytec},
};

void RegisterWorkers(DeviceAccessTable& table, [[maybe_unused]] const WorkerTuning& tuning) {
  RegisterFlytecWorkers(table, flytec::ScaledTiming(tuning.waitScale));
}

}  // namespace

const InstrumentFamily& FlytecFamily() {
  static const InstrumentFamily kRow{
      .displayName = "Flytec / Brauniger",
      .simName = "flytec",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .trackListOffersAll = true,
      .commandLineNames = kNames,
      .commands = kCommands,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
