#include "sim/flymaster/flymaster_instrument.h"

#include <cstdio>
#include <cstdlib>

#include "access/sentence.h"
#include "access/virtual_line.h"
#include "records/calendar.h"

namespace skylode::sim {
namespace {

constexpr size_t kMaxCommand = 120;
constexpr uint32_t kEpoch = 315619200;  // 2000-01-01 on the program's scale
constexpr uint8_t kAck = 0xB1, kResend = 0xB2, kCancel = 0xB3;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, int16_t v) {
  out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v)));
  out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
}

void PutText(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

bool FitsRecord(const FlymasterFix& a, const FlymasterFix& b) {
  auto small = [](int64_t d) { return d >= -128 && d <= 127; };
  return small(int64_t{b.latitude} - a.latitude) && small(int64_t{b.longitude} - a.longitude) &&
         small(int64_t{b.gpsAltitude} - a.gpsAltitude) && small(int64_t{b.pressure} - a.pressure) &&
         b.time >= a.time && b.time - a.time <= 255;
}

std::string Clock(const CalendarTime& t, bool date) {
  char text[40];
  if (date)
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", t.day, t.month, t.year % 100);
  else
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

std::vector<std::string> Split(const std::string& body) {
  std::vector<std::string> fields(1);
  for (char c : body) {
    if (c == ',')
      fields.emplace_back();
    else
      fields.back().push_back(c);
  }
  return fields;
}

std::string Normalised(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = ' ';
  }
  return out;
}

}  // namespace

std::vector<uint8_t> FlymasterBlock(uint8_t id, std::span<const uint8_t> payload) {
  std::vector<uint8_t> block = {id, id, static_cast<uint8_t>(payload.size())};
  uint8_t sum = static_cast<uint8_t>(payload.size());
  for (uint8_t b : payload) {
    block.push_back(b);
    sum ^= b;
  }
  block.push_back(sum);
  return block;
}

std::vector<std::vector<uint8_t>> FlymasterFlightBlocks(const FlymasterSimFlight& flight,
                                                       const FlymasterSimSettings& settings,
                                                       size_t recordsPerBlock) {
  if (!flight.script.empty()) return flight.script;
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<uint8_t> info(63, 0);
  info[0] = flight.firmwareMajor;
  info[1] = flight.firmwareMinor;
  for (int i = 0; i < 4; ++i) info[4 + i] = static_cast<uint8_t>(flight.serialNumber >> (8 * i));
  PutText(info, 8, settings.competitionId, 7);
  PutText(info, 46, settings.civlId, 7);
  blocks.push_back(FlymasterBlock(0xA0, info));

  std::vector<uint8_t> records;
  auto flush = [&] {
    if (records.empty()) return;
    blocks.push_back(FlymasterBlock(0xA2, records));
    records.clear();
  };
  for (size_t i = 0; i < flight.fixes.size(); ++i) {
    const FlymasterFix& f = flight.fixes[i];
    if (i == 0 || !FitsRecord(flight.fixes[i - 1], f)) {
      flush();
      std::vector<uint8_t> key = {0};
      Put32(key, static_cast<uint32_t>(f.latitude));
      Put32(key, static_cast<uint32_t>(f.longitude));
      Put16(key, f.gpsAltitude);
      Put16(key, f.pressure);
      Put32(key, f.time);
      blocks.push_back(FlymasterBlock(0xA1, key));
      continue;
    }
    const FlymasterFix& p = flight.fixes[i - 1];
    records.push_back(0);
    records.push_back(static_cast<uint8_t>(f.latitude - p.latitude));
    records.push_back(static_cast<uint8_t>(f.longitude - p.longitude));
    records.push_back(static_cast<uint8_t>(f.gpsAltitude - p.gpsAltitude));
    records.push_back(static_cast<uint8_t>(f.pressure - p.pressure));
    records.push_back(static_cast<uint8_t>(f.time - p.time));
    if (records.size() >= recordsPerBlock * 6) flush();
  }
  flush();
  blocks.push_back({0xA3, 0xA3});
  return blocks;
}

