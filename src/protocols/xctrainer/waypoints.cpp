#include "protocols/xctrainer/waypoints.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "protocols/xctrainer/link.h"
#include "protocols/xctrainer/lines.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"
#include "records/text_encoding.h"

namespace skylode::xctrainer {
namespace {

constexpr std::string_view kCaptionRead = "Read GPS waypoints";
constexpr double kCentiMinutesPerDegree = 6000.0;
constexpr double kRadiansPerArcSecond = 4.848136811095e-6;

int32_t Signed24(const uint8_t* p) {
  const int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return v >= 0x800000 ? v - 0x1000000 : v;
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t blank = line.find(' ', start);
    fields.push_back(line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
    if (blank == std::string_view::npos) return fields;
    start = blank + 1;
  }
}

// Degrees, minutes and seconds as arc seconds, within the limit of degrees.
std::optional<int64_t> ArcSeconds(std::string_view d, std::string_view m, std::string_view s, uint32_t maxDegrees) {
  const auto deg = DecimalField(d), min = DecimalField(m), sec = DecimalField(s);
  if (!deg || !min || !sec || *deg > maxDegrees || *min > 59 || *sec > 59) return std::nullopt;
  return static_cast<int64_t>(*deg) * 3600 + *min * 60 + *sec;
}

}  // namespace

WaypointTiming ScaledWaypointTiming(double scale) {
  WaypointTiming t;
  auto scaled = [scale](std::chrono::milliseconds& d) {
    d = std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(d.count()) * scale + 0.5));
  };
  scaled(t.silence);
  scaled(t.uploadPause);
  return t;
}

int DecodeXcTrainerWaypoint(std::string_view record, uint32_t now, Waypoint& out) {
  if (record.size() != kXcTrainerRecordSize) return 1;
  const auto* b = reinterpret_cast<const uint8_t*>(record.data());
  uint8_t x = 0;
  for (size_t i = 2; i < 28; ++i) x ^= b[i];
  if (x != b[28]) return 2;
  if (b[0] != '@') return 3;
  if (b[1] != '@') return 4;
  if (b[2] != 'W') return 5;
  if (b[3] != 'P') return 6;
  const int32_t lat = Signed24(b + 22), lon = Signed24(b + 25);
  const auto latitude = UnitsToLatitude(lat, kCentiMinutesPerDegree, kCentiMinutesToSemicircles);
  const auto longitude = UnitsToLongitude(lon, kCentiMinutesPerDegree, kCentiMinutesToSemicircles);
  if (!latitude || !longitude) return 7;
  Waypoint w;
  w.latitude = *latitude;
  w.longitude = *longitude;
  w.height = static_cast<int16_t>((b[5] << 8) | b[6]);
  const std::string name = Windows1252ToUtf8(record.substr(7, 11));
  // The instrument's names may hold anything: the list takes only what its
  // rules allow.
  w.id = NormaliseWaypointId(record.substr(7, kWaypointIdMax), true).value_or("");
  w.name = NormaliseDescription(name);
  w.time = now;
  w.symbol = kDefaultWaypointSymbol;
  out = std::move(w);
  return 0;
}

