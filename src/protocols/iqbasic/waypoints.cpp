#include "protocols/iqbasic/waypoints.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "protocols/flytec/ctr_transfer.h"
#include "protocols/flytec/instrument_text.h"
#include "protocols/flytec/product.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode::iqbasic {
namespace {

constexpr size_t kMaxFields = 5;
constexpr size_t kFirstErrorMax = 39;
constexpr std::string_view kCaptionUpload = "Upload waypoints";
constexpr std::string_view kCaptionUploadAnswer = "Read waypoint upload response";
constexpr std::string_view kCaptionUploadError = "Waypoint upload response error";
constexpr std::string_view kAccepted = " Done";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  while (fields.size() + 1 < kMaxFields) {
    const size_t semi = line.find(';');
    if (semi == std::string_view::npos) break;
    fields.push_back(flytec::BlankNormalise(line.substr(0, semi), std::string::npos));
    line.remove_prefix(semi + 1);
  }
  fields.push_back(flytec::BlankNormalise(line, std::string::npos));
  return fields;
}

// "N 47'30.5": hemisphere letter, degrees below `limit`, apostrophe, minutes
// below 60 with an optional fraction, nothing after. Degrees, or nothing.
std::optional<double> Coordinate(std::string_view f, char positive, char negative, int limit) {
  if (f.empty()) return std::nullopt;
  const char h = static_cast<char>(f[0] >= 'a' && f[0] <= 'z' ? f[0] - 'a' + 'A' : f[0]);
  if (h != positive && h != negative) return std::nullopt;
  size_t i = 1;
  while (i < f.size() && f[i] == ' ') ++i;
  int degrees = 0;
  const size_t degreesAt = i;
  for (; i < f.size() && IsDigit(f[i]) && i - degreesAt < 3; ++i) degrees = degrees * 10 + (f[i] - '0');
  if (i == degreesAt || degrees >= limit || i >= f.size() || f[i] != '\'') return std::nullopt;
  ++i;
  double minutes = 0;
  const size_t minutesAt = i;
  for (; i < f.size() && IsDigit(f[i]) && i - minutesAt < 2; ++i) minutes = minutes * 10 + (f[i] - '0');
  if (i == minutesAt) return std::nullopt;
  if (i < f.size() && f[i] == '.') {
    double scale = 0.1;
    for (++i; i < f.size() && IsDigit(f[i]); ++i, scale /= 10) minutes += (f[i] - '0') * scale;
  }
  if (i != f.size() || minutes >= 60) return std::nullopt;
  const double degreesValue = degrees + minutes / 60;
  return h == negative ? -degreesValue : degreesValue;
}

// A decimal height with an optional sign and fraction, rounded to metres.
std::optional<int32_t> Height(std::string_view f) {
  size_t i = 0;
  const bool negative = !f.empty() && f[0] == '-';
  if (!f.empty() && (f[0] == '-' || f[0] == '+')) ++i;
  double v = 0;
  bool digits = false;
  for (; i < f.size() && IsDigit(f[i]); ++i, digits = true) v = v * 10 + (f[i] - '0');
  if (i < f.size() && f[i] == '.') {
    double scale = 0.1;
    for (++i; i < f.size() && IsDigit(f[i]); ++i, scale /= 10, digits = true) v += (f[i] - '0') * scale;
  }
  if (!digits || i != f.size()) return std::nullopt;
  return CheckedRound<int32_t>(negative ? -v : v);
}

// The instrument's 16 characters: cut or padded, and nothing in them that
// could end the line or split its fields.
std::string NameField(std::string_view text) {
  std::string field = flytec::InstrumentField(text, kUploadNameWidth);
  std::replace(field.begin(), field.end(), ';', ' ');
  return field;
}

TransferResult Finished(TransferContext& ctx, Step s) {
  if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
  return s == Step::kOk ? TransferResult::Done() : TransferResult::Failure();
}

}  // namespace

WaypointLine ParseWaypointLine(std::string_view line, uint32_t time) {
  const std::vector<std::string> f = Fields(line);
  if (f.size() < 3) return {std::nullopt, 2};
  Waypoint w;
  if (f.size() > 3) {
    const std::optional<int32_t> height = Height(f[3]);
    if (!height) return {std::nullopt, 3};
    w.height = *height;
  }
  const std::string description = f[0].substr(0, kWaypointNameMax);
  w.name = NormaliseDescription(flytec::DecodeInstrumentText(description));
  const std::string word = flytec::UpperInstrumentText(description.substr(0, description.find(' ')));
  w.id = NormaliseWaypointId(word.substr(0, kWaypointIdMax), true).value_or("");
  const std::optional<double> lat = Coordinate(f[1], 'N', 'S', 90);
  if (!lat) return {std::nullopt, 4};
  const std::optional<double> lon = Coordinate(f[2], 'E', 'W', 180);
  if (!lon) return {std::nullopt, 5};
  w.latitude = DegreesToLatitude(*lat).value_or(0);
  w.longitude = DegreesToLongitude(*lon).value_or(0);
  w.symbol = kDefaultWaypointSymbol;
  w.time = time;
  return {w, 0};
}

std::string UploadLine(const Waypoint& w, int mode) {
  const std::string text = mode == 3 ? w.id : mode == 2 ? w.id + " " + w.name : w.name;
  const auto milli = [](int32_t semicircles) {
    return static_cast<int64_t>(RoundHalfAway(std::fabs(SemicirclesToDegrees(semicircles)) * 60000));
  };
  const int64_t lat = milli(w.latitude), lon = milli(w.longitude);
  char line[96];
  std::snprintf(line, sizeof line, "%s;%c  %02lld'%02lld.%03lld;%c %03lld'%02lld.%03lld;%6d;   400\r\n",
                NameField(text).c_str(), w.latitude < 0 ? 'S' : 'N', static_cast<long long>(lat / 60000),
                static_cast<long long>(lat / 1000 % 60), static_cast<long long>(lat % 1000),
                w.longitude < 0 ? 'W' : 'E', static_cast<long long>(lon / 60000),
                static_cast<long long>(lon / 1000 % 60), static_cast<long long>(lon % 1000),
                std::clamp(w.height, -2000, 10000));
  return line;
}

