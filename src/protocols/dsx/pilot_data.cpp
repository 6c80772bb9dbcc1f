#include "protocols/dsx/pilot_data.h"

namespace skylode::dsx {
namespace {

constexpr std::string_view kCaptionSet = "Set DSX pilot data";
constexpr std::string_view kCaptionRequest = "Request user data";

constexpr FormField kFields[] = {
    {.label = "Pilot name", .maxLength = 62, .fill = FormFill::kPilotName},
    {.label = "Comp. ID", .maxLength = 6, .fill = FormFill::kCompetitionId},
    {.label = "CIVLID / Comp. class", .maxLength = 14, .fill = FormFill::kCivlId},
    {.label = "Glider / Call sign", .maxLength = 14},
    {.label = "Sponsor / Aircraft type", .maxLength = 14},
    {.label = "Telephone", .maxLength = kPilotFieldMax},
};

FormVerdict CheckAnswers(std::span<const std::string> values) {
  for (const std::string& v : values)
    if (!v.empty()) return {};
  return {FormVerdict::Kind::kNothingToSend, {}};
}

}  // namespace

// Only CR ends a command: the fields may hold anything else printable.
const FamilyForm kPilotDataForm{
    .title = "DSX pilot data",
    .note = "Blank/unchanged fields are not sent",
    .caption = kCaptionSet,
    .fields = kFields,
    .refused = "",
    .check = CheckAnswers,
};

namespace {

// One answer line: the text up to CR, 80 characters at most.
Step ReadField(TransferContext& ctx, const DsxTiming& timing, int field, std::string& value) {
  const std::string command = "E" + std::to_string(field) + "\r";
  if (!SendCommand(ctx, command)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionRequest, "COM port write error");
    return Step::kFailed;
  }
  value.clear();
  bool complete = false;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.fieldSilence, [&](uint8_t b) {
    if (b == '\r') {
      complete = true;
      return false;
    }
    if (b != '\n' && value.size() < kPilotFieldMax) value.push_back(static_cast<char>(b));
    return true;
  });
  if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
  if (end == flytec::ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionRequest, "COM port read error");
    return Step::kFailed;
  }
  if (!complete) {
    ctx.ShowMessage(kCaptionRequest, "Response timeout");
    return Step::kFailed;
  }
  if (!ctx.Pause(timing.afterField)) return flytec::Aborted(ctx);
  return Step::kOk;
}

Step WritePilotData(TransferContext& ctx, const DsxTiming& timing, const std::vector<std::string>& answers) {
  Step s = DsxConnect(ctx, timing);
  std::array<std::string, kPilotFieldCount> stored;
  for (size_t i = 0; i < kPilotFieldCount && s == Step::kOk; ++i) s = ReadField(ctx, timing, int(i) + 1, stored[i]);
  if (s != Step::kOk) return s;
  bool first = true;
  for (const std::string& command : ChangedFieldCommands(stored, answers)) {
    ctx.Status("Sending " + command.substr(0, 2));
    if (!first && !ctx.Pause(timing.betweenWrites)) return flytec::Aborted(ctx);
    first = false;
    if (!SendCommand(ctx, command)) {
      if (ctx.aborted()) return flytec::Aborted(ctx);
      ctx.ShowMessage(kCaptionSet, "COM port write error");
      return Step::kFailed;
    }
  }
  if (!SendCommand(ctx, kEndSessionCommand)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionSet, "COM port write error");
    return Step::kFailed;
  }
  ctx.Status("Data sent");
  return Step::kOk;
}

}  // namespace

std::vector<std::string> ChangedFieldCommands(const std::array<std::string, kPilotFieldCount>& stored,
                                              const std::vector<std::string>& answers) {
  std::vector<std::string> commands;
  for (size_t i = 0; i < kPilotFieldCount && i < answers.size(); ++i) {
    const std::string value = answers[i].substr(0, kPilotFieldMax);
    if (value.empty() || value == stored[i] || value == stored[i].substr(0, kFields[i].maxLength)) continue;
    commands.push_back("H" + std::to_string(i + 1) + value + "\r");
  }
  if (answers.size() > kPilotFieldCount && !answers[kPilotFieldCount].empty())
    commands.push_back("C1" + answers[kPilotFieldCount].substr(0, kPilotFieldMax) + "\r");
  return commands;
}

TransferResult DsxWritePilotData(TransferContext& ctx, const DsxTiming& timing) {
  const auto* form = std::get_if<FormAnswers>(&ctx.input());
  const std::vector<std::string> answers = form ? form->values : std::vector<std::string>{};
  const Step s = WritePilotData(ctx, timing, answers);
  if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
  if (s != Step::kOk) {
    // The last status line ends the transfer for the window.
    ctx.Status("");
    return TransferResult::Failure();
  }
  return TransferResult::Done();
}

}  // namespace skylode::dsx
