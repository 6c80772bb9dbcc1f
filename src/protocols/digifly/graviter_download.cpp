#include "protocols/digifly/graviter_download.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "protocols/digifly/graviter_image.h"
#include "protocols/families.h"

namespace skylode::graviter {

namespace {

constexpr std::string_view kCaptionTrackLog = "Read GPS track log";

uint32_t GraviterBaud() { return DigiflyFamily().lineSpeeds[1]; }

}  // namespace

Step GraviterReadProductData(TransferContext& ctx, const mlr::MlrTiming& timing, std::string& model,
                             std::string& id) {
  ctx.Product("");
  if (!ctx.hasPort() && !ctx.OpenPort(ctx.baudRate() != 0 ? ctx.baudRate() : GraviterBaud(), false))
    return ctx.aborted() ? Step::kAborted : Step::kFailed;
  for (int32_t left = ctx.HalfConnectAttempts(); left > 0; --left) {
    if (ctx.aborted()) break;
    ctx.Progress("Requesting product info (%)", static_cast<int64_t>(left) * 2);
    if (!mlr::SendText(ctx, "V")) {
      if (ctx.aborted()) break;
      ctx.ShowMessage("Requesting GPS product data", "COM port write error");
      return Step::kFailed;
    }
    std::string line, product, serial;
    bool complete = false;
    const mlr::ListenEnd end = mlr::ListenWithin(ctx, timing.productReplyWindow, [&](uint8_t b) {
      if (b == '\n') {
        if (!line.empty() && line.back() == '\r' && ParseProductLine(line.substr(0, line.size() - 1), product, serial)) {
          complete = true;
          return false;
        }
        line.clear();
        return true;
      }
      if (line.size() < 100) line.push_back(static_cast<char>(b));
      return true;
    });
    if (end == mlr::ListenEnd::kAborted) break;
    if (end == mlr::ListenEnd::kReadError) {
      ctx.ShowMessage("Reading product data", "COM port read error");
      return Step::kFailed;
    }
    if (complete) {
      ctx.Status("Product data read");
      ctx.Product(product);
      model = "Graviter";
      id = (model + ": " + serial).substr(0, 50);
      return Step::kOk;
    }
  }
  if (ctx.aborted()) {
    ctx.Status("Transfer aborted");
    return Step::kAborted;
  }
  ctx.ShowMessage("Get GPS product data", "No valid response from GPS");
  return Step::kFailed;
}

bool ParseProductLine(const std::string& line, std::string& product, std::string& serial) {
  if (line.size() != 40 || line[20] != ' ' || line[25] != ' ' || line[31] != ' ') return false;
  product = line.substr(0, 20);
  while (!product.empty() && product.back() == ' ') product.pop_back();
  serial = line.substr(26, 5);
  return true;
}

TransferResult GraviterReadTrackLog(TransferContext& ctx, const mlr::MlrTiming& timing) {
  try {
    std::string model, identification;
    switch (GraviterReadProductData(ctx, timing, model, identification)) {
      case Step::kOk: break;
      case Step::kAborted: return TransferResult::Cancelled();
      case Step::kFailed: return TransferResult::Failure();
    }
    ctx.Status("Requesting track log");
    if (!ctx.Pause(timing.afterCommand)) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (!mlr::SendText(ctx, "y")) {
      if (ctx.aborted()) return TransferResult::Cancelled();
      ctx.ShowMessage(kCaptionTrackLog, "E201 COM port write error");
      return TransferResult::Failure();
    }
    std::vector<uint8_t> image;
    image.reserve(kBufferSize - kImageOffset);
    bool overflow = false;
    const mlr::ListenEnd end = mlr::Listen(ctx, timing.productReplyWindow, [&](uint8_t b) {
      // The image is stored from its offset: only what fits behind it counts.
      if (image.size() >= kBufferSize - kImageOffset) {
        overflow = true;
        return false;
      }
      image.push_back(b);
      if (image.size() % 2000 == 0) ctx.Progress("% bytes received", static_cast<int64_t>(image.size()));
      return true;
    });
    if (end == mlr::ListenEnd::kAborted || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (end == mlr::ListenEnd::kReadError) {
      ctx.ShowMessage(kCaptionTrackLog, "E203 COM port read error");
      return TransferResult::Failure();
    }
    if (overflow) {
      ctx.ShowMessage(kCaptionTrackLog, "E206 Serial data buffer overflow");
      return TransferResult::Failure();
    }
    ctx.Progress("% bytes received", static_cast<int64_t>(image.size()));
    Decoded d = DecodeImage(image);
    if (d.error != 0) {
      ctx.ShowMessage(kCaptionTrackLog, FormatProgress("E205 Format error %", d.error));
      return TransferResult::Failure();
    }
    bool skip = false;
    for (const EmptyTrack& e : d.empty) {
      if (skip) break;
      char text[160];
      std::snprintf(text, sizeof text,
                    "The track log starting at %d-%02d-%02d  %02d:%02d does not contain any valid GPS positions",
                    e.year, e.month, e.day, e.hour, e.minute);
      skip = ctx.NotifySkippable("No log positions", text);
    }
    if (ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    ctx.Progress("% points received", static_cast<int64_t>(d.points.size()));
    TrackLogPayload payload;
    payload.log.points = std::move(d.points);
    payload.log.source = TrackLogSource::kGraviter;
    payload.log.hasBaroHeight = false;
    payload.log.sourceProtocol = ctx.protocol();
    payload.log.modelName = model;
    payload.log.identification = identification;
    return TransferResult::Track(std::move(payload));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E200 Track log memory allocation", std::strerror(ENOMEM));
    return TransferResult::Failure();
  }
}

}  // namespace skylode::graviter
