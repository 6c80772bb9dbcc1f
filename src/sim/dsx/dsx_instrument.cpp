#include "sim/dsx/dsx_instrument.h"

#include <cstdio>
#include <cstdlib>

#include "access/virtual_line.h"
#include "sim/flytec/demo_flights.h"

namespace skylode::sim {
namespace {

constexpr size_t kMaxCommand = 100;

bool Digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

DsxInstrument::DsxInstrument(DsxSimConfig config, std::shared_ptr<DsxSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<DsxSimLog>()) {
  // The pilot data lives in the log, so that it outlasts the line: a write
  // and a later read meet the same memory.
  std::lock_guard lock(log_->mutex);
  if (!log_->pilot) log_->pilot = config_.pilot;
}

std::string DsxInstrument::Prompt() { return "Conn\n\r\r\n#"; }

std::string DsxInstrument::ListReply() const {
  if (config_.listReply) return *config_.listReply;
  std::string out = "\r\n";
  for (size_t i = 0; i < config_.flights.size(); ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%03zu recs n.%06zu %s\r\n", i + 1, config_.flights[i].points.size(),
                  FlightDate(config_.flights[i]).c_str());
    out += line;
  }
  return out + "#";
}

std::string DsxInstrument::FlightReply(int number) const {
  if (number < 1 || number > static_cast<int>(config_.flights.size())) return {};
  char echo[16];
  std::snprintf(echo, sizeof echo, "F%03d\r\n", number);
  return std::string(echo) + "#\r\n" + BuildIgcText(config_.flights[static_cast<size_t>(number - 1)]) + "ZZZZ\r\n#";
}

std::string DsxInstrument::FieldReply(int field) const {
  std::lock_guard lock(log_->mutex);
  return log_->pilot->at(size_t(field - 1)) + "\r\n";
}

void DsxInstrument::Send(const std::string& text, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->bytesQueued += text.size();
  }
  link.Send(text);
}

void DsxInstrument::Answer(const std::string& command, InstrumentLink& link) {
  {
    std::lock_guard lock(log_->mutex);
    log_->commands.push_back(command);
  }
  // Before V4 it talks at 9,600 baud, after it at 38,400: a command at the
  // other speed never reaches it whole. V4 itself stands at the boundary:
  // the program may have moved on by the time it is read here.
  const uint32_t want = fast_ ? kDsxSimFastBaud : kDsxSimOpenBaud;
  if (link.LineSpeed() != want && command != "V4") {
    std::lock_guard lock(log_->mutex);
    log_->faults.push_back(command + " at " + std::to_string(link.LineSpeed()) + " baud");
    return;
  }
  if (command == "V1") {
    if (ignoredOpens_ < config_.promptAfter) {
      ++ignoredOpens_;
      return;
    }
    return Send(Prompt(), link);
  }
  if (command == "V4") {
    fast_ = true;
    return;
  }
  if (!fast_) return;  // nothing else before the session runs fast
  if (command == "FL") return Send(ListReply(), link);
  if (command == "V0") {
    std::lock_guard lock(log_->mutex);
    log_->sessionEnded = true;
    fast_ = false;
    return;
  }
  if (command.size() == 4 && command[0] == 'F' && Digits(command.substr(1)))
    return Send(FlightReply(std::atoi(command.c_str() + 1)), link);
  if (command.size() == 2 && command[0] == 'E' && command[1] >= '1' && command[1] <= '5')
    return Send(FieldReply(command[1] - '0'), link);
  if (command.size() >= 2 && ((command[0] == 'H' && command[1] >= '1' && command[1] <= '5') ||
                              (command[0] == 'C' && command[1] == '1'))) {
    std::lock_guard lock(log_->mutex);
    log_->written.push_back(command);
    if (command[0] == 'H') (*log_->pilot)[size_t(command[1] - '1')] = command.substr(2);
  }
}

void DsxInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) {
    if (b == '\r') {
      Answer(pending_, link);
      pending_.clear();
      continue;
    }
    if (pending_.size() < kMaxCommand) pending_.push_back(static_cast<char>(b));
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualDsx(DsxSimConfig config, InstrumentOptions options,
                                                   std::string& error, std::shared_ptr<DsxSimLog> log) {
  return StartInstrument(std::make_unique<DsxInstrument>(std::move(config), std::move(log)), std::move(options),
                         error);
}

void RegisterVirtualDsx() {
  DsxSimConfig config;
  // The demo flights come newest first; the recorder lists the oldest first.
  const FlytecSimConfig demo = DemoConfig();
  config.flights.assign(demo.flights.rbegin(), demo.flights.rend());
  auto shared = std::make_shared<const DsxSimConfig>(std::move(config));
  RegisterVirtualInstrument("dsx", [shared](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualDsx(*shared, {}, error);
  });
}

}  // namespace skylode::sim
