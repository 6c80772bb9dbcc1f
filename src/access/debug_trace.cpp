#include "access/debug_trace.h"

#include <algorithm>

namespace skylode {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Room checks of the hex notes: an entry is " XX", a line end CR LF and a word
// eight digits, each written only when the position is below its bound.
constexpr int32_t kHexEntryBound = DebugTrace::kCapacity - 3;
constexpr int32_t kLineEndBound = DebugTrace::kCapacity - 2;
constexpr int32_t kHexWordBound = DebugTrace::kCapacity - 8;

}  // namespace

DebugTrace::DebugTrace() : buffer_(kCapacity) {}

void DebugTrace::Clear() {
  std::lock_guard lock(mutex_);
  position_ = 0;
}

void DebugTrace::PutLocked(uint8_t b) { buffer_[static_cast<size_t>(position_++)] = b; }

void DebugTrace::Byte(uint8_t b) {
  std::lock_guard lock(mutex_);
  if (position_ < kCapacity) PutLocked(b);
}

void DebugTrace::Bytes(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  for (uint8_t b : bytes) {
    if (position_ >= kCapacity) break;
    PutLocked(b);
  }
}

void DebugTrace::Text(std::string_view s) {
  std::lock_guard lock(mutex_);
  for (char c : s) {
    if (c == '\0' || position_ >= kCapacity) break;
    PutLocked(static_cast<uint8_t>(c));
  }
}

void DebugTrace::Hex(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    if (position_ >= kHexEntryBound) return;
    PutLocked(' ');
    PutLocked(static_cast<uint8_t>(kHexDigits[bytes[i] >> 4]));
    PutLocked(static_cast<uint8_t>(kHexDigits[bytes[i] & 0x0F]));
    const bool endOfRow = (i + 1) % 16 == 0;
    const bool last = i + 1 == n;
    if (endOfRow || last) {
      if (position_ >= kLineEndBound) return;
      PutLocked('\r');
      PutLocked('\n');
    }
  }
}

void DebugTrace::HexWord(uint32_t w) {
  std::lock_guard lock(mutex_);
  if (position_ >= kHexWordBound) return;
  for (int shift = 28; shift >= 0; shift -= 4) PutLocked(static_cast<uint8_t>(kHexDigits[(w >> shift) & 0x0F]));
}

std::vector<uint8_t> DebugTrace::Snapshot() const {
  std::lock_guard lock(mutex_);
  return {buffer_.begin(), buffer_.begin() + position_};
}

int32_t DebugTrace::Size() const {
  std::lock_guard lock(mutex_);
  return position_;
}

std::string FormatHexDump(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() / 16 + 1) * 78);
  for (size_t row = 0; row < bytes.size(); row += 16) {
    const size_t count = std::min<size_t>(16, bytes.size() - row);
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(row >> shift) & 0x0F];
    out += ' ';
    for (size_t i = 0; i < 16; ++i) {
      // An extra blank after the eighth byte makes the columns easier to count.
      if (i == 8) out += ' ';
      if (i < count) {
        out += ' ';
        out += kHexDigits[bytes[row + i] >> 4];
        out += kHexDigits[bytes[row + i] & 0x0F];
      } else {
        out += "   ";
      }
    }
    out += "  |";
    for (size_t i = 0; i < count; ++i) {
      const uint8_t b = bytes[row + i];
      out += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    }
    out += "|\n";
  }
  return out;
}

}  // namespace skylode
