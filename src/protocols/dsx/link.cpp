#include "protocols/dsx/link.h"

namespace skylode::dsx {
namespace {

constexpr std::string_view kCaption = "Opening connection to DSX";

}  // namespace

DsxTiming ScaledDsxTiming(double scale) {
  DsxTiming t;
  for (auto* d : {&t.promptWindow, &t.beforeSpeedChange, &t.listSilence, &t.flightSilence, &t.fieldSilence,
                  &t.afterField, &t.betweenWrites})
    *d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d->count()) * scale + 0.5));
  return t;
}

Step DsxConnect(TransferContext& ctx, const DsxTiming& timing) {
  ctx.Product("");
  // Flight text is plain, but the recorder knows no flow control.
  if (!ctx.hasPort() && !ctx.OpenPort(kDsxOpenBaud, false)) return ctx.aborted() ? Step::kAborted : Step::kFailed;
  bool connected = false;
  for (int32_t left = ctx.HalfConnectAttempts(); left > 0 && !connected; --left) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.Progress("Opening connection (%)", left);
    if (!SendCommand(ctx, kOpenCommand)) {
      if (ctx.aborted()) return flytec::Aborted(ctx);
      ctx.ShowMessage(kCaption, "E101 COM port write error");
      return Step::kFailed;
    }
    size_t matched = 0;
    const flytec::ReceiveEnd end = flytec::Receive(
        ctx, timing.promptWindow,
        [&](uint8_t b) {
          // A mismatch starts the match again, with this byte as its first.
          if (static_cast<char>(b) != kPrompt[matched]) matched = 0;
          if (static_cast<char>(b) == kPrompt[matched]) ++matched;
          connected = matched == kPrompt.size();
          return !connected;
        },
        timing.promptWindow);
    if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
    if (end == flytec::ReceiveEnd::kReadError) {
      ctx.ShowMessage(kCaption, "E102 COM port read error");
      return Step::kFailed;
    }
  }
  if (!connected) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaption, "No valid response from GPS");
    return Step::kFailed;
  }
  if (!SendCommand(ctx, kFastModeCommand)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaption, "E103 COM port write error");
    return Step::kFailed;
  }
  if (!ctx.Pause(timing.beforeSpeedChange)) return flytec::Aborted(ctx);
  if (!ctx.port().SetSpeed(kDsxFastBaud, false)) {
    ctx.ShowMessage(kCaption, "E104 COM port speed set error");
    return Step::kFailed;
  }
  return Step::kOk;
}

}  // namespace skylode::dsx
