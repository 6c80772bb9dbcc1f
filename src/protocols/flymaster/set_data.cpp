#include "protocols/flymaster/set_data.h"

#include "access/sentence.h"

namespace skylode::flymaster {
namespace {

constexpr std::string_view kCaptionData = "Set Flymaster data";

}  // namespace

std::optional<std::string> SetDataSentence(DataMode mode, const std::vector<std::string>& values) {
  std::vector<std::string> v;
  for (const std::string& value : values) v.push_back(FieldText(value));
  switch (mode) {
    case DataMode::kPilotData:
      if (v.size() != 4) return std::nullopt;
      return Sentence("PFMPLT," + v[0] + "," + v[1] + "," + v[2] + "," + v[3] + ",", false);
    case DataMode::kAltitudeAlarm: {
      if (v.size() != 1) return std::nullopt;
      const auto metres = ReadDecimal(v[0]);
      if (!metres || *metres <= 0) return std::nullopt;
      return Sentence("PFMALT," + std::to_string(*metres) + ",", false);
    }
    case DataMode::kIds:
      // Pilot name, competition ID, CIVL ID in the form; the sentence has the
      // IDs first.
      if (v.size() != 3) return std::nullopt;
      return Sentence("PFMIDS," + v[1] + "," + v[2] + "," + v[0], false);
  }
  return std::nullopt;
}

TransferResult FlymasterSetData(TransferContext& ctx, const FlymasterTiming& timing) {
  // Mode and answers were copied into the request when the transfer began;
  // nothing the window does now can reach them.
  const auto mode = static_cast<DataMode>(ctx.request().parameter);
  const auto* answers = std::get_if<FormAnswers>(&ctx.input());
  ProductData product;
  const Step s = ReadProductData(ctx, timing, product);
  if (s == Step::kAborted) return TransferResult::Cancelled();
  if (s != Step::kOk) return TransferResult::Failure();

  if (mode == DataMode::kPilotData && product.b1Nav()) {
    ctx.ShowMessage("Set pilot data", "Command not available for B1 NAV");
    return TransferResult::Failure();
  }
  if (mode == DataMode::kAltitudeAlarm && product.b1Nav()) {
    ctx.ShowMessage("Set altitude alarm", "Command not available for B1 NAV");
    return TransferResult::Failure();
  }
  if (mode == DataMode::kIds && !product.b1Nav()) {
    ctx.ShowMessage("Set pilot data", "Command available for B1 NAV only");
    return TransferResult::Failure();
  }
  const auto sentence = answers ? SetDataSentence(mode, answers->values) : std::nullopt;
  if (!sentence) {
    ctx.ShowMessage(kCaptionData, "Missing input");
    return TransferResult::Failure();
  }
  if (!SendBytes(ctx, *sentence)) {
    if (ctx.aborted()) return TransferResult::Cancelled();
    ctx.ShowMessage(kCaptionData, "E401 COM port write error");
    ctx.Status("");
    return TransferResult::Failure();
  }
  // No reply comes; the instrument needs a moment before the line closes.
  if (!ctx.Pause(timing.afterSetData)) return TransferResult::Cancelled();
  ctx.Status("Data sent");
  return TransferResult::Done();
}

}  // namespace skylode::flymaster
