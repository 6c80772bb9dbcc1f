// The virtual LogIt logger and Tracklogger: "$PMLR" commands at 4,800 baud,
// the track log in binary frames at the speed the download command asked
// for (sent only once the program's end of the line has that speed), and,
// as a Tracklogger, the point count and the resume at a given point.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_lines.h"
#include "sim/virtual_instrument.h"

namespace skylode::sim {

struct LogItSimPoint {
  uint32_t gpsTime = 0;  // seconds since 1980-01-06
  int32_t latitude = 0;  // semicircles
  int32_t longitude = 0;
  int32_t height = 0;    // tenths of a metre, 24 bits signed
  uint8_t flag = 0;      // low four bits 1: a new segment starts
};

inline constexpr std::string_view kTrackloggerModel = "TRACKLOGGER";

struct LogItSimConfig {
  std::string model = "LOGIT";  // kTrackloggerModel for the Tracklogger
  std::string userName = "HANS";
  std::string serialNumber = "004711";
  std::string software = "2.10";
  // The product reply carries check digits that do not match (as firmware
  // 1.02 does).
  bool wrongProductCheck = false;
  // Sent just before the product reply (a broken earlier reply, noise).
  std::string beforeProductReply;
  std::vector<LogItSimPoint> points;
  int recordsPerFrame = 16;
  uint8_t firstSequence = 0;
  // After the program's side of the line reached the download speed.
  std::chrono::milliseconds frameDelay{60};
  // Frames go out a few milliseconds of the line at a time; otherwise a
  // whole frame every tick (long logs in tests).
  bool lineTime = true;
  // Replaces the built point count reply.
  std::optional<std::string> pointCountReply;
  // Wrong check sums: in download k (0 the first, then one more for each
  // resume) the data frame holding this point (an index into `points`).
  std::map<int, size_t> badSumInDownload;
  // The data frame holding this point fails in every download.
  std::optional<size_t> badSumAlways;
  // Replaces the built download (tests of the program's frame checks).
  std::string trackBytes;
};

// What the instrument was sent and did; shared so a test can look after the
// line closed. An owner name written and an erase outlast the opening: the
// next instrument on the same log serves them.
struct LogItSimLog {
  std::vector<std::string> commands;  // lines heard at 4,800 baud, without CR LF
  std::vector<uint32_t> downloadSpeeds;  // the speed of each download sent
  std::vector<int64_t> resumes;          // points asked for by "$PMLR,59"
  std::vector<std::string> badCommands;  // lines with wrong check digits or layout
  int stops = 0;
  int erases = 0;
  std::string ownerName;  // as the last name command wrote it, nine characters
  bool erased = false;

  template <typename F>
  auto Read(F f) const {
    std::lock_guard lock(mutex);
    return f(*this);
  }
  mutable std::mutex mutex;
};

inline constexpr uint32_t kLogItCommandBaud = 4800;

std::string LogItProductReply(const LogItSimConfig& config);
std::string LogItPointCountReply(size_t count);
// One frame around `body` ("DEBUT", "FIN", "RESTART", or 0, count, records).
std::string LogItFrame(uint8_t sequence, const std::string& body, bool wrongSum = false);
std::string LogItStartFrame(uint8_t sequence);
std::string LogItEndFrame(uint8_t sequence);
std::string LogItRestartFrame(uint8_t sequence);
std::string LogItDataFrame(uint8_t sequence, int count, const std::string& records, bool wrongSum = false);
std::string LogItTrackRecord(uint16_t number, const LogItSimPoint& p);
// Start frame, data frames and end frame of the whole log.
std::string LogItDownloadBytes(const LogItSimConfig& config);
// The speed a download command asks for, 0 when `line` is none.
uint32_t LogItDownloadSpeed(const std::string& line);

// A flight of `count` points one second apart, a new segment every `segment`.
std::vector<LogItSimPoint> DemoLogItPoints(int count, int segment = 0);

class LogItInstrument final : public InstrumentBehaviour {
 public:
  explicit LogItInstrument(LogItSimConfig config, std::shared_ptr<LogItSimLog> log = nullptr);
  void OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) override;
  void OnTick(InstrumentLink& link) override;

 private:
  void Command(const std::string& line, InstrumentLink& link);
  void Arm(uint32_t speed);

  LogItSimConfig config_;
  std::shared_ptr<LogItSimLog> log_;
  CommandLines lines_;
  uint8_t sequence_ = 0;
  int64_t resumeAt_ = 0;  // the point a resume asked for, 0: none
  int downloads_ = 0;     // started so far
  // The download waiting for, or going out at, its speed.
  uint32_t speed_ = 0;
  std::vector<std::string> frames_;
  size_t nextFrame_ = 0;
  size_t sentOfFrame_ = 0;  // bytes of the next frame already sent
  std::chrono::steady_clock::time_point lastChunkAt_{};
  std::chrono::steady_clock::time_point speedSeenAt_{};
  // The line was at the command speed at the last tick.
  bool wasAtCommandSpeed_ = false;
  bool sending_ = false;
};

std::unique_ptr<VirtualInstrument> StartVirtualLogIt(LogItSimConfig config, InstrumentOptions options,
                                                     std::string& error, std::shared_ptr<LogItSimLog> log = nullptr);

// "sim:logit", a LogIt with a demo flight, and "sim:logit/tracklogger".
void RegisterVirtualLogIt();

}  // namespace skylode::sim
