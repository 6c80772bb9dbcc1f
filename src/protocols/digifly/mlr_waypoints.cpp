#include "protocols/digifly/mlr_waypoints.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::mlr {

namespace {

constexpr std::string_view kPrefix = "$GPWPL,";
constexpr size_t kNameMax = 598;
constexpr size_t kDescriptionMax = 22;
constexpr double kMinutesToRadians = 0.0002908882086657;
constexpr std::string_view kCaptionRead = "Read GPS waypoints";
constexpr std::string_view kCaptionSend = "Send GPS waypoints";

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "DDMM[.mmm]" up to the ',' at `pos`; minutes of arc, or an error number
// (too large, bad digit, bad decimal).
struct Angle {
  double minutes = 0;
  int error = 0;
};

Angle ReadAngle(const std::string& s, size_t& pos, int limit, int tooLarge, int badDigit, int badDecimal) {
  Angle a;
  int64_t whole = 0;
  while (pos < s.size() && s[pos] != ',' && s[pos] != '.') {
    if (s[pos] < '0' || s[pos] > '9') return {0, badDigit};
    whole = whole * 10 + (s[pos++] - '0');
    if (whole > limit) return {0, tooLarge};
  }
  a.minutes = static_cast<double>(whole % 100 + whole / 100 * 60);
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    double scale = 0.1;
    while (pos < s.size() && s[pos] != ',') {
      if (s[pos] < '0' || s[pos] > '9') return {0, badDecimal};
      a.minutes += (s[pos++] - '0') * scale;
      scale /= 10;
    }
  }
  if (pos >= s.size()) return {0, badDigit};
  ++pos;  // the ','
  return a;
}

// An optional hemisphere letter and its ','; -1 for the negative one, 0 on error.
int ReadHemisphere(const std::string& s, size_t& pos, char positive, char negative) {
  if (pos < s.size() && s[pos] == ',') {
    ++pos;
    return 1;
  }
  if (pos >= s.size() || (s[pos] != positive && s[pos] != negative)) return 0;
  const int sign = s[pos++] == negative ? -1 : 1;
  if (pos >= s.size() || s[pos] != ',') return 2;
  ++pos;
  return sign;
}

}  // namespace

WplParser::Feed WplParser::Fail(int error) {
  error_ = error;
  state_ = 0;
  prefix_.clear();
  body_.clear();
  return Feed::kError;
}

bool WplParser::ParseBody() {
  size_t pos = 0;
  const Angle lat = ReadAngle(body_, pos, 8959, 1, 2, 3);
  if (lat.error) return Fail(lat.error), false;
  const int ns = ReadHemisphere(body_, pos, 'N', 'S');
  if (ns == 0) return Fail(4), false;
  if (ns == 2) return Fail(5), false;
  const Angle lon = ReadAngle(body_, pos, 17959, 6, 7, 8);
  if (lon.error) return Fail(lon.error), false;
  const int ew = ReadHemisphere(body_, pos, 'E', 'W');
  if (ew == 0) return Fail(9), false;
  if (ew == 2) return Fail(10), false;
  name_ = body_.substr(pos);
  if (name_.size() > kNameMax) return Fail(11), false;
  // Within the limits above a position always converts.
  latitude_ = RadiansToLatitude(ns * lat.minutes * kMinutesToRadians).value_or(0);
  longitude_ = RadiansToLongitude(ew * lon.minutes * kMinutesToRadians).value_or(0);
  return true;
}

WplParser::Feed WplParser::Add(uint8_t b) {
  switch (state_) {
    case 0:
      if (prefix_.empty() && b != '$') return Feed::kMore;
      if (b != static_cast<uint8_t>(kPrefix[prefix_.size()])) {
        prefix_.clear();
        if (b == '$') prefix_.push_back('$');
        return Feed::kMore;
      }
      prefix_.push_back(static_cast<char>(b));
      if (prefix_.size() == kPrefix.size()) {
        state_ = 1;
        xor_ = 0;
        for (size_t i = 1; i < kPrefix.size(); ++i) xor_ ^= static_cast<uint8_t>(kPrefix[i]);
      }
      return Feed::kMore;
    case 1:
      if (b == '*') {
        if (!ParseBody()) return Feed::kError;
        state_ = 2;
        return Feed::kMore;
      }
      if (b == '\r' || b == '\n') {
        if (!ParseBody()) return Feed::kError;
        return Fail(12);
      }
      xor_ ^= b;
      body_.push_back(static_cast<char>(b));
      // The longest fields and the longest name.
      if (body_.size() > kNameMax + 40) {
        if (!ParseBody()) return Feed::kError;
        return Fail(11);
      }
      return Feed::kMore;
    case 2:
    case 3: {
      const int v = HexValue(b);
      if (v < 0) return Fail(state_ == 2 ? 13 : 14);
      check_ = static_cast<uint8_t>(state_ == 2 ? v << 4 : check_ | v);
      ++state_;
      return Feed::kMore;
    }
    case 4:
      if (b != '\r') return Fail(15);
      if (check_ != xor_) return Fail(16);
      state_ = 5;
      return Feed::kMore;
    default:
      if (b != '\n') return Fail(17);
      state_ = 0;
      prefix_.clear();
      body_.clear();
      return Feed::kComplete;
  }
}