std::optional<Waypoint> DecodeTopNavWaypoint(std::string_view line, uint32_t now) {
  if (line.empty() || line.front() == ';') return std::nullopt;
  const std::vector<std::string_view> f = SplitBlanks(line);
  if (f.size() != 13 || f[2] != "TPT" || f[12] != "m") return std::nullopt;
  if ((f[3] != "N" && f[3] != "S") || (f[7] != "E" && f[7] != "W")) return std::nullopt;
  std::string_view id = f[0];
  while (!id.empty() && id.back() == '_') id.remove_suffix(1);
  if (id.size() > kWaypointIdMax) return std::nullopt;
  const auto lat = ArcSeconds(f[4], f[5], f[6], 89);
  const auto lon = ArcSeconds(f[8], f[9], f[10], 179);
  if (!lat || !lon) return std::nullopt;
  std::string_view h = f[11];
  const bool negative = !h.empty() && h.front() == '-';
  if (negative) h.remove_prefix(1);
  const auto height = DecimalField(h);
  if (!height || *height > 99999) return std::nullopt;
  const auto latitude = RadiansToLatitude(static_cast<double>(f[3] == "S" ? -*lat : *lat) * kRadiansPerArcSecond);
  const auto longitude = RadiansToLongitude(static_cast<double>(f[7] == "W" ? -*lon : *lon) * kRadiansPerArcSecond);
  if (!latitude || !longitude) return std::nullopt;
  Waypoint w;
  w.latitude = *latitude;
  w.longitude = *longitude;
  w.height = negative ? 0 : static_cast<int32_t>(*height);
  w.id = NormaliseWaypointId(id, true).value_or("");
  w.time = now;
  w.symbol = kDefaultWaypointSymbol;
  return w;
}

std::string BuildUploadRecord(const Waypoint& w) {
  std::string r = "@@WP\x81";
  // The field holds 0 to 65535 metres.
  const int32_t height = w.height < 0 ? 0 : (w.height > 0xFFFF ? 0xFFFF : w.height);
  r.push_back(static_cast<char>(height >> 8));
  r.push_back(static_cast<char>(height & 0xFF));
  std::string id = w.id.substr(0, 11);
  id.resize(11, ' ');
  r += id;
  r += "NO";
  r.push_back('\x06');
  r.push_back('\0');
  for (int32_t s : {w.latitude, w.longitude}) {
    const auto v = static_cast<int32_t>(RoundHalfAway(s * kSemicirclesToMilliMinutes / 10.0));
    const uint32_t u = v < 0 ? 0x1000000u - static_cast<uint32_t>(-v) : static_cast<uint32_t>(v);
    for (int k = 0; k < 3; ++k) r.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
  }
  uint8_t x = 0;
  for (size_t i = 2; i < 28; ++i) x ^= static_cast<uint8_t>(r[i]);
  r.push_back(static_cast<char>(x));
  r.push_back('\r');
  return r;
}

namespace {

// The frame both waypoint downloads share: the line opened without XON/XOFF
// (the XC Trainer's records are binary: 0x11 and 0x13 are data there,
// whatever its track logs use), the instrument line, the list, and running
// out of memory.
TransferResult ReadWaypointList(TransferContext& ctx, std::string_view product,
                                const std::function<TransferResult(WaypointList& list, uint32_t now)>& receive) {
  try {
    if (!OpenLine(ctx, kWaypointBaud, false)) return NotOpened(ctx);
    ctx.Product(product);
    WaypointList list;
    list.items.reserve(30);
    list.sourceText = std::string(product);
    ctx.Status("Waiting for data");
    return receive(list, CurrentTime());
  } catch (const std::bad_alloc&) {
    ctx.ShowMessage("E303 Waypoint memory allocation", std::strerror(ENOMEM), MessageIcon::kInfo);
    return TransferResult::Failure();
  }
}

}  // namespace

