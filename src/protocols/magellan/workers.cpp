#include "protocols/magellan/workers.h"

#include <cmath>

#include "access/sentence.h"
#include "protocols/family.h"
#include "protocols/magellan/sentences.h"
#include "records/calendar.h"

namespace skylode::magellan {

namespace {

using std::chrono::milliseconds;

constexpr std::string_view kVersionCommand = "$PMGNCMD,VERSION*28\r\n";
constexpr std::string_view kTrackCommand = "$PMGNCMD,TRACK,2*23\r\n";
constexpr std::string_view kWaypointCommand = "$PMGNCMD,WAYPOINT*71\r\n";
constexpr std::string_view kStopCommand = "$PMGNCMD,STOP*6A\r\n";
constexpr std::string_view kEndCommand = "$PMGNCMD,END*3D\r\n";

struct Product {
  int32_t id = 0;
  int32_t version = 0;  // x 100
  std::string description;
};

bool Send(TransferContext& ctx, std::string_view text) { return ctx.port().WriteText(text, ctx.cancel()).ok(); }

TransferResult Aborted(TransferContext& ctx) {
  ctx.Status("Transfer aborted");
  return TransferResult::Cancelled();
}

// Opens the port and asks for the product data; the failure is shown.
std::optional<Product> ReadProduct(TransferContext& ctx, const MagellanTiming& timing) {
  ctx.Product("");
  if (!ctx.hasPort() && !ctx.OpenPort(9600, false)) return std::nullopt;
  const int attempts = ctx.HalfConnectAttempts();
  for (int left = attempts; left > 0; --left) {
    ctx.Progress("Requesting product info (%)", left);
    if (!Send(ctx, kVersionCommand)) {
      if (!ctx.aborted()) ctx.ShowMessage("Requesting GPS product data", "COM port write error");
      return std::nullopt;
    }
    MagellanSentenceReader reader;
    std::optional<Product> found;
    const IoResult r = ReadUntilSilence(
        ctx.port(),
        [&](uint8_t b) {
          if (reader.Feed(b) != 0 || reader.fields()[0] != "$PMGNVER" || reader.fields().size() < 2) return true;
          const auto id = ReadDecimal(reader.fields()[1]);
          if (!id || reader.fields()[1].empty()) return true;
          Product p;
          p.id = *id;
          if (reader.fields().size() > 2) {
            char* end = nullptr;
            const std::string v(reader.fields()[2]);
            const double version = std::strtod(v.c_str(), &end);
            p.version = end != v.c_str() && std::isfinite(version) && std::fabs(version) < 1e6
                            ? static_cast<int32_t>(std::lround(version * 100))
                            : 0;
          }
          if (reader.fields().size() > 3) p.description = std::string(reader.fields()[3].substr(0, 60));
          found = p;
          return false;
        },
        timing.productWindow, ctx.cancel(), timing.productWindow);
    if (r.status == IoStatus::kCancelled || ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return std::nullopt;
    }
    if (r.status == IoStatus::kError || r.status == IoStatus::kHangUp) {
      ctx.ShowMessage("Reading product data", "COM port read error");
      return std::nullopt;
    }
    if (found) {
      ctx.Status("Product data read");
      if (!ctx.Pause(timing.afterProduct)) {
        ctx.Status("Transfer aborted");
        return std::nullopt;
      }
      ctx.Product("Magellan: " + std::to_string(found->id));
      return found;
    }
  }
  ctx.ShowMessage("Get GPS product data", "No valid response from GPS");
  return std::nullopt;
}

enum class ReadEnd { kDone, kAborted, kFailed };

// Reads sentences until the end sentence or a second of silence, handing
// each checked one to `take` (which returns ParseMagellan...'s code). Shows
// the failures under `caption` with the step's message numbers.
ReadEnd ReadSentences(TransferContext& ctx, const MagellanTiming& timing, std::string_view caption,
                      const char* readError, const char* readerFormat, const char* parseFormat,
                      const std::function<int(std::span<const std::string_view>)>& take) {
  MagellanSentenceReader reader;
  int readerError = 0, parseError = 0;
  bool ended = false;
  const IoResult r = ReadUntilSilence(
      ctx.port(),
      [&](uint8_t b) {
        const int read = reader.Feed(b);
        if (read == 1) return true;
        if (read != 0) {
          readerError = read;
          return false;
        }
        const int code = take(reader.fields());
        if (code == kDownloadEnd) {
          ended = true;
          return false;
        }
        if (code != kSentenceTaken) {
          parseError = code;
          return false;
        }
        return true;
      },
      timing.silence, ctx.cancel());
  if (r.status == IoStatus::kCancelled || ctx.aborted()) {
    ctx.port().WriteText(kStopCommand, CancelToken());
    return ReadEnd::kAborted;
  }
  if (r.status == IoStatus::kError || r.status == IoStatus::kHangUp) {
    ctx.ShowMessage(caption, readError);
    return ReadEnd::kFailed;
  }
  // Silence in the middle of a sentence is a unit gone quiet (a cable
  // pulled), not the end of the download: ending there would drop the
  // sentence and report the rest as all there was.
  if (!readerError && !parseError && !ended && reader.InSentence()) {
    ctx.port().WriteText(kStopCommand, CancelToken());
    ctx.ShowMessage(caption, readError);
    return ReadEnd::kFailed;
  }
  if (readerError || parseError) {
    ctx.port().WriteText(kStopCommand, CancelToken());
    ctx.ShowMessage(caption, FormatProgress(readerError ? readerFormat : parseFormat, readerError ? readerError : parseError));
    return ReadEnd::kFailed;
  }
  if (!ended) ctx.port().WriteText(kStopCommand, ctx.cancel());
  return ReadEnd::kDone;
}

// Asks for the waypoints. With `identify` (competition mode) each goes to
// the pilot identification instead of into `list`.
ReadEnd DownloadWaypoints(TransferContext& ctx, const MagellanTiming& timing, bool identify, WaypointList& list) {
  constexpr const char* kCaption = "Read GPS track log";
  if (!Send(ctx, kWaypointCommand)) {
    if (ctx.aborted()) return ReadEnd::kAborted;
    ctx.ShowMessage(kCaption, "E302 COM port write error");
    return ReadEnd::kFailed;
  }
  const uint32_t now = CurrentTime();
  int32_t count = 0;
  const ReadEnd end = ReadSentences(ctx, timing, kCaption, "E303 COM port read error", "E304 Format error %",
                                    "E305 Format error %", [&](std::span<const std::string_view> f) {
                                      Waypoint w;
                                      bool has = false;
                                      const int code = ParseMagellanWaypointSentence(f, w, has);
                                      if (has) {
                                        ++count;
                                        w.time = now;
                                        if (identify) ctx.IdentifyPilot(w);
                                        else list.items.push_back(std::move(w));
                                      }
                                      return code;
                                    });
  if (end == ReadEnd::kDone) ctx.Progress("% waypoints received", count);
  return end;
}

}  // namespace

MagellanTiming ScaledTiming(double scale) {
  MagellanTiming t;
  for (milliseconds* d : {&t.productWindow, &t.afterProduct, &t.silence, &t.waypointPause})
    *d = ScaledWait(*d, scale);
  return t;
}

TransferResult MagellanReadTrackLog(TransferContext& ctx, const MagellanTiming& timing) {
  const auto product = ReadProduct(ctx, timing);
  if (!product) return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  constexpr const char* kCaption = "Read GPS track log";
  if (product->id == 24 && product->version < 314) {
    ctx.ShowMessage(kCaption, "E200 Model does not support time in track log");
    return TransferResult::Failure();
  }
  if (product->id == 30 && product->version < 201) {
    ctx.ShowMessage(kCaption, "E200 Model does not support date in track log");
    return TransferResult::Failure();
  }
  if (ctx.settings().competitionMode) {
    WaypointList unused;
    const ReadEnd scan = DownloadWaypoints(ctx, timing, true, unused);
    if (scan == ReadEnd::kAborted) return Aborted(ctx);
    if (scan == ReadEnd::kFailed) return TransferResult::Failure();
  }
  ctx.Status("Requesting track log");
  if (!Send(ctx, kTrackCommand)) {
    if (ctx.aborted()) return Aborted(ctx);
    ctx.ShowMessage(kCaption, "E203 COM port write error");
    return TransferResult::Failure();
  }
  TrackLogPayload payload;
  auto& points = payload.log.points;
  const ReadEnd end = ReadSentences(ctx, timing, kCaption, "E204 COM port read error", "E206 Format error %",
                                    "E205 Format error %", [&](std::span<const std::string_view> f) {
                                      TrackPoint p;
                                      bool has = false;
                                      const int code = ParseMagellanTrackSentence(f, p, has);
                                      if (has) {
                                        p.flags = points.empty() ? kTrackPointStartsSegment : 0;
                                        points.push_back(p);
                                        ctx.NotifyPosition(p);
                                        if (points.size() % 10 == 0) {
                                          ctx.Progress("% points received", int64_t(points.size()));
                                          ctx.Notify(FormatProgress("Progress %/?", int64_t(points.size())));
                                        }
                                      }
                                      return code;
                                    });
  if (end == ReadEnd::kAborted) return Aborted(ctx);
  if (end == ReadEnd::kFailed) return TransferResult::Failure();
  ctx.Progress("% points received", int64_t(points.size()));
  if (points.empty()) return TransferResult::Failure();
  payload.log.source = TrackLogSource::kMagellan;
  payload.log.hasBaroHeight = false;
  payload.log.sourceProtocol = ctx.protocol();
  payload.log.instrumentText = product->description.substr(0, 80);
  payload.log.modelName = "Magellan";
  payload.log.identification = "Magellan: " + std::to_string(product->id);
  return TransferResult::Track(std::move(payload));
}

TransferResult MagellanReadWaypoints(TransferContext& ctx, const MagellanTiming& timing) {
  const auto product = ReadProduct(ctx, timing);
  if (!product) return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  WaypointList list;
  const ReadEnd end = DownloadWaypoints(ctx, timing, false, list);
  if (end == ReadEnd::kAborted) return Aborted(ctx);
  if (end == ReadEnd::kFailed || list.empty()) return TransferResult::Failure();
  list.sourceText = product->description;
  TransferResult r = TransferResult::Waypoints(std::move(list));
  r.kind = static_cast<int32_t>(TrackLogSource::kMagellan);
  return r;
}

TransferResult MagellanSendWaypoints(TransferContext& ctx, const MagellanTiming& timing) {
  const auto* input = std::get_if<WaypointList>(&ctx.input());
  if (!input) return TransferResult::Failure();
  const WaypointList list = *input;
  const auto product = ReadProduct(ctx, timing);
  if (!product) return ctx.aborted() ? TransferResult::Cancelled() : TransferResult::Failure();
  int32_t sent = 0;
  for (const Waypoint& w : list.items) {
    if (ctx.aborted()) break;
    if (!Send(ctx, MagellanWaypointSentence(w))) {
      if (ctx.aborted()) break;
      ctx.Progress("% waypoints sent", sent + 1);
      // A status line alone would read as a finished upload: the unit went
      // away and holds only part of the list.
      ctx.ShowMessage("Send waypoints", "COM port write error");
      return TransferResult::Failure();
    }
    ++sent;
    ctx.Progress("Waypoint % sent", sent);
    ctx.Notify(FormatProgress("Sent wpt %/%", sent, list.count()));
    if (!ctx.Pause(timing.waypointPause)) break;
  }
  ctx.Progress("% waypoints sent", sent);
  ctx.port().WriteText(kEndCommand, CancelToken());
  if (ctx.aborted()) return TransferResult::Cancelled();
  TransferResult r = TransferResult::Done();
  r.kind = static_cast<int32_t>(TrackLogSource::kMagellan);
  return r;
}

}  // namespace skylode::magellan

namespace skylode {

void RegisterMagellanWorkers(DeviceAccessTable& table, const magellan::MagellanTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kMagellan,
                 [timing](TransferContext& ctx) { return magellan::MagellanReadTrackLog(ctx, timing); });
  table.Register(AccessType::kReadWaypoints, ProtocolType::kMagellan,
                 [timing](TransferContext& ctx) { return magellan::MagellanReadWaypoints(ctx, timing); });
  table.Register(AccessType::kSendWaypoints, ProtocolType::kMagellan,
                 [timing](TransferContext& ctx) { return magellan::MagellanSendWaypoints(ctx, timing); });
}

}  // namespace skylode
