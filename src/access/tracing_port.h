// A port that records every byte it reads and writes in its transfer's debug
// trace, so protocols never have to remember to. It shares the trace, so a
// trace lives as long as a port still writes to it.
#pragma once

#include <memory>

#include "access/port.h"

namespace skylode {

class DebugTrace;

class TracingPort final : public Port {
 public:
  TracingPort(std::unique_ptr<Port> inner, std::shared_ptr<DebugTrace> trace);

  IoResult Write(std::span<const uint8_t> bytes, const CancelToken& cancel) override;
  bool SetSpeed(uint32_t baud, bool softwareFlow) override { return inner_->SetSpeed(baud, softwareFlow); }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  const std::string& Name() const override { return inner_->Name(); }
  uint32_t Speed() const override { return inner_->Speed(); }
  std::string LastError() const override { return inner_->LastError(); }

  Port& inner() { return *inner_; }

 protected:
  IoResult ReadSome(std::span<uint8_t> buffer) override;
  bool PurgeDevice() override { return inner_->Purge(); }

 private:
  std::unique_ptr<Port> inner_;
  std::shared_ptr<DebugTrace> trace_;  // never null
};

}  // namespace skylode
