#include "protocols/logit/logger_commands.h"

#include "protocols/logit/name_form.h"

namespace skylode::logit {

namespace {

struct CommandTexts {
  std::string_view caption, stopFailed, commandFailed, sent;
};

constexpr CommandTexts kEraseTexts{"Sending erase command", "E301 COM port write error", "E300 COM port write error",
                                   "Command sent (no verification)"};
constexpr CommandTexts kNameTexts{"Sending name", "E401 COM port write error", "E400 COM port write error",
                                  "Name sent (no verification)"};

// Stop, a pause, then the command; nothing comes back to read.
TransferResult SendCommand(TransferContext& ctx, const LogItTiming& timing, const CommandTexts& t,
                           std::string_view command) {
  if (!ctx.hasPort() && !ctx.OpenPort(kCommandBaud, false)) {
    if (ctx.aborted()) return TransferResult::Cancelled();
    ctx.Status("No serial port");
    return TransferResult::Failure();
  }
  const auto failed = [&](std::string_view status, std::string_view text) {
    if (ctx.aborted()) return TransferResult::Cancelled();
    ctx.Status(status);
    ctx.ShowMessage(t.caption, text);
    return TransferResult::Failure();
  };
  if (!SendText(ctx, kStopCommand)) return failed("COM port rite error", t.stopFailed);
  if (!ctx.Pause(timing.beforeCommand)) return TransferResult::Cancelled();
  if (!SendText(ctx, command)) return failed("Write error", t.commandFailed);
  ctx.Status(t.sent);
  return TransferResult::Done();
}

}  // namespace

TransferResult LogItReadData(TransferContext& ctx, const LogItTiming& timing) {
  LogItProduct product;
  if (const Step step = LogItReadProductData(ctx, timing, product); step != Step::kOk) return EndedEarly(step);
  ctx.ShowMessage("Product Data",
                  "Model: " + product.model + "\nUser name: " + product.userName +
                      "\nSerial No.: " + product.serialNumber + "\nSoftware: " + product.software,
                  MessageIcon::kInfo);
  return TransferResult::Done();
}

TransferResult LogItErase(TransferContext& ctx, const LogItTiming& timing) {
  return SendCommand(ctx, timing, kEraseTexts, kEraseCommand);
}

TransferResult LogItWriteName(TransferContext& ctx, const LogItTiming& timing) {
  const FamilyForm& form = kOwnerNameForm;
  const auto* answers = std::get_if<FormAnswers>(&ctx.input());
  const FormVerdict verdict =
      answers ? CheckForm(form, answers->values) : FormVerdict{FormVerdict::Kind::kRefuse, "Missing input"};
  // Whatever reached the worker without the form's check goes no further.
  if (verdict.kind == FormVerdict::Kind::kRefuse) {
    ctx.ShowMessage(kNameTexts.caption, verdict.message);
    return TransferResult::Failure();
  }
  if (verdict.kind == FormVerdict::Kind::kNothingToSend) return TransferResult::Done();
  return SendCommand(ctx, timing, kNameTexts, OwnerNameCommand(answers->values[0]));
}

}  // namespace skylode::logit
