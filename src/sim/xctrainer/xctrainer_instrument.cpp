#include "sim/xctrainer/xctrainer_instrument.h"

#include <cstdio>
#include <cstdlib>

#include "access/virtual_line.h"

namespace skylode::sim {
namespace {

std::string Hex(int64_t value, int digits) {
  const uint64_t mask = digits >= 16 ? ~uint64_t{0} : (uint64_t{1} << (4 * digits)) - 1;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(static_cast<uint64_t>(value) & mask));
  return buf;
}

std::string Dec2(int value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", value % 100);
  return buf;
}

constexpr std::chrono::milliseconds kLeastDelay{350};

bool Both(const XcTrainerSimConfig& c) { return c.heightVariant == '2'; }

}  // namespace

std::string WithChecksum(const std::string& covered) {
  uint8_t x = 0;
  for (char c : covered) x ^= static_cast<uint8_t>(c);
  return covered + Hex(x, 2);
}

std::vector<MxpSimPoint> DemoMxpPoints(int count) {
  std::vector<MxpSimPoint> points;
  for (int i = 0; i < count; ++i) {
    // Annecy, drifting north-east and climbing.
    points.push_back({static_cast<uint32_t>(i), 1099510 + 3 * i, 149902 + 4 * i, 1240 + i / 2, 1252 + i / 2});
  }
  return points;
}

std::vector<std::string> MxpLogLines(const XcTrainerSimConfig& c) {
  if (!c.lines.empty()) return c.lines;
  std::vector<std::string> lines;
  std::string header = (c.topNavigator ? "@tn" : "@xc") + c.firmware.substr(0, 4) + Hex(c.serial, 4) + "00" +
                       Dec2(c.year) + Dec2(c.month) + Dec2(c.day) + Dec2(c.hour) + Dec2(c.minute) +
                       Dec2(c.second) + "01" + Hex(static_cast<int64_t>(c.points.size()), 4) + "01" +
                       std::string(1, c.heightVariant) + "00";
  lines.push_back(WithChecksum(header));
  for (size_t i = 0; i < c.points.size(); ++i) {
    const MxpSimPoint& p = c.points[i];
    std::string line = Hex(static_cast<int64_t>(i) + c.firstRecord, 4) + Hex(p.timeField, 4) + "01" +
                       Hex(p.latitude, 6) + Hex(p.longitude, 6);
    if (c.heightVariant == '0') {
      line += Hex(p.baroHeight, 4);
    } else if (Both(c)) {
      line += Hex(p.baroHeight, 4) + Hex(p.gpsHeight, 4);
    } else {
      line += Hex(p.gpsHeight, 4);
    }
    lines.push_back(WithChecksum(line));
  }
  return lines;
}

std::vector<std::string> TncLogLines(const XcTrainerSimConfig& c) {
  if (!c.lines.empty()) return c.lines;
  std::vector<std::string> lines;
  // "@TN", a character, the height variant, S/N, the date and the fields
  // only checked for their digits.
  std::string header = std::string("@TN0") + c.heightVariant + Hex(c.serial, 4) + "000000" + Dec2(c.year) +
                       Dec2(c.month) + Dec2(c.day) + "00000000" + "00" + std::string(11, '0') +
                       std::string(28, '0') + "00" + "000000";
  lines.push_back(header);
  const int startOfDay = c.hour * 3600 + c.minute * 60 + c.second;
  for (size_t i = 0; i < c.points.size(); ++i) {
    if (i % 30 == 0) {
      const int t = (startOfDay + static_cast<int>(i)) % 86400;
      lines.push_back(Dec2(t / 3600) + Dec2(t / 60 % 60) + Dec2(t % 60) + "00005AC0");
    }
    const MxpSimPoint& p = c.points[i];
    std::string line = Hex(TncCentiMinutes(p.latitude), 6) + Hex(TncCentiMinutes(p.longitude), 6);
    if (c.topNavigator || (c.heightVariant != '0' && c.heightVariant != '2')) {
      line += Hex(p.gpsHeight, 4) + std::string(14, '0');
    } else if (c.heightVariant == '0') {
      line += Hex(p.baroHeight, 4) + std::string(14, '0');
    } else {
      line += Hex(p.baroHeight, 4) + Hex(p.gpsHeight, 4) + std::string(14, '0');
    }
    lines.push_back(line);
  }
  lines.push_back("@EOF");
  return lines;
}

namespace {

std::string WithFlowControl(const XcTrainerSimConfig& c, const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i] + "\r\n";
    if (!c.topNavigator && c.flowControlEvery > 0 && (i + 1) % static_cast<size_t>(c.flowControlEvery) == 0 &&
        i + 1 < lines.size())
      out += "\x13\x11";
  }
  return out;
}

}  // namespace

std::string MxpLogBytes(const XcTrainerSimConfig& c) { return WithFlowControl(c, MxpLogLines(c)); }
std::string TncLogBytes(const XcTrainerSimConfig& c) { return WithFlowControl(c, TncLogLines(c)); }

