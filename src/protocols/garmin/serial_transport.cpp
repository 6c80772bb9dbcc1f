// The serial form of the transport: DLE framing, checksums, and the bytes of
// one read that belong to the next packet kept for it.
#include <array>

#include "protocols/garmin/transport.h"

namespace skylode::garmin {
namespace {

class SerialTransport final : public GarminTransport {
 public:
  explicit SerialTransport(TransferContext& ctx) : ctx_(ctx) {}

  bool Send(const GarminPacket& p) override {
    if (!ctx_.hasPort()) return false;
    return ctx_.port().Write(EncodeGarminPacket(p), ctx_.cancel()).ok();
  }

  void SendAbortTransfer() override {
    if (!ctx_.hasPort()) return;
    // A token that is never cancelled: the port's own write bound still holds.
    ctx_.port().Write(EncodeGarminPacket(MakeCommandPacket(kCmdAbortTransfer)), CancelToken{});
  }

  bool Acknowledges() const override { return true; }

  void Reset() override {
    rx_.Reset();
    leftoverAt_ = leftoverEnd_ = 0;
  }

  RxStatus Receive(std::chrono::milliseconds timeout, GarminPacket& out) override {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      if (leftoverAt_ < leftoverEnd_) {
        bool complete = false;
        const std::span<const uint8_t> rest(readBuffer_.data() + leftoverAt_, leftoverEnd_ - leftoverAt_);
        leftoverAt_ += rx_.Feed(rest, out, complete);
        if (complete) return RxStatus::kPacket;
      }
      if (ctx_.aborted()) return RxStatus::kCancelled;
      if (std::chrono::steady_clock::now() - start > timeout) return RxStatus::kTimeout;
      if (!ctx_.hasPort()) return RxStatus::kReadError;
      const IoResult r = ctx_.port().ReadAvailable(readBuffer_);
      switch (r.status) {
        case IoStatus::kOk:
        case IoStatus::kTimeout:
          leftoverAt_ = 0;
          leftoverEnd_ = r.count;
          break;
        case IoStatus::kCancelled:
          return RxStatus::kCancelled;
        case IoStatus::kError:
        case IoStatus::kHangUp:
          return RxStatus::kReadError;
      }
    }
  }

 private:
  TransferContext& ctx_;
  GarminReceiver rx_;
  std::array<uint8_t, 100> readBuffer_{};
  size_t leftoverAt_ = 0;
  size_t leftoverEnd_ = 0;
};

}  // namespace

std::unique_ptr<GarminTransport> MakeSerialTransport(TransferContext& ctx) {
  return std::make_unique<SerialTransport>(ctx);
}

}  // namespace skylode::garmin
