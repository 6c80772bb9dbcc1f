#include "protocols/flytec/ctr_transfer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "access/sentence.h"
#include "analysis/geodesy.h"
#include "formats/xml_text.h"

namespace skylode::flytec {
namespace {

constexpr char kCaptionUploadCtr[] = "Upload CTR";
constexpr char kCaptionAck[] = "CTR upload acknowledge status";
constexpr char kCaptionReadList[] = "Read CTR list";
constexpr char kCaptionUploadWaypoints[] = "Upload waypoints";
constexpr double kRadiansToMilliMinutes = 3437746.770785;
constexpr double kPi = 3.14159265358979323846;

// Thousandths of a minute, rounded half away from zero, of the absolute value.
int64_t MilliMinutes(double degrees) { return static_cast<int64_t>(std::fabs(degrees) * 60000 + 0.5); }

// "DDMM.mmm,H" (degree digits 2 or 4-with-minutes as the caller formats).
std::string Coordinate(int64_t milli, int degreeDigits, char hemisphere) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld%02lld.%03lld,%c", degreeDigits, static_cast<long long>(milli / 60000),
                static_cast<long long>(milli / 1000 % 60), static_cast<long long>(milli % 1000), hemisphere);
  return text;
}

std::string Pair(const LatLonDegrees& p) {
  return Coordinate(MilliMinutes(p.latitude), 2, p.latitude < 0 ? 'S' : 'N') + "," +
         Coordinate(MilliMinutes(p.longitude), 3, p.longitude < 0 ? 'W' : 'E');
}

bool InRange(const LatLonDegrees& p) {
  return std::isfinite(p.latitude) && std::isfinite(p.longitude) && MilliMinutes(p.latitude) < 90 * 60000 &&
         MilliMinutes(p.longitude) < 180 * 60000;
}

std::string Sentence(std::string body) {
  std::string s = "$" + std::move(body);
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

std::string Number3(int n) {
  char t[8];
  std::snprintf(t, sizeof t, "%03d", n);
  return t;
}

// The end of an arc by radius on bearing `bearing` (degrees from north).
LatLonDegrees ArcEnd(const CtrSegment& s, double bearing) {
  const GeoPosition g = GeoDestination({s.centre.latitude * kPi / 180, s.centre.longitude * kPi / 180},
                                       bearing * kPi / 180, s.radius);
  return {g.latitude * 180 / kPi, g.longitude * 180 / kPi};
}

Step WriteSentence(TransferContext& ctx, const std::string& s) {
  if (SendCommand(ctx, s)) return Step::kOk;
  return ctx.aborted() ? Aborted(ctx) : Step::kFailed;
}

Step WaitCtrAck(TransferContext& ctx, const FlytecTiming& timing) {
  ctx.Status("Waiting for CTR transfer ack.");
  CtrAckParser parser;
  int error = 0;
  bool complete = false;
  const ReceiveEnd end = Receive(ctx, timing.ctrAckSilence, [&](uint8_t b) {
    const int r = parser.Feed(b);
    if (r < 0) error = -r;
    if (r == 0) complete = true;
    return r == 1;
  });
  if (end == ReceiveEnd::kAborted || ctx.aborted()) return Aborted(ctx);
  if (error != 0) {
    ctx.ShowMessage(kCaptionAck, FormatProgress("E600 Format error %", error));
    return Step::kFailed;
  }
  if (end == ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionAck, "E601 COM port read error");
    return Step::kFailed;
  }
  if (!complete) {
    ctx.ShowMessage(kCaptionAck, "Missing CTR upload ack.");
    return Step::kFailed;
  }
  switch (parser.status()) {
    case '1':
      ctx.Status("CTR transfer ok");
      return ctx.Pause(timing.ctrAckOkPause) ? Step::kOk : Aborted(ctx);
    case '2': ctx.ShowMessage(kCaptionAck, "Plausibility error"); break;
    case '3': ctx.ShowMessage(kCaptionAck, "No further memory"); break;
    case '4': ctx.ShowMessage(kCaptionAck, "No more writing allowed"); break;
    case '5': ctx.ShowMessage(kCaptionAck, "NMEA syntax error"); break;
    default: ctx.ShowMessage(kCaptionAck, "Unknown ack. status"); break;
  }
  return Step::kFailed;
}

std::optional<int> Whole(std::string_view f) {
  if (f.empty()) return std::nullopt;
  std::optional<int32_t> v = ReadDecimal(f);
  if (!v) return std::nullopt;
  return *v;
}

