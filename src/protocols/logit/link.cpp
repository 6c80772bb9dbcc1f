#include "protocols/logit/link.h"

#include <cstdio>

namespace skylode::logit {

namespace {

constexpr std::string_view kProductPrefix = "$PMLR,IDGPS,01,";
constexpr std::string_view kCountPrefix = "$PMLR,NUMTRACKPOINTS,";
constexpr size_t kShortFieldMax = 20;
constexpr size_t kSoftwareMax = 40;
// This firmware sends check digits that do not match its reply.
constexpr std::string_view kUncheckedSoftware = "1.02";

constexpr std::string_view kCaptionRequest = "Requesting GPS product data";
constexpr std::string_view kCaptionReading = "Reading product data";
constexpr std::string_view kCaptionNoReply = "Get GPS product data";
constexpr std::string_view kCaptionCount = "Read track point count";

bool IsLineEnd(uint8_t b) { return b == '\r' || b == '\n'; }

struct SpeedCommand {
  uint32_t baud;
  std::string_view command;
};
constexpr SpeedCommand kSpeedCommands[] = {
    {115200, "$PMLR,24,02,0103,039B\r\n"},
    {57600, "$PMLR,24,02,0102,039A\r\n"},
    {38400, "$PMLR,24,02,0101,0399\r\n"},
    {19200, "$PMLR,24,02,0100,0398\r\n"},
};

// Sends the stop command even after an abort: the logger must leave its
// download state.
bool SendStop(TransferContext& ctx) {
  return ctx.hasPort() && ctx.port().WriteText(kStopCommand, CancelToken()).ok();
}

enum class ReadEnd { kComplete, kAborted, kReadError, kTimeout, kFormatError };

// Feeds `parser` until it completes or fails, `window` passes, the line
// fails or the transfer is aborted.
template <typename Parser>
ReadEnd ReadReply(TransferContext& ctx, Parser& parser, std::chrono::milliseconds window, bool restartOnError,
                  int& error) {
  bool complete = false;
  const IoResult r = ReadUntilSilence(
      ctx.port(),
      [&](uint8_t b) {
        const int step = parser.Add(b);
        if (step == 0) {
          complete = true;
          return false;
        }
        if (step < 0) {
          error = -step;
          if (!restartOnError) return false;
          parser.Reset();
          // The byte that broke a reply may start the next one.
          if (b == '$') parser.Add(b);
        }
        return true;
      },
      window, ctx.cancel(), window);
  if (ctx.aborted() || r.status == IoStatus::kCancelled) return ReadEnd::kAborted;
  if (complete) return ReadEnd::kComplete;
  if (r.status == IoStatus::kError || r.status == IoStatus::kHangUp) return ReadEnd::kReadError;
  if (!restartOnError && error != 0) return ReadEnd::kFormatError;
  return ReadEnd::kTimeout;
}

}  // namespace

LogItTiming LogItTiming::Scaled(double scale) {
  LogItTiming t;
  for (auto* d : {&t.afterFirstStop, &t.productReplyWindow, &t.afterProductData, &t.pointCountWindow,
                  &t.afterPointCount, &t.beforeSpeedSwitch, &t.beforeStop, &t.afterResumeRequest, &t.beforeCommand,
                  &t.dataSilence})
    *d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d->count()) * scale + 0.5));
  return t;
}

uint16_t CharacterSum(std::string_view text) {
  uint16_t sum = 0;
  for (char c : text) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
  return sum;
}

std::string WithCharacterSum(std::string_view text) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04X", CharacterSum(text));
  return std::string(text) + digits + "\r\n";
}

std::string_view DownloadCommand(uint32_t baud) {
  for (const SpeedCommand& s : kSpeedCommands)
    if (s.baud == baud) return s.command;
  return {};
}

std::string ResumeCommand(int64_t point) { return WithCharacterSum("$PMLR,59," + std::to_string(point) + ","); }

std::string OwnerNameCommand(std::string_view name) {
  std::string padded(name.substr(0, kOwnerNameLength));
  padded.resize(kOwnerNameLength, ' ');
  return "$PMLR,IDGPS,01," + padded + ",       *00\r\n";
}

int HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string& ProductReplyParser::Field() {
  switch (field_) {
    case 0: return product_.model;
    case 1: return product_.userName;
    case 2: return product_.serialNumber;
    default: return product_.software;
  }
}

int ProductReplyParser::Add(uint8_t b) {
  if (matched_ < kProductPrefix.size()) {
    if (matched_ == 0 && b != '$') return 1;
    if (b != static_cast<uint8_t>(kProductPrefix[matched_])) return -1;
    if (matched_ > 0) xor_ ^= b;
    ++matched_;
    return 1;
  }
  if (field_ < 4) {
    if (IsLineEnd(b)) return -(2 + 2 * field_);
    const bool last = field_ == 3;
    if (b == (last ? '*' : ',')) {
      if (!last) xor_ ^= b;
      ++field_;
      return 1;
    }
    xor_ ^= b;
    std::string& f = Field();
    if (f.empty() && b == ' ') return 1;
    if (f.size() >= (last ? kSoftwareMax : kShortFieldMax)) return -(3 + 2 * field_);
    f.push_back(static_cast<char>(b));
    return 1;
  }
  if (field_ == 4) {
    if (IsLineEnd(b)) return -10;
    const int v = HexDigitValue(b);
    if (v < 0) return -11;
    check_ = check_ * 16 + v;
    if (++digits_ == 2) field_ = 5;
    return 1;
  }
  if (field_ == 5) {
    if (b != '\r') return -12;
    if (product_.software != kUncheckedSoftware && check_ != xor_) return -13;
    field_ = 6;
    return 1;
  }
  // The byte after CR closes the reply, whatever it is.
  return 0;
}

