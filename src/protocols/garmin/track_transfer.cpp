#include <chrono>

#include "protocols/garmin/exchange.h"
#include "protocols/garmin/records.h"
#include "protocols/garmin/transfers.h"

namespace skylode::garmin {
namespace {

constexpr std::string_view kCaptionRead = "Read GPS track log";
constexpr std::string_view kCaptionReadUsb = "Read track log";
constexpr size_t kMaxRecords = 65535;

using Clock = std::chrono::steady_clock;

int64_t ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

}  // namespace

static Status DownloadTrackLog(GarminSession& s, TrackLog& out) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  if (caps.trackProtocol == 0) {
    return Error::Of(ErrorKind::kUnsupported,
                     s.usb() ? "E237 No track log protocol defined" : "E212 No track log protocol defined");
  }
  if (s.usb()) {
    if (DebugTrace* t = ctx.trace()) t->Text("Requesting track log\r\n");
  }
  const auto started = Clock::now();
  int32_t count = 0;
  Status o = StartDownload(s, "Requesting track log download", kCmdTransferTrackLog,
                                    {"E200 Timeout while waiting for data packet", "E200 COM port error while waiting for data packet",
                                     "E201 Bad acknowledge packet type or format"},
                                    {"E202 Timeout while waiting for record count packet",
                                     "E202 COM port error while waiting for count packet", "E203 Bad record count packet",
                                     203, "E213 Bad record count packet"},
                                    "E203 Bulk OUT error", count);
  if (!o.ok()) return o;
  std::vector<TrackPoint> points;
  points.reserve(static_cast<size_t>(count));
  const auto countStarted = Clock::now();

  for (int32_t k = 1; k <= count; ++k) {
    if (s.usb() && ctx.aborted()) {
      s.SendAbortTransfer();
      ctx.Status("Transfer aborted");
      return Error::Cancelled();
    }
    const char* error = nullptr;
    o = Expect(s, {"E205 Timeout while waiting for log data packet", "E205 COM port error while waiting for log data packet",
                "E209 Bad data packet", 214, "E226 Bad data packet"},
               [&](const GarminPacket& p) {
                 if (p.id == kPidTrackData) {
                   if (auto t = GarminTrackPointFromPacket(caps.trackPointType, p)) {
                     points.push_back(*t);
                   } else {
                     error = s.usb() ? "E224 Packet type/length mismatch" : "E206 Packet type/length mismatch";
                   }
                   return true;
                 }
                 if (p.id == kPidTrackHeader) {
                   // A protocol without headers must not send one.
                   if (caps.trackProtocol == 300) {
                     error = s.usb() ? "E225 Packet type/protocol mismatch" : "E208 Packet type/protocol mismatch";
                   }
                   return true;
                 }
                 return false;
               });
    if (!o.ok()) return o;
    if (error) {
      s.KeepFailedPacket();
      s.SendAbortTransfer();
      return Error::Of(ErrorKind::kProtocol, error);
    }
    const uint8_t id = s.packet().id;
    if (id == kPidTrackData) {
      if (s.usb() && points.size() == 1) ctx.Status("Receiving track positions");
      ctx.NotifyPosition(points.back());
    }
    s.SendAck(id);
    if (k % 5 == 0) {
      // Remaining time from the pace so far.
      const int64_t elapsed = ElapsedMs(countStarted);
      const int64_t leftMs = static_cast<int64_t>(count - k) * elapsed / k;
      ctx.Progress("Track position % of % (%m %s)", k, count, leftMs / 60000, (leftMs / 1000) % 60);
      ctx.Notify(FormatProgress("Progress %/%", k, count));
    }
  }

  o = Expect(s, {"E211 Timeout while waiting for transfer complete packet",
              "E211 COM port error while waiting for transfer complete packet",
              "E210 Bad transfer complete packet type or format", 226,
              "E236 Bad transfer complete packet type or format"},
             [](const GarminPacket& p) { return p.id == kPidTransferComplete; });
  if (!o.ok()) return o;
  s.SendAck(kPidTransferComplete);
  const auto elapsed = std::chrono::milliseconds(ElapsedMs(started));
  if (s.usb()) {
    ctx.Status(FormatProgress("% track positions read", static_cast<int64_t>(points.size())));
  } else {
    ctx.Status(FormatProgress("% track positions read (", static_cast<int64_t>(points.size())) +
               FormatSeconds(elapsed) + " secs)");
  }
  if (ctx.settings().powerOffAfterTransfer) s.SendCommand(kCmdTurnOffPower);

