#include "protocols/garmin/usb_link.h"

#include <algorithm>

namespace skylode::garmin {
namespace {

using Clock = std::chrono::steady_clock;

// A read that brings nothing is tried again this often before the pipe
// counts as failed, each after a short pause.
constexpr int kEmptyReads = 50;
constexpr std::chrono::milliseconds kEmptyPause{20};

std::chrono::milliseconds Left(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

Error Shown(TransferContext& ctx, std::string_view caption, std::string text) {
  ctx.ShowMessage(caption, text);
  return Error::Of(ErrorKind::kProtocol, std::move(text));
}

}  // namespace

std::vector<uint8_t> EncodeGarminUsbPacket(uint8_t type, uint16_t id, std::span<const uint8_t> data) {
  std::vector<uint8_t> out(kUsbHeaderSize + data.size(), 0);
  out[0] = type;
  PutU16(out.data() + 4, id);
  PutU32(out.data() + 8, static_cast<uint32_t>(data.size()));
  std::copy(data.begin(), data.end(), out.begin() + kUsbHeaderSize);
  return out;
}

UsbPacketCheck DecodeGarminUsbPacket(std::span<const uint8_t> kept, size_t received, GarminUsbPacket& out) {
  out = GarminUsbPacket{};
  if (kept.size() < kUsbHeaderSize || received < kUsbHeaderSize) return UsbPacketCheck::kShort;
  out.type = kept[0];
  out.id = GetU16(kept, 4);
  out.declaredSize = GetU32(kept, 8);
  // The unit's size field is only believed as far as bytes back it up.
  if (out.declaredSize > received - kUsbHeaderSize) return UsbPacketCheck::kClaimsMore;
  const size_t keep = std::min<size_t>({out.declaredSize, kMaxPacketData, kept.size() - kUsbHeaderSize});
  out.data.assign(kept.begin() + kUsbHeaderSize, kept.begin() + static_cast<std::ptrdiff_t>(kUsbHeaderSize + keep));
  return UsbPacketCheck::kOk;
}

GarminUsbTransport::GarminUsbTransport(TransferContext& ctx, std::unique_ptr<UsbDevice> device,
                                       GarminUsbTimeouts timeouts)
    : ctx_(ctx), device_(std::move(device)), timeouts_(timeouts) {}

void GarminUsbTransport::Trace(std::string_view text) {
  if (DebugTrace* t = ctx_.trace()) t->Text(text);
}

void GarminUsbTransport::TraceBytes(std::string_view pipe, std::span<const uint8_t> bytes) {
  if (DebugTrace* t = ctx_.trace()) {
    t->Text(pipe);
    t->Bytes(bytes);
    t->Text("\r\n");
  }
}

bool GarminUsbTransport::SendRaw(uint8_t type, uint16_t id, std::span<const uint8_t> data,
                                 const CancelToken& cancel) {
  const std::vector<uint8_t> bytes = EncodeGarminUsbPacket(type, id, data);
  TraceBytes("Bulk OUT pipe:\r\n", bytes);
  const IoResult r = device_->Write(bytes, timeouts_.write, cancel);
  if (!r.ok() || r.count != bytes.size()) {
    Trace(r.status == IoStatus::kTimeout ? "Bulk OUT error 2\r\n" : "Bulk OUT error 1\r\n");
    return false;
  }
  // A transfer that ends on a full packet looks unfinished to the unit: it
  // waits for more until a zero-length packet closes it.
  const size_t maxPacket = device_->MaxPacketSize();
  if (maxPacket != 0 && bytes.size() % maxPacket == 0) {
    const IoResult z = device_->Write({}, timeouts_.write, cancel);
    if (!z.ok()) {
      Trace("Bulk OUT error 3\r\n");
      return false;
    }
  }
  return true;
}

bool GarminUsbTransport::Send(const GarminPacket& p) {
  return SendRaw(kUsbApplicationLayer, p.id, p.payload(), ctx_.cancel());
}

void GarminUsbTransport::SendAbortTransfer() {
  bulk_ = false;
  SendRaw(kUsbProtocolLayer, kUsbStartSession, {}, CancelToken{});
}

GarminUsbTransport::PipeRead GarminUsbTransport::ReadPipe(UsbPipe pipe, Clock::time_point deadline) {
  const bool interrupt = pipe == UsbPipe::kInterruptIn;
  const std::string_view label = interrupt ? "Interrupt IN pipe:\r\n" : "Bulk IN pipe:\r\n";
  std::vector<uint8_t> buffer(interrupt ? kInterruptBuffer : kBulkBuffer);
  PipeRead out;
  auto take = [&](size_t n) {
    TraceBytes(label, std::span<const uint8_t>(buffer.data(), n));
    out.received += n;
    const size_t room = kUsbPacketKept - out.bytes.size();
    out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(std::min(n, room)));
  };
  auto failed = [&](IoStatus s) {
    if (s == IoStatus::kCancelled) out.got = Got::kCancelled;
    else if (s == IoStatus::kTimeout) out.got = Got::kTimeout;
    else {
      Trace(s == IoStatus::kHangUp ? "API read error 2\r\n" : "API read error 1\r\n");
      out.got = Got::kFailed;
    }
    return out;
  };

