#include "sim/logit/logit_instrument.h"

#include <cstdio>

#include "access/virtual_line.h"

namespace skylode::sim {

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}

std::string Xor2(const std::string& afterDollar, bool wrong = false) {
  uint8_t x = 0;
  for (char c : afterDollar) x ^= static_cast<uint8_t>(c);
  if (wrong) x ^= 0x5A;
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", x);
  return buf;
}

std::string Sum4(const std::string& text) {
  uint16_t sum = 0;
  for (char c : text) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", sum);
  return buf;
}

constexpr std::string_view kNamePrefix = "$PMLR,IDGPS,01,";
constexpr std::string_view kNameSuffix = ",       *00";
constexpr size_t kNameLength = 9;

// GPS seconds of 2026-07-15 10:00:00.
constexpr uint32_t kDemoStart = 1468144800u;

}  // namespace

std::string LogItProductReply(const LogItSimConfig& c) {
  const std::string covered = "PMLR,IDGPS,01," + c.model + "," + c.userName + "," + c.serialNumber + "," + c.software;
  return "$" + covered + "*" + Xor2(covered, c.wrongProductCheck) + "\r\n";
}

std::string LogItPointCountReply(size_t count) {
  const std::string covered = "PMLR,NUMTRACKPOINTS," + std::to_string(count);
  return "$" + covered + "*" + Xor2(covered) + "\r\n";
}

std::string LogItFrame(uint8_t sequence, const std::string& body, bool wrongSum) {
  std::string out;
  out.push_back(static_cast<char>(0x8B));
  out.push_back(static_cast<char>(sequence));
  out.push_back('T');
  out.push_back(0x01);
  out += body;
  uint16_t sum = 0;
  for (char c : out) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
  if (wrongSum) sum ^= 0x0101;
  out.push_back(static_cast<char>(sum >> 8));
  out.push_back(static_cast<char>(sum & 0xFF));
  return out + "\r\n";
}

std::string LogItStartFrame(uint8_t sequence) { return LogItFrame(sequence, "DEBUT"); }
std::string LogItEndFrame(uint8_t sequence) { return LogItFrame(sequence, "FIN"); }
std::string LogItRestartFrame(uint8_t sequence) { return LogItFrame(sequence, "RESTART"); }

std::string LogItDataFrame(uint8_t sequence, int count, const std::string& records, bool wrongSum) {
  std::string body(1, '\0');
  body.push_back(static_cast<char>(count));
  return LogItFrame(sequence, body + records, wrongSum);
}

std::string LogItTrackRecord(uint16_t number, const LogItSimPoint& p) {
  std::string out;
  out.push_back(static_cast<char>(number >> 8));
  out.push_back(static_cast<char>(number & 0xFF));
  Put32(out, p.gpsTime);
  Put32(out, static_cast<uint32_t>(p.latitude));
  Put32(out, static_cast<uint32_t>(p.longitude));
  const auto h = static_cast<uint32_t>(p.height);
  for (int s = 16; s >= 0; s -= 8) out.push_back(static_cast<char>((h >> s) & 0xFF));
  out.push_back(static_cast<char>(p.flag));
  return out;
}

std::string LogItDownloadBytes(const LogItSimConfig& c) {
  uint8_t seq = c.firstSequence;
  std::string out = LogItStartFrame(seq);
  const auto per = static_cast<size_t>(c.recordsPerFrame);
  for (size_t i = 0; i < c.points.size(); i += per) {
    const size_t n = std::min(per, c.points.size() - i);
    std::string records;
    for (size_t k = i; k < i + n; ++k) records += LogItTrackRecord(static_cast<uint16_t>(k + 1), c.points[k]);
    out += LogItDataFrame(++seq, static_cast<int>(n), records);
  }
  return out + LogItEndFrame(++seq);
}

uint32_t LogItDownloadSpeed(const std::string& line) {
  if (line == "$PMLR,24,02,0103,039B") return 115200;
  if (line == "$PMLR,24,02,0102,039A") return 57600;
  if (line == "$PMLR,24,02,0101,0399") return 38400;
  if (line == "$PMLR,24,02,0100,0398") return 19200;
  return 0;
}

