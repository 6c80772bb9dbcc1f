#include "sim/iqbasic/iqbasic_instrument.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "access/virtual_line.h"
#include "sim/flytec/demo_flights.h"

namespace skylode::sim {
namespace {

constexpr size_t kMaxCommand = 200;

// Little-endian byte pairs, as many as the value needs (at least one).
std::string HexPairs(uint32_t v) {
  std::string out;
  do {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", v & 0xFF);
    out += pair;
    v >>= 8;
  } while (v != 0);
  return out;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> f;
  size_t at = 0;
  for (;;) {
    const size_t semi = line.find(';', at);
    f.push_back(line.substr(at, semi == std::string::npos ? std::string::npos : semi - at));
    if (semi == std::string::npos) return f;
    at = semi + 1;
  }
}

// "%c  %02d'%02d.%03d" (latitude) or "%c %03d'%02d.%03d" (longitude), exactly.
std::optional<double> Coordinate(const std::string& f, bool latitude) {
  const std::string blanks = latitude ? "  " : " ";
  const size_t digits = latitude ? 2 : 3;
  const size_t length = 1 + blanks.size() + digits + 1 + 2 + 1 + 3;
  if (f.size() != length) return std::nullopt;
  const char h = f[0];
  if (latitude ? (h != 'N' && h != 'S') : (h != 'E' && h != 'W')) return std::nullopt;
  if (f.compare(1, blanks.size(), blanks) != 0) return std::nullopt;
  const size_t at = 1 + blanks.size();
  for (size_t i = at; i < f.size(); ++i) {
    const size_t k = i - at;
    const bool want = k == digits ? f[i] == '\'' : k == digits + 3 ? f[i] == '.' : (f[i] >= '0' && f[i] <= '9');
    if (!want) return std::nullopt;
  }
  const int degrees = std::atoi(f.substr(at, digits).c_str());
  const int minutes = std::atoi(f.substr(at + digits + 1, 2).c_str());
  const int milli = std::atoi(f.substr(at + digits + 4, 3).c_str());
  if (minutes >= 60 || degrees >= (latitude ? 90 : 180)) return std::nullopt;
  const double v = degrees + (minutes + milli / 1000.0) / 60;
  return (h == 'S' || h == 'W') ? -v : v;
}

std::string Coordinate(double degrees, bool latitude) {
  const long long milli = std::llround(std::fabs(degrees) * 60000);
  char text[32];
  std::snprintf(text, sizeof text, latitude ? "%c %lld'%02lld.%03lld" : "%c %lld'%02lld.%03lld",
                latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E'), milli / 60000, milli / 1000 % 60,
                milli % 1000);
  return text;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

IqBasicInstrument::IqBasicInstrument(IqBasicSimConfig config, std::shared_ptr<IqBasicSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<IqBasicSimLog>()) {
  for (const SimFlight& f : config_.flights) igc_.push_back(BuildIgcText(f));
}

std::string IqBasicInstrument::ProductReply(int query) const {
  switch (query) {
    case 0:
      return config_.serialReply.value_or("RPA_00_" + HexPairs(config_.serial)) + "\r\n";
    case 1:
      return config_.deviceTypeReply.value_or("RPA_01_" + HexPairs(config_.deviceType)) + "\r\n";
    default:
      return config_.versionReply.value_or("RPA_02_" + HexPairs(config_.version)) + "\r\n";
  }
}

std::string IqBasicInstrument::TrackListReply() const {
  std::string out;
  for (size_t i = 0; i < config_.flights.size(); ++i) {
    const SimFlight& f = config_.flights[i];
    const int32_t top = f.points.empty() ? 0 : f.points.front().baroHeight;
    out += std::to_string(config_.firstFlightNumber + static_cast<int>(i)) + ";" + FlightDate(f) + ";" +
           FlightStart(f) + "; " + std::to_string(top) + "m;" + FlightDuration(f) + "\r\n";
  }
  for (const std::string& line : config_.extraListLines) out += line + "\r\n";
  return out;
}

std::string IqBasicInstrument::FlightReply(int number) const {
  const int index = number - config_.firstFlightNumber;
  return index >= 0 && index < static_cast<int>(igc_.size()) ? igc_[static_cast<size_t>(index)] : std::string();
}

std::string IqBasicInstrument::WaypointReply() const {
  std::string out;
  for (const SimWaypoint& w : config_.waypoints)
    out += w.longName + ";" + Coordinate(w.latitude, true) + ";" + Coordinate(w.longitude, false) + ";" +
           std::to_string(w.altitude) + "\r\n";
  return out + "Done\r\n";
}

void IqBasicInstrument::Send(const std::string& text, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->bytesQueued += text.size();
  }
  link.Send(text);
}

void IqBasicInstrument::Fault(std::string what) {
  std::lock_guard lock(log_->mutex);
  log_->faults.push_back(std::move(what));
}

void IqBasicInstrument::TakeWaypoint(const std::string& line, InstrumentLink& link) {
  // "%s;%c  %02d'%02d.%03d;%c %03d'%02d.%03d;%6d;   400", the name 16 wide.
  const std::vector<std::string> f = Split(line);
  const auto lat = f.size() == 5 ? Coordinate(f[1], true) : std::nullopt;
  const auto lon = f.size() == 5 ? Coordinate(f[2], false) : std::nullopt;
  bool heightOk = f.size() == 5 && f[3].size() == 6;
  if (heightOk) {
    char* end = nullptr;
    const long h = std::strtol(f[3].c_str(), &end, 10);
    heightOk = *end == '\0' && h >= -2000 && h <= 10000;
  }
  if (!lat || !lon || !heightOk || f[0].size() != 16 || f[4] != "   400") {
    Fault("waypoint layout: " + line);
    return Send("Bad waypoint\r\n", link);
  }
  SimWaypoint w;
  w.latitude = *lat;
  w.longitude = *lon;
  w.longName = f[0];
  w.altitude = std::atoi(f[3].c_str());
  {
    std::lock_guard lock(log_->mutex);
    log_->received.push_back(w);
  }
  const std::string name = TrimRight(f[0]);
  for (const std::string& refused : config_.refusedNames)
    if (refused == name) return Send(config_.refusal + "\r\n", link);
  Send(" Done\r\n", link);
}

void IqBasicInstrument::Answer(const std::string& line, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->commands.push_back(line);
  }
  if (waypointNext_) {
    waypointNext_ = false;
    return TakeWaypoint(line, link);
  }
  if (line == "RPA_00") return Send(ProductReply(0), link);
  if (line == "RPA_01") return Send(ProductReply(1), link);
  if (line == "RPA_02") return Send(ProductReply(2), link);
  if (line == "ACT_20_  ") return Send(TrackListReply(), link);
  if (line == "ACT_31_00") return Send(WaypointReply(), link);
  if (line == "ACT_32_00") {
    waypointNext_ = true;
    return;
  }
  if (line.size() == 9 && line.starts_with("ACT_21_")) {
    char* end = nullptr;
    const long n = std::strtol(line.c_str() + 7, &end, 16);
    // Upper-case digits only; an unknown flight gets no answer.
    const bool upper = line[7] < 'a' && line[8] < 'a';
    if (*end == '\0' && upper) Send(FlightReply(static_cast<int>(n)), link);
  }
}

void IqBasicInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  // The instrument only understands its own speed; it never does flow control.
  if (link.LineSpeed() != kIqBasicSimBaud || link.SoftwareFlow()) return;
  for (uint8_t b : bytes) {
    if (b == '\n') {
      if (!pending_.empty() && pending_.back() == '\r') {
        pending_.pop_back();
        Answer(pending_, link);
      }
      pending_.clear();
      continue;
    }
    if (pending_.size() < kMaxCommand) pending_.push_back(static_cast<char>(b));
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualIqBasic(IqBasicSimConfig config, InstrumentOptions options,
                                                       std::string& error, std::shared_ptr<IqBasicSimLog> log) {
  return StartInstrument(std::make_unique<IqBasicInstrument>(std::move(config), std::move(log)), std::move(options),
                         error);
}

void RegisterVirtualIqBasic() {
  IqBasicSimConfig config;
  const FlytecSimConfig demo = DemoConfig();
  config.flights = demo.flights;
  config.waypoints = demo.waypoints;
  auto shared = std::make_shared<const IqBasicSimConfig>(std::move(config));
  RegisterVirtualInstrument("iqbasic", [shared](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualIqBasic(*shared, {}, error);
  });
}

}  // namespace skylode::sim
