#include "protocols/digifly/graviter_name.h"

#include <cstdio>

#include "protocols/digifly/graviter_download.h"

namespace skylode::graviter {

namespace {

constexpr std::string_view kCaption = "Upload user name";

TransferResult Aborted(TransferContext& ctx) {
  ctx.Status("Transfer aborted");
  return TransferResult::Cancelled();
}

}  // namespace

std::vector<std::string> OwnerNameCommands(const std::string& name) {
  std::string padded = name.substr(0, kOwnerNameLength);
  padded.resize(kOwnerNameLength, ' ');
  std::vector<std::string> commands;
  for (size_t i = 0; i < padded.size(); ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "W%06u%03u", static_cast<unsigned>(kOwnerNameAddress + i),
                  static_cast<unsigned>(static_cast<unsigned char>(padded[i])));
    commands.emplace_back(text);
  }
  return commands;
}

TransferResult GraviterWriteName(TransferContext& ctx, const mlr::MlrTiming& timing) {
  const auto* answers = std::get_if<FormAnswers>(&ctx.input());
  if (answers == nullptr || answers->values.size() != 1) {
    ctx.ShowMessage(kCaption, "Missing input");
    return TransferResult::Failure();
  }
  const std::vector<std::string> commands = OwnerNameCommands(answers->values[0]);
  std::string model, identification;
  if (const Step s = GraviterReadProductData(ctx, timing, model, identification); s != Step::kOk)
    return mlr::EndedEarly(s);
  if (!ctx.Pause(timing.afterCommand)) return Aborted(ctx);
  if (!mlr::SendText(ctx, "T")) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaption, "E300 COM port write error");
    return TransferResult::Failure();
  }
  // The acknowledge is its first byte; whatever follows stays unread.
  std::string reply;
  const mlr::ListenEnd end = mlr::ListenWithin(ctx, timing.productReplyWindow, [&](uint8_t b) {
    reply.push_back(static_cast<char>(b));
    return false;
  });
  if (end == mlr::ListenEnd::kAborted) return Aborted(ctx);
  if (end == mlr::ListenEnd::kReadError) {
    ctx.ShowMessage(kCaption, "E301 COM port read error");
    return TransferResult::Failure();
  }
  if (reply.empty()) {
    ctx.ShowMessage(kCaption, "E302 Missing command acknowledge");
    return TransferResult::Failure();
  }
  if (reply[0] != '!') {
    ctx.ShowMessage(kCaption, "E303 Bad command acknowledge");
    return TransferResult::Failure();
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    if (ctx.aborted()) return Aborted(ctx);
    if (!mlr::SendText(ctx, commands[i])) {
      if (ctx.aborted()) return Aborted(ctx);
      ctx.ShowMessage(kCaption, "E304 COM port write error");
      return TransferResult::Failure();
    }
    ctx.Progress("Character % of % sent", static_cast<int64_t>(i + 1), static_cast<int64_t>(commands.size()));
  }
  // The last word on the status line: the transfer is over.
  ctx.Status("Name sent");
  return TransferResult::Done();
}

}  // namespace skylode::graviter
