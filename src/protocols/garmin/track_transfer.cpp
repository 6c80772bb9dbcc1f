#include <chrono>

#include "protocols/garmin/exchange.h"
#include "protocols/garmin/records.h"
#include "protocols/garmin/transfers.h"

namespace skylode::garmin {
namespace {

constexpr std::string_view kCaptionRead = "Read GPS track log";
constexpr size_t kMaxRecords = 65535;

using Clock = std::chrono::steady_clock;

int64_t ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

}  // namespace

TransferOutcome GarminDownloadTrackLog(GarminSession& s, TrackLog& out) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  if (caps.trackProtocol == 0) {
    ctx.ShowMessage(kCaptionRead, "E212 No track log protocol defined");
    return TransferOutcome::kFailure;
  }
  const auto started = Clock::now();
  int32_t count = 0;
  TransferOutcome o = StartDownload(s, kCaptionRead, "Requesting track log download", kCmdTransferTrackLog,
                                    {"E200 Timeout while waiting for data packet", "E200 COM port error while waiting for data packet",
                                     "E201 Bad acknowledge packet type or format"},
                                    {"E202 Timeout while waiting for record count packet",
                                     "E202 COM port error while waiting for count packet", "E203 Bad record count packet"}, count);
  if (o != TransferOutcome::kSuccess) return o;
  std::vector<TrackPoint> points;
  points.reserve(static_cast<size_t>(count));
  const auto countStarted = Clock::now();

  for (int32_t k = 1; k <= count; ++k) {
    const char* error = nullptr;
    o = Expect(s, kCaptionRead,
               {"E205 Timeout while waiting for log data packet", "E205 COM port error while waiting for log data packet",
                "E209 Bad data packet"},
               [&](const GarminPacket& p) {
                 if (p.id == kPidTrackData) {
                   if (auto t = GarminTrackPointFromPacket(caps.trackPointType, p)) {
                     points.push_back(*t);
                   } else {
                     error = "E206 Packet type/length mismatch";
                   }
                   return true;
                 }
                 if (p.id == kPidTrackHeader) {
                   // A protocol without headers must not send one.
                   if (caps.trackProtocol == 300) error = "E208 Packet type/protocol mismatch";
                   return true;
                 }
                 return false;
               });
    if (o != TransferOutcome::kSuccess) return o;
    if (error) {
      s.KeepFailedPacket();
      s.SendAbortTransfer();
      ctx.ShowMessage(kCaptionRead, error);
      return TransferOutcome::kFailure;
    }
    const uint8_t id = s.packet().id;
    if (id == kPidTrackData) ctx.NotifyPosition(points.back());
    s.SendAck(id);
    if (k % 5 == 0) {
      // Remaining time from the pace so far.
      const int64_t elapsed = ElapsedMs(countStarted);
      const int64_t leftMs = static_cast<int64_t>(count - k) * elapsed / k;
      ctx.Progress("Track position % of % (%m %s)", k, count, leftMs / 60000, (leftMs / 1000) % 60);
      ctx.Notify(FormatProgress("Progress %/%", k, count));
    }
  }

  o = Expect(s, kCaptionRead,
             {"E211 Timeout while waiting for transfer complete packet",
              "E211 COM port error while waiting for transfer complete packet",
              "E210 Bad transfer complete packet type or format"},
             [](const GarminPacket& p) { return p.id == kPidTransferComplete; });
  if (o != TransferOutcome::kSuccess) return o;
  s.SendAck(kPidTransferComplete);
  const auto elapsed = std::chrono::milliseconds(ElapsedMs(started));
  ctx.Status(FormatProgress("% track positions read (", static_cast<int64_t>(points.size())) + FormatSeconds(elapsed) +
             " secs)");
  if (ctx.settings().powerOffAfterTransfer) s.SendCommand(kCmdTurnOffPower);

  out.points = std::move(points);
  out.source = TrackLogSource::kGarmin;
  out.hasBaroHeight = false;
  out.sourceProtocol = ctx.protocol();
  out.instrumentText = s.description().substr(0, kInstrumentTextMax);
  return TransferOutcome::kSuccess;
}

TransferOutcome GarminUploadTrackLog(GarminSession& s, const std::vector<Waypoint>& points, int ctrNumber,
                                     const std::string& name) {
  TransferContext& ctx = s.ctx();
  const GarminProtocolSet& caps = s.protocols();
  const std::string_view caption = ctrNumber > 0 ? "Upload CTR" : "Upload track log";
  if (points.empty()) return TransferOutcome::kSuccess;
  if (caps.trackProtocol == 0) {
    ctx.ShowMessage(caption, "E508 No track log protocol defined");
    return TransferOutcome::kFailure;
  }
  const bool withHeader = caps.trackProtocol == 301 || caps.trackProtocol == 302;
  const size_t records = points.size() + (withHeader ? 1 : 0);
  if (records > kMaxRecords) {
    ctx.ShowMessage(caption, "Too many points for the GPS (at most 65535)");
    return TransferOutcome::kFailure;
  }
  const int32_t n = static_cast<int32_t>(points.size());
  TransferOutcome o = StartUpload(s, caption, static_cast<uint16_t>(records),
                                  {"E500 Timeout while waiting for ack. packet",
                                   "E500 COM port error while waiting for ack. packet",
                                   "E501 Bad acknowledge packet type or format"});
  if (o != TransferOutcome::kSuccess) return o;

  if (withHeader) {
    if (!s.Send(GarminTrackHeaderPacket(name.empty() ? points.front().id : name))) {
      s.SendAbortTransfer();
      ctx.ShowMessage(caption, "COM port write error");
      return TransferOutcome::kFailure;
    }
    o = Expect(s, caption,
               {"E502 Timeout while waiting for ack. packet", "E502 COM port error while waiting for ack. packet",
                "E503 Bad acknowledge packet type or format"},
               [](const GarminPacket& p) { return IsAckOf(p, kPidTrackHeader); });
    if (o != TransferOutcome::kSuccess) return o;
  }

  for (int32_t k = 1; k <= n; ++k) {
    if (ctx.aborted()) {
      s.SendAbortTransfer();
      ctx.Status("Transfer aborted");
      return TransferOutcome::kCancelled;
    }
    if (k % 5 == 0) {
      if (ctrNumber > 0) ctx.Progress("CTR %: Sending point % of %", ctrNumber, k, n);
      else ctx.Progress("Sending point % of %", k, n);
    }
    const Waypoint& w = points[static_cast<size_t>(k - 1)];
    if (!s.Send(GarminTrackPointToPacket(caps.trackProtocol, w.latitude, w.longitude))) {
      s.SendAbortTransfer();
      ctx.ShowMessage(caption, "COM port write error");
      return TransferOutcome::kFailure;
    }
    o = Expect(s, caption,
               {"E504 Timeout while waiting for ack. packet", "E504 COM port error while waiting for ack. packet",
                "E505 Bad acknowledge packet type or format"},
               [](const GarminPacket& p) { return IsAckOf(p, kPidTrackData); });
    if (o != TransferOutcome::kSuccess) return o;
  }
  if (ctrNumber > 0) ctx.Progress("CTR %: Point % of % sent", ctrNumber, n, n);
  else ctx.Progress("Point % of % sent", n, n);

  return FinishUpload(s, caption, kCmdTransferTrackLog,
                      {"E506 Timeout while waiting for ack. packet", "E506 COM port error while waiting for ack. packet",
                       "E507 Bad acknowledge packet type or format"});
}

}  // namespace skylode::garmin