Step IqReadWaypointList(TransferContext& ctx, const IqTiming& timing, int mode, WaypointList* out) {
  const uint32_t now = CurrentTime();
  WaypointList list;
  list.items.reserve(50);
  ctx.Status("Requesting waypoints");
  if (!flytec::SendCommand(ctx, kWaypointListCommand)) {
    if (ctx.aborted()) return flytec::Aborted(ctx);
    ctx.ShowMessage(kCaptionReadWaypoints, "E304 COM port write error");
    return Step::kFailed;
  }
  LineReader reader;
  int error = 0;
  bool done = false;
  const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.waypointSilence, [&](uint8_t b) {
    if (!reader.Feed(b)) return true;
    if (flytec::BlankNormalise(reader.line(), std::string::npos) == "Done") {
      done = true;
      return false;
    }
    WaypointLine parsed = ParseWaypointLine(reader.line(), now);
    if (!parsed.waypoint) {
      error = parsed.error;
      return false;
    }
    if (mode == 1) {
      ctx.IdentifyPilot(*parsed.waypoint);
      return true;
    }
    list.items.push_back(std::move(*parsed.waypoint));
    if (list.items.size() == 1) ctx.Status("Receiving waypoints");
    ctx.NotifyWaypointCount(list.count());
    return true;
  });
  if (end == flytec::ReceiveEnd::kAborted) return flytec::Aborted(ctx);
  if (error != 0) {
    char text[48];
    std::snprintf(text, sizeof text, "Waypoint string parse error %d", error);
    ctx.ShowMessage(kCaptionReadWaypoints, text);
    return Step::kFailed;
  }
  // A line cut off by silence would drop its waypoint unseen.
  if (end == flytec::ReceiveEnd::kReadError || (!done && reader.InLine())) {
    ctx.ShowMessage(kCaptionReadWaypoints, "E301 COM port read error");
    return Step::kFailed;
  }
  if (mode == 1) return Step::kOk;
  ctx.Progress("% waypoints received", list.count());
  // An empty answer would only wipe the list the person has.
  if (list.empty()) return Step::kFailed;
  if (out != nullptr) *out = std::move(list);
  return Step::kOk;
}

TransferResult IqReadWaypoints(TransferContext& ctx, const IqTiming& timing) {
  try {
    IqProduct product;
    Step s = IqReadProductData(ctx, timing, product);
    WaypointList list;
    if (s == Step::kOk) s = IqReadWaypointList(ctx, timing, 0, &list);
    if (s == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    if (s != Step::kOk) return TransferResult::Failure();
    list.sourceText = IdentificationText(product);
    return TransferResult::Waypoints(std::move(list), 0);
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E300 Waypoint memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

TransferResult IqSendWaypoints(TransferContext& ctx, const IqTiming& timing) {
  const auto* list = std::get_if<WaypointList>(&ctx.input());
  const int mode = ctx.request().parameter;
  IqProduct product;
  const Step s = IqReadProductData(ctx, timing, product);
  if (s != Step::kOk) return Finished(ctx, s);
  const int count = list ? list->count() : 0;
  int accepted = 0;
  std::string firstError;
  bool anyError = false;
  for (int k = 1; k <= count; ++k) {
    if (ctx.aborted()) return Finished(ctx, flytec::Aborted(ctx));
    const std::string command = std::string(kWaypointUploadCommand) + UploadLine(list->items[size_t(k - 1)], mode);
    if (!flytec::SendCommand(ctx, command)) {
      if (ctx.aborted()) return Finished(ctx, flytec::Aborted(ctx));
      ctx.ShowMessage(kCaptionUpload, "COM port write error");
      return TransferResult::Failure();
    }
    ctx.Progress("Waypoint % sent", k);
    ctx.Notify(FormatProgress("Sent wpt %/%", k, count));

    LineReader reader;
    bool got = false;
    const flytec::ReceiveEnd end = flytec::Receive(ctx, timing.uploadAnswerSilence, [&](uint8_t b) {
      got = reader.Feed(b);
      return !got;
    });
    if (end == flytec::ReceiveEnd::kAborted) return Finished(ctx, flytec::Aborted(ctx));
    if (end == flytec::ReceiveEnd::kReadError) {
      ctx.ShowMessage(kCaptionUploadAnswer, "COM port read error");
      return TransferResult::Failure();
    }
    if (!got) {
      ctx.ShowMessage(kCaptionUploadAnswer, "Missing response");
      return TransferResult::Failure();
    }
    if (reader.line() == kAccepted) {
      ++accepted;
    } else if (!anyError) {
      anyError = true;
      firstError = std::string(reader.line().substr(0, kFirstErrorMax));
    }
    if (!ctx.Pause(timing.uploadPause)) return Finished(ctx, flytec::Aborted(ctx));
  }
  if (anyError) {
    char text[128];
    std::snprintf(text, sizeof text, "%d of %d waypoints ok. First error was \"%s\"", accepted, count,
                  firstError.c_str());
    ctx.ShowMessage(kCaptionUploadError, text);
    return TransferResult::Failure();
  }
  return TransferResult::Done();
}

}  // namespace skylode::iqbasic
