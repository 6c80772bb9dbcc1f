#include "sim/xctrainer/xctrainer_instrument.h"

#include <cstdio>

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

std::string MxpLogBytes(const XcTrainerSimConfig& c) {
  std::string out;
  const std::vector<std::string> lines = MxpLogLines(c);
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i] + "\r\n";
    if (!c.topNavigator && c.flowControlEvery > 0 && (i + 1) % static_cast<size_t>(c.flowControlEvery) == 0)
      out += "\x13\x11";
  }
  return out;
}

XcTrainerInstrument::XcTrainerInstrument(XcTrainerSimConfig config) : config_(std::move(config)) {}

void XcTrainerInstrument::OnReceive(std::span<const uint8_t>, InstrumentLink&) {}

void XcTrainerInstrument::OnTick(InstrumentLink& link) {
  if (sent_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!lineSet_) {
    // A fresh pseudo-terminal runs at 38400. The program's open sets the
    // speed, waits 200 ms for the line to settle and purges: the instrument
    // keeps quiet until after that.
    if (link.LineSpeed() != 57600) return;
    lineSet_ = true;
    lineSetAt_ = now;
  }
  if (now - lineSetAt_ < std::max(config_.startDelay, kLeastDelay)) return;
  sent_ = true;
  link.Send(MxpLogBytes(config_));
}

std::unique_ptr<VirtualInstrument> StartVirtualXcTrainer(XcTrainerSimConfig config, InstrumentOptions options,
                                                         std::string& error) {
  return StartInstrument(std::make_unique<XcTrainerInstrument>(std::move(config)), std::move(options), error);
}

void RegisterVirtualXcTrainer() {
  for (bool topNavigator : {false, true}) {
    XcTrainerSimConfig config;
    config.topNavigator = topNavigator;
    config.points = DemoMxpPoints(240);
    config.startDelay = std::chrono::milliseconds(500);
    RegisterVirtualInstrument(topNavigator ? "topnav" : "xctrainer", [config](std::string& error) -> std::unique_ptr<VirtualLine> {
      InstrumentOptions options;
      options.pace = true;
      return StartVirtualXcTrainer(config, options, error);
    });
  }
}

}  // namespace skylode::sim