  IoResult r;
  for (int empty = 0;; ++empty) {
    const auto left = Left(deadline);
    if (left.count() <= 0) return failed(IoStatus::kTimeout);
    r = device_->Read(pipe, buffer, left, ctx_.cancel());
    if (!r.ok()) return failed(r.status);
    if (r.count > 0) break;
    if (!interrupt) {
      // The zero-length packet that ends a bulk burst: back to the interrupt pipe.
      TraceBytes(label, {});
      out.got = Got::kBurstEnd;
      return out;
    }
    if (empty + 1 >= kEmptyReads) {
      Trace("API read error 3\r\n");
      out.got = Got::kFailed;
      return out;
    }
    if (!ctx_.Pause(kEmptyPause)) return failed(IoStatus::kCancelled);
  }
  take(r.count);
  // A full buffer means the packet goes on in the next read.
  while (r.count == buffer.size()) {
    r = device_->Read(pipe, buffer, timeouts_.gather, ctx_.cancel());
    if (r.status == IoStatus::kCancelled) return failed(r.status);
    if (!r.ok()) {
      Trace("API read error 4\r\n");
      out.got = Got::kFailed;
      return out;
    }
    take(r.count);
  }
  out.got = Got::kPacket;
  return out;
}

RxStatus GarminUsbTransport::Receive(std::chrono::milliseconds timeout, GarminPacket& out) {
  const auto deadline = Clock::now() + timeout;
  readError_ = 0;
  bool announced = false;  // the bulk pipe was just announced by the unit
  auto fail = [&](int number, Got got) {
    readError_ = number;
    if (got == Got::kCancelled) return RxStatus::kCancelled;
    return got == Got::kTimeout ? RxStatus::kTimeout : RxStatus::kReadError;
  };
  for (;;) {
    GarminUsbPacket p;
    if (!bulk_) {
      const PipeRead r = ReadPipe(UsbPipe::kInterruptIn, deadline);
      if (r.got != Got::kPacket) return fail(1, r.got);
      const UsbPacketCheck check = DecodeGarminUsbPacket(r.bytes, r.received, p);
      if (check == UsbPacketCheck::kOk && p.type == kUsbProtocolLayer) {
        if (p.id != kUsbDataAvailable) return fail(2, Got::kFailed);
        bulk_ = announced = true;
        Trace("Bulk pipe TRUE\r\n");
        continue;
      }
      if (check != UsbPacketCheck::kOk || p.type != kUsbApplicationLayer) return fail(6, Got::kFailed);
    } else {
      const PipeRead r = ReadPipe(UsbPipe::kBulkIn, deadline);
      if (r.got == Got::kBurstEnd) {
        bulk_ = announced = false;
        Trace("Bulk pipe FALSE\r\n");
        continue;
      }
      if (r.got != Got::kPacket) return fail(announced ? 3 : 7, r.got);
      const UsbPacketCheck check = DecodeGarminUsbPacket(r.bytes, r.received, p);
      if (check == UsbPacketCheck::kOk && p.type != kUsbApplicationLayer) return fail(announced ? 4 : 8, Got::kFailed);
      if (check != UsbPacketCheck::kOk) return fail(announced ? 5 : 9, Got::kFailed);
    }
    // Application IDs fit a byte; a larger one is no packet any step expects.
    out.Set(p.id <= 0xFF ? static_cast<uint8_t>(p.id) : 0, p.data);
    return RxStatus::kPacket;
  }
}

Status GarminUsbTransport::StartSession(std::string_view caption) {
  bulk_ = false;
  if (!SendRaw(kUsbProtocolLayer, kUsbStartSession, {}, ctx_.cancel())) {
    if (ctx_.aborted()) return Error::Cancelled();
    return Shown(ctx_, caption, "E001 Bulk OUT error");
  }
  const auto deadline = Clock::now() + timeouts_.session;
  bool afterBulkTimeout = false;
  for (;;) {
    if (Clock::now() >= deadline) return Shown(ctx_, caption, "E007 Start session error");
    PipeRead r;
    if (!bulk_) {
      r = ReadPipe(UsbPipe::kInterruptIn, deadline);
      if (r.got == Got::kCancelled) return Error::Cancelled();
      if (r.got == Got::kTimeout) continue;
      if (r.got != Got::kPacket) {
        return Shown(ctx_, caption, afterBulkTimeout ? "E008 Start session error" : "E002 Start session error");
      }
    } else {
      r = ReadPipe(UsbPipe::kBulkIn, deadline);
      if (r.got == Got::kCancelled) return Error::Cancelled();
      if (r.got == Got::kBurstEnd || r.got == Got::kTimeout) {
        bulk_ = false;
        afterBulkTimeout = r.got == Got::kTimeout;
        continue;
      }
      if (r.got != Got::kPacket) return Shown(ctx_, caption, "E003 Start session error (7)");
    }
    GarminUsbPacket p;
    const UsbPacketCheck check = DecodeGarminUsbPacket(r.bytes, r.received, p);
    if (check != UsbPacketCheck::kOk || p.type != kUsbProtocolLayer) {
      return Shown(ctx_, caption, "E006 Start session error");
    }
    if (p.id == kUsbSessionStarted) {
      if (p.declaredSize != 4 || p.data.size() != 4) return Shown(ctx_, caption, "E004 Start session error");
      unitId_ = GetU32(p.data, 0);
      Trace("Session started\r\n");
      return {};
    }
    if (p.id != kUsbDataAvailable) return Shown(ctx_, caption, "E006 Start session error");
    if (p.declaredSize != 0) return Shown(ctx_, caption, "E005 Start session error");
    bulk_ = true;
    Trace("Bulk pipe TRUE\r\n");
  }
}

std::unique_ptr<UsbDevice> OpenGarminUsb(TransferContext& ctx, UsbOpener opener) {
  constexpr std::string_view kCaption = "Connecting to GPS";
  const std::string& port = ctx.portName();
  const bool virtualUnit = port.rfind("sim:", 0) == 0;
  const int32_t attempts = ctx.ConnectAttempts();
  std::string error;
  for (int32_t i = 0; i < attempts; ++i) {
    if (ctx.aborted()) {
      ctx.Status("Transfer aborted");
      return nullptr;
    }
    ctx.Progress("Connecting to GPS (%)", attempts - i);
    std::unique_ptr<UsbDevice> device;
    if (virtualUnit) {
      const std::string name = port.substr(4);
      if (!HasVirtualUsbDevice(name)) {
        ctx.ShowMessage(kCaption, "No virtual USB unit \"" + name + "\"");
        return nullptr;
      }
      device = StartVirtualUsbDevice(name, error);
    } else {
      switch (opener(device, error)) {
        case UsbOpenOutcome::kOpened:
        case UsbOpenOutcome::kNoUnit:  // not plugged in yet: try again
          break;
        case UsbOpenOutcome::kAccessDenied:
          ctx.ShowMessage(kCaption, kUsbAccessDenied);
          return nullptr;
        case UsbOpenOutcome::kFailed:
          ctx.ShowMessage(kCaption, error);
          return nullptr;
      }
    }
    if (device) {
      // The unit needs a moment after the interface is claimed.
      ctx.Pause(std::chrono::milliseconds(100));
      return device;
    }
    if (i + 1 < attempts && !ctx.Pause(std::chrono::milliseconds(1000))) {
      ctx.Status("Transfer aborted");
      return nullptr;
    }
  }
  ctx.ShowMessage(kCaption, "Could not open USB port");
  return nullptr;
}

}  // namespace skylode::garmin