// "DDMM.mmm" / "DDDMM.mmm" into degrees, or the field's error number.
int ReadCoordinate(std::string_view f, int limit, int badDigits, int noDot, int badFraction, double& out) {
  const size_t dot = f.find('.');
  const std::string_view whole = f.substr(0, dot);
  if (whole.empty() || whole.size() > 5) return badDigits;
  int v = 0;
  for (char c : whole) {
    if (c < '0' || c > '9') return badDigits;
    v = v * 10 + (c - '0');
  }
  // Minutes of 60 or more are no position, whatever the degrees.
  if (v >= limit || v % 100 >= 60) return badDigits;
  if (dot == std::string_view::npos) return noDot;
  const std::string_view fraction = f.substr(dot + 1);
  double frac = 0, scale = 1;
  for (char c : fraction) {
    if (c < '0' || c > '9') return badFraction;
    scale /= 10;
    frac += (c - '0') * scale;
  }
  out = ((v / 100) * 60 + v % 100 + frac) / 60;
  return 0;
}

}  // namespace

std::string InstrumentField(std::string_view text, size_t width) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < width;) {
    uint32_t cp = 0;
    size_t n = Utf8SequenceLength(text, i, cp);
    if (n == 0) n = 1, cp = 0xFFFD;
    const bool plain = cp >= 0x20 && cp < 0x7F && cp != ',' && cp != '*' && cp != '$';
    out.push_back(plain ? static_cast<char>(cp) : ' ');
    i += n;
  }
  out.resize(width, ' ');
  return out;
}

std::string WaypointSentence(const Waypoint& w, int mode) {
  const GeoPosition g = SemicirclesToRadians(w.latitude, w.longitude);
  const auto milli = [](double radians) {
    return static_cast<int64_t>(std::fabs(radians) * kRadiansToMilliMinutes + 0.5);
  };
  const int64_t lat = milli(g.latitude), lon = milli(g.longitude);
  std::string text = mode == 3 ? w.id : mode == 2 ? w.id + " " + w.name : w.name;
  char body[96];
  std::snprintf(body, sizeof body, "PBRWPR,%04lld.%03lld,%c,%05lld.%03lld,%c,,%s,%04d",
                static_cast<long long>(lat / 60000 * 100 + lat / 1000 % 60), static_cast<long long>(lat % 1000),
                w.latitude < 0 ? 'S' : 'N', static_cast<long long>(lon / 60000 * 100 + lon / 1000 % 60),
                static_cast<long long>(lon % 1000), w.longitude < 0 ? 'W' : 'E', InstrumentField(text).c_str(),
                std::clamp(w.height, 0, 9999));
  return Sentence(body);
}

std::optional<std::vector<std::string>> CtrSentences(const CtrArea& area, std::string& why) {
  int total = 2;
  for (const CtrSegment& s : area.segments)
    total += (s.kind == CtrSegmentKind::kArcByPoints || s.kind == CtrSegmentKind::kArcByAngles) ? 3 : 1;
  if (total > 999) {
    why = "Too many segments";
    return std::nullopt;
  }
  const std::string head = "PBRCTRW," + Number3(total) + ",";
  std::vector<std::string> out;
  int number = 0;
  const auto next = [&] { return head + Number3(number++) + ","; };
  char distance[8];
  std::snprintf(distance, sizeof distance, "%04d", std::clamp(area.warningDistance, 0, 9999));
  out.push_back(Sentence(next() + InstrumentField(area.name) + "," + distance));
  out.push_back(Sentence(next() + InstrumentField(area.floor)));
  for (const CtrSegment& s : area.segments) {
    switch (s.kind) {
      case CtrSegmentKind::kPoint:
        if (!InRange(s.centre)) break;
        out.push_back(Sentence(next() + "P," + Pair(s.centre)));
        continue;
      case CtrSegmentKind::kCircle: {
        if (!InRange(s.centre)) break;
        if (s.radius < 0 || s.radius > 99999) {
          why = "Radius too large";
          return std::nullopt;
        }
        char radius[8];
        std::snprintf(radius, sizeof radius, "%05d", s.radius);
        out.push_back(Sentence(next() + "C," + Pair(s.centre) + "," + radius));
        continue;
      }
      case CtrSegmentKind::kArcByPoints:
      case CtrSegmentKind::kArcByAngles: {
        const bool byPoints = s.kind == CtrSegmentKind::kArcByPoints;
        const LatLonDegrees from = byPoints ? s.from : ArcEnd(s, s.from.latitude);
        const LatLonDegrees to = byPoints ? s.to : ArcEnd(s, s.from.longitude);
        if (!InRange(s.centre) || !InRange(from) || !InRange(to)) break;
        const char dir = s.direction == '-' ? '-' : '+';
        out.push_back(Sentence(next() + "X," + Pair(s.centre)));
        out.push_back(Sentence(next() + "T," + Pair(from) + "," + dir));
        out.push_back(Sentence(next() + "Z," + Pair(to) + "," + dir));
        continue;
      }
    }
    why = "Bad position";
    return std::nullopt;
  }
  return out;
}

