#include "sim/flytec/flytec_instrument.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "access/sentence.h"
#include "access/virtual_line.h"
#include "sim/flytec/demo_flights.h"

namespace skylode::sim {
namespace {

constexpr size_t kMaxCommand = 96;

void AppendFixed(std::string& out, int64_t value, int width) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  for (int i = static_cast<int>(end - digits); i < width; ++i) out.push_back('0');
  out.append(digits, end);
}

// DDMM.mmm / DDDMM.mmm, then the hemisphere field.
void AppendCoordinate(std::string& out, double degrees, int degreeDigits, char positive, char negative) {
  const int64_t milli = std::llround(std::fabs(degrees) * 60000);
  AppendFixed(out, milli / 60000, degreeDigits);
  AppendFixed(out, milli / 1000 % 60, 2);
  out.push_back('.');
  AppendFixed(out, milli % 1000, 3);
  out.push_back(',');
  out.push_back(degrees < 0 ? negative : positive);
}

std::vector<std::string> Split(const std::string& body) {
  std::vector<std::string> f;
  size_t at = 0;
  for (;;) {
    const size_t comma = body.find(',', at);
    f.push_back(body.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) return f;
    at = comma + 1;
  }
}

bool Digits(const std::string& f, size_t n) {
  if (f.size() != n) return false;
  for (char c : f)
    if (c < '0' || c > '9') return false;
  return true;
}

// "DDMM.mmm" (degreeDigits 2) or "DDDMM.mmm" (3), minutes below 60.
std::optional<double> Coordinate(const std::string& f, size_t degreeDigits) {
  const size_t whole = degreeDigits + 2;
  if (f.size() != whole + 4 || f[whole] != '.' || !Digits(f.substr(0, whole), whole) ||
      !Digits(f.substr(whole + 1), 3))
    return std::nullopt;
  const int degrees = std::stoi(f.substr(0, degreeDigits));
  const int minutes = std::stoi(f.substr(degreeDigits, 2));
  const int milli = std::stoi(f.substr(whole + 1));
  if (minutes >= 60) return std::nullopt;
  return degrees + (minutes + milli / 1000.0) / 60;
}

// The instrument's text fields: exactly 17 printable ASCII characters.
bool TextField(const std::string& f) {
  if (f.size() != 17) return false;
  for (char c : f)
    if (c < 0x20 || c > 0x7E || c == '*' || c == '$') return false;
  return true;
}

bool Position(const std::vector<std::string>& f, size_t at) {
  return f.size() > at + 3 && Coordinate(f[at], 2) && (f[at + 1] == "N" || f[at + 1] == "S") &&
         Coordinate(f[at + 2], 3) && (f[at + 3] == "E" || f[at + 3] == "W");
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

std::string FlytecSentence(const std::string& body) {
  std::string s = "$" + body;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

FlytecInstrument::FlytecInstrument(FlytecSimConfig config, std::shared_ptr<FlytecSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<FlytecSimLog>()) {
  for (const SimFlight& f : config_.flights) igc_.push_back(BuildIgcText(f));
  // The areas live in the log, so that they outlast the line: an upload and
  // a later download meet the same memory.
  std::lock_guard lock(log_->mutex);
  if (!log_->ctrAreasLoaded) {
    log_->ctrAreas = config_.ctrAreas;
    log_->ctrAreasLoaded = true;
  }
}

std::string FlytecInstrument::ProductReply() const {
  return FlytecSentence("PBRSNP," + config_.product + "," + config_.pilot + "," + config_.serial + "," +
                        config_.version);
}

std::string FlytecInstrument::TrackListReply() const {
  std::string out;
  const std::string total = std::to_string(config_.flights.size());
  for (size_t i = 0; i < config_.flights.size(); ++i) {
    const SimFlight& f = config_.flights[i];
    std::string number;
    AppendFixed(number, static_cast<int64_t>(i), 1);
    out += FlytecSentence("PBRTL," + total + "," + number + "," + FlightDate(f) + "," + FlightStart(f) + "," +
                          FlightDuration(f));
  }
  return out;
}

std::string FlytecInstrument::FlightReply(size_t number) const {
  return number < igc_.size() ? igc_[number] : std::string();
}

std::string FlytecInstrument::WaypointReply() const {
  std::string out;
  for (const SimWaypoint& w : config_.waypoints) {
    std::string body = "PBRWPS,";
    AppendCoordinate(body, w.latitude, 2, 'N', 'S');
    body.push_back(',');
    AppendCoordinate(body, w.longitude, 3, 'E', 'W');
    body += "," + Upper(w.shortName).substr(0, 6) + "," + Upper(w.longName).substr(0, 17) + ",";
    if (w.altitude < 0) {
      body.push_back('-');
      AppendFixed(body, std::abs(w.altitude) % 1000, 3);
    } else {
      AppendFixed(body, w.altitude % 10000, 4);
    }
    out += FlytecSentence(body);
  }
  return out;
}

void FlytecInstrument::Send(const std::string& text, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->bytesQueued += text.size();
  }
  link.Send(text);
}

void FlytecInstrument::Fault(std::string what) {
  std::lock_guard lock(log_->mutex);
  log_->faults.push_back(std::move(what));
}

void FlytecInstrument::TakeWaypoint(const std::string& body) {
  const std::vector<std::string> f = Split(body);
  if (f.size() != 8 || !Position(f, 1) || !f[5].empty() || !TextField(f[6]) || !Digits(f[7], 4)) {
    Fault("waypoint layout: " + body);
    return;
  }
  SimWaypoint w;
  w.latitude = *Coordinate(f[1], 2) * (f[2] == "S" ? -1 : 1);
  w.longitude = *Coordinate(f[3], 3) * (f[4] == "W" ? -1 : 1);
  w.longName = f[6];
  w.altitude = std::stoi(f[7]);
  std::lock_guard lock(log_->mutex);
  log_->received.push_back(std::move(w));
}

void FlytecInstrument::Acknowledge(char status, InstrumentLink& link) {
  if (config_.silentAck) return;
  std::string ack = FlytecSentence(std::string("PBRANS,") + status);
  if (config_.corruptAck) ack[ack.size() - 3] = ack[ack.size() - 3] == '0' ? '1' : '0';
  Send(ack, link);
}

void FlytecInstrument::TakeCtrSentence(const std::string& body, InstrumentLink& link) {
  const std::vector<std::string> f = Split(body);
  if (f.size() < 4 || !Digits(f[1], 3) || !Digits(f[2], 3)) {
    Fault("CTR sentence layout: " + body);
    return Acknowledge('5', link);
  }
  const int total = std::stoi(f[1]);
  const int number = std::stoi(f[2]);
  if (number == 0) {
    if (!area_.empty()) Fault("CTR area cut off before sentence " + std::to_string(areaTotal_ - 1));
    area_.clear();
    areaTotal_ = total;
    areaBad_ = total < 3;
    if (f.size() != 5 || !TextField(f[3]) || !Digits(f[4], 4)) {
      Fault("CTR name layout: " + body);
      areaBad_ = true;
    }
  } else if (area_.empty() || number != static_cast<int>(area_.size()) || total != areaTotal_) {
    Fault("CTR numbering: " + body);
    area_.clear();
    return Acknowledge('2', link);
  } else if (number == 1) {
    if (f.size() != 4 || !TextField(f[3])) {
      Fault("CTR remark layout: " + body);
      areaBad_ = true;
    }
  } else {
    const std::string& type = f[3];
    const std::string previous = area_.size() > 2 ? Split(area_.back())[3] : "";
    const bool ends = type == "T" || type == "Z";
    const bool ok = ((type == "P" || type == "X") && f.size() == 8 && Position(f, 4)) ||
                    (type == "C" && f.size() == 9 && Position(f, 4) && Digits(f[8], 5) && total == 3) ||
                    (ends && f.size() == 9 && Position(f, 4) && (f[8] == "+" || f[8] == "-"));
    const bool order = (type == "T") == (previous == "X") && (type == "Z") == (previous == "T");
    if (!ok || !order) {
      Fault("CTR segment: " + body);
      areaBad_ = true;
    }
  }
  area_.push_back("PBRCTR" + body.substr(7));
  if (number != areaTotal_ - 1) return;
  std::vector<std::string> done = std::move(area_);
  area_.clear();
  if (areaBad_) return Acknowledge('2', link);
  {
    std::lock_guard lock(log_->mutex);
    if (log_->ctrAreas.size() >= config_.ctrMemory) {
      done.clear();
    } else if (!config_.ackStatus || *config_.ackStatus == '1') {
      log_->ctrAreas.push_back(done);
    }
  }
  Acknowledge(done.empty() ? '3' : config_.ackStatus.value_or('1'), link);
}

std::string FlytecInstrument::CtrListReply() const {
  std::string out;
  size_t sentences = 0;
  const auto add = [&](const std::string& body) {
    if (config_.listSilenceAfter && sentences >= *config_.listSilenceAfter) return;
    ++sentences;
    if (config_.xoffBursts) out += "\x13\x13\x11";
    out += FlytecSentence(body);
  };
  std::lock_guard lock(log_->mutex);
  for (const auto& area : log_->ctrAreas)
    for (const std::string& body : area) add(body);
  add("PBRANS,1");
  return out;
}

void FlytecInstrument::Answer(const std::string& body, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->commands.push_back(body);
  }
  const bool upload = body.starts_with("PBRWPR,") || body.starts_with("PBRCTRW,");
  if (upload) {
    const auto now = std::chrono::steady_clock::now();
    if (lastSentence_ != std::chrono::steady_clock::time_point{} && now - lastSentence_ < config_.minGap)
      Fault("paced too fast: " + body);
    lastSentence_ = now;
  }
  if (body.starts_with("PBRWPR,")) return TakeWaypoint(body);
  if (body.starts_with("PBRCTRW,")) return TakeCtrSentence(body, link);
  if (body == "PBRCTR,") return Send(CtrListReply(), link);
  if (body == "PBRSNP,") {
    Send(ProductReply(), link);
  } else if (body == "PBRTL,") {
    Send(TrackListReply(), link);
  } else if (body == "PBRIGC,") {
    Send(FlightReply(0), link);
  } else if (body == "PBRWPS,") {
    Send(WaypointReply(), link);
  } else if (body.size() == 8 && body.starts_with("PBRTR,")) {
    int n = 0;
    const auto [end, ec] = std::from_chars(body.data() + 6, body.data() + 8, n);
    // An unknown flight gets no answer, as from the instrument.
    if (ec == std::errc() && end == body.data() + 8) Send(FlightReply(static_cast<size_t>(n)), link);
  }
}

void FlytecInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) {
    if (b == '$') {
      pending_.clear();
      inSentence_ = true;
      continue;
    }
    if (!inSentence_) continue;
    if (b == '\n') {
      inSentence_ = false;
      // "<body>*HH\r": anything else, or a wrong checksum, is ignored.
      const size_t star = pending_.rfind('*');
      if (star == std::string::npos || pending_.size() != star + 4 || pending_.back() != '\r') continue;
      const std::string body = pending_.substr(0, star);
      const std::string check = FlytecSentence(body);
      if (check.compare(check.size() - 4, 2, pending_, star + 1, 2) != 0) continue;
      Answer(body, link);
      continue;
    }
    if (pending_.size() >= kMaxCommand) {
      inSentence_ = false;
      continue;
    }
    pending_.push_back(static_cast<char>(b));
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualFlytec(FlytecSimConfig config, InstrumentOptions options,
                                                      std::string& error, std::shared_ptr<FlytecSimLog> log) {
  return StartInstrument(std::make_unique<FlytecInstrument>(std::move(config), std::move(log)),
                         std::move(options), error);
}

void RegisterVirtualFlytec(const std::string& family, FlytecSimConfig config, InstrumentOptions options,
                           std::shared_ptr<FlytecSimLog> log) {
  auto shared = std::make_shared<const FlytecSimConfig>(std::move(config));
  RegisterVirtualInstrument(family, [shared, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualFlytec(*shared, options, error, log);
  });
}

void RegisterVirtualFlytec() { RegisterVirtualFlytec("flytec", DemoConfig()); }

}  // namespace skylode::sim
