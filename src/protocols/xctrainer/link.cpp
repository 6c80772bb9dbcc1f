#include "protocols/xctrainer/link.h"

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
  // No silence limit: listen until the sink, an abort or the line ends it.
  const auto limit = silence.count() > 0 ? silence : std::chrono::milliseconds(std::chrono::hours(24 * 366));
  bool stopped = false;
  const IoResult r = ReadUntilSilence(
      ctx.port(),
      [&](uint8_t b) {
        if (dropFlowControl && (b == kXon || b == kXoff)) return true;
        if (sink(b)) return true;
        stopped = true;
        return false;
      },
      limit, ctx.cancel());
  if (r.status == IoStatus::kCancelled || ctx.aborted()) return ListenEnd::kAborted;
  if (!r.ok()) return ListenEnd::kReadError;
  return stopped ? ListenEnd::kStopped : ListenEnd::kSilence;
}

}  // namespace skylode::xctrainer
