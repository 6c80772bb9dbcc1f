#include "protocols/digifly/mlr_link.h"

#include <thread>

#include "protocols/families.h"

namespace skylode::mlr {

namespace {

constexpr size_t kFieldMax = 40;
constexpr std::string_view kReplyPrefix = "$PMLR,IDGPS,01,";
constexpr std::string_view kCaptionRequest = "Requesting GPS product data";
constexpr std::string_view kCaptionReading = "Reading product data";
constexpr std::string_view kCaptionNoReply = "Get GPS product data";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::chrono::milliseconds Scale(std::chrono::milliseconds d, double scale) {
  return std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d.count()) * scale));
}

}  // namespace

uint32_t MlrBaud() { return DigiflyFamily().lineSpeeds.front(); }

MlrTiming MlrTiming::Scaled(double scale) {
  MlrTiming t;
  t.productReplyWindow = Scale(t.productReplyWindow, scale);
  t.dataSilence = Scale(t.dataSilence, scale);
  t.beforeStop = Scale(t.beforeStop, scale);
  t.betweenWaypoints = Scale(t.betweenWaypoints, scale);
  return t;
}

std::string_view ModelOf(std::string_view text) {
  if (text.starts_with("DGIFLY ")) return "Digifly";
  if (text.starts_with("CPILOT ")) return "CPilot";
  return "MLR";
}

void ProductReplyParser::Reset() {
  prefix_.clear();
  field_ = -1;
  for (auto& f : fields_) f.clear();
  check_.clear();
  xor_ = 0;
  afterCr_ = false;
}

ProductReplyParser::Feed ProductReplyParser::Add(uint8_t b) {
  const char c = static_cast<char>(b);
  if (field_ < 0) {
    if (prefix_.empty() && c != '$') return Feed::kMore;
    prefix_.push_back(c);
    if (c != kReplyPrefix[prefix_.size() - 1]) {
      Reset();
      if (c == '$') prefix_.push_back(c);
      return Feed::kMore;
    }
    if (prefix_.size() > 1) xor_ ^= b;
    if (prefix_.size() == kReplyPrefix.size()) field_ = 0;
    return Feed::kMore;
  }
  if (field_ < 4) {
    std::string& f = fields_[field_];
    const char end = field_ == 3 ? '*' : ',';
    if (c == end) {
      if (end == ',') xor_ ^= b;
      ++field_;
      return Feed::kMore;
    }
    if (c == '\r' || c == '\n' || f.size() >= kFieldMax || (f.empty() && c == ' ')) return Feed::kError;
    xor_ ^= b;
    f.push_back(c);
    return Feed::kMore;
  }
  if (field_ == 4) {
    if (check_.size() < 2) {
      if (HexDigit(c) < 0) return Feed::kError;
      check_.push_back(c);
      return Feed::kMore;
    }
    if (c != '\r') return Feed::kError;
    if (HexDigit(check_[0]) * 16 + HexDigit(check_[1]) != xor_) return Feed::kError;
    field_ = 5;
    return Feed::kMore;
  }
  // The byte after CR closes the reply, whatever it is.
  product_.product = fields_[0];
  product_.second = fields_[1];
  product_.serial = fields_[2];
  product_.fourth = fields_[3];
  product_.model = std::string(ModelOf(product_.product));
  product_.identification = (product_.model + ": " + product_.serial).substr(0, 50);
  return Feed::kComplete;
}

bool SendText(TransferContext& ctx, std::string_view text) { return ctx.port().WriteText(text, ctx.cancel()).ok(); }

ListenEnd Listen(TransferContext& ctx, std::chrono::milliseconds silence, const std::function<bool(uint8_t)>& sink) {
  // No silence limit: listen until the sink, an abort or the line ends it.
  const auto limit = silence.count() > 0 ? silence : std::chrono::milliseconds(std::chrono::hours(24 * 366));
  bool stopped = false;
  const IoResult r = ReadUntilSilence(
      ctx.port(),
      [&](uint8_t b) {
        if (sink(b)) return true;
        stopped = true;
        return false;
      },
      limit, ctx.cancel());
  if (r.status == IoStatus::kCancelled || ctx.aborted()) return ListenEnd::kAborted;
  if (!r.ok()) return ListenEnd::kReadError;
  return stopped ? ListenEnd::kStopped : ListenEnd::kSilence;
}

ListenEnd ListenWithin(TransferContext& ctx, std::chrono::milliseconds window,
                       const std::function<bool(uint8_t)>& sink) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  bool late = false;
  const ListenEnd end = Listen(ctx, window, [&](uint8_t b) {
    if (std::chrono::steady_clock::now() >= deadline) {
      late = true;
      return false;
    }
    return sink(b);
  });
  return late ? ListenEnd::kSilence : end;
}

void SendStop(TransferContext& ctx, const MlrTiming& timing) {
  if (!ctx.hasPort()) return;
  ctx.port().Purge();
  std::this_thread::sleep_for(timing.beforeStop);  // also after an abort: the stop must still go out
  ctx.port().WriteText(kStopCommand, CancelToken());
}

Step MlrReadProductData(TransferContext& ctx, const MlrTiming& timing, MlrProduct& product) {
  ctx.Product("");
  if (!ctx.hasPort() && !ctx.OpenPort(ctx.baudRate() != 0 ? ctx.baudRate() : MlrBaud(), false)) return ctx.aborted() ? Step::kAborted : Step::kFailed;
  const auto aborted = [&] {
    ctx.Status("Transfer aborted");
    SendStop(ctx, timing);
    return Step::kAborted;
  };
  for (int32_t left = ctx.HalfConnectAttempts(); left > 0; --left) {
    if (ctx.aborted()) return aborted();
    ctx.Progress("Requesting product info (%)", static_cast<int64_t>(left) * 2);
    if (!SendText(ctx, kProductQuery)) {
      if (ctx.aborted()) return aborted();
      ctx.ShowMessage(kCaptionRequest, "COM port write error");
      return Step::kFailed;
    }
    ProductReplyParser parser;
    bool complete = false;
    const ListenEnd end = ListenWithin(ctx, timing.productReplyWindow, [&](uint8_t b) {
      switch (parser.Add(b)) {
        case ProductReplyParser::Feed::kMore: return true;
        case ProductReplyParser::Feed::kError: parser.Reset(); return true;
        case ProductReplyParser::Feed::kComplete: complete = true; return false;
      }
      return true;
    });
    if (end == ListenEnd::kAborted) return aborted();
    if (end == ListenEnd::kReadError) {
      ctx.ShowMessage(kCaptionReading, "COM port read error");
      SendStop(ctx, timing);
      return Step::kFailed;
    }
    SendStop(ctx, timing);
    if (complete) {
      product = parser.product();
      ctx.Status("Product data read");
      ctx.Product(product.product);
      return Step::kOk;
    }
  }
  ctx.ShowMessage(kCaptionNoReply, "No valid response from GPS");
  return Step::kFailed;
}

}  // namespace skylode::mlr