std::string XcTrainerWaypointRecord(const XcSimWaypoint& w) {
  std::string r = "@@WP";
  r.push_back('\0');
  r.push_back(static_cast<char>((w.height >> 8) & 0xFF));
  r.push_back(static_cast<char>(w.height & 0xFF));
  std::string name = w.name.substr(0, 11);
  name.resize(11, ' ');
  r += name;
  r.append(4, '\0');
  for (int32_t v : {w.latitude, w.longitude})
    for (int k = 0; k < 3; ++k) r.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF));
  uint8_t x = 0;
  for (size_t i = 2; i < 28; ++i) x ^= static_cast<uint8_t>(r[i]);
  r.push_back(static_cast<char>(x));
  return r + "\r\n";
}

std::string TopNavWaypointLine(const XcSimWaypoint& w) {
  auto dms = [](int32_t centiMinutes, int degreeDigits) {
    const int64_t seconds = (std::abs(static_cast<int64_t>(centiMinutes)) * 60 + 50) / 100;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*lld %02lld %02lld", degreeDigits, static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return std::string(buf);
  };
  std::string id = w.name.substr(0, 6);
  while (id.size() < 6) id.push_back('_');
  return id + " 1 TPT " + (w.latitude < 0 ? "S " : "N ") + dms(w.latitude, 2) + (w.longitude < 0 ? " W " : " E ") +
         dms(w.longitude, 3) + " " + std::to_string(w.height) + " m\r\n";
}

std::vector<XcSimWaypoint> DemoXcWaypoints() {
  return {{"FORCLAZ", 274877, 37479, 1250}, {"DOUSSARD", 274680, 37331, 460}, {"PLANFAIT", 275214, 37768, 1400}};
}

XcTrainerInstrument::XcTrainerInstrument(XcTrainerSimConfig config, std::shared_ptr<XcTrainerSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<XcTrainerSimLog>()) {}

void XcTrainerInstrument::SendWaypoint(InstrumentLink& link) {
  if (nextWaypoint_ < config_.waypoints.size()) {
    const XcSimWaypoint& w = config_.waypoints[nextWaypoint_++];
    link.Send(config_.topNavigator ? TopNavWaypointLine(w) : XcTrainerWaypointRecord(w));
  } else if (nextWaypoint_ == config_.waypoints.size()) {
    ++nextWaypoint_;
    // The Top Navigator closes its list; the XC Trainer just stops.
    if (config_.topNavigator) link.Send(std::string_view("@EOF\r\n"));
  }
}

void XcTrainerInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  std::lock_guard lock(log_->mutex);
  log_->received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (sending_ != PilotSends::kWaypoints) return;
  for (uint8_t b : bytes) {
    pendingAck_.push_back(static_cast<char>(b));
    if (pendingAck_.size() > 4) pendingAck_.erase(0, pendingAck_.size() - 4);
    if (pendingAck_ == "@@OK") {
      pendingAck_.clear();
      ++log_->acknowledgements;
      SendWaypoint(link);
    }
  }
}

void XcTrainerInstrument::OnTick(InstrumentLink& link) {
  if (sent_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!lineSet_) {
    // A fresh pseudo-terminal runs at 38400. The program's open sets the
    // speed, waits 200 ms for the line to settle and purges: the instrument
    // keeps quiet until after that.
    const uint32_t speed = link.LineSpeed();
    if (speed != 57600 && speed != 9600) return;
    lineSet_ = true;
    lineSetAt_ = now;
    sending_ = config_.sends;
    if (sending_ == PilotSends::kByLine)
      sending_ = speed == 57600 ? PilotSends::kMxpLog
                 : config_.topNavigator ? PilotSends::kTncLog
                                        : PilotSends::kWaypoints;
  }
  if (now - lineSetAt_ < std::max(config_.startDelay, kLeastDelay)) return;
  sent_ = true;
  switch (sending_) {
    case PilotSends::kMxpLog: link.Send(MxpLogBytes(config_)); break;
    case PilotSends::kTncLog: link.Send(TncLogBytes(config_)); break;
    case PilotSends::kWaypoints: SendWaypoint(link); break;
    default: break;
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualXcTrainer(XcTrainerSimConfig config, InstrumentOptions options,
                                                         std::string& error, std::shared_ptr<XcTrainerSimLog> log) {
  return StartInstrument(std::make_unique<XcTrainerInstrument>(std::move(config), std::move(log)),
                         std::move(options), error);
}

void RegisterVirtualXcTrainer() {
  for (bool topNavigator : {false, true}) {
    XcTrainerSimConfig config;
    config.topNavigator = topNavigator;
    config.points = DemoMxpPoints(240);
    config.startDelay = std::chrono::milliseconds(500);
    config.waypoints = DemoXcWaypoints();
    RegisterVirtualInstrument(topNavigator ? "topnav" : "xctrainer", [config](std::string& error) -> std::unique_ptr<VirtualLine> {
      InstrumentOptions options;
      options.pace = true;
      return StartVirtualXcTrainer(config, options, error);
    });
  }
}

}  // namespace skylode::sim
