#include "sim/flytec/flytec_instrument.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "access/sentence.h"
#include "access/virtual_line.h"
#include "sim/flytec/demo_flights.h"

namespace skylode::sim {
namespace {

constexpr size_t kMaxCommand = 80;

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

void FlytecInstrument::Answer(const std::string& body, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->commands.push_back(body);
  }
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