std::optional<Waypoint> WaypointFromName(const std::string& name, std::string& error) {
  Waypoint w;
  size_t pos = 0;
  while (pos < name.size() && w.id.size() < 6) {
    const char c = name[pos];
    if (c == ' ') break;
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) {
      error = "E305 Bad waypoint ID character";
      return std::nullopt;
    }
    w.id.push_back(c);
    ++pos;
  }
  while (pos < name.size() && name[pos] == ' ') ++pos;
  if (pos < name.size()) ++pos;  // the upload's separator
  if (w.id.empty()) {
    error = "E306 Missing waypoint ID";
    return std::nullopt;
  }
  std::string description = name.substr(pos, kDescriptionMax);
  while (description.size() > 1 && description.back() == ' ') description.pop_back();
  w.name = std::move(description);
  w.symbol = 18;
  return w;
}

std::string WplSentence(const Waypoint& w) {
  const int32_t lat = SemicirclesToMilliMinutes(w.latitude), lon = SemicirclesToMilliMinutes(w.longitude);
  const int32_t alat = lat < 0 ? -lat : lat, alon = lon < 0 ? -lon : lon;
  std::string id = w.id.substr(0, 6), description = w.name.substr(0, kDescriptionMax);
  id.resize(6, ' ');
  description.resize(kDescriptionMax, ' ');
  char buf[120];
  std::snprintf(buf, sizeof buf, "$GPWPL,%04d.%03d,%c,%05d.%03d,%c,%s0%s", alat / 60000 * 100 + alat / 1000 % 60,
                alat % 1000, lat < 0 ? 'S' : 'N', alon / 60000 * 100 + alon / 1000 % 60, alon % 1000,
                lon < 0 ? 'W' : 'E', id.c_str(), description.c_str());
  uint8_t x = 0;
  for (const char* p = buf + 1; *p; ++p) x ^= static_cast<uint8_t>(*p);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return std::string(buf) + tail;
}

TransferResult MlrReadWaypointSentences(TransferContext& ctx, const MlrTiming& timing) {
  try {
    MlrProduct product;
    if (const Step step = MlrReadProductData(ctx, timing, product); step != Step::kOk) return EndedEarly(step);
    WaypointList list;
    list.items.reserve(20);
    list.sourceText = product.product;
    const uint32_t started = CurrentTime();
    ctx.Status("Searching for sentences");
    WplParser parser;
    std::string error;
    bool complete = false;
    const ListenEnd end = Listen(ctx, std::chrono::milliseconds(0), [&](uint8_t b) {
      switch (parser.Add(b)) {
        case WplParser::Feed::kMore: return true;
        case WplParser::Feed::kError: error = "E302 Format error " + std::to_string(parser.error()); return false;
        case WplParser::Feed::kComplete: break;
      }
      std::optional<Waypoint> w = WaypointFromName(parser.name(), error);
      if (!w) return false;
      w->latitude = parser.latitude();
      w->longitude = parser.longitude();
      w->time = started;
      // The cycle starts over: the list is complete.
      if (!list.items.empty() && w->id == list.items.front().id) {
        complete = true;
        return false;
      }
      list.items.push_back(std::move(*w));
      ctx.NotifyWaypointCount(list.count());
      ctx.Progress("Waypoint % read", list.count());
      return true;
    });
    if (end == ListenEnd::kAborted || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (!error.empty()) {
      ctx.ShowMessage(kCaptionRead, error);
      return TransferResult::Failure();
    }
    if (!complete) {
      ctx.ShowMessage(kCaptionRead, "E301 COM port read error");
      return TransferResult::Failure();
    }
    ctx.Progress("Waypoints read (%)", list.count());
    return TransferResult::Waypoints(std::move(list));
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E300 Waypoint memory allocation", std::strerror(ENOMEM));
    return TransferResult::Failure();
  }
}

TransferResult MlrSendWaypoints(TransferContext& ctx, const MlrTiming& timing) {
  const WaypointList* input = std::get_if<WaypointList>(&ctx.input());
  const std::vector<Waypoint> items = input ? input->items : std::vector<Waypoint>{};
  MlrProduct product;
  if (const Step step = MlrReadProductData(ctx, timing, product); step != Step::kOk) return EndedEarly(step);
  const auto total = static_cast<int64_t>(items.size());
  for (int64_t i = 0; i < total; ++i) {
    if ((i > 0 && !ctx.Pause(timing.betweenWaypoints)) || ctx.aborted()) {
      ctx.Progress("% waypoints sent", i);
      return TransferResult::Cancelled();
    }
    if (!SendText(ctx, WplSentence(items[static_cast<size_t>(i)]))) {
      // Only the waypoints that went out whole count as sent.
      ctx.Progress("% waypoints sent", i);
      if (ctx.aborted()) return TransferResult::Cancelled();
      ctx.ShowMessage(kCaptionSend, "COM port write error");
      return TransferResult::Failure();
    }
    ctx.Progress("Waypoint % sent", i + 1);
    ctx.Notify(FormatProgress("Sent wpt %/%", i + 1, total));
  }
  if (!ctx.Pause(timing.betweenWaypoints)) {
    ctx.Progress("% waypoints sent", total);
    return TransferResult::Cancelled();
  }
  TransferResult done = TransferResult::Done();
  done.kind = 2;
  return done;
}

}  // namespace skylode::mlr
