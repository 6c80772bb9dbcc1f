#include "sim/mlr/mlr_instrument.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "access/virtual_line.h"
#include "sim/mlr/graviter_instrument.h"

namespace skylode::sim {

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}

std::string Fix(const MlrSimPoint& p) {
  std::string out;
  Put32(out, p.gpsTime);
  Put32(out, static_cast<uint32_t>(p.latitude));
  Put32(out, static_cast<uint32_t>(p.longitude));
  const auto h = static_cast<uint32_t>(p.height);
  for (int s = 16; s >= 0; s -= 8) out.push_back(static_cast<char>((h >> s) & 0xFF));
  out.push_back(p.newSegment ? 1 : 0);
  return out;
}

std::string Framed(uint8_t sequence, bool waypoints, const std::string& body) {
  std::string covered;
  covered.push_back(static_cast<char>(sequence));
  covered.push_back(waypoints ? 'W' : 'T');
  covered.push_back(waypoints ? 2 : 1);
  covered += body;
  uint16_t sum = 0;
  for (char c : covered) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
  std::string out = "$" + covered;
  out.push_back(static_cast<char>(sum >> 8));
  out.push_back(static_cast<char>(sum & 0xFF));
  return out + "\r\n";
}

std::string Xor2(const std::string& afterDollar) {
  uint8_t x = 0;
  for (char c : afterDollar) x ^= static_cast<uint8_t>(c);
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", x);
  return buf;
}

// GPS seconds of 2026-07-15 10:00:00.
constexpr uint32_t kDemoStart = 1468144800u;

}  // namespace

std::string MlrProductReply(const MlrSimConfig& c) {
  const std::string covered = "PMLR,IDGPS,01," + c.product + "," + c.second + "," + c.serial + "," + c.fourth;
  return "$" + covered + "*" + Xor2(covered) + "\r\n";
}

std::string MlrStartFrame(uint8_t sequence, bool waypoints) { return Framed(sequence, waypoints, "DEBUT"); }
std::string MlrEndFrame(uint8_t sequence, bool waypoints) { return Framed(sequence, waypoints, "FIN"); }

std::string MlrDataFrame(uint8_t sequence, bool waypoints, int count, const std::string& records) {
  std::string body(1, '\0');
  body.push_back(static_cast<char>(count));
  return Framed(sequence, waypoints, body + records);
}

std::string MlrTrackRecord(uint16_t number, const MlrSimPoint& p) {
  std::string out;
  out.push_back(static_cast<char>(number >> 8));
  out.push_back(static_cast<char>(number & 0xFF));
  return out + Fix(p);
}

std::string MlrWaypointRecord(const MlrSimWaypoint& w) {
  std::string id = w.id.substr(0, 6);
  id.resize(6, ' ');
  return id + Fix(w.fix);
}

std::string MlrDownloadBytes(const MlrSimConfig& c, bool waypoints) {
  uint8_t seq = c.firstSequence;
  std::string out = MlrStartFrame(seq, waypoints);
  const size_t total = waypoints ? c.waypoints.size() : c.points.size();
  const size_t per = static_cast<size_t>(waypoints ? c.waypointsPerFrame : c.pointsPerFrame);
  for (size_t i = 0; i < total; i += per) {
    std::string records;
    const size_t n = std::min(per, total - i);
    for (size_t k = i; k < i + n; ++k)
      records += waypoints ? MlrWaypointRecord(c.waypoints[k])
                           : MlrTrackRecord(static_cast<uint16_t>(k + 1), c.points[k]);
    out += MlrDataFrame(++seq, waypoints, static_cast<int>(n), records);
  }
  return out + MlrEndFrame(++seq, waypoints);
}

std::string MlrWaypointSentence(const MlrSimWaypoint& w) {
  auto thousandths = [](int32_t semicircles) {
    return static_cast<int64_t>(std::llround(std::abs(static_cast<double>(semicircles)) * 180.0 / 2147483648.0 * 60000.0));
  };
  const int64_t lat = thousandths(w.fix.latitude), lon = thousandths(w.fix.longitude);
  std::string id = w.id.substr(0, 6), description = w.description.substr(0, 22);
  id.resize(6, ' ');
  description.resize(22, ' ');
  char buf[160];
  std::snprintf(buf, sizeof buf, "GPWPL,%02lld%02lld.%03lld,%c,%03lld%02lld.%03lld,%c,%s0%s",
                static_cast<long long>(lat / 60000), static_cast<long long>(lat / 1000 % 60),
                static_cast<long long>(lat % 1000), w.fix.latitude < 0 ? 'S' : 'N',
                static_cast<long long>(lon / 60000), static_cast<long long>(lon / 1000 % 60),
                static_cast<long long>(lon % 1000), w.fix.longitude < 0 ? 'W' : 'E', id.c_str(),
                description.c_str());
  const std::string covered = buf;
  return "$" + covered + "*" + Xor2(covered) + "\r\n";
}

