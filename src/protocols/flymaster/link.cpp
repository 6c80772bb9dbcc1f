#include "protocols/flymaster/link.h"

#include <span>

#include "access/sentence.h"

namespace skylode::flymaster {
namespace {

constexpr std::string_view kCaptionRequest = "Requesting GPS product data";
constexpr std::string_view kCaptionReading = "Reading product data";
constexpr std::string_view kCaptionGet = "Get GPS product data";

}  // namespace

FlymasterTiming ScaledTiming(double scale) {
  FlymasterTiming t;
  for (std::chrono::milliseconds* d : {&t.productReplyWindow, &t.afterProductData, &t.listSilence, &t.blockSilence,
                                       &t.waypointReply, &t.betweenWaypoints, &t.afterSetData})
    *d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d->count()) * scale + 0.5));
  return t;
}

bool SendBytes(TransferContext& ctx, std::string_view bytes) {
  if (ctx.aborted()) return false;
  return ctx.port().WriteText(bytes, ctx.cancel()).ok();
}

bool SendByte(TransferContext& ctx, uint8_t byte) {
  const char c = static_cast<char>(byte);
  return SendBytes(ctx, std::string_view(&c, 1));
}

ReceiveEnd Receive(TransferContext& ctx, std::chrono::milliseconds silence, const std::function<bool(uint8_t)>& sink,
                   std::chrono::milliseconds window) {
  bool stopped = false;
  const IoResult r = ReadUntilSilence(
      ctx.port(),
      [&](uint8_t b) {
        if (sink(b)) return true;
        stopped = true;
        return false;
      },
      silence, ctx.cancel(), window);
  if (r.status == IoStatus::kCancelled || ctx.aborted()) return ReceiveEnd::kAborted;
  if (r.status == IoStatus::kError || r.status == IoStatus::kHangUp) return ReceiveEnd::kReadError;
  return stopped ? ReceiveEnd::kStopped : ReceiveEnd::kSilence;
}

Step Aborted(TransferContext& ctx) {
  ctx.Status("Transfer aborted");
  return Step::kAborted;
}

std::string FieldText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ',' || c == '*' || c == '$' || u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

std::string Sentence(std::string_view body, bool upperDigits) {
  std::string s = "$";
  s += body;
  AppendChecksum(s, upperDigits ? ChecksumDigits::kUpper : ChecksumDigits::kLower);
  return s;
}

std::string ProductData::InstrumentText() const {
  return std::string(kModelName) + " " + product + "  SN" + serialNumber + "  SW" + softwareVersion;
}

std::string ProductData::Identification() const {
  std::string id = std::string(kModelName) + ": " + serialNumber;
  if (id.size() > kIdentificationMax) id.resize(kIdentificationMax);
  return id;
}

bool ParseProductReply(std::string_view line, ProductData& out) {
  std::vector<std::string_view> fields;
  if (CheckAndSplitSentence(line, fields, 5) < 5 || fields[0] != "$PBRSNP") return false;
  out.product = std::string(fields[1].substr(0, kProductNameMax));
  out.serialNumber = std::string(fields[3]);
  out.softwareVersion = std::string(fields[4].substr(0, kSoftwareVersionMax));
  return true;
}

Step ReadProductData(TransferContext& ctx, const FlymasterTiming& timing, ProductData& out) {
  ctx.Product("");
  if (!ctx.hasPort() && !ctx.OpenPort(kFlymasterBaud, false)) return ctx.aborted() ? Step::kAborted : Step::kFailed;
  for (int32_t left = ctx.HalfConnectAttempts(); left > 0; --left) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.Progress("Requesting product info (%)", left);
    if (!SendBytes(ctx, kProductDataCommand)) {
      if (ctx.aborted()) return Aborted(ctx);
      ctx.ShowMessage(kCaptionRequest, "COM port write error");
      return Step::kFailed;
    }
    SentenceLineCollector collector;
    bool answered = false;
    const ReceiveEnd end = Receive(
        ctx, timing.productReplyWindow,
        [&](uint8_t b) {
          if (!collector.Feed(b)) return true;
          answered = ParseProductReply(collector.Line(), out);
          return !answered;
        },
        timing.productReplyWindow);
    if (end == ReceiveEnd::kAborted) return Aborted(ctx);
    if (end == ReceiveEnd::kReadError) {
      ctx.ShowMessage(kCaptionReading, "COM port read error");
      return Step::kFailed;
    }
    if (answered) {
      ctx.Status("Product data read");
      ctx.Product(out.InstrumentText());
      if (!ctx.Pause(timing.afterProductData)) return Aborted(ctx);
      return Step::kOk;
    }
  }
  if (ctx.aborted()) return Aborted(ctx);
  ctx.ShowMessage(kCaptionGet, "No valid response from GPS");
  return Step::kFailed;
}

}  // namespace skylode::flymaster