  out.points = std::move(points);
  out.source = TrackLogSource::kGarmin;
  out.hasBaroHeight = false;
  out.sourceProtocol = ctx.protocol();
  out.instrumentText = s.description().substr(0, kInstrumentTextMax);
  out.modelName = "Garmin";
  out.identification = s.identification();
  return {};
}

static Status UploadTrackLog(GarminSession& s, const std::vector<Waypoint>& points, int ctrNumber,
                             const std::string& name) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  if (points.empty()) return {};
  if (caps.trackProtocol == 0) {
    return Error::Of(ErrorKind::kUnsupported,
                     s.usb() ? "E509 No track log protocol defined" : "E508 No track log protocol defined");
  }
  const bool withHeader = caps.trackProtocol == 301 || caps.trackProtocol == 302;
  const size_t records = points.size() + (withHeader ? 1 : 0);
  if (records > kMaxRecords) {
    return Error::Of(ErrorKind::kUnsupported, "Too many points for the GPS (at most 65535)");
  }
  const int32_t n = static_cast<int32_t>(points.size());
  Status o = StartUpload(s, static_cast<uint16_t>(records),
                                  {"E500 Timeout while waiting for ack. packet",
                                   "E500 COM port error while waiting for ack. packet",
                                   "E501 Bad acknowledge packet type or format"},
                         "E503 Bulk OUT error");
  if (!o.ok()) return o;

  if (withHeader) {
    o = SendRecord(s, GarminTrackHeaderPacket(name.empty() ? points.front().id : name),
                   {"E502 Timeout while waiting for ack. packet", "E502 COM port error while waiting for ack. packet",
                    "E503 Bad acknowledge packet type or format"},
                   "E504 Bulk OUT error");
    if (!o.ok()) return o;
  }

  for (int32_t k = 1; k <= n; ++k) {
    if (ctx.aborted()) {
      s.SendAbortTransfer();
      ctx.Status("Transfer aborted");
      return Error::Cancelled();
    }
    if (k % 5 == 0) {
      if (ctrNumber > 0) ctx.Progress("CTR %: Sending point % of %", ctrNumber, k, n);
      else ctx.Progress("Sending point % of %", k, n);
    }
    const Waypoint& w = points[static_cast<size_t>(k - 1)];
    const GarminPacket point = GarminTrackPointToPacket(caps.trackProtocol, w.latitude, w.longitude);
    const char* usbError = point.size == 13 ? "E505 Bulk OUT error" : point.size == 21 ? "E506 Bulk OUT error"
                                                                                         : "E507 Bulk OUT error";
    o = SendRecord(s, point,
                   {"E504 Timeout while waiting for ack. packet", "E504 COM port error while waiting for ack. packet",
                    "E505 Bad acknowledge packet type or format"},
                   usbError);
    if (!o.ok()) return o;
  }
  if (ctrNumber > 0) ctx.Progress("CTR %: Point % of % sent", ctrNumber, n, n);
  else ctx.Progress("Point % of % sent", n, n);

  return FinishUpload(s, kCmdTransferTrackLog,
                      {"E506 Timeout while waiting for ack. packet", "E506 COM port error while waiting for ack. packet",
                       "E507 Bad acknowledge packet type or format"},
                      "E508 Bulk OUT error");
}

Status GarminDownloadTrackLog(GarminSession& s, TrackLog& out) {
  return Report(s, s.usb() ? kCaptionReadUsb : kCaptionRead, DownloadTrackLog(s, out));
}

Status GarminUploadTrackLog(GarminSession& s, const std::vector<Waypoint>& points, int ctrNumber,
                            const std::string& name) {
  return Report(s, ctrNumber > 0 ? "Upload CTR" : "Upload track log", UploadTrackLog(s, points, ctrNumber, name));
}

}  // namespace skylode::garmin
