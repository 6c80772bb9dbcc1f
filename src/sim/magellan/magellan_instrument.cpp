#include "sim/magellan/magellan_instrument.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "access/sentence.h"
#include "access/virtual_line.h"

namespace skylode::sim {

namespace {

std::string Minutes(double degrees, int width) {
  const double a = std::fabs(degrees);
  const int whole = static_cast<int>(a);
  const double minutes = (a - whole) * 60;
  char text[32];
  std::snprintf(text, sizeof text, "%0*d%06.3f", width, whole, minutes);
  return text;
}

}  // namespace

std::string MagellanSentence(const std::string& body) {
  std::string s = "$" + body;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

std::string MagellanTrackBody(double latitude, double longitude, int metres, uint32_t utc, bool valid) {
  const std::time_t t = utc;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[160];
  std::snprintf(text, sizeof text, "PMGNTRK,%s,%c,%s,%c,%05d,M,%02d%02d%02d.00,%c,,%02d%02d%02d",
                Minutes(latitude, 2).c_str(), latitude < 0 ? 'S' : 'N', Minutes(longitude, 3).c_str(),
                longitude < 0 ? 'W' : 'E', metres, tm.tm_hour, tm.tm_min, tm.tm_sec, valid ? 'A' : 'V', tm.tm_mday,
                tm.tm_mon + 1, tm.tm_year % 100);
  return text;
}

MagellanInstrument::MagellanInstrument(MagellanSimConfig config, std::shared_ptr<MagellanSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<MagellanSimLog>()) {}

void MagellanInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) {
    const char c = static_cast<char>(b);
    if (c == '$') {
      line_ = "$";
      inLine_ = true;
    } else if (inLine_ && c == '\n') {
      inLine_ = false;
      Take(line_, link);
    } else if (inLine_) {
      line_.push_back(c);
    }
  }
}

void MagellanInstrument::Take(const std::string& line, InstrumentLink& link) {
  std::lock_guard lock(log_->mutex);
  const size_t star = line.find('*');
  if (star == std::string::npos || line.size() != star + 4 || line.back() != '\r') {
    log_->faults.push_back("not a sentence: " + line);
    return;
  }
  const std::string body = line.substr(1, star - 1);
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", SentenceChecksum(body));
  if (line.substr(star + 1, 2) != digits) log_->faults.push_back("checksum: " + line);
  log_->commands.push_back(body);
  auto serve = [&](const std::vector<std::string>& bodies) {
    for (const std::string& b : bodies) link.Send(MagellanSentence(b));
    if (config_.sendEnd) link.Send(MagellanSentence("PMGNCMD,END"));
  };
  if (body == "PMGNCMD,VERSION") {
    link.Send(MagellanSentence("PMGNVER," + std::to_string(config_.productId) + "," + config_.version + "," +
                               config_.description));
  } else if (body == "PMGNCMD,TRACK,2") {
    serve(config_.track);
  } else if (body == "PMGNCMD,WAYPOINT") {
    std::vector<std::string> all = config_.waypoints;
    all.insert(all.end(), log_->received.begin(), log_->received.end());
    serve(all);
  } else if (body.rfind("PMGNWPL,", 0) == 0) {
    log_->received.push_back(body);
    if (config_.hangUpAfterWaypoints >= 0 && log_->received.size() >= size_t(config_.hangUpAfterWaypoints))
      link.HangUp();
  } else if (body == "PMGNCMD,END") {
    log_->uploadEnded = true;
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualMagellan(MagellanSimConfig config, InstrumentOptions options,
                                                        std::string& error, std::shared_ptr<MagellanSimLog> log) {
  return StartInstrument(std::make_unique<MagellanInstrument>(std::move(config), std::move(log)), options, error);
}

void RegisterVirtualMagellan(const std::string& name, MagellanSimConfig config, InstrumentOptions options,
                             std::shared_ptr<MagellanSimLog> log) {
  auto shared = std::make_shared<const MagellanSimConfig>(std::move(config));
  if (!log) log = std::make_shared<MagellanSimLog>();
  RegisterVirtualInstrument(name, [shared, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualMagellan(*shared, options, error, log);
  });
}

MagellanSimConfig DemoMagellanConfig() {
  MagellanSimConfig c;
  const uint32_t start = 1785672000;  // 2026-08-02 12:00:00 UTC
  for (int i = 0; i < 25; ++i)
    c.track.push_back(MagellanTrackBody(45.8129 + i * 1e-4, 6.2459 - i * 1.5e-4, 1250 + i, start + uint32_t(i)));
  c.waypoints = {"PMGNWPL,4548.774,N,00614.754,E,0001250,M,FORCLA,Forclaz deco,a",
                 "PMGNWPL,4546.800,N,00613.308,E,0000460,M,DOUSSA,Doussard,a"};
  return c;
}

void RegisterVirtualMagellan() { RegisterVirtualMagellan("magellan", DemoMagellanConfig()); }

}  // namespace skylode::sim
