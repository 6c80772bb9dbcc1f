#include "protocols/logit/register.h"

#include "protocols/logit/download.h"
#include "protocols/logit/logger_commands.h"

namespace skylode {

void RegisterLogItWorkers(DeviceAccessTable& table, const logit::LogItTiming& timing) {
  using A = AccessType;
  using P = ProtocolType;
  table.Register(A::kReadTrackLog, P::kLogIt, [timing](TransferContext& ctx) { return logit::LogItReadTrackLog(ctx, timing); });
  table.Register(A::kReadLoggerData, P::kLogIt, [timing](TransferContext& ctx) { return logit::LogItReadData(ctx, timing); });
  table.Register(A::kEraseTrackLog, P::kLogIt, [timing](TransferContext& ctx) { return logit::LogItErase(ctx, timing); });
  table.Register(A::kWriteSettings, P::kLogIt, [timing](TransferContext& ctx) { return logit::LogItWriteName(ctx, timing); });
}

}  // namespace skylode
