// The wait-and-check step every Garmin operation is made of, on either
// transport: the serial link acknowledges every packet, USB acknowledges
// none and numbers its read failures instead.
#pragma once

#include <string_view>

#include "protocols/garmin/session.h"
#include "records/error.h"

namespace skylode::garmin {

// The messages of one step: time-out, port failure, unexpected packet on the
// serial link; on USB a failed read is "E<usbReadBase + n> Packet read error"
// (n: which read step failed) and an unexpected packet `usbWrong`.
struct StepTexts {
  const char* timeout;
  const char* portError;
  const char* wrong;
  int usbReadBase = 0;
  const char* usbWrong = nullptr;
};

// The step's failure for what the receiver saw, its message as the text.
inline Error StepError(const GarminSession& s, RxStatus r, const StepTexts& t) {
  if (r == RxStatus::kCancelled) return Error::Cancelled();
  if (s.usb()) {
    if (r == RxStatus::kPacket) return Error::Of(ErrorKind::kProtocol, t.usbWrong ? t.usbWrong : t.wrong);
    return Error::Of(r == RxStatus::kTimeout ? ErrorKind::kTimeout : ErrorKind::kPortError,
                     FormatProgress("E% Packet read error", t.usbReadBase + s.readErrorNumber()));
  }
  switch (r) {
    case RxStatus::kTimeout: return Error::Of(ErrorKind::kTimeout, t.timeout);
    case RxStatus::kReadError: return Error::Of(ErrorKind::kPortError, t.portError);
    case RxStatus::kCancelled:
    case RxStatus::kPacket: break;
  }
  return Error::Of(ErrorKind::kProtocol, t.wrong);
}

// A packet that did not go out: the serial text, or the USB step's own.
inline Error WriteFailed(const GarminSession& s, const char* usbText = "Bulk OUT error") {
  if (s.usb()) return Error::Of(ErrorKind::kPortError, usbText);
  return Error::Of(ErrorKind::kPortError, "COM port write error");
}

// A write that failed because the person aborted ends quietly.
inline Error WriteFailedOrAborted(GarminSession& s, const char* usbText) {
  if (s.ctx().aborted()) {
    s.ctx().Status("Transfer aborted");
    return Error::Cancelled();
  }
  return WriteFailed(s, usbText);
}

// An operation's failure shown under its caption; a cancelled one is quiet.
inline Status Report(GarminSession& s, std::string_view caption, Status result) {
  if (!result.ok() && !result.cancelled()) s.ctx().ShowMessage(caption, result.error().text);
  return result;
}

// Waits for a packet that `accept` likes. On anything else keeps the packet
// for the debug view, tells the unit to abort its transfer and gives the
// step's failure; an abort by the user ends quietly.
template <typename Accept>
Status Expect(GarminSession& s, const StepTexts& t, Accept&& accept) {
  const RxStatus r = s.Receive(s.timeouts().data);
  if (r == RxStatus::kPacket && accept(s.packet())) return {};
  if (r == RxStatus::kCancelled) {
    s.SendAbortTransfer();
    s.ctx().Status("Transfer aborted");
    return Error::Cancelled();
  }
  s.KeepFailedPacket();
  s.SendAbortTransfer();
  return StepError(s, r, t);
}

// Starts a download: asks the unit for a list, waits for its acknowledgement
// (serial) and the record count, and acknowledges the count.
inline Status StartDownload(GarminSession& s, std::string_view status, uint16_t command, const StepTexts& ack,
                            const StepTexts& countTexts, const char* usbSendError, int32_t& count) {
  s.ctx().Status(status);
  if (!s.SendCommand(command)) return WriteFailedOrAborted(s, usbSendError);
  if (s.acknowledged()) {
    if (Status o = Expect(s, ack, [](const GarminPacket& p) { return IsAckOf(p, kPidCommand); }); !o.ok()) return o;
  }
  if (Status o = Expect(s, countTexts, [](const GarminPacket& p) { return p.id == kPidRecords && p.size >= 2; });
      !o.ok())
    return o;
  count = GetU16(s.packet().payload(), 0);
  s.SendAck(kPidRecords);
  return {};
}

// Sends one record of an upload and, on the serial link, waits for its
// acknowledgement.
inline Status SendRecord(GarminSession& s, const GarminPacket& p, const StepTexts& ack, const char* usbSendError) {
  if (!s.Send(p)) {
    s.SendAbortTransfer();
    return WriteFailedOrAborted(s, usbSendError);
  }
  if (!s.acknowledged()) return {};
  const uint8_t id = p.id;
  return Expect(s, ack, [id](const GarminPacket& got) { return IsAckOf(got, id); });
}

// Starts an upload: announces how many records follow.
inline Status StartUpload(GarminSession& s, uint16_t records, const StepTexts& t, const char* usbSendError) {
  uint8_t body[2];
  PutU16(body, records);
  GarminPacket announce;
  announce.Set(kPidRecords, body);
  if (!s.Send(announce)) return WriteFailedOrAborted(s, usbSendError);
  if (!s.acknowledged()) return {};
  return Expect(s, t, [](const GarminPacket& p) { return IsAckOf(p, kPidRecords); });
}

// Ends an upload: tells the unit the records are complete and, on the serial
// link, waits for its acknowledgement. The unit has every record by then, so
// a failure here is the step's message without telling it to abort. Switches
// the unit off afterwards when the pilot asked for that.
inline Status FinishUpload(GarminSession& s, uint16_t command, const StepTexts& t, const char* usbSendError) {
  uint8_t body[2];
  PutU16(body, command);
  GarminPacket complete;
  complete.Set(kPidTransferComplete, body);
  if (!s.Send(complete)) {
    // Called off before the unit heard the end: it must drop what it took,
    // as it does for an abort between two records.
    if (s.ctx().aborted()) s.SendAbortTransfer();
    return WriteFailedOrAborted(s, usbSendError);
  }
  if (s.acknowledged()) {
    const RxStatus r = s.Receive(s.timeouts().data);
    if (r == RxStatus::kCancelled) return Error::Cancelled();
    if (r != RxStatus::kPacket || !IsAckOf(s.packet(), kPidTransferComplete)) {
      s.KeepFailedPacket();
      return StepError(s, r, t);
    }
  } else {
    s.ctx().Status("Transfer completed");
  }
  if (s.ctx().settings().powerOffAfterTransfer) s.SendCommand(kCmdTurnOffPower);
  return {};
}

}  // namespace skylode::garmin
