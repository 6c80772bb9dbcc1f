#include "sim/mtk/mtk_instrument.h"

#include <cstdio>

#include "access/sentence.h"
#include "access/virtual_line.h"
#include "sim/mtk/memory_builder.h"

namespace skylode::sim {

std::string MtkSentence(const std::string& body) {
  std::string s = "$" + body;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

MtkInstrument::MtkInstrument(MtkSimConfig config, std::shared_ptr<MtkSimLog> log)
    : config_(std::move(config)), log_(log ? std::move(log) : std::make_shared<MtkSimLog>()) {
  std::lock_guard lock(log_->mutex);
  log_->loggingStatus = config_.loggingStatus;
}

void MtkInstrument::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) {
    const char c = static_cast<char>(b);
    if (c == '$') {
      line_.clear();
      inLine_ = true;
    } else if (inLine_ && (c == '\r' || c == '\n')) {
      inLine_ = false;
      const size_t star = line_.find('*');
      if (star != std::string::npos) Take(line_.substr(0, star), link);
    } else if (inLine_) {
      line_.push_back(c);
    }
  }
}

void MtkInstrument::OnTick(InstrumentLink& link) {
  if (eraseCountdown_ > 0 && --eraseCountdown_ == 0) {
    eraseCountdown_ = -1;
    Reply("PMTK001,182,6,3", link);
  }
}

void MtkInstrument::Reply(const std::string& body, InstrumentLink& link, bool asStale) {
  if (config_.staleReplies && !previous_.empty()) link.Send(MtkSentence(previous_));
  link.Send(MtkSentence(body));
  if (config_.doubleReplies) link.Send(MtkSentence(body));
  if (asStale) previous_ = body;
}

void MtkInstrument::Take(const std::string& body, InstrumentLink& link) {
  uint32_t status;
  {
    std::lock_guard lock(log_->mutex);
    log_->commands.push_back(body);
    status = log_->loggingStatus;
  }
  auto setStatus = [&](uint32_t s) {
    std::lock_guard lock(log_->mutex);
    log_->loggingStatus = s;
  };
  char text[64];
  if (body == "PMTK605") {
    Reply("PMTK705," + config_.firmware + "," + config_.build + ",PentaGPS,", link);
  } else if (body == "PMTK182,2,7") {
    Reply("PMTK001,182,2,3", link);
    std::snprintf(text, sizeof text, "PMTK182,3,7,%u", status);
    Reply(text, link);
  } else if (body == "PMTK182,5") {
    setStatus(status & ~0x2u);
    Reply("PMTK001,182,5,3", link);
  } else if (body == "PMTK182,4") {
    setStatus(status | 0x2u);
    if (!config_.silentLoggingOn) Reply("PMTK001,182,4,3", link);
  } else if (body == "PMTK182,2,8") {
    std::snprintf(text, sizeof text, "PMTK182,3,8,%08X", static_cast<unsigned>(config_.memory.size()));
    Reply(text, link);
  } else if (body == "PMTK182,6,1") {
    config_.memory.clear();
    {
      std::lock_guard lock(log_->mutex);
      log_->erased = true;
    }
    if (config_.eraseTicks == 0) Reply("PMTK001,182,6,3", link);
    else if (config_.eraseTicks > 0) eraseCountdown_ = config_.eraseTicks;
  } else if (body.rfind("PMTK182,7,", 0) == 0 && body.size() == 27) {
    const uint32_t offset = static_cast<uint32_t>(std::stoul(body.substr(10, 8), nullptr, 16));
    const uint32_t length = static_cast<uint32_t>(std::stoul(body.substr(19, 8), nullptr, 16));
    if (config_.silentChunkOnce == offset && !silentDone_) {
      silentDone_ = true;
      return;
    }
    std::snprintf(text, sizeof text, "PMTK182,8,%08X,", offset);
    std::string reply = text;
    for (uint32_t i = 0; i < length; ++i) {
      const uint8_t b = offset + i < config_.memory.size() ? config_.memory[offset + i] : 0xFF;
      std::snprintf(text, sizeof text, "%02X", b);
      reply += text;
    }
    if (config_.shortChunkOnce == offset && !shortDone_) {
      shortDone_ = true;
      reply.resize(reply.size() - 2);
    }
    if (config_.badChecksumChunkOnce == offset && !badDone_) {
      badDone_ = true;
      std::string s = MtkSentence(reply);
      s[s.size() - 3] = s[s.size() - 3] == '0' ? '1' : '0';
      link.Send(s);
    } else {
      Reply(reply, link);
    }
    Reply("PMTK001,182,7,3", link, false);
  }
}

std::unique_ptr<VirtualInstrument> StartVirtualMtk(MtkSimConfig config, InstrumentOptions options, std::string& error,
                                                   std::shared_ptr<MtkSimLog> log) {
  return StartInstrument(std::make_unique<MtkInstrument>(std::move(config), std::move(log)), options, error);
}

void RegisterVirtualMtk(const std::string& name, MtkSimConfig config, InstrumentOptions options,
                        std::shared_ptr<MtkSimLog> log) {
  auto shared = std::make_shared<const MtkSimConfig>(std::move(config));
  RegisterVirtualInstrument(name, [shared, options, log](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartVirtualMtk(*shared, options, error, log);
  });
}

std::vector<uint8_t> DemoMtkMemory() {
  MtkMemoryBuilder b;
  const uint32_t start = 1785672000;  // 2026-08-02 12:00:00 UTC
  b.BeginSector();
  for (int i = 0; i < 20; ++i)
    b.Add({.utc = start + uint32_t(i), .valid = 2, .latitude = 45.8129 + i * 1e-4, .longitude = 6.2459 - i * 1.5e-4,
           .height = 1250.0f + float(i), .satellites = 8});
  b.CloseSector();
  b.BeginSector();
  for (int i = 0; i < 10; ++i)
    b.Add({.utc = start + 3600 + uint32_t(i), .valid = 2, .latitude = 45.80, .longitude = 6.20, .height = 900.0f,
           .satellites = uint16_t(i == 0 ? 0 : i == 1 ? 1 : 32)});
  b.ChangeFormat(0x1F);
  for (int i = 0; i < 10; ++i)
    b.Add({.utc = start + 3610 + uint32_t(i), .valid = 2, .latitude = 45.79, .longitude = 6.19, .height = 850.0f});
  return b.bytes();
}

void RegisterVirtualMtk() {
  MtkSimConfig config;
  config.memory = DemoMtkMemory();
  RegisterVirtualMtk("mtk", std::move(config));
}

}  // namespace skylode::sim
