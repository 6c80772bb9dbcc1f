// The narrow byte transport every protocol talks through, and the reading
// helpers built on it. Every wait is short (a read returns within 50 ms) or
// watches a cancel token, so a worker notices an abort and its own deadlines.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

// A read-only view of a transfer's abort flag. A default token is never
// cancelled (tests, tools that run without a transfer).
class CancelToken {
 public:
  CancelToken() = default;
  explicit CancelToken(const std::atomic<bool>* flag) : flag_(flag) {}
  bool cancelled() const { return flag_ != nullptr && flag_->load(std::memory_order_acquire); }

 private:
  const std::atomic<bool>* flag_ = nullptr;
};

enum class IoStatus {
  kOk,         // the call did what it was asked (a read may still bring 0 bytes)
  kTimeout,    // the deadline passed first; `count` says how far it got
  kCancelled,  // the transfer was aborted: not an error, nothing to report
  kError,      // the system refused; Port::LastError() has its text
  kHangUp,     // the line went away (adapter pulled, instrument hung up)
};

struct IoResult {
  IoStatus status = IoStatus::kOk;
  size_t count = 0;  // bytes moved
  bool ok() const { return status == IoStatus::kOk; }
};

// Longest time a single read may wait for bytes.
inline constexpr std::chrono::milliseconds kReadSlice{50};

// Serial speeds any protocol uses.
inline constexpr uint32_t kSupportedSpeeds[] = {4800, 9600, 19200, 38400, 57600, 115200, 230400};
bool IsSupportedSpeed(uint32_t baud);

class Port {
 public:
  virtual ~Port() = default;
  Port() = default;
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  // Whatever has arrived, up to buffer.size() bytes, waiting at most
  // kReadSlice for the first one. 0 bytes with kOk is the normal "nothing
  // yet". Bytes handed back with Unread come first.
  IoResult ReadAvailable(std::span<uint8_t> buffer);
  // Puts bytes back in front of the input, for helpers that read past the end
  // of what they were asked for.
  void Unread(std::span<const uint8_t> bytes);

  // Writes all bytes or fails: a write that could not finish within its bound
  // is kTimeout with the count that went out, never a success.
  virtual IoResult Write(std::span<const uint8_t> bytes, const CancelToken& cancel) = 0;
  IoResult WriteText(std::string_view text, const CancelToken& cancel);

  // Line speed and XON/XOFF; the input and output queues are purged.
  virtual bool SetSpeed(uint32_t baud, bool softwareFlow) = 0;
  // Drops whatever is queued in both directions (and anything Unread).
  bool Purge();
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // The name the port was opened by (a setting such as "COM3", a device path
  // or "sim:flytec").
  virtual const std::string& Name() const = 0;
  virtual uint32_t Speed() const = 0;
  // The system's text for the last failure, for messages and the trace.
  virtual std::string LastError() const = 0;

 protected:
  virtual IoResult ReadSome(std::span<uint8_t> buffer) = 0;
  virtual bool PurgeDevice() = 0;

 private:
  std::vector<uint8_t> pending_;
};

// --- Helpers for the waiting idioms of the protocols -----------------------
// Each loops over ReadAvailable, so it checks `cancel` at least every 50 ms and
// gives kCancelled on an abort. Bytes read beyond what was asked for are put
// back with Unread for the next call.

// Exactly out.size() bytes within `timeout` measured from the call.
IoResult ReadExactly(Port& port, std::span<uint8_t> out, std::chrono::milliseconds timeout,
                     const CancelToken& cancel);

// Appends bytes to `out` up to and including the first byte for which
// `isEnd` is true. kTimeout when it does not come within `timeout`.
IoResult ReadUntil(Port& port, std::vector<uint8_t>& out, const std::function<bool(uint8_t)>& isEnd,
                   std::chrono::milliseconds timeout, const CancelToken& cancel);
IoResult ReadUntilByte(Port& port, std::vector<uint8_t>& out, uint8_t terminator,
                       std::chrono::milliseconds timeout, const CancelToken& cancel);

// Skips input until `expected` has arrived as a whole (the bytes after it stay
// unread). kTimeout when it does not come within `timeout`.
IoResult ExpectBytes(Port& port, std::string_view expected, std::chrono::milliseconds timeout,
                     const CancelToken& cancel);

// Sends `request`, then waits for `expected` as ExpectBytes does.
IoResult ExpectReply(Port& port, std::string_view request, std::string_view expected,
                     std::chrono::milliseconds timeout, const CancelToken& cancel);

// Feeds every byte to `sink` until `silence` passes without a byte (kOk), the
// sink returns false (kOk; the rest of that read stays unread) or `overall`
// passes (kTimeout). `count` is the number of bytes fed.
IoResult ReadUntilSilence(Port& port, const std::function<bool(uint8_t)>& sink,
                          std::chrono::milliseconds silence, const CancelToken& cancel,
                          std::chrono::milliseconds overall = std::chrono::hours(24));

}  // namespace skylode