int CtrAckParser::Feed(uint8_t b) {
  static constexpr std::string_view kName = "PBRANS,";
  const auto hex = [](uint8_t c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (b == '$') {
    state_ = 1;
    matched_ = 0;
    xor_ = 0;
    return 1;
  }
  switch (state_) {
    case 0: return 1;  // waiting for '$'
    case 1:
      if (b != static_cast<uint8_t>(kName[matched_])) return -1;
      xor_ ^= b;
      if (++matched_ == kName.size()) state_ = 2;
      return 1;
    case 2:
      status_ = static_cast<char>(b);
      xor_ ^= b;
      state_ = 3;
      return 1;
    case 3:
      if (b != '*') return -1;
      state_ = 4;
      return 1;
    case 4:
      if (hex(b) < 0) return -2;
      received_ = static_cast<uint8_t>(hex(b) << 4);
      state_ = 5;
      return 1;
    case 5:
      if (hex(b) < 0) return -3;
      received_ = static_cast<uint8_t>(received_ | hex(b));
      state_ = 6;
      return 1;
    case 6:
      if (b != '\r') return -4;
      state_ = 7;
      return 1;
    default:
      if (b != '\n') return -6;
      state_ = 0;
      return received_ == xor_ ? 0 : -5;
  }
}

int CtrListParser::Parse(const std::vector<std::string_view>& f) {
  if (f.size() < 2) return -1;
  if (state_ == 0 && f[0] == "$PBRANS") return f[1] == "1" ? 0 : -2;
  if (f[0] != "$PBRCTR") return -3;
  const std::optional<int> total = f.size() > 1 ? Whole(f[1]) : std::nullopt;
  if (f.size() < 2 || f[1].empty()) return -4;
  if (!total) return -5;
  if (f.size() < 3 || f[2].empty()) return -6;
  const std::optional<int> number = Whole(f[2]);
  if (!number) return -7;
  const auto field = [&f](size_t i) { return i < f.size() ? f[i] : std::string_view(); };
  if (state_ == 0) {
    if (*total < 3) return -8;
    if (*number != 0) return -9;
    if (f.size() < 5) return -10;
    const std::optional<int> warning = Whole(f[4]);
    if (!warning) return -11;
    CtrArea area;
    area.name = std::string(field(3).substr(0, kCtrTextMax));
    while (!area.name.empty() && area.name.back() == ' ') area.name.pop_back();
    area.warningDistance = *warning;
    list_.areas.push_back(std::move(area));
    total_ = *total;
    next_ = 1;
    state_ = 1;
    return 1;
  }
  if (*number != next_) return state_ == 1 ? -13 : -14;
  ++next_;
  CtrArea& area = list_.areas.back();
  if (state_ == 1) {
    area.floor = std::string(field(3).substr(0, kCtrTextMax));
    while (!area.floor.empty() && area.floor.back() == ' ') area.floor.pop_back();
    state_ = 2;
    return 1;
  }
  if (f.size() < 4) return -15;
  const std::string_view type = f[3];
  if (type != "P" && type != "X" && type != "C" && type != "T" && type != "Z") return -16;
  if (f.size() < 5) return -17;
  LatLonDegrees p;
  if (int e = ReadCoordinate(f[4], 9000, 18, 19, 20, p.latitude); e != 0) return -e;
  if (f.size() < 6) return -21;
  if (f[5] == "S") p.latitude = -p.latitude;
  else if (f[5] != "N") return -22;
  if (f.size() < 7) return -23;
  if (int e = ReadCoordinate(f[6], 18000, 24, 25, 26, p.longitude); e != 0) return -e;
  if (f.size() < 8 || (f[7] != "E" && f[7] != "W")) return -31;
  if (f[7] == "W") p.longitude = -p.longitude;
  int radius = 0;
  char direction = '+';
  if (type == "C") {
    if (f.size() < 9) return -27;
    const std::optional<int> r = Whole(f[8]);
    if (!r) return -28;
    radius = *r;
  } else if (type == "T" || type == "Z") {
    if (f.size() < 9) return -29;
    if (f[8] != "+" && f[8] != "-") return -30;
    direction = f[8][0];
  }
  const bool last = *number == total_ - 1;
  bool done = false;
  if (state_ == 2) {
    CtrSegment s;
    s.centre = p;
    if (type == "P") {
      s.kind = CtrSegmentKind::kPoint;
      area.segments.push_back(s);
      done = last;
    } else if (type == "C") {
      if (*number != 2) return -34;
      if (total_ != 3) return -35;
      s.kind = CtrSegmentKind::kCircle;
      s.radius = radius;
      area.segments.push_back(s);
      done = true;
    } else if (type == "X") {
      if (last) return -37;
      s.kind = CtrSegmentKind::kArcByPoints;
      area.segments.push_back(s);
      state_ = 3;
    } else {
      return -38;
    }
  } else if (state_ == 3) {
    if (type != "T") return -40;
    if (last) return -39;
    area.segments.back().from = p;
    state_ = 4;
  } else {
    if (type != "Z") return -41;
    area.segments.back().to = p;
    area.segments.back().direction = direction;
    done = last;
    state_ = 2;
  }
  if (done) {
    ++complete_;
    state_ = 0;
  }
  return 1;
}

TransferResult FlytecSendWaypoints(TransferContext& ctx, const FlytecTiming& timing) {
  const auto* list = std::get_if<WaypointList>(&ctx.input());
  const int mode = ctx.request().parameter;
  InstrumentInfo info;
  Step s = FlytecReadProductData(ctx, timing, info);
  if (s == Step::kAborted || (s != Step::kOk && ctx.aborted())) return TransferResult::Cancelled();
  if (s != Step::kOk) return TransferResult::Failure();
  const int count = list ? list->count() : 0;
  for (int k = 1; k <= count; ++k) {
    if (ctx.aborted()) {
      ctx.Progress("% waypoints sent", k - 1);
      return TransferResult::Cancelled();
    }
    if (!SendCommand(ctx, WaypointSentence(list->items[static_cast<size_t>(k - 1)], mode))) {
      ctx.Progress("% waypoints sent", k);
      if (ctx.aborted()) return TransferResult::Cancelled();
      ctx.ShowMessage(kCaptionUploadWaypoints, "E400 COM port write error");
      return TransferResult::Failure();
    }
    ctx.Progress("Waypoint % sent", k);
    ctx.Notify(FormatProgress("Sent wpt %/%", k, count));
    // The instrument acknowledges nothing: the pause is all the pacing.
    if (!ctx.Pause(timing.waypointPause)) {
      ctx.Progress("% waypoints sent", k);
      return TransferResult::Cancelled();
    }
  }
  return TransferResult::Done();
}

TransferResult FlytecSendCtrs(TransferContext& ctx, const FlytecTiming& timing) {
  const auto* list = std::get_if<CtrList>(&ctx.input());
  // Everything is built and checked before the first byte goes out: an
  // area that cannot be sent must not leave half a list in the instrument.
  std::vector<std::vector<std::string>> areas;
  if (list) {
    for (const CtrArea& a : list->areas) {
      if (!a.selected || a.segments.empty()) continue;
      std::string why;
      std::optional<std::vector<std::string>> sentences = CtrSentences(a, why);
      if (!sentences) {
        ctx.ShowMessage(kCaptionUploadCtr, "CTR " + a.name + ": " + why);
        return TransferResult::Failure();
      }
      areas.push_back(std::move(*sentences));
    }
  }
  if (areas.empty()) {
    ctx.ShowMessage(kCaptionUploadCtr, "No CTR(s) selected");
    return TransferResult::Failure();
  }
  InstrumentInfo info;
  Step s = FlytecReadProductData(ctx, timing, info);
  const auto end = [&ctx](Step step) {
    if (step == Step::kAborted || ctx.aborted()) return TransferResult::Cancelled();
    return step == Step::kOk ? TransferResult::Done() : TransferResult::Failure();
  };
  if (s != Step::kOk) return end(s);
  for (const std::vector<std::string>& sentences : areas) {
    int segments = 0;
    for (size_t k = 0; k < sentences.size(); ++k) {
      const std::string& sentence = sentences[k];
      if (ctx.aborted()) {
        if (k >= 2) ctx.Progress("% CTR segments sent", segments);
        return end(Aborted(ctx));
      }
      if (WriteSentence(ctx, sentence) != Step::kOk) {
        if (k == 0) ctx.Status("CTR name sent");
        else if (k == 1) ctx.Status("CTR remark sent");
        else ctx.Progress("% CTR segments sent", segments);
        if (ctx.aborted()) return end(Aborted(ctx));
        ctx.ShowMessage(kCaptionUploadCtr, "E500 COM port write error");
        return TransferResult::Failure();
      }
      // "$PBRCTRW,NNN,NNN,T": the type decides how long the instrument needs.
      const char type = k >= 2 && sentence.size() > 17 ? sentence[17] : 'P';
      if (!ctx.Pause(type == 'X' || type == 'T' ? timing.ctrArcPause : timing.ctrPause)) return end(Aborted(ctx));
      if (k >= 2 && (type == 'P' || type == 'C' || type == 'Z')) ctx.Progress("% CTR segments sent", ++segments);
    }
    // Any area the instrument refuses fails the whole upload.
    s = WaitCtrAck(ctx, timing);
    if (s != Step::kOk) return end(s);
  }
  return TransferResult::Done();
}

TransferResult FlytecReadCtrs(TransferContext& ctx, const FlytecTiming& timing) {
  InstrumentInfo info;
  Step s = FlytecReadProductData(ctx, timing, info);
  if (s == Step::kAborted || (s != Step::kOk && ctx.aborted())) return TransferResult::Cancelled();
  if (s != Step::kOk) return TransferResult::Failure();
  ctx.Status("Requesting CTR list");
  if (!SendCommand(ctx, kCtrListCommand)) {
    if (ctx.aborted()) {
      Aborted(ctx);
      return TransferResult::Cancelled();
    }
    ctx.ShowMessage(kCaptionReadList, "E700 COM port write error");
    return TransferResult::Failure();
  }
  SentenceReader reader;
  CtrListParser parser;
  int readerError = 0, parseError = 0;
  bool complete = false;
  int shown = 0;
  const ReceiveEnd ended = Receive(ctx, timing.ctrListSilence, [&](uint8_t b) {
    const int r = reader.Feed(b);
    if (r < 0) {
      readerError = -r;
      return false;
    }
    if (r == 1) return true;
    std::vector<std::string_view> fields;
    std::string_view text = reader.Text();
    for (size_t at = 0;;) {
      const size_t comma = text.find(',', at);
      fields.push_back(text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    const int p = parser.Parse(fields);
    if (p < 0) {
      parseError = -p;
      return false;
    }
    if (p == 0) {
      complete = true;
      return false;
    }
    if (parser.complete() != shown) {
      if (shown == 0) ctx.Status("Receiving CTR list");
      shown = parser.complete();
      ctx.Progress("% CTRs received", shown);
    }
    return true;
  });
  if (ended == ReceiveEnd::kAborted || ctx.aborted()) {
    Aborted(ctx);
    return TransferResult::Cancelled();
  }
  if (readerError != 0) {
    ctx.ShowMessage(kCaptionReadList, FormatProgress("E703 Format error %", readerError));
    return TransferResult::Failure();
  }
  if (parseError != 0) {
    ctx.ShowMessage(kCaptionReadList, FormatProgress("E702 Format error %", parseError));
    return TransferResult::Failure();
  }
  if (ended == ReceiveEnd::kReadError) {
    ctx.ShowMessage(kCaptionReadList, "E701 COM port read error");
    return TransferResult::Failure();
  }
  if (!complete) {
    // An instrument that falls silent mid-list would otherwise keep the
    // transfer waiting until someone aborts it.
    ctx.ShowMessage(kCaptionReadList, "E704 Timeout while waiting for the CTR list");
    return TransferResult::Failure();
  }
  CtrList list = parser.Take();
  // An area whose last sentence never came is not handed over half drawn.
  if (!list.areas.empty() && static_cast<int>(list.areas.size()) != parser.complete()) list.areas.pop_back();
  ctx.Progress("% CTR(s) received", list.count());
  return TransferResult::Airspaces(std::move(list), 0);
}

}  // namespace skylode::flytec
