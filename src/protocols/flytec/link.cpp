#include "protocols/flytec/link.h"

#include <array>
#include <span>
#include <vector>

#include "access/sentence.h"

namespace skylode::flytec {

FlytecTiming ScaledTiming(double scale) {
  FlytecTiming t;
  auto scaled = [scale](std::chrono::milliseconds& d) {
    d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d.count()) * scale + 0.5));
  };
  scaled(t.productReplyWindow);
  scaled(t.afterProductData);
  scaled(t.listSilence);
  scaled(t.beforeFlightRequest);
  scaled(t.flightSilence);
  scaled(t.waypointSilence);
  scaled(t.waypointPause);
  scaled(t.ctrPause);
  scaled(t.ctrArcPause);
  scaled(t.ctrAckSilence);
  scaled(t.ctrAckOkPause);
  scaled(t.ctrListSilence);
  return t;
}
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
constexpr size_t kReadChunk = 100;

constexpr std::string_view kCaptionRequest = "Requesting GPS product data";
constexpr std::string_view kCaptionReading = "Reading product data";
constexpr std::string_view kCaptionGet = "Get GPS product data";

}  // namespace

bool SendCommand(TransferContext& ctx, std::string_view command) {
  if (ctx.aborted()) return false;
  const auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(command.data()), command.size());
  return ctx.port().Write(bytes, ctx.cancel()).ok();
}

ReceiveEnd Receive(TransferContext& ctx, std::chrono::milliseconds silence,
                   const std::function<bool(uint8_t)>& sink, std::chrono::milliseconds window) {
  const auto start = Clock::now();
  const auto end = window >= std::chrono::hours(24) ? Clock::time_point::max() : start + window;
  auto lastByte = start;
  std::array<uint8_t, kReadChunk> chunk;
  for (;;) {
    if (ctx.aborted()) return ReceiveEnd::kAborted;
    const auto now = Clock::now();
    if (now - lastByte >= silence || now >= end) return ReceiveEnd::kSilence;
    const IoResult r = ctx.port().ReadAvailable(chunk);
    if (r.status == IoStatus::kCancelled) return ReceiveEnd::kAborted;
    if (!r.ok()) return ReceiveEnd::kReadError;
    if (r.count == 0) continue;
    lastByte = Clock::now();
    for (size_t i = 0; i < r.count; ++i) {
      if (chunk[i] == kXon || chunk[i] == kXoff) continue;
      if (!sink(chunk[i])) return ReceiveEnd::kStopped;
    }
  }
}

Step Aborted(TransferContext& ctx) {
  ctx.Status("Transfer aborted");
  return Step::kAborted;
}

Step FlytecReadProductData(TransferContext& ctx, const FlytecTiming& timing, InstrumentInfo& info) {
  ctx.Product("");
  // A line opened by the caller (a transport of its own, a test) is used as
  // it stands.
  if (!ctx.hasPort() && !ctx.OpenPort(kFlytecBaud, true)) return ctx.aborted() ? Step::kAborted : Step::kFailed;

  for (int32_t left = ctx.HalfConnectAttempts(); left > 0; --left) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.Progress("Requesting product info (%)", left);
    if (!SendCommand(ctx, kProductDataCommand)) {
      if (ctx.aborted()) return Aborted(ctx);
      ctx.ShowMessage(kCaptionRequest, "COM port write error");
      return Step::kFailed;
    }

    // The first line decides the attempt, whatever sentence it is.
    SentenceLineReader reader("", 5);
    bool answered = false;
    bool noPilot = false;
    bool settled = false;  // a reply was judged: wait out the window
    const ReceiveEnd end = Receive(
        ctx, timing.productReplyWindow,
        [&](uint8_t b) {
          if (settled || !reader.Feed(b)) return true;
          settled = true;
          if (reader.check() < 5) return true;
          switch (ParseProductReply(reader.fields(), info.product)) {
            case ProductReplyStatus::kOk:
              answered = true;
              return false;
            case ProductReplyStatus::kNoPilotName:
              noPilot = true;
              return false;
            case ProductReplyStatus::kNotProductData:
              return true;
          }
          return true;
        },
        timing.productReplyWindow);
    if (end == ReceiveEnd::kAborted) return Aborted(ctx);
    if (end == ReceiveEnd::kReadError) {
      ctx.ShowMessage(kCaptionReading, "COM port read error");
      return Step::kFailed;
    }
    if (noPilot) {
      ctx.ShowMessage(kCaptionReading, "Bad/missing user name");
      return Step::kFailed;
    }
    if (answered) {
      ctx.Status("Product data read");
      const ProductData& p = info.product;
      ctx.Product(p.product + ", SN" + p.serialNumber + ", SW" + p.softwareVersion);
      info.model = ModelName(p.product);
      if (!ctx.Pause(timing.afterProductData)) return Aborted(ctx);
      return Step::kOk;
    }
  }
  if (ctx.aborted()) return Aborted(ctx);
  ctx.ShowMessage(kCaptionGet, "No valid response from GPS");
  return Step::kFailed;
}

}  // namespace skylode::flytec
