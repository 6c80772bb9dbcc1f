#include "protocols/xctrainer/mxp_download.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "protocols/xctrainer/lines.h"
#include "protocols/xctrainer/link.h"
#include "protocols/xctrainer/mxp.h"

namespace skylode::xctrainer {

TransferResult MxpReadTrackLog(TransferContext& ctx) {
  using Clock = std::chrono::steady_clock;
  const ProtocolType protocol = ctx.protocol();
  const bool xcTrainer = protocol == ProtocolType::kXcTrainerMxp;
  try {
    if (!OpenLine(ctx, kMxpBaud, UsesSoftwareFlow(protocol))) return NotOpened(ctx);
    const std::string model(ModelName(protocol));
    std::string raw;
    raw.reserve(1000);
    MxpDecoder decoder(xcTrainer ? "@xc" : "@tn");
    decoder.points().reserve(1000);
    LineAssembler line;
    int error = kMxpOk;
    Clock::time_point firstPoint{};
    ctx.Status("Waiting for data");

    const auto onLine = [&](std::string_view text) {
      const bool hadHeader = decoder.headerSeen();
      const uint32_t before = decoder.received();
      error = decoder.Feed(text);
      if (error != kMxpOk) return false;
      if (!hadHeader) {
        ctx.Product(MxpInstrumentText(decoder.header()));
        firstPoint = Clock::now();
        return !decoder.complete();
      }
      if (decoder.received() > before) {
        const uint32_t n = decoder.received();
        ctx.NotifyPosition(decoder.points().back());
        if (n % 100 == 0) {
          const auto elapsed =
              std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - firstPoint).count();
          const int32_t left = CountRemainingTime(elapsed, decoder.header().positions, n);
          ctx.Progress("Track position % of % (%m %s)", n, decoder.header().positions, left / 60, left % 60);
          ctx.Notify(FormatProgress("Progress %/%", n, decoder.header().positions));
        }
      }
      return !decoder.complete();
    };

    const ListenEnd end = Listen(ctx, true, std::chrono::milliseconds(0), [&](uint8_t b) {
      raw.push_back(static_cast<char>(b));
      switch (line.Add(b)) {
        case LineAssembler::Feed::kMore: return true;
        case LineAssembler::Feed::kTooLong: error = kMxpTooLong; return false;
        case LineAssembler::Feed::kComplete: return onLine(line.line());
      }
      return true;
    });
    // An abort that came with the last byte still wins: nothing is delivered.
    if (end == ListenEnd::kAborted || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (error != kMxpOk) {
      ctx.ShowMessage(kCaptionDecode, MxpErrorText(error));
      return TransferResult::Failure();
    }
    if (end != ListenEnd::kStopped || !decoder.complete()) {
      ctx.ShowMessage(kCaptionTrackLog, "E201 COM port read error");
      return TransferResult::Failure();
    }

    const MxpHeader& header = decoder.header();
    TrackLogPayload payload;
    payload.log.points = std::move(decoder.points());
    payload.log.source = TrackLogSource::kXcTrainer;
    payload.log.hasBaroHeight = header.variant != HeightVariant::kGpsOnly;
    payload.log.sourceProtocol = protocol;
    payload.log.instrumentText = MxpInstrumentText(header).substr(0, kInstrumentTextMax);
    payload.log.modelName = model;
    payload.log.identification = model + ": " + std::to_string(header.serial);
    payload.log.extraData.assign(raw.begin(), raw.end());
    ctx.Progress("% points received", static_cast<int64_t>(payload.log.points.size()));
    return TransferResult::Track(std::move(payload));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E200 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::xctrainer
