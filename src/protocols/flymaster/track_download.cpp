#include "protocols/flymaster/track_download.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

namespace skylode::flymaster {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kProgressEvery = 200;

// The time left, by how far the points have come through the flight's
// duration at the pace so far.
int64_t RemainingSeconds(Clock::time_point startClock, uint32_t firstTime, uint32_t time, int64_t duration) {
  const int64_t done = static_cast<int64_t>(time) - firstTime;
  if (done <= 0 || duration <= done) return 0;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startClock).count();
  return elapsed * (duration - done) / done / 1000;
}

}  // namespace

Step ReadTrackList(TransferContext& ctx, const FlymasterTiming& timing, std::vector<ListedFlight>& list) {
  ctx.Status("Requesting track list");
  list.clear();
  if (!SendBytes(ctx, kTrackListCommand)) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaptionTrackList, "E500 COM port write error");
    return Step::kFailed;
  }
  TrackListParser parser(list);
  int error = 0;
  const ReceiveEnd end = Receive(ctx, timing.listSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r < 0) error = -r;
    return r >= 0;
  });
  if (end == ReceiveEnd::kAborted) return Aborted(ctx);
  if (error != 0) {
    ctx.ShowMessage(kCaptionTrackList, FormatProgress("E505 Format error %", error));
    return Step::kFailed;
  }
  // A line the silence cut off would leave its flight out unseen.
  if (end == ReceiveEnd::kReadError || parser.InLine()) {
    ctx.ShowMessage(kCaptionTrackList, "E503 COM port read error");
    return Step::kFailed;
  }
  ctx.Progress("% tracks in track list found", static_cast<int64_t>(list.size()));
  return list.empty() ? Step::kFailed : Step::kOk;
}

Step DownloadFlight(TransferContext& ctx, const FlymasterTiming& timing, const ProductData& product,
                    const ListedFlight& flight, FlightDecoder& decoder) {
  ctx.Status("Requesting track log");
  if (!SendBytes(ctx, flight.DownloadCommand())) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaptionTrackLog, "E202 COM port write error");
    return Step::kFailed;
  }
  const int64_t duration = flight.durationSeconds();
  Clock::time_point startClock{};
  decoder.points().reserve(1000);
  decoder.set_point_hook([&](const TrackPoint& p, size_t count) {
    if (count == 1) startClock = Clock::now();
    ctx.NotifyPosition(p);
    if (count % kProgressEvery != 0) return;
    const int64_t left = RemainingSeconds(startClock, decoder.points().front().time, p.time, duration);
    ctx.Progress("Track position % (%m %s)", static_cast<int64_t>(count), left / 60, left % 60);
    ctx.Notify(FormatProgress("Progress %/?", static_cast<int64_t>(count)));
  });

  BlockDecoder blocks;
  std::string failure;
  bool ended = false;
  bool writeFailed = false;
  const ReceiveEnd end = Receive(ctx, timing.blockSilence, [&](uint8_t b) {
    switch (blocks.Feed(b)) {
      case BlockResult::kIncomplete: return true;
      case BlockResult::kBadChecksum:
        // A resend is the normal answer to a damaged block: say so and read on.
        writeFailed = !SendByte(ctx, kResend);
        ctx.Status("E205 Bad checksum in data block");
        return !writeFailed;
      case BlockResult::kComplete: break;
    }
    if (blocks.id() == kEndBlock) {
      if (!decoder.flightInfoSeen()) failure = "E205 Missing flight info block";
      ended = failure.empty();
      return false;
    }
    if (auto error = decoder.Apply(blocks.id(), blocks.payload(), product.b1Nav())) {
      failure = error->text;
      return false;
    }
    writeFailed = !SendByte(ctx, kAck);
    return !writeFailed;
  });
  decoder.set_point_hook(nullptr);
  if (end == ReceiveEnd::kAborted || ctx.aborted()) {
    // The instrument stops streaming only when told.
    ctx.port().WriteText(std::string(1, static_cast<char>(kCancel)), {});
    return Aborted(ctx);
  }
  if (ended) return Step::kOk;
  if (end == ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionTrackLog, "E204 COM port read error");
    return Step::kFailed;
  }
  if (writeFailed) {
    ctx.ShowMessage(kCaptionTrackLog, "E202 COM port write error");
    return Step::kFailed;
  }
  SendByte(ctx, kCancel);
  if (!failure.empty()) {
    ctx.ShowMessage(kCaptionTrackLog, failure);
    return Step::kFailed;
  }
  ctx.Status("Timeout receiving data");
  ctx.ShowMessage(kCaptionTrackLog, "E203 Timeout receiving data");
  return Step::kFailed;
}

TransferResult FlymasterReadTrackLog(TransferContext& ctx, const FlymasterTiming& timing) {
  try {
    ProductData product;
    Step s = ReadProductData(ctx, timing, product);
    std::vector<ListedFlight> list;
    if (s == Step::kOk) s = ReadTrackList(ctx, timing, list);
    size_t chosen = 0;
    if (s == Step::kOk) {
      std::vector<TrackListEntry> entries;
      for (size_t i = 0; i < list.size(); ++i) entries.push_back({static_cast<int32_t>(i), list[i].Line()});
      const auto answer =
          ctx.ChooseTracks("Track List (" + ctx.portName() + ", " + std::string(kModelName) + ")", entries);
      if (ctx.aborted()) {
        s = Aborted(ctx);
      } else if (!answer || answer->empty() || answer->front() < 0 ||
                 static_cast<size_t>(answer->front()) >= list.size()) {
        s = Step::kFailed;  // cancelled: no message
      } else {
        chosen = static_cast<size_t>(answer->front());
      }
    }
    FlightDecoder decoder;
    if (s == Step::kOk) s = DownloadFlight(ctx, timing, product, list[chosen], decoder);
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();

    const FlightInfo& info = *decoder.info();
    ctx.Progress("% points received", static_cast<int64_t>(decoder.points().size()));
    if (ctx.settings().powerOffAfterTransfer) SendBytes(ctx, kPowerOffCommand);
    // An abort that came with the last block still wins: nothing is delivered.
    if (ctx.aborted()) return TransferResult::Cancelled();

    TrackLogPayload payload;
    payload.log.points = std::move(decoder.points());
    payload.log.source = TrackLogSource::kFlymaster;
    payload.log.hasBaroHeight = true;
    payload.log.sourceProtocol = ctx.protocol();
    char text[80];
    // The same words for a B1 NAV: files already written carry them.
    std::snprintf(text, sizeof text, "Flymaster F1, V%d.%d, S/N %u", info.firmwareMajor, info.firmwareMinor, info.serialNumber);
    payload.log.instrumentText = text;
    payload.log.modelName = std::string(kModelName);
    std::snprintf(text, sizeof text, "%s: %u", std::string(kModelName).c_str(), info.serialNumber);
    payload.log.identification = text;
    payload.log.flightCompId = ParseIdText(info.competitionId);
    payload.log.flightCivlId = ParseIdText(info.civlId);
    return TransferResult::Track(std::move(payload));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E201 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::flymaster
