#include "protocols/xctrainer/tnc_download.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "formats/tnc_log.h"
#include "protocols/xctrainer/lines.h"
#include "protocols/xctrainer/link.h"

namespace skylode::xctrainer {

TransferResult TncReadTrackLog(TransferContext& ctx) {
  const ProtocolType protocol = ctx.protocol();
  const bool xcTrainer = protocol == ProtocolType::kXcTrainer;
  try {
    if (!OpenLine(ctx, xcTrainer ? kMxpBaud : kWaypointBaud, UsesSoftwareFlow(protocol))) return NotOpened(ctx);
    const std::string model(ModelName(protocol));
    ctx.Product(xcTrainer ? "XC Trainer" : "Top Navigator");
    std::string raw;
    raw.reserve(1000);
    TncDecoder decoder(xcTrainer);
    decoder.points().reserve(100);
    LineAssembler line;
    int error = 0;
    bool tooLong = false;
    ctx.Status("Waiting for data");

    const ListenEnd end = Listen(ctx, true, std::chrono::milliseconds(0), [&](uint8_t b) {
      raw.push_back(static_cast<char>(b));
      switch (line.Add(b)) {
        case LineAssembler::Feed::kMore: return true;
        case LineAssembler::Feed::kTooLong: tooLong = true; return false;
        case LineAssembler::Feed::kComplete: break;
      }
      const size_t before = decoder.points().size();
      error = decoder.Feed(line.line());
      if (error != 0) return false;
      const size_t n = decoder.points().size();
      if (n > before) {
        // Points arrive a block at a time, when the next block line or
        // "@EOF" closes their block.
        for (size_t k = before; k < n; ++k) ctx.NotifyPosition(decoder.points()[k]);
        ctx.Progress("% points received", static_cast<int64_t>(n));
        ctx.Notify(FormatProgress("Progress %/?", static_cast<int64_t>(n)));
      }
      return decoder.state() != TncDecoder::State::kDone;
    });
    if (end == ListenEnd::kAborted || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (tooLong) {
      ctx.ShowMessage(kCaptionTrackLog, "E203 Too long sentence");
      return TransferResult::Failure();
    }
    if (error != 0) {
      ctx.ShowMessage(kCaptionTrackLog, error == 12 ? std::string("E200 Track log memory allocation")
                                                    : FormatProgress("E202 Format error %", error));
      return TransferResult::Failure();
    }
    if (decoder.state() != TncDecoder::State::kDone) {
      ctx.ShowMessage(kCaptionTrackLog, "E201 COM port read error");
      return TransferResult::Failure();
    }

    TrackLogPayload payload;
    payload.log.points = std::move(decoder.points());
    payload.log.source = TrackLogSource::kXcTrainer;
    payload.log.hasBaroHeight = decoder.hasBaroHeight();
    payload.log.sourceProtocol = protocol;
    payload.log.modelName = model;
    payload.log.identification = model + ": " + std::to_string(decoder.serial());
    payload.log.extraData.assign(raw.begin(), raw.end());
    ctx.Progress("% points received", static_cast<int64_t>(payload.log.points.size()));
    if (decoder.errorBlocks() > 0)
      ctx.ShowMessage(kCaptionTrackLog, FormatProgress("Error(s) in % block(s) ignored", decoder.errorBlocks()),
                      MessageIcon::kWarning);
    return TransferResult::Track(std::move(payload));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E200 Track log memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace skylode::xctrainer
