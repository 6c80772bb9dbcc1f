#include "sim/mlr/graviter_instrument.h"

#include <cstdio>

namespace skylode::sim {

std::string GraviterProductLine(const GraviterSimConfig& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%-20.20s %-4.4s %-5.5s %-8.8s\r\n", c.product.c_str(), "V1.3", c.serial.c_str(),
                "20260101");
  return buf;
}

std::string GraviterSimLog::OwnerName() const {
  std::lock_guard lock(mutex);
  std::string name;
  for (uint32_t a = 208; a < 216; ++a) {
    const auto it = memory.find(a);
    name.push_back(it == memory.end() ? '\0' : static_cast<char>(it->second));
  }
  return name;
}

// "W", the address as 6 digits and the byte as 3: ten characters with no end
// mark, so a command is complete when its tenth character arrives.
void GraviterInstrument::Write() {
  const std::string digits = command_.substr(1);
  command_.clear();
  for (char c : digits) {
    if (c < '0' || c > '9') {
      log_->broken.push_back("not a digit in W" + digits);
      return;
    }
  }
  if (!writing_) log_->broken.push_back("W" + digits + " before T");
  const auto address = static_cast<uint32_t>(std::stoul(digits.substr(0, 6)));
  const auto code = std::stoul(digits.substr(6));
  if (address < 208 || address > 215) log_->broken.push_back("W" + digits + " outside the owner name");
  if (code > 255) {
    log_->broken.push_back("W" + digits + " code past 255");
    return;
  }
  log_->memory[address] = static_cast<uint8_t>(code);
}

void GraviterInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  std::lock_guard lock(log_->mutex);
  log_->received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (link.LineSpeed() != kGraviterSimBaud) return;
  for (uint8_t b : bytes) {
    if (!command_.empty()) {
      command_.push_back(static_cast<char>(b));
      if (command_.size() == 10) Write();
      continue;
    }
    switch (b) {
      case 'V': link.Send(GraviterProductLine(config_)); break;
      case 'y': link.Send(config_.image.empty() ? BuildGraviterImage(config_.tracks) : config_.image); break;
      case 'T':
        writing_ = true;
        ++log_->acknowledged;
        link.Send(config_.acknowledge);
        break;
      case 'W': command_ = "W"; break;
      default: break;
    }
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualGraviter(GraviterSimConfig config, InstrumentOptions options,
                                                        std::string& error, std::shared_ptr<GraviterSimLog> log) {
  return StartInstrument(std::make_unique<GraviterInstrument>(std::move(config), std::move(log)), std::move(options),
                         error);
}

}  // namespace skylode::sim
