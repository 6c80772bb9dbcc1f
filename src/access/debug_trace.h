// The record of one exchange with an instrument: every byte sent and
// received, in the order the port code and the protocols handled them, plus a
// few text and hexadecimal notes. Each transfer writes its own; the user
// saves the last one to send to whoever looks into a failing instrument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

// A fixed buffer that fills once and then drops further data: the start of a
// failing exchange is what explains it, so we never wrap around.
//
// The transfer's worker writes while the window thread reads or clears, so
// every operation holds the lock for its whole length (a hex block is never
// split by another thread's bytes) and readers get a copy, never a view.
class DebugTrace {
 public:
  static constexpr int32_t kCapacity = 100000;

  DebugTrace();
  DebugTrace(const DebugTrace&) = delete;
  DebugTrace& operator=(const DebugTrace&) = delete;

  void Clear();
  // Appends the raw byte while there is room.
  void Byte(uint8_t b);
  // As Byte for each byte in turn: what a port write or a read puts in.
  void Bytes(std::span<const uint8_t> bytes);
  // Appends the characters up to the first NUL (or the end), as many as fit.
  void Text(std::string_view s);
  // " 3F" per byte, CR LF after every 16th byte and after a short last line.
  // An entry is written only while all of it fits; the first one that does
  // not ends the call.
  void Hex(std::span<const uint8_t> bytes);
  // Eight upper-case hex digits, most significant first, or nothing when they
  // do not fit.
  void HexWord(uint32_t w);

  // The bytes recorded so far, copied under the lock.
  std::vector<uint8_t> Snapshot() const;
  int32_t Size() const;
  bool Empty() const { return Size() == 0; }

 private:
  void PutLocked(uint8_t b);

  mutable std::mutex mutex_;
  std::vector<uint8_t> buffer_;  // kCapacity bytes, allocated once
  int32_t position_ = 0;
};

// A readable hex dump for the window: per 16 bytes the offset (8 hex digits),
// the bytes in hex and the printable ASCII, lines ended by "\n".
// "00000000  24 50 42 52 ...  |$PBR...|"
std::string FormatHexDump(std::span<const uint8_t> bytes);

}  // namespace skylode
