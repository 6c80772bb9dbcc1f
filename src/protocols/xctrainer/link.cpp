#include "protocols/xctrainer/link.h"

#include <array>

#include "protocols/xctrainer/lines.h"

namespace skylode::xctrainer {

bool UsesSoftwareFlow(ProtocolType protocol) {
  return protocol == ProtocolType::kXcTrainer || protocol == ProtocolType::kXcTrainerMxp;
}

std::string_view ModelName(ProtocolType protocol) {
  switch (protocol) {
    case ProtocolType::kXcTrainer:
    case ProtocolType::kXcTrainerMxp: return "XcTrainer";
    case ProtocolType::kTopNavigatorTncm:
    case ProtocolType::kTopNavigatorMxp: return "TopNav";
    default: return "Unknown";
  }
}

bool OpenLine(TransferContext& ctx, uint32_t baud, bool softwareFlow) {
  if (ctx.hasPort()) return true;
  return ctx.OpenPort(ctx.baudRate() != 0 ? ctx.baudRate() : baud, softwareFlow);
}

ListenEnd Listen(TransferContext& ctx, bool dropFlowControl, std::chrono::milliseconds silence,
                 const std::function<bool(uint8_t)>& sink) {
  using Clock = std::chrono::steady_clock;
  std::array<uint8_t, 200> chunk;
  auto lastByte = Clock::now();
  for (;;) {
    if (ctx.aborted()) return ListenEnd::kAborted;
    if (silence.count() > 0 && Clock::now() - lastByte >= silence) return ListenEnd::kSilence;
    const IoResult r = ctx.port().ReadAvailable(chunk);
    if (r.status == IoStatus::kCancelled) return ListenEnd::kAborted;
    if (!r.ok()) return ListenEnd::kReadError;
    if (r.count == 0) continue;
    lastByte = Clock::now();
    for (size_t i = 0; i < r.count; ++i) {
      if (dropFlowControl && (chunk[i] == kXon || chunk[i] == kXoff)) continue;
      if (!sink(chunk[i])) {
        // What came after the end belongs to nobody, but stays readable.
        ctx.port().Unread(std::span<const uint8_t>(chunk.data() + i + 1, r.count - i - 1));
        return ListenEnd::kStopped;
      }
    }
  }
}

}  // namespace skylode::xctrainer
