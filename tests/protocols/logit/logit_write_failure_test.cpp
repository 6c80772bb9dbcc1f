// Every command the LogIt workers send, refused by the line in turn: each
// refusal ends the operation with its own message (and status line), and
// nothing is delivered.
#include <gtest/gtest.h>

#include "logit_rig.h"

namespace skylode::logit {
namespace {

using namespace testing;

// The line, but the write numbered `failAt` (from 0) fails.
class RefusingPort final : public Port {
 public:
  RefusingPort(std::unique_ptr<Port> inner, int failAt) : inner_(std::move(inner)), failAt_(failAt) {}
  IoResult Write(std::span<const uint8_t> bytes, const CancelToken& cancel) override {
    if (writes_++ == failAt_) return {IoStatus::kError, 0};
    return inner_->Write(bytes, cancel);
  }
  bool SetSpeed(uint32_t baud, bool softwareFlow) override { return inner_->SetSpeed(baud, softwareFlow); }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  const std::string& Name() const override { return inner_->Name(); }
  uint32_t Speed() const override { return inner_->Speed(); }
  std::string LastError() const override { return "refused"; }

 protected:
  IoResult ReadSome(std::span<uint8_t> buffer) override { return inner_->ReadAvailable(buffer); }
  bool PurgeDevice() override { return inner_->Purge(); }

 private:
  std::unique_ptr<Port> inner_;
  int failAt_;
  int writes_ = 0;
};

TEST(LogItWriteFailures, EachCommandHasItsMessage) {
  enum class Op { kLogIt, kTracklogger, kResumingTracklogger, kErase, kName };
  struct Case {
    const char* name;
    Op op;
    int failAt;
    std::string message;  // caption: text
    std::string status;   // the last status line, where it says more
  };
  const Case cases[] = {
      {"first stop", Op::kLogIt, 0, "Requesting GPS product data: COM port write error", ""},
      {"product query", Op::kLogIt, 1, "Requesting GPS product data: COM port write error", ""},
      {"stop after the product data", Op::kLogIt, 2, "Requesting GPS product data: COM port write error", ""},
      {"download command", Op::kLogIt, 3, "Read LogIt track log: E201 COM port write error", ""},
      {"point count", Op::kTracklogger, 3, "Read track point count: E500 COM port write error", ""},
      {"Tracklogger download command", Op::kTracklogger, 4, "Read LogIt track log: E201 COM port write error", ""},
      {"download command of a resume", Op::kResumingTracklogger, 6, "Read LogIt track log: E205 COM port write error", ""},
      {"stop before erasing", Op::kErase, 0, "Sending erase command: E301 COM port write error", "COM port rite error"},
      {"erase command", Op::kErase, 1, "Sending erase command: E300 COM port write error", "Write error"},
      {"stop before the name", Op::kName, 0, "Sending name: E401 COM port write error", "COM port rite error"},
      {"name command", Op::kName, 1, "Sending name: E400 COM port write error", "Write error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LogItSimConfig config = c.op == Op::kTracklogger || c.op == Op::kResumingTracklogger ? Tracklogger() : sim::LogItSimConfig{};
    config.points = sim::DemoLogItPoints(3);
    config.recordsPerFrame = 2;
    if (c.op == Op::kResumingTracklogger) config.badSumInDownload = {{0, 2}};
    std::string error;
    auto instrument = sim::StartVirtualLogIt(config, {}, error);
    ASSERT_TRUE(instrument) << error;
    PortOpenResult opened = SerialPort::Open(instrument->SlavePath(), "sim:direct", sim::kLogItCommandBaud, false);
    ASSERT_TRUE(opened.port) << opened.error;
    TransferRequest req = Request(AccessType::kReadTrackLog, "sim:direct", 57600);
    req.protocol = ProtocolType::kLogIt;
    req.settings.connectAttempts = 2;
    req.input = FormAnswers{{"Jo"}};
    Screen screen;
    TransferContext ctx(std::move(req), screen.Callbacks());
    ctx.SetTrace(nullptr);
    ctx.AttachPort(std::make_unique<RefusingPort>(std::move(opened.port), c.failAt));
    const LogItTiming timing = TestTiming();
    TransferResult result;
    switch (c.op) {
      case Op::kErase: result = LogItErase(ctx, timing); break;
      case Op::kName: result = LogItWriteName(ctx, timing); break;
      default: result = LogItReadTrackLog(ctx, timing); break;
    }
    EXPECT_EQ(result.outcome, TransferOutcome::kFailure);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result.payload));
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption + ": " + messages[0].text, c.message);
    EXPECT_EQ(messages[0].icon, MessageIcon::kError);
    if (!c.status.empty()) {
      EXPECT_EQ(screen.Statuses().back(), c.status);
    }
  }
}

}  // namespace
}  // namespace skylode::logit