std::vector<MlrSimPoint> DemoMlrPoints(int count, int segment) {
  std::vector<MlrSimPoint> points;
  for (int i = 0; i < count; ++i) {
    // Round Annecy, drifting north-east and climbing.
    points.push_back({kDemoStart + static_cast<uint32_t>(i), 547000000 + 700 * i, 74000000 + 900 * i,
                      12400 + 7 * i, segment > 0 && i > 0 && i % segment == 0});
  }
  return points;
}

std::vector<MlrSimWaypoint> DemoMlrWaypoints() {
  return {{"FORCLA", "Col de la Forclaz", {kDemoStart, 547420000, 74480000, 12500, false}},
          {"DOUSSA", "Doussard landing", {kDemoStart, 547070000, 74180000, 4600, false}},
          {"PLANFA", "Planfait", {kDemoStart, 547730000, 74890000, 14000, false}}};
}

MlrInstrument::MlrInstrument(MlrSimConfig config, std::shared_ptr<MlrSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<MlrSimLog>()) {}

void MlrInstrument::Command(const std::string& line, InstrumentLink& link) {
  if (line == "$PMLR,26,01,01,0339") {
    if (config_.answersProductQuery) link.Send(MlrProductReply(config_));
  } else if (line == "$PMLR,24,02,0101,0399" || line == "$PMLR,24,02,0301,039B") {
    const bool waypoints = line.back() == 'B';
    fast_ = true;
    pending_ = !waypoints && !config_.trackBytes.empty() ? config_.trackBytes : MlrDownloadBytes(config_, waypoints);
    pendingAt_ = std::chrono::steady_clock::now() + config_.frameDelay;
  } else if (line == "$PMLR,06,00,02A9") {
    ++log_->stops;
    fast_ = false;
    pending_.clear();
  }
}

void MlrInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  std::lock_guard lock(log_->mutex);
  log_->received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // At any other speed the instrument hears only noise.
  if (link.LineSpeed() != kMlrSimBaud) return;
  lines_.Feed(bytes, [&](const std::string& line) { Command(line, link); });
}

void MlrInstrument::OnTick(InstrumentLink& link) {
  if (link.LineSpeed() != kMlrSimBaud) return;
  const auto now = std::chrono::steady_clock::now();
  if (!pending_.empty() && now >= pendingAt_) {
    link.Send(pending_);
    pending_.clear();
  }
  if (fast_ || !config_.sentenceCycle || config_.waypoints.empty()) return;
  if (now - lastSentence_ < config_.sentenceInterval) return;
  lastSentence_ = now;
  link.Send(MlrWaypointSentence(config_.waypoints[nextSentence_++ % config_.waypoints.size()]));
}

std::unique_ptr<VirtualInstrument> StartVirtualMlr(MlrSimConfig config, InstrumentOptions options,
                                                   std::string& error, std::shared_ptr<MlrSimLog> log) {
  return StartInstrument(std::make_unique<MlrInstrument>(std::move(config), std::move(log)), std::move(options),
                         error);
}

void RegisterVirtualMlr() {
  MlrSimConfig config;
  config.points = DemoMlrPoints(600, 400);
  config.waypoints = DemoMlrWaypoints();
  config.sentenceCycle = true;
  RegisterVirtualInstrument("mlr", [config](std::string& error) -> std::unique_ptr<VirtualLine> {
    InstrumentOptions options;
    options.pace = true;
    return StartVirtualMlr(config, options, error);
  });
  GraviterSimConfig graviter;
  GraviterTrack type2;
  type2.type = 2;
  GraviterTrack flight;
  flight.hour = 12;
  flight.records = DemoGraviterRecords(900);
  graviter.tracks = {type2, flight};
  RegisterVirtualInstrument("graviter", [graviter](std::string& error) -> std::unique_ptr<VirtualLine> {
    InstrumentOptions options;
    options.pace = true;
    return StartVirtualGraviter(graviter, options, error);
  });
}

}  // namespace skylode::sim
