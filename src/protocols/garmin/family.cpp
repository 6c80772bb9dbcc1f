// The Garmin row of the family table.
#include "protocols/families.h"
#include "protocols/garmin/commands.h"
#include "protocols/garmin/register.h"

namespace skylode {

namespace {

using A = AccessType;
using P = ProtocolType;
using M = FamilyMenu;

constexpr ProtocolType kProtocols[] = {P::kGarminSerial, P::kGarminUsb};
constexpr uint32_t kSpeeds[] = {9600};
constexpr TrackLogRules kTrackLogs[] = {
    {.source = TrackLogSource::kGarmin, .ownIgcText = false, .extraData = false, .utcTimes = true, .signedFiles = SignedFiles::kAlways},
};
constexpr CommandLineName kNames[] = {
    {.name = "GARMIN", .protocol = P::kGarminSerial, .usb = P::kGarminUsb},
};
constexpr FamilyCommand kCommands[] = {
    {.id = cmd::kReadGarmin, .menu = M::kLogs, .position = 100, .text = "Read &Garmin", .shortcut = "Ctrl+G", .access = A::kReadTrackLog, .protocol = P::kGarminSerial, .button = "Garmin (RS232)", .buttonPosition = 10},
    {.id = cmd::kReadGarminUsb, .menu = M::kLogs, .position = 101, .text = "Read Garmin &USB", .shortcut = "Ctrl+U", .access = A::kReadTrackLog, .protocol = P::kGarminUsb, .button = "Garmin (USB)", .buttonPosition = 20},
    {.id = cmd::kReadWptGarmin, .menu = M::kWpts, .position = 100, .text = "Read from &Garmin", .access = A::kReadWaypoints, .protocol = P::kGarminSerial},
    {.id = cmd::kReadWptGarminUsb, .menu = M::kWpts, .position = 101, .text = "Read from Garmin (&USB)", .access = A::kReadWaypoints, .protocol = P::kGarminUsb},
    {.id = cmd::kSendWptGarmin, .menu = M::kWpts, .position = 200, .text = "Send to Garmin", .access = A::kSendWaypoints, .protocol = P::kGarminSerial},
    {.id = cmd::kSendWptGarminUsb, .menu = M::kWpts, .position = 201, .text = "Send to Garmin (USB)", .access = A::kSendWaypoints, .protocol = P::kGarminUsb},
    {.id = cmd::kSendCtrGarmin, .menu = M::kCtr, .position = 102, .text = "Send to &Garmin as a log", .access = A::kUploadAirspaces, .protocol = P::kGarminSerial},
    {.id = cmd::kSendCtrGarminUsb, .menu = M::kCtr, .position = 103, .text = "Send to Garmin &USB as a log", .access = A::kUploadAirspaces, .protocol = P::kGarminUsb},
    {.id = cmd::kSendWptAsGarminLog, .menu = M::kMisc, .position = 300, .text = "Send wpts. as Garmin log (COM)", .access = A::kUploadTrackLog, .protocol = P::kGarminSerial},
    {.id = cmd::kSendWptAsGarminLogUsb, .menu = M::kMisc, .position = 301, .text = "Send wpts. as Garmin log (USB)", .access = A::kUploadTrackLog, .protocol = P::kGarminUsb},
};
constexpr ProtocolType kUsbCompCheckWaypointsProtocols[] = {P::kGarminSerial, P::kGarminUsb};
constexpr ProtocolType kPowerOffGarminProtocols[] = {P::kGarminSerial, P::kGarminUsb};
constexpr FamilyToggle kToggles[] = {
    {.id = cmd::kUsbCompCheckWaypoints, .menu = M::kMisc, .position = 302, .text = "USB && comp. mode: Check wpts", .initial = true, .effect = ToggleEffect::kCompetitionCheckWaypoints, .protocols = kUsbCompCheckWaypointsProtocols},
    {.id = cmd::kPowerOffGarmin, .menu = M::kMisc, .position = 303, .text = "Pwr off after wpts wr && log read", .initial = false, .effect = ToggleEffect::kPowerOffAfterTransfer, .protocols = kPowerOffGarminProtocols},
};

void RegisterWorkers(DeviceAccessTable& table, [[maybe_unused]] const WorkerTuning& tuning) {
  RegisterGarminWorkers(table);
}

}  // namespace

const InstrumentFamily& GarminFamily() {
  static const InstrumentFamily kRow{
      .displayName = "Garmin",
      .simName = "garmin",
      .protocols = kProtocols,
      .lineSpeeds = kSpeeds,
      .trackLogs = kTrackLogs,
      .commandLineNames = kNames,
      .commands = kCommands,
      .toggles = kToggles,
      .registerWorkers = RegisterWorkers,
  };
  return kRow;
}

}  // namespace skylode