std::string FlymasterSentence(const std::string& body) {
  std::string s = "$" + body;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

FlymasterInstrument::FlymasterInstrument(FlymasterSimConfig config, std::shared_ptr<FlymasterSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<FlymasterSimLog>()) {
  std::lock_guard lock(log_->mutex);
  log_->settings = config_.settings;
}

std::string FlymasterInstrument::ProductReply() const {
  return FlymasterSentence("PBRSNP," + config_.product + ",," + config_.serial + "," + config_.version);
}

std::string FlymasterInstrument::TrackListReply() const {
  std::string out;
  const std::string total = std::to_string(config_.flights.size());
  for (size_t i = 0; i < config_.flights.size(); ++i) {
    const auto& fixes = config_.flights[i].fixes;
    const uint32_t first = fixes.empty() ? 0 : fixes.front().time;
    const uint32_t last = fixes.empty() ? 0 : fixes.back().time;
    const CalendarTime start = SecondsToDateTime(first + kEpoch);
    const uint32_t d = last - first;
    char duration[40];
    std::snprintf(duration, sizeof duration, "%02u:%02u:%02u", d / 3600, d / 60 % 60, d % 60);
    out += FlymasterSentence("PFMLST," + total + "," + std::to_string(i) + "," + Clock(start, true) + "," +
                             Clock(start, false) + "," + duration);
  }
  return out;
}

void FlymasterInstrument::Send(std::span<const uint8_t> bytes, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->bytesQueued += bytes.size();
  }
  link.Send(bytes);
}

void FlymasterInstrument::SendBlock(InstrumentLink& link) {
  std::vector<uint8_t> block = stream_[current_];
  // The first sending of a damaged block: the line garbled its checksum.
  if (damaged_.erase(current_) > 0) block.back() ^= 0x5A;
  {
    std::lock_guard lock(log_->mutex);
    ++log_->blocksSent;
  }
  if (block.size() == 2 && block[0] == 0xA3) streaming_ = false;  // the end needs no answer
  Send(block, link);
}

void FlymasterInstrument::OnControl(uint8_t byte, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    if (byte == kAck) ++log_->acks;
    if (byte == kResend) ++log_->resendRequests;
    if (byte == kCancel) ++log_->cancels;
  }
  if (!streaming_) return;
  if (byte == kCancel) {
    streaming_ = false;
  } else if (byte == kResend) {
    SendBlock(link);
  } else if (byte == kAck && ++current_ < stream_.size()) {
    SendBlock(link);
  } else if (byte == kAck) {
    streaming_ = false;
  }
}

void FlymasterInstrument::Answer(const std::string& body, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->sentences.push_back(body);
  }
  const std::vector<std::string> f = Split(body);
  auto text = [&](const std::string& s) {
    Send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), link);
  };
  if (f[0] == "PBRSNP") {
    text(ProductReply());
  } else if (f[0] == "PFMDNL" && f.size() >= 2 && f[1] == "LST") {
    text(TrackListReply());
  } else if (f[0] == "PFMDNL" && f.size() >= 2) {
    for (const FlymasterSimFlight& flight : config_.flights) {
      const uint32_t first = flight.fixes.empty() ? 0 : flight.fixes.front().time;
      const CalendarTime t = SecondsToDateTime(first + kEpoch);
      char key[48];
      std::snprintf(key, sizeof key, "%02d%02d%02d%02d%02d%02d", t.year % 100, t.month, t.day, t.hour, t.minute,
                    t.second);
      if (f[1] != key) continue;
      FlymasterSimSettings settings;
      {
        std::lock_guard lock(log_->mutex);
        settings = log_->settings;
      }
      stream_ = FlymasterFlightBlocks(flight, settings, config_.recordsPerBlock);
      damaged_ = config_.damagedBlocks;
      current_ = 0;
      streaming_ = true;
      SendBlock(link);
      return;
    }
  } else if (f[0] == "PFMWPR" && f.size() >= 8) {
    const std::string& name = f[6];
    {
      std::lock_guard lock(log_->mutex);
      log_->waypointNames.push_back(name);
    }
    text(FlymasterSentence(config_.version == "1.14" ? "PFMWPR," + name : "PFMWPR,ACK," + Normalised(name)));
  } else if (f[0] == "PFMPLT" && f.size() >= 5) {
    std::lock_guard lock(log_->mutex);
    log_->settings.pilotName = f[1];
    log_->settings.competitionNumber = f[2];
    log_->settings.gliderBrand = f[3];
    log_->settings.gliderModel = f[4];
  } else if (f[0] == "PFMALT" && f.size() >= 2) {
    std::lock_guard lock(log_->mutex);
    log_->settings.altitudeAlarm = std::atoi(f[1].c_str());
  } else if (f[0] == "PFMIDS" && f.size() >= 4) {
    std::lock_guard lock(log_->mutex);
    log_->settings.competitionId = f[1];
    log_->settings.civlId = f[2];
    log_->settings.idsPilotName = f[3];
  } else if (f[0] == "PFMOFF") {
    std::lock_guard lock(log_->mutex);
    log_->poweredOff = true;
  }
}

void FlymasterInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) {
    if (!inSentence_ && b >= 0xB1 && b <= 0xB3) {
      OnControl(b, link);
      continue;
    }
    if (b == '$') {
      pending_.clear();
      inSentence_ = true;
      continue;
    }
    if (!inSentence_) continue;
    if (b == '\n') {
      inSentence_ = false;
      const size_t star = pending_.rfind('*');
      if (star == std::string::npos || pending_.size() != star + 4 || pending_.back() != '\r') continue;
      const std::string body = pending_.substr(0, star);
      std::string digits = pending_.substr(star + 1, 2);
      for (char& c : digits)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
      const std::string check = FlymasterSentence(body);
      // The track-list command carries digits of its own.
      if (check.compare(check.size() - 4, 2, digits) != 0 && body != "PFMDNL,LST,") continue;
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

FlymasterSimFlight DemoFlymasterFlight(uint32_t start, size_t count, uint64_t seed) {
  FlymasterSimFlight flight;
  FlymasterFix at{2748774, -374754, 1250, 8650, start};  // above Lake Annecy
  uint64_t state = seed * 6364136223846793005ULL + 1442695040888963407ULL;
  auto next = [&](int range) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int32_t>((state >> 33) % static_cast<uint64_t>(2 * range + 1)) - range;
  };
  for (size_t i = 0; i < count; ++i) {
    flight.fixes.push_back(at);
    at.latitude += 3 + next(20);
    at.longitude += next(25);
    at.gpsAltitude = static_cast<int16_t>(at.gpsAltitude + next(3));
    at.pressure = static_cast<int16_t>(at.pressure + next(2));
    at.time += 1;
    // Now and then a gap in the fixes or a fast glide: no record holds it.
    if (i % 997 == 996) at.time += 300;
    if (i % 1499 == 1498) at.latitude += 400;
  }
  return flight;
}

std::unique_ptr<VirtualInstrument> StartVirtualFlymaster(FlymasterSimConfig config, InstrumentOptions options,
                                                         std::string& error, std::shared_ptr<FlymasterSimLog> log) {
  return StartInstrument(std::make_unique<FlymasterInstrument>(std::move(config), std::move(log)),
                         std::move(options), error);
}

void RegisterVirtualFlymaster(const std::string& name, FlymasterSimConfig config, InstrumentOptions options,
                              std::shared_ptr<FlymasterSimLog> log) {
  auto shared = std::make_shared<const FlymasterSimConfig>(std::move(config));
  RegisterVirtualInstrument(name, [shared, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualFlymaster(*shared, options, error, log);
  });
}

void RegisterVirtualFlymaster() {
  FlymasterSimConfig config;
  // 2026-08-02 11:30 and the day before, seconds since 2000.
  config.flights = {DemoFlymasterFlight(838985400, 3600, 1), DemoFlymasterFlight(838899000, 1800, 2)};
  config.settings.competitionId = "17";
  RegisterVirtualFlymaster("flymaster", std::move(config));
}

}  // namespace skylode::sim