int PointCountParser::Add(uint8_t b) {
  if (matched_ < kCountPrefix.size()) {
    if (matched_ == 0 && b != '$') return 1;
    if (b != static_cast<uint8_t>(kCountPrefix[matched_])) return -1;
    if (matched_ > 0) xor_ ^= b;
    if (++matched_ == kCountPrefix.size()) state_ = 1;
    return 1;
  }
  switch (state_) {
    case 1:
      if (IsLineEnd(b)) return -2;
      if (b == '*') {
        state_ = 2;
        return 1;
      }
      if (b < '0' || b > '9') return -3;
      if (count_ >= 214748363) return -4;
      count_ = count_ * 10 + (b - '0');
      xor_ ^= b;
      return 1;
    case 2: {
      if (IsLineEnd(b)) return -5;
      const int v = HexDigitValue(b);
      if (v < 0) return -6;
      check_ = check_ * 16 + v;
      if (++digits_ == 2) state_ = 3;
      return 1;
    }
    case 3:
      if (b != '\r') return -7;
      if (check_ != xor_) return -8;
      state_ = 4;
      return 1;
    default:
      return 0;
  }
}

bool SendText(TransferContext& ctx, std::string_view text) { return ctx.port().WriteText(text, ctx.cancel()).ok(); }

std::string Identification(const LogItProduct& product) {
  return (product.model + ": " + product.serialNumber).substr(0, 50);
}

Step LogItReadProductData(TransferContext& ctx, const LogItTiming& timing, LogItProduct& product) {
  ctx.Product("");
  if (!ctx.hasPort() && !ctx.OpenPort(kCommandBaud, false)) return ctx.aborted() ? Step::kAborted : Step::kFailed;
  const auto aborted = [&] {
    ctx.Status("Transfer aborted");
    SendStop(ctx);
    return Step::kAborted;
  };
  const auto writeFailed = [&] {
    if (ctx.aborted()) return aborted();
    ctx.ShowMessage(kCaptionRequest, "COM port write error");
    return Step::kFailed;
  };
  if (!SendText(ctx, kStopCommand)) return writeFailed();
  ctx.Pause(timing.afterFirstStop);
  const int32_t attempts = ctx.ConnectAttempts();
  for (int32_t i = 0; i < attempts; i += 2) {
    if (ctx.aborted()) return aborted();
    ctx.Progress("Requesting product info (%)", (attempts - i) / 2);
    if (!SendText(ctx, kProductQuery)) return writeFailed();
    ProductReplyParser parser;
    int error = 0;
    switch (ReadReply(ctx, parser, timing.productReplyWindow, true, error)) {
      case ReadEnd::kAborted: return aborted();
      case ReadEnd::kReadError:
        SendStop(ctx);
        ctx.ShowMessage(kCaptionReading, "COM port read error");
        return Step::kFailed;
      case ReadEnd::kComplete: {
        if (!SendText(ctx, kStopCommand)) return writeFailed();
        product = parser.product();
        ctx.Status("Product data read");
        ctx.Product(product.model + " " + product.software.substr(0, 4) + " (" + product.userName + ")");
        ctx.Pause(timing.afterProductData);
        return ctx.aborted() ? aborted() : Step::kOk;
      }
      case ReadEnd::kTimeout:
      case ReadEnd::kFormatError:
        if (!SendText(ctx, kStopCommand)) return writeFailed();
        ctx.Pause(timing.afterFirstStop);
        break;
    }
  }
  ctx.ShowMessage(kCaptionNoReply, "No valid response from GPS");
  return Step::kFailed;
}

Step LogItReadPointCount(TransferContext& ctx, const LogItTiming& timing, const LogItProduct& product,
                         int32_t& total) {
  total = -1;
  if (product.model != kTracklogger) return Step::kOk;
  ctx.Status("Requesting track point count");
  if (!SendText(ctx, kPointCountCommand)) {
    if (ctx.aborted()) {
      SendStop(ctx);
      return Step::kAborted;
    }
    ctx.ShowMessage(kCaptionCount, "E500 COM port write error");
    return Step::kFailed;
  }
  PointCountParser parser;
  int error = 0;
  const ReadEnd end = ReadReply(ctx, parser, timing.pointCountWindow, false, error);
  if (end != ReadEnd::kComplete) SendStop(ctx);
  switch (end) {
    case ReadEnd::kAborted: return Step::kAborted;
    case ReadEnd::kTimeout: ctx.ShowMessage(kCaptionCount, "E501 Track point count request timeout"); return Step::kFailed;
    case ReadEnd::kReadError: ctx.ShowMessage(kCaptionCount, "E502 COM port read error"); return Step::kFailed;
    case ReadEnd::kFormatError: ctx.ShowMessage(kCaptionCount, FormatProgress("E503 Format error %", error)); return Step::kFailed;
    case ReadEnd::kComplete: break;
  }
  total = parser.count();
  ctx.Status("Track point count read");
  if (ctx.Pause(timing.afterPointCount)) return Step::kOk;
  SendStop(ctx);
  return Step::kAborted;
}

}  // namespace skylode::logit
