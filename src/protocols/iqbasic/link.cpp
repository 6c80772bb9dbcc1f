#include "protocols/iqbasic/link.h"

namespace skylode::iqbasic {
namespace {

constexpr std::string_view kCaptionRequest = "Request PA data";
constexpr std::string_view kCaptionProduct = "Request product data";
constexpr std::string_view kCaptionGet = "Get GPS product data";
constexpr size_t kPrefixCompared = 7;
constexpr size_t kMaxBytePairs = 4;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string TwoDigits(uint32_t v) { return {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

Reply AbortedReply(TransferContext& ctx) {
  flytec::Aborted(ctx);
  return Reply::kAborted;
}

}  // namespace

flytec::FlytecTiming IqTiming::Igc() const {
  flytec::FlytecTiming t;
  t.beforeFlightRequest = beforeFlightRequest;
  t.flightSilence = flightSilence;
  return t;
}

IqTiming ScaledIqTiming(double scale) {
  IqTiming t;
  for (auto* d : {&t.replySilence, &t.afterReply, &t.listSilence, &t.beforeFlightRequest, &t.flightSilence,
                  &t.waypointSilence, &t.uploadAnswerSilence, &t.uploadPause})
    *d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d->count()) * scale + 0.5));
  return t;
}

bool LineReader::Feed(uint8_t byte) {
  if (complete_) {
    line_.clear();
    crSeen_ = false;
    complete_ = false;
  }
  started_ = true;
  if (byte == '\n') {
    complete_ = true;
    started_ = false;
    return true;
  }
  if (byte == '\r') crSeen_ = true;
  if (!crSeen_ && line_.size() < kLineMax) line_.push_back(static_cast<char>(byte));
  return false;
}

HexReply ParseHexReply(std::string_view line, std::string_view prefix, uint32_t& value) {
  const size_t compared = std::min(prefix.size(), kPrefixCompared);
  if (line.size() < compared || line.substr(0, compared) != prefix.substr(0, compared)) return HexReply::kWrongPrefix;
  std::string_view rest = line.substr(compared);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.empty() || rest.size() % 2 != 0 || rest.size() / 2 > kMaxBytePairs) return HexReply::kFormatError;
  uint32_t v = 0;
  for (size_t pair = 0; pair < rest.size() / 2; ++pair) {
    const int hi = HexDigit(rest[2 * pair]), lo = HexDigit(rest[2 * pair + 1]);
    if (hi < 0 || lo < 0) return HexReply::kFormatError;
    v |= static_cast<uint32_t>(hi * 16 + lo) << (8 * pair);
  }
  value = v;
  return HexReply::kOk;
}

Reply SendAndReadLine(TransferContext& ctx, const IqTiming& timing, std::string_view command, bool timeoutIsError,
                      std::string& line) {
  if (ctx.aborted()) return AbortedReply(ctx);
  if (!flytec::SendCommand(ctx, command)) {
    if (ctx.aborted()) return AbortedReply(ctx);
    ctx.ShowMessage(kCaptionRequest, "COM port write error");
    return Reply::kFailed;
  }
  LineReader reader;
  bool got = false;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.replySilence, [&](uint8_t b) {
    if (!reader.Feed(b)) return true;
    got = true;
    return false;
  });
  if (end == flytec::ReceiveEnd::kAborted) return AbortedReply(ctx);
  if (end == flytec::ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionRequest, "COM port read error");
    return Reply::kFailed;
  }
  if (!got) {
    if (!timeoutIsError) return Reply::kNoLine;
    ctx.ShowMessage(kCaptionRequest, "Response timeout");
    return Reply::kFailed;
  }
  line = reader.line();
  if (!ctx.Pause(timing.afterReply)) return AbortedReply(ctx);
  return Reply::kLine;
}

std::string ModelName(uint32_t deviceType) { return deviceType == 0 ? "6015" : "IQ-BASIC"; }

std::string IdentificationText(const IqProduct& p) {
  const uint32_t v = p.softwareVersion;
  return p.model + ", SW " + std::to_string(v / 1000) + "." + std::to_string(v / 100 % 10) + "." + TwoDigits(v % 100) +
         ", S/N " + std::to_string(p.serialNumber);
}

Step IqReadProductData(TransferContext& ctx, const IqTiming& timing, IqProduct& product) {
  ctx.Product("");
  // A binary-clean line: the instrument knows no flow control.
  if (!ctx.hasPort() && !ctx.OpenPort(kIqBaud, false)) return ctx.aborted() ? Step::kAborted : Step::kFailed;

  std::string line;
  bool serial = false;
  for (int32_t left = ctx.HalfConnectAttempts(); left > 0 && !serial; --left) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.Progress("Requesting product info (%)", left);
    const Reply r = SendAndReadLine(ctx, timing, kSerialCommand, false, line);
    if (r == Reply::kAborted) return Step::kAborted;
    if (r == Reply::kFailed) return Step::kFailed;
    serial = r == Reply::kLine && ParseHexReply(line, "RPA_00_", product.serialNumber) == HexReply::kOk;
  }
  if (!serial) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionGet, "No valid response from GPS");
    return Step::kFailed;
  }

  struct Query {
    std::string_view command, prefix, responseError, formatError;
    uint32_t* value;
  };
  const Query queries[] = {
      {kDeviceTypeCommand, "RPA_01_", "Device type response error", "Device type format error", &product.deviceType},
      {kVersionCommand, "RPA_02_", "Software version response error", "Software version format error",
       &product.softwareVersion},
  };
  for (const Query& q : queries) {
    const Reply r = SendAndReadLine(ctx, timing, q.command, true, line);
    if (r == Reply::kAborted) return Step::kAborted;
    if (r != Reply::kLine) return Step::kFailed;
    switch (ParseHexReply(line, q.prefix, *q.value)) {
      case HexReply::kOk:
        break;
      case HexReply::kWrongPrefix:
        ctx.ShowMessage(kCaptionProduct, q.responseError);
        return Step::kFailed;
      case HexReply::kFormatError:
        ctx.ShowMessage(kCaptionProduct, q.formatError);
        return Step::kFailed;
    }
  }
  product.model = ModelName(product.deviceType);
  ctx.Status("Product data read");
  ctx.Product(IdentificationText(product));
  return Step::kOk;
}

}  // namespace skylode::iqbasic
