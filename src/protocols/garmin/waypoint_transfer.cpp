#include <chrono>

#include "protocols/garmin/exchange.h"
#include "protocols/garmin/records.h"
#include "protocols/garmin/transfers.h"

namespace skylode::garmin {
namespace {

constexpr std::string_view kCaptionRead = "Read GPS waypoints";
constexpr std::string_view kCaptionReadUsb = "Read waypoints";
constexpr std::string_view kCaptionUpload = "Upload waypoints";
// Counts travel in a 16-bit field.
constexpr size_t kMaxRecords = 65535;

}  // namespace

static Status DownloadWaypoints(GarminSession& s, WaypointScanMode mode, WaypointList* out) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  if (caps.waypointProtocol == 0) {
    return Error::Of(ErrorKind::kUnsupported,
                     s.usb() ? "E336 No waypoint protocol defined" : "E310 No waypoint log protocol defined");
  }
  if (s.usb()) {
    if (DebugTrace* t = ctx.trace()) t->Text("Requesting waypoints\r\n");
  }
  const auto started = std::chrono::steady_clock::now();
  int32_t count = 0;
  Status o = StartDownload(s, "Requesting waypoint download", kCmdTransferWaypoints,
                                    {"E300 Timeout while waiting for ack. packet", "E300 COM port error while waiting for ack. packet",
                                     "E301 Bad acknowledge packet type or format"},
                                    {"E302 Timeout while waiting for record count packet",
                                     "E302 COM port error while waiting for count packet", "E303 Bad record count packet",
                                     303, "E313 Bad record count packet"},
                                    "E303 Bulk OUT error", count);
  if (!o.ok()) return o;
  WaypointList list;
  if (mode == WaypointScanMode::kList) list.items.reserve(static_cast<size_t>(count));

  for (int32_t k = 1; k <= count; ++k) {
    WaypointPacketError error = WaypointPacketError::kNone;
    std::optional<Waypoint> w;
    o = Expect(s, {"E305 Timeout while waiting for wpt. data packet", "E305 COM port error while waiting for wpt. data packet",
                "E306 Bad waypoint data packet", 314, "E324 Bad waypoint data packet"},
               [&](const GarminPacket& p) {
                 if (p.id != kPidWaypointData) return false;
                 w = GarminWaypointFromPacket(caps.waypointType, p, &error);
                 return w.has_value() || error == WaypointPacketError::kBadHeader;
               });
    if (!o.ok()) return o;
    if (!w) {
      s.KeepFailedPacket();
      s.SendAbortTransfer();
      return Error::Of(ErrorKind::kProtocol, s.usb() ? "E325 Bad waypoint data packet" : "E309 Bad waypoint data packet");
    }
    s.SendAck(kPidWaypointData);
    if (mode == WaypointScanMode::kList) {
      if (s.usb() && k == 1) ctx.Status("Receiving waypoints");
      list.items.push_back(std::move(*w));
    } else {
      ctx.IdentifyPilot(*w);
    }
    ctx.NotifyWaypointCount(k);
    if (k % 5 == 0) ctx.Progress("Waypoint % of % received", k, count);
  }

  o = Expect(s, {"E308 Timeout while waiting for transfer complete packet",
              "E308 COM port error while waiting for transfer complete packet",
              "E307 Bad transfer complete packet type or format", 325,
              "E335 Bad transfer complete packet type or format"},
             [](const GarminPacket& p) { return p.id == kPidTransferComplete && p.size >= 2; });
  if (!o.ok()) return o;
  s.SendAck(kPidTransferComplete);
  if (mode == WaypointScanMode::kList) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (s.usb()) ctx.Status(FormatProgress("% waypoints read", list.count()));
    else ctx.Status(FormatProgress("% of % waypoints read (", list.count(), count) + FormatSeconds(elapsed) + " secs)");
    if (out) *out = std::move(list);
  }
  return {};
}

static Status UploadWaypoints(GarminSession& s, const WaypointList& list) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  if (list.empty()) return {};
  if (caps.waypointProtocol == 0) {
    return Error::Of(ErrorKind::kUnsupported,
                     s.usb() ? "E406 No waypoint protocol defined" : "E406 No waypoint log protocol defined");
  }
  // The unit counts records in 16 bits; a longer list would be announced
  // with a wrapped count and end in a mismatch.
  if (list.items.size() > kMaxRecords) {
    return Error::Of(ErrorKind::kUnsupported, "Too many waypoints for the GPS (at most 65535)");
  }
  const int32_t n = list.count();
  Status o = StartUpload(s, static_cast<uint16_t>(n),
                                  {"E400 Timeout while waiting for ack. packet",
                                   "E400 COM port error while waiting for ack. packet",
                                   "E401 Bad acknowledge packet type or format"},
                         "E403 Bulk OUT error");
  if (!o.ok()) return o;

  for (int32_t k = 1; k <= n; ++k) {
    if (ctx.aborted()) {
      s.SendAbortTransfer();
      ctx.Status("Transfer aborted");
      return Error::Cancelled();
    }
    if (k % 5 == 0) ctx.Progress("Sending waypoint % of %", k, n);
    o = SendRecord(s, GarminWaypointToPacket(caps.waypointType, list.items[static_cast<size_t>(k - 1)]),
                   {"E402 Timeout while waiting for ack. packet", "E402 COM port error while waiting for ack. packet",
                    "E403 Bad acknowledge packet type or format"},
                   "E404 Bulk OUT error");
    if (!o.ok()) return o;
    ctx.Notify(FormatProgress("Sent wpt %/%", k, n));
  }
  ctx.Progress("Waypoint % of % sent", n, n);

  return FinishUpload(s, kCmdTransferWaypoints,
                      {"E404 Timeout while waiting for ack. packet", "E404 COM port error while waiting for ack. packet",
                       "E405 Bad acknowledge packet type or format"},
                      "E405 Bulk OUT error");
}

Status GarminDownloadWaypoints(GarminSession& s, WaypointScanMode mode, WaypointList* out) {
  Status done = Report(s, s.usb() ? kCaptionReadUsb : kCaptionRead, DownloadWaypoints(s, mode, out));
  // The unit's text goes with its list, serial or USB alike.
  if (done.ok() && out != nullptr) out->sourceText = s.description().substr(0, kInstrumentTextMax);
  return done;
}

Status GarminUploadWaypoints(GarminSession& s, const WaypointList& list) {
  return Report(s, kCaptionUpload, UploadWaypoints(s, list));
}

}  // namespace skylode::garmin