TransferResult XcTrainerReadWaypoints(TransferContext& ctx, const WaypointTiming& timing) {
  return ReadWaypointList(ctx, "XC Trainer", [&](WaypointList& list, uint32_t now) {
    std::string record;
    int error = 0;
    bool writeFailed = false;
    const ListenEnd end = Listen(ctx, false, timing.silence, [&](uint8_t b) {
      record.push_back(static_cast<char>(b));
      if (record.size() < kXcTrainerRecordSize) return true;
      Waypoint w;
      error = DecodeXcTrainerWaypoint(record, now, w);
      record.clear();
      if (error != 0) return false;
      list.items.push_back(std::move(w));
      ctx.Progress("% waypoints received", list.count());
      ctx.NotifyWaypointCount(list.count());
      if (!ctx.port().WriteText("@@OK", ctx.cancel()).ok()) {
        writeFailed = !ctx.aborted();
        return false;
      }
      return true;
    });
    if (end == ListenEnd::kReadError || writeFailed) {
      ctx.ShowMessage(kCaptionRead, "E301 COM port read error");
      return TransferResult::Failure();
    }
    if (error != 0) {
      ctx.ShowMessage(kCaptionRead, FormatProgress("E302 Format error %", error));
      return TransferResult::Failure();
    }
    // A list that stops inside a record lost that waypoint: not a success.
    if (!record.empty()) {
      ctx.ShowMessage(kCaptionRead, FormatProgress("E302 Format error %", 1));
      return TransferResult::Failure();
    }
    if (end == ListenEnd::kAborted || ctx.aborted() || list.empty()) {
      ctx.Status("Transfer aborted");
      return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
    }
    ctx.Progress("% waypoints received", list.count());
    return TransferResult::Waypoints(std::move(list));
  });
}

TransferResult TopNavReadWaypoints(TransferContext& ctx) {
  return ReadWaypointList(ctx, "Top Navigator", [&](WaypointList& list, uint32_t now) {
    LineAssembler line;
    bool ended = false;
    bool writeFailed = false;
    const ListenEnd end = Listen(ctx, true, std::chrono::milliseconds(0), [&](uint8_t b) {
      const LineAssembler::Feed f = line.Add(b);
      if (f == LineAssembler::Feed::kMore) return true;
      if (f == LineAssembler::Feed::kComplete && line.line() == "@EOF") {
        ended = true;
        return false;
      }
      if (f == LineAssembler::Feed::kComplete) {
        if (auto w = DecodeTopNavWaypoint(line.line(), now)) {
          list.items.push_back(std::move(*w));
          ctx.Progress("% waypoints received", list.count());
          ctx.NotifyWaypointCount(list.count());
        }
      }
      if (!ctx.port().WriteText("@@OK", ctx.cancel()).ok()) {
        writeFailed = !ctx.aborted();
        return false;
      }
      return true;
    });
    if (end == ListenEnd::kAborted || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Cancelled();
    }
    if (end == ListenEnd::kReadError || writeFailed || !ended) {
      ctx.ShowMessage(kCaptionRead, "E301 COM port read error");
      return TransferResult::Failure();
    }
    if (list.empty()) {
      ctx.Status("Transfer aborted");
      return TransferResult::Failure();
    }
    ctx.Progress("% waypoints received", list.count());
    return TransferResult::Waypoints(std::move(list));
  });
}

TransferResult WaypointRecordUpload(TransferContext& ctx, const WaypointTiming& timing) {
  const auto* input = std::get_if<WaypointList>(&ctx.input());
  const std::vector<Waypoint> none;
  const std::vector<Waypoint>& items = input ? input->items : none;
  // Binary records again: XON/XOFF would take their 0x11 and 0x13 bytes.
  if (!OpenLine(ctx, kWaypointBaud, false)) return NotOpened(ctx);
  const auto total = static_cast<int64_t>(items.size());
  for (int64_t i = 0; i < total; ++i) {
    if (ctx.aborted()) {
      ctx.Progress("% waypoints sent", i);
      return TransferResult::Cancelled();
    }
    const std::string record = BuildUploadRecord(items[static_cast<size_t>(i)]);
    if (!ctx.port().WriteText(record, ctx.cancel()).ok()) {
      ctx.Progress("% waypoints sent", i);
      return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
    }
    ctx.Progress("Waypoint % sent", i + 1);
    ctx.Notify(FormatProgress("Sent wpt %/%", i + 1, total));
    if (!ctx.Pause(timing.uploadPause)) {
      ctx.Progress("% waypoints sent", i + 1);
      return TransferResult::Cancelled();
    }
  }
  ctx.Progress("% waypoints sent", total);
  return TransferResult::Done();
}

}  // namespace skylode::xctrainer
