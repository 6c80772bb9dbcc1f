// The LogIt / Tracklogger row of the family table.
#include "protocols/families.h"
#include "protocols/logit/commands.h"
#include "protocols/logit/name_form.h"
#include "protocols/logit/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kLogIt};
// The download speeds; the first is the one a command line reads at. The
// commands themselves always go at 4,800 baud.
constexpr uint32_t kSpeeds[] = {57600, 38400, 19200, 115200};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kLogIt, .ownIgcText = false, .extraData = false, .utcTimes = false, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "LOGIT", .protocol = P::kLogIt, .trackLogBaudRate = 57600},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadLogIt57600, .menu = M::kLogs, .position = 400, .text = "Read Log It (&57600)", .shortcut = "Ctrl+L", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 57600},
    {.id = cmd::kReadLogIt38400, .menu = M::kLogs, .position = 401, .text = "Read Log It (&38400)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 38400},
    {.id = cmd::kReadLogIt19200, .menu = M::kLogs, .position = 402, .text = "Read Log It (&19200)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 19200},
    {.id = cmd::kReadTracklogger, .menu = M::kLogs, .position = 403, .text = "Read Tracklogger (115&200)", .access = A::kReadTrackLog, .protocol = P::kLogIt, .baudRate = 115200},
    {.id = cmd::kEraseLogIt, .menu = M::kMisc, .position = 400, .text = "&Erase LogIt track", .access = A::kEraseTrackLog, .protocol = P::kLogIt},
    {.id = cmd::kWriteLogItName, .menu = M::kMisc, .position = 401, .text = "Write LogIt &Name", .access = A::kWriteSettings, .protocol = P::kLogIt, .dialog = CommandDialog::kForm, .form = &logit::kOwnerNameForm},
    {.id = cmd::kReadLogItData, .menu = M::kMisc, .position = 402, .text = "Read LogIt &Data", .access = A::kReadLoggerData, .protocol = P::kLogIt},
};

void RegisterWorkers(DeviceAccessTable& table, const WorkerTuning& tuning) {
  RegisterLogItWorkers(table, logit::LogItTiming::Scaled(tuning.waitScale));
}

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
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
