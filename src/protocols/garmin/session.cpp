#include "protocols/garmin/session.h"

#include <algorithm>
#include <mutex>

namespace skylode::garmin {
namespace {

constexpr std::string_view kCaptionRequest = "Requesting GPS product data";
constexpr std::string_view kCaptionGet = "Get GPS product data";
constexpr std::string_view kCaptionCheck = "Read GPS product data";
constexpr size_t kDescriptionMax = 80;
constexpr size_t kIdentificationMax = 50;
// A unit that keeps sending other packets instead of its protocol array is
// given this many before we stop waiting for the array.
constexpr int kMaxPacketsBeforeArray = 64;

std::mutex& FailedPacketMutex() {
  static std::mutex m;
  return m;
}
GarminPacket& FailedPacket() {
  static GarminPacket p;
  return p;
}

// Shows `error` under `caption` and gives it.
Error Shown(TransferContext& ctx, std::string_view caption, Error error) {
  ctx.ShowMessage(caption, error.text);
  return error;
}

}  // namespace

GarminPacket GarminLastFailedPacket() {
  std::lock_guard lock(FailedPacketMutex());
  return FailedPacket();
}

std::string FormatSeconds(std::chrono::milliseconds elapsed) {
  const long long ms = std::max<long long>(0, elapsed.count());
  std::string frac = std::to_string(ms % 1000);
  frac.insert(0, 3 - frac.size(), '0');
  return std::to_string(ms / 1000) + "." + frac;
}

GarminSession::GarminSession(TransferContext& ctx, GarminTimeouts timeouts)
    : ctx_(ctx), timeouts_(timeouts), usb_(ctx.protocol() == ProtocolType::kGarminUsb) {}

GarminSession::~GarminSession() = default;

void GarminSession::KeepFailedPacket() const {
  std::lock_guard lock(FailedPacketMutex());
  FailedPacket() = packet_;
}

bool GarminSession::Send(const GarminPacket& p) { return transport_ && transport_->Send(p); }

void GarminSession::SendAbortTransfer() {
  if (transport_) transport_->SendAbortTransfer();
}

void GarminSession::ResetReceiver() {
  if (transport_) transport_->Reset();
}

RxStatus GarminSession::Receive(std::chrono::milliseconds timeout) {
  packet_ = GarminPacket{};
  if (!transport_) return RxStatus::kReadError;
  return transport_->Receive(timeout, packet_);
}

void GarminSession::TakeProductData(std::string_view identificationPrefix) {
  const auto d = packet_.payload();
  productId_ = static_cast<int16_t>(GetU16(d, 0));
  softwareVersion_ = GetU16(d, 2);
  description_.clear();
  for (size_t i = 4; i < packet_.size && packet_.data[i] != 0 && description_.size() < kDescriptionMax; ++i)
    description_.push_back(static_cast<char>(packet_.data[i]));
  ctx_.Status("Product data read");
  ctx_.Product(description_);
  identification_ = (std::string(identificationPrefix) + description_).substr(0, kIdentificationMax);
}

Status GarminSession::ReadProductData() {
  ctx_.Product("");
  if (usb_) return ReadProductDataUsb();
  if (!ctx_.OpenPort(9600, false)) return ctx_.aborted() ? Error::Cancelled() : Error::Of(ErrorKind::kPortError);
  transport_ = MakeSerialTransport(ctx_);

  const int32_t attempts = ctx_.HalfConnectAttempts();
  bool gotProduct = false;
  for (int32_t i = 0; i < attempts && !gotProduct; ++i) {
    if (ctx_.aborted()) {
      ctx_.Status("Transfer aborted");
      return Error::Cancelled();
    }
    ctx_.Progress("Requesting product info (%)", attempts - i);
    ResetReceiver();
    if (!Send(GarminPacket{kPidProductRequest, 0, {}})) {
      // A write the person called off is no silent unit.
      if (ctx_.aborted()) {
        ctx_.Status("Transfer aborted");
        return Error::Cancelled();
      }
      continue;
    }
    for (int wait = 0; wait < 2 && !gotProduct; ++wait) {
      const RxStatus r = Receive(timeouts_.product);
      if (r == RxStatus::kCancelled) {
        ctx_.Status("Transfer aborted");
        return Error::Cancelled();
      }
      if (r == RxStatus::kReadError) {
        return Shown(ctx_, kCaptionRequest, Error::Of(ErrorKind::kPortError, "COM port read error"));
      }
      if (r != RxStatus::kPacket) break;
      if (packet_.id == kPidProductData && packet_.size > 4) {
        gotProduct = true;
      } else if (!(wait == 0 && IsAckOf(packet_, kPidProductRequest))) {
        break;  // anything else: next attempt
      }
    }
  }
  if (!gotProduct) {
    KeepFailedPacket();
    return Shown(ctx_, kCaptionGet, Error::Of(ErrorKind::kTimeout, "No valid response from GPS"));
  }

  TakeProductData("Garmin: ");

  protocols_ = GarminProtocolSet{};
  if (!SendAck(kPidProductData)) {
    if (ctx_.aborted()) {
      ctx_.Status("Transfer aborted");
      return Error::Cancelled();
    }
    return Shown(ctx_, kCaptionRequest, Error::Of(ErrorKind::kPortError, "COM port write error"));
  }
  return ReadCapabilities();
}

Status GarminSession::ReadCapabilities() {
  for (int others = 0;; ++others) {
    const RxStatus r = others < kMaxPacketsBeforeArray ? Receive(timeouts_.capability) : RxStatus::kTimeout;
    if (r == RxStatus::kCancelled) {
      ctx_.Status("Transfer aborted");
      return Error::Cancelled();
    }
    if (r == RxStatus::kReadError) {
      return Shown(ctx_, kCaptionRequest,
                   Error::Of(ErrorKind::kPortError, "COM port error while waiting for protocol capability packet"));
    }
    if (r == RxStatus::kTimeout) {
      // Older units never report their capabilities: take them from the table.
      const auto row = FindGarminDefaultProtocols(productId_, softwareVersion_);
      if (!row) {
        return Shown(ctx_, kCaptionRequest, Error::Of(ErrorKind::kUnsupported, "GPS product ID not supported"));
      }
      protocols_ = *row;
      break;
    }
    if (packet_.id != kPidProtocolArray) {
      SendAck(packet_.id);
      continue;
    }
    const Status parsed = ParseGarminProtocolArray(packet_.payload(), protocols_);
    if (!parsed.ok()) {
      KeepFailedPacket();
      return Shown(ctx_, kCaptionRequest, parsed.error());
    }
    protocols_.productId = static_cast<uint16_t>(productId_);
    protocols_.minVersion = protocols_.maxVersion = softwareVersion_;
    SendAck(kPidProtocolArray);
    break;
  }
  if (const Status usable = CheckGarminProtocols(protocols_); !usable.ok()) {
    return Shown(ctx_, kCaptionCheck, usable.error());
  }
  return {};
}

Status GarminSession::ReadProductDataUsb() {
  constexpr std::string_view kCaption = "Read GPS product data";
  std::unique_ptr<UsbDevice> device = OpenGarminUsb(ctx_);
  if (!device) return ctx_.aborted() ? Error::Cancelled() : Error::Of(ErrorKind::kPortError);
  auto usb = std::make_unique<GarminUsbTransport>(ctx_, std::move(device), timeouts_.usb);
  GarminUsbTransport& link = *usb;
  transport_ = std::move(usb);
  auto readFailed = [&](RxStatus r, int base) -> Status {
    if (r == RxStatus::kCancelled) {
      ctx_.Status("Transfer aborted");
      return Error::Cancelled();
    }
    KeepFailedPacket();
    return Shown(ctx_, kCaption,
                 Error::Of(ErrorKind::kProtocol, FormatProgress("E% Packet read error", base + readErrorNumber())));
  };

  if (Status s = link.StartSession(kCaption); !s.ok()) return s;
  if (DebugTrace* t = ctx_.trace()) t->Text("Requesting product information\r\n");
  ctx_.Status("Requesting product information");
  if (!Send(GarminPacket{kPidProductRequest, 0, {}})) {
    if (ctx_.aborted()) return Error::Cancelled();
    return Shown(ctx_, kCaption, Error::Of(ErrorKind::kPortError, "E104 Bulk OUT error"));
  }
  if (const RxStatus r = Receive(timeouts_.data); r != RxStatus::kPacket) return readFailed(r, 104);
  if (packet_.id != kPidProductData || packet_.size < 5) {
    KeepFailedPacket();
    return Shown(ctx_, kCaption, Error::Of(ErrorKind::kProtocol, "E114 Bad product data packet"));
  }
  TakeProductData("");
  identification_ = FormatProgress("Garmin USB: %", link.unitId()).substr(0, kIdentificationMax);

  protocols_ = GarminProtocolSet{};
  // Units on USB always report their capabilities: the table of old units is
  // not consulted.
  for (int others = 0;; ++others) {
    if (others >= kMaxPacketsBeforeArray) {
      return Shown(ctx_, kCaption, Error::Of(ErrorKind::kProtocol, "E124 Bad protocol array data packet"));
    }
    if (const RxStatus r = Receive(timeouts_.capability); r != RxStatus::kPacket) return readFailed(r, 114);
    if (packet_.id == kPidExtendedProductData) continue;
    if (packet_.id != kPidProtocolArray) {
      KeepFailedPacket();
      return Shown(ctx_, kCaption, Error::Of(ErrorKind::kProtocol, "E124 Bad protocol array data packet"));
    }
    break;
  }
  const Status parsed = ParseGarminProtocolArray(packet_.payload(), protocols_);
  if (!parsed.ok()) {
    KeepFailedPacket();
    const bool badSize = packet_.size % 3 != 0;
    return Shown(ctx_, kCaption,
                 Error::Of(ErrorKind::kProtocol,
                           badSize ? "E125 Bad protocol data packet" : "E126 Bad protocol tag character"));
  }
  protocols_.productId = static_cast<uint16_t>(productId_);
  protocols_.minVersion = protocols_.maxVersion = softwareVersion_;
  if (const Status usable = CheckGarminProtocols(protocols_); !usable.ok()) {
    return Shown(ctx_, kCaption, usable.error());
  }
  return {};
}

}  // namespace skylode::garmin
