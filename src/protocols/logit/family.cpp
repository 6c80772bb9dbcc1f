// The LogIt / Tracklogger row of the family table. The family has no workers yet:
// its menu entries stay disabled and its command-line runs are refused.
#include "protocols/families.h"
#include "protocols/logit/commands.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kLogIt};
constexpr uint32_t kSpeeds[] = {57600, 38400, 19200, 115200};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kLogIt, .ownIgcText = false, .extraData = false, .utcTimes = false, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "LOGIT", .protocol = P::kLogIt, .trackLogBaudRate = 57600},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadLogIt57600, .menu = M::kLogs, .position = 400, .text = "Read &Log It (57600)", .shortcut = "Ctrl+L", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 57600},
    {.id = cmd::kReadLogIt38400, .menu = M::kLogs, .position = 401, .text = "Read Log It (38400)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 38400},
    {.id = cmd::kReadLogIt19200, .menu = M::kLogs, .position = 402, .text = "Read Log It (19200)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 19200},
    {.id = cmd::kReadTracklogger, .menu = M::kLogs, .position = 403, .text = "Read Tracklogger (115200)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 115200},
    {.id = cmd::kEraseLogIt, .menu = M::kMisc, .position = 400, .text = "Erase LogIt track", .access = A::kEraseTrackLog, .protocol = P::kLogIt},
    {.id = cmd::kWriteLogItName, .menu = M::kMisc, .position = 401, .text = "Write LogIt Name", .access = A::kWriteSettings, .protocol = P::kLogIt, .dialog = CommandDialog::kOwnerName},
    {.id = cmd::kReadLogItData, .menu = M::kMisc, .position = 402, .text = "Read LogIt Data", .access = A::kReadLoggerData, .protocol = P::kLogIt},
};

}  // namespace

const InstrumentFamily& LogItFamily() {
  static const InstrumentFamily kRow{
      .displayName = "LogIt / Tracklogger",
      .simName = "logit",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .commandLineNames = kNames,
      .commands = kCommands,
  };
  return kRow;
}

}  // namespace skylode