std::vector<LogItSimPoint> DemoLogItPoints(int count, int segment) {
  std::vector<LogItSimPoint> points;
  for (int i = 0; i < count; ++i) {
    // Over the lake of Annecy, drifting south-west and sinking below the
    // sea's level now and then (heights are signed).
    const bool starts = segment > 0 && i > 0 && i % segment == 0;
    points.push_back({kDemoStart + static_cast<uint32_t>(i), 547000000 - 650 * i, 74000000 - 800 * i,
                      (i % 97 == 50) ? -15 - i : 14800 - 3 * i, static_cast<uint8_t>(starts ? 0xF1 : 0xF0)});
  }
  return points;
}

LogItInstrument::LogItInstrument(LogItSimConfig config, std::shared_ptr<LogItSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<LogItSimLog>()) {
  sequence_ = config_.firstSequence;
  std::lock_guard lock(log_->mutex);
  if (!log_->ownerName.empty()) config_.userName = log_->ownerName;
  if (log_->erased) config_.points.clear();
}

void LogItInstrument::Arm(uint32_t speed) {
  frames_.clear();
  nextFrame_ = 0;
  sentOfFrame_ = 0;
  sending_ = false;
  speedSeenAt_ = {};
  speed_ = speed;
  const bool tracklogger = config_.model == kTrackloggerModel;
  const int64_t resumeAt = tracklogger ? resumeAt_ : 0;
  resumeAt_ = 0;
  if (!config_.trackBytes.empty() && resumeAt == 0) {
    frames_.push_back(config_.trackBytes);
    ++downloads_;
    return;
  }
  size_t first = 0;
  if (resumeAt > 0) {
    first = static_cast<size_t>(resumeAt - 1);
    frames_.push_back(LogItRestartFrame(sequence_++));
  } else {
    frames_.push_back(LogItStartFrame(sequence_++));
  }
  const auto per = static_cast<size_t>(config_.recordsPerFrame);
  for (size_t i = first; i < config_.points.size(); i += per) {
    const size_t n = std::min(per, config_.points.size() - i);
    std::string records;
    for (size_t k = i; k < i + n; ++k)
      records += LogItTrackRecord(static_cast<uint16_t>(k - first + 1), config_.points[k]);
    const auto holds = [&](std::optional<size_t> p) { return p && *p >= i && *p < i + n; };
    const auto planned = config_.badSumInDownload.find(downloads_);
    const bool wrong = holds(config_.badSumAlways) ||
                       (planned != config_.badSumInDownload.end() && holds(planned->second));
    frames_.push_back(LogItDataFrame(sequence_++, static_cast<int>(n), records, wrong));
  }
  frames_.push_back(LogItEndFrame(sequence_++));
  ++downloads_;
}

void LogItInstrument::Command(const std::string& line, InstrumentLink& link) {
  const bool tracklogger = config_.model == kTrackloggerModel;
  log_->commands.push_back(line);
  if (line == "$PMLR,26,01,01,0339") {
    link.Send(config_.beforeProductReply + LogItProductReply(config_));
  } else if (line == "$PMLR,06,00,02A9") {
    ++log_->stops;
    speed_ = 0;
    frames_.clear();
  } else if (line == "$PMLR,58,00,02B0") {
    if (tracklogger) link.Send(config_.pointCountReply.value_or(LogItPointCountReply(config_.points.size())));
  } else if (line == "$PMLR,99,00,02B5") {
    ++log_->erases;
    log_->erased = true;
    config_.points.clear();
  } else if (const uint32_t speed = LogItDownloadSpeed(line); speed != 0) {
    Arm(speed);
  } else if (line.starts_with("$PMLR,59,")) {
    const size_t comma = line.rfind(',');
    const std::string piece = line.substr(0, comma + 1);
    const std::string number = piece.substr(9, piece.size() - 10);
    const bool digits = !number.empty() && number.size() < 10 && number.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || line.substr(comma + 1) != Sum4(piece)) {
      log_->badCommands.push_back(line);
      return;
    }
    log_->resumes.push_back(std::stoll(number));
    if (tracklogger) resumeAt_ = std::stoll(number);
  } else if (line.starts_with(kNamePrefix)) {
    if (line.size() != kNamePrefix.size() + kNameLength + kNameSuffix.size() || !line.ends_with(kNameSuffix)) {
      log_->badCommands.push_back(line);
      return;
    }
    log_->ownerName = line.substr(kNamePrefix.size(), kNameLength);
    config_.userName = log_->ownerName;
  } else {
    log_->badCommands.push_back(line);
  }
}

void LogItInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  // At any other speed the logger hears only noise. The bytes came since
  // the last tick, while the program may have switched speeds: the command
  // speed then or now counts.
  if (link.LineSpeed() != kLogItCommandBaud && !wasAtCommandSpeed_) return;
  std::lock_guard lock(log_->mutex);
  lines_.Feed(bytes, [&](const std::string& line) { Command(line, link); });
}

void LogItInstrument::OnTick(InstrumentLink& link) {
  const auto now = std::chrono::steady_clock::now();
  wasAtCommandSpeed_ = link.LineSpeed() == kLogItCommandBaud;
  if (speed_ == 0) return;
  if (link.LineSpeed() != speed_) {
    // The program went back to the command speed: the download is over.
    if (sending_) {
      speed_ = 0;
      frames_.clear();
    }
    speedSeenAt_ = {};
    return;
  }
  if (speedSeenAt_ == std::chrono::steady_clock::time_point{}) speedSeenAt_ = now;
  if (now - speedSeenAt_ < config_.frameDelay) return;
  if (nextFrame_ >= frames_.size()) {
    speed_ = 0;
    return;
  }
  if (!sending_) {
    sending_ = true;
    lastChunkAt_ = now - std::chrono::milliseconds(10);
    std::lock_guard lock(log_->mutex);
    log_->downloadSpeeds.push_back(speed_);
  }
  if (!config_.lineTime) {
    link.Send(frames_[nextFrame_++]);
    return;
  }
  // What the line carries in the time since the last piece, a little at a
  // time: the line paces whatever is queued at the speed it has when it goes
  // out, so a download the program breaks off must leave little behind.
  const double bytesPerMs = static_cast<double>(speed_) / 10000.0;
  const double elapsedMs = std::chrono::duration<double, std::milli>(now - lastChunkAt_).count();
  auto budget = static_cast<size_t>(std::min(elapsedMs, 20.0) * bytesPerMs);
  if (budget == 0) return;
  lastChunkAt_ = now;
  while (budget > 0 && nextFrame_ < frames_.size()) {
    const std::string& frame = frames_[nextFrame_];
    const size_t n = std::min(budget, frame.size() - sentOfFrame_);
    link.Send(std::string_view(frame).substr(sentOfFrame_, n));
    sentOfFrame_ += n;
    budget -= n;
    if (sentOfFrame_ == frame.size()) {
      ++nextFrame_;
      sentOfFrame_ = 0;
    }
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualLogIt(LogItSimConfig config, InstrumentOptions options,
                                                     std::string& error, std::shared_ptr<LogItSimLog> log) {
  return StartInstrument(std::make_unique<LogItInstrument>(std::move(config), std::move(log)), std::move(options),
                         error);
}

void RegisterVirtualLogIt() {
  LogItSimConfig logit;
  logit.points = DemoLogItPoints(600, 400);
  LogItSimConfig tracklogger = logit;
  tracklogger.model = std::string(kTrackloggerModel);
  tracklogger.serialNumber = "TL0815";
  tracklogger.software = "1.02";
  tracklogger.wrongProductCheck = true;
  // One frame fails once: the download resumes there.
  tracklogger.badSumInDownload = {{0, 300}};
  const auto add = [](const char* name, const LogItSimConfig& config) {
    RegisterVirtualInstrument(name, [config](std::string& error) -> std::unique_ptr<VirtualLine> {
      InstrumentOptions options;
      options.pace = true;
      return StartVirtualLogIt(config, options, error);
    });
  };
  add("logit", logit);
  add("logit/tracklogger", tracklogger);
}

}  // namespace skylode::sim
