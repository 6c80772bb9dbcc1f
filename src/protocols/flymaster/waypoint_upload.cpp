#include "protocols/flymaster/waypoint_upload.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "access/sentence.h"
#include "records/angles.h"

namespace skylode::flymaster {
namespace {

constexpr std::string_view kCaptionUpload = "Waypoint upload error";
constexpr std::string_view kReplyPrefix = "$PFMWPR,";
constexpr size_t kReplyMax = 49;

// Thousandths of a minute, and the "DDMM.mmm" numbers of them.
struct Angle {
  int32_t whole = 0;
  int32_t fraction = 0;
  bool negative = false;
};

Angle ToAngle(int32_t semicircles) {
  const double radians = SemicirclesToRadians(semicircles);
  const auto a = static_cast<int64_t>(std::fabs(radians) * 3437746.770785 + 0.5);
  return {static_cast<int32_t>(a / 60000 * 100 + a / 1000 % 60), static_cast<int32_t>(a % 1000), radians < 0};
}

}  // namespace

WaypointSentence BuildWaypointSentence(const Waypoint& w, int32_t mode) {
  std::string name = mode == 3 ? w.id : mode == 2 ? w.id + " " + w.name : w.name;
  name = FieldText(name);
  name.resize(kWaypointNameWidth, ' ');
  const Angle lat = ToAngle(w.latitude);
  const Angle lon = ToAngle(w.longitude);
  const int32_t height = w.height < 0 ? 0 : w.height > 9999 ? 9999 : w.height;
  char body[96];
  std::snprintf(body, sizeof body, "PFMWPR,%04d.%03d,%c,%05d.%03d,%c,,%s,%04d", lat.whole, lat.fraction,
                lat.negative ? 'S' : 'N', lon.whole, lon.fraction, lon.negative ? 'W' : 'E', name.c_str(), height);
  return {Sentence(body, true), name};
}

int CheckWaypointReply(std::string_view line, std::string_view sentName, std::string_view softwareVersion) {
  std::vector<std::string_view> fields;
  const int n = CheckAndSplitSentence(line, fields, 5);
  switch (n) {
    case kSentenceNoStar: return 4;
    case kSentenceBadChecksumDigit: return 1;
    case kSentenceTrailingText: return 2;
    case kSentenceChecksumMismatch: return 3;
    default: break;
  }
  if (n < 0) return 4;
  if (softwareVersion == "1.14") {
    if (n < 2) return 5;
    return fields[1] == sentName ? 0 : 7;
  }
  std::string normalised(sentName);
  for (char& c : normalised) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = ' ';
  }
  if (n < 3) return 5;
  if (fields[1] != "ACK") return 6;
  return fields[2] == normalised ? 0 : 7;
}

TransferResult FlymasterSendWaypoints(TransferContext& ctx, const FlymasterTiming& timing) {
  const auto* list = std::get_if<WaypointList>(&ctx.input());
  const std::vector<Waypoint> none;
  const std::vector<Waypoint>& items = list ? list->items : none;
  const int32_t mode = ctx.request().parameter;
  ProductData product;
  const Step s = ReadProductData(ctx, timing, product);
  if (s == Step::kAborted) return TransferResult::Cancelled();
  if (s != Step::kOk) return TransferResult::Failure();

  const auto total = static_cast<int64_t>(items.size());
  int64_t errors = 0;
  int firstError = 0;
  for (int64_t i = 0; i < total; ++i) {
    if (ctx.aborted()) {
      ctx.Progress("% waypoints sent", i);
      return TransferResult::Cancelled();
    }
    const WaypointSentence out = BuildWaypointSentence(items[static_cast<size_t>(i)], mode);
    if (!SendBytes(ctx, out.sentence)) {
      ctx.Progress("% waypoints sent", i);
      if (ctx.aborted()) return TransferResult::Cancelled();
      ctx.ShowMessage(kCaptionUpload, FormatProgress("% waypoints sent, % errors, COM port write error", i, errors));
      return TransferResult::Failure();
    }
    ctx.Progress("Waypoint % sent", i + 1);
    ctx.Notify(FormatProgress("Sent wpt %/%", i + 1, total));

    SentenceLineCollector collector;
    int reply = -2;
    const ReceiveEnd end = Receive(ctx, timing.waypointReply, [&](uint8_t b) {
      if (!collector.Feed(b)) return true;
      std::string_view line = collector.Line();
      if (!line.starts_with(kReplyPrefix)) return true;
      reply = CheckWaypointReply(line.substr(0, kReplyMax), out.name, product.softwareVersion);
      return false;
    });
    if (end == ReceiveEnd::kAborted) {
      ctx.Progress("% waypoints sent", i + 1);
      return TransferResult::Cancelled();
    }
    if (end == ReceiveEnd::kReadError || reply == -2) {
      const bool timeout = end != ReceiveEnd::kReadError;
      ctx.ShowMessage(kCaptionUpload, FormatProgress(timeout ? "% waypoints sent, % errors, response timeout"
                                                             : "% waypoints sent, % errors, COM port read error",
                                                     i, errors));
      return TransferResult::Failure();
    }
    if (reply > 0) {
      if (errors++ == 0) firstError = reply;
    }
    if (!ctx.Pause(timing.betweenWaypoints)) {
      ctx.Progress("% waypoints sent", i + 1);
      return TransferResult::Cancelled();
    }
  }
  if (errors > 0) {
    char text[128];
    std::snprintf(text, sizeof text, "%lld waypoints sent, %lld errors, first error was type %d",
                  static_cast<long long>(total), static_cast<long long>(errors), firstError);
    ctx.ShowMessage("Waypoint upload response error", text);
    return TransferResult::Failure();
  }
  ctx.Progress("% waypoints sent", total);
  return TransferResult::Done();
}

}  // namespace skylode::flymaster
