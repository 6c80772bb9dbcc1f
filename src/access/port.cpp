#include "access/port.h"

#include <algorithm>
#include <array>

namespace skylode {

namespace {

using Clock = std::chrono::steady_clock;

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// One read slice that also watches the deadline and the abort flag. Gives
// kOk with count 0 when nothing came in this slice.
IoResult ReadSlice(Port& port, std::span<uint8_t> buffer, Clock::time_point deadline,
                   const CancelToken& cancel) {
  if (cancel.cancelled()) return {IoStatus::kCancelled, 0};
  if (Clock::now() >= deadline) return {IoStatus::kTimeout, 0};
  return port.ReadAvailable(buffer);
}

}  // namespace

bool IsSupportedSpeed(uint32_t baud) {
  return std::find(std::begin(kSupportedSpeeds), std::end(kSupportedSpeeds), baud) !=
         std::end(kSupportedSpeeds);
}

IoResult Port::ReadAvailable(std::span<uint8_t> buffer) {
  if (buffer.empty()) return {IoStatus::kOk, 0};
  if (!pending_.empty()) {
    const size_t n = std::min(buffer.size(), pending_.size());
    std::copy_n(pending_.begin(), n, buffer.begin());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    return {IoStatus::kOk, n};
  }
  return ReadSome(buffer);
}

void Port::Unread(std::span<const uint8_t> bytes) {
  pending_.insert(pending_.begin(), bytes.begin(), bytes.end());
}

IoResult Port::WriteText(std::string_view text, const CancelToken& cancel) {
  return Write(AsBytes(text), cancel);
}

bool Port::Purge() {
  pending_.clear();
  return PurgeDevice();
}

IoResult ReadExactly(Port& port, std::span<uint8_t> out, std::chrono::milliseconds timeout,
                     const CancelToken& cancel) {
  const auto deadline = Clock::now() + timeout;
  size_t got = 0;
  while (got < out.size()) {
    IoResult r = ReadSlice(port, out.subspan(got), deadline, cancel);
    if (!r.ok()) return {r.status, got};
    got += r.count;
  }
  return {IoStatus::kOk, got};
}

IoResult ReadUntil(Port& port, std::vector<uint8_t>& out, const std::function<bool(uint8_t)>& isEnd,
                   std::chrono::milliseconds timeout, const CancelToken& cancel) {
  const auto deadline = Clock::now() + timeout;
  std::array<uint8_t, 256> chunk;
  size_t total = 0;
  for (;;) {
    IoResult r = ReadSlice(port, chunk, deadline, cancel);
    if (!r.ok()) return {r.status, total};
    for (size_t i = 0; i < r.count; ++i) {
      out.push_back(chunk[i]);
      ++total;
      if (isEnd(chunk[i])) {
        port.Unread(std::span<const uint8_t>(chunk.data() + i + 1, r.count - i - 1));
        return {IoStatus::kOk, total};
      }
    }
  }
}

IoResult ReadUntilByte(Port& port, std::vector<uint8_t>& out, uint8_t terminator,
                       std::chrono::milliseconds timeout, const CancelToken& cancel) {
  return ReadUntil(port, out, [terminator](uint8_t b) { return b == terminator; }, timeout, cancel);
}

IoResult ExpectBytes(Port& port, std::string_view expected, std::chrono::milliseconds timeout,
                     const CancelToken& cancel) {
  if (expected.empty()) return {IoStatus::kOk, 0};
  const auto deadline = Clock::now() + timeout;
  std::array<uint8_t, 256> chunk;
  // The tail of what arrived that could still be the start of `expected`;
  // kept as a window so a match split over reads or preceded by a partial
  // false start is still found.
  std::string window;
  size_t total = 0;
  for (;;) {
    IoResult r = ReadSlice(port, chunk, deadline, cancel);
    if (!r.ok()) return {r.status, total};
    for (size_t i = 0; i < r.count; ++i) {
      ++total;
      window.push_back(static_cast<char>(chunk[i]));
      if (window.size() > expected.size()) window.erase(0, window.size() - expected.size());
      if (window == expected) {
        port.Unread(std::span<const uint8_t>(chunk.data() + i + 1, r.count - i - 1));
        return {IoStatus::kOk, total};
      }
    }
  }
}

IoResult ExpectReply(Port& port, std::string_view request, std::string_view expected,
                     std::chrono::milliseconds timeout, const CancelToken& cancel) {
  IoResult w = port.WriteText(request, cancel);
  if (!w.ok()) return w;
  return ExpectBytes(port, expected, timeout, cancel);
}

IoResult ReadUntilSilence(Port& port, const std::function<bool(uint8_t)>& sink,
                          std::chrono::milliseconds silence, const CancelToken& cancel,
                          std::chrono::milliseconds overall) {
  const auto start = Clock::now();
  const auto deadline = overall >= std::chrono::hours(24) ? Clock::time_point::max() : start + overall;
  auto lastByte = start;
  std::array<uint8_t, 256> chunk;
  size_t fed = 0;
  for (;;) {
    if (Clock::now() - lastByte >= silence) return {IoStatus::kOk, fed};
    IoResult r = ReadSlice(port, chunk, deadline, cancel);
    if (!r.ok()) return {r.status, fed};
    if (r.count > 0) lastByte = Clock::now();
    for (size_t i = 0; i < r.count; ++i) {
      ++fed;
      if (!sink(chunk[i])) {
        port.Unread(std::span<const uint8_t>(chunk.data() + i + 1, r.count - i - 1));
        return {IoStatus::kOk, fed};
      }
    }
  }
}

}  // namespace skylode
