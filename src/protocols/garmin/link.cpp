#include "protocols/garmin/link.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace skylode::garmin {

void GarminPacket::Set(uint8_t packetId, std::span<const uint8_t> bytes) {
  id = packetId;
  size = static_cast<uint8_t>(std::min(bytes.size(), kMaxPacketData));
  data.fill(0);
  std::copy_n(bytes.begin(), size, data.begin());
}

uint8_t GarminChecksum(uint8_t id, std::span<const uint8_t> data) {
  unsigned sum = id + static_cast<unsigned>(data.size());
  for (uint8_t b : data) sum += b;
  return static_cast<uint8_t>(-sum);
}

std::vector<uint8_t> EncodeGarminPacket(uint8_t id, std::span<const uint8_t> data) {
  const size_t n = std::min(data.size(), kMaxPacketData);
  data = data.first(n);
  std::vector<uint8_t> out;
  out.reserve(6 + 2 * n + 2);
  auto stuffed = [&out](uint8_t b) {
    out.push_back(b);
    if (b == kDle) out.push_back(b);
  };
  out.push_back(kDle);
  // The ID is never doubled: a packet ID of 0x10 does not exist in the
  // protocol, and the receiver takes the byte after the start DLE as the ID.
  out.push_back(id);
  stuffed(static_cast<uint8_t>(n));
  for (uint8_t b : data) stuffed(b);
  stuffed(GarminChecksum(id, data));
  out.push_back(kDle);
  out.push_back(kEtx);
  return out;
}

uint16_t GetU16(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

uint32_t GetU32(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint32_t>(d[at]) | (static_cast<uint32_t>(d[at + 1]) << 8) |
         (static_cast<uint32_t>(d[at + 2]) << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}

float GetF32(std::span<const uint8_t> d, size_t at) { return std::bit_cast<float>(GetU32(d, at)); }

void PutU16(uint8_t* d, uint16_t v) {
  d[0] = static_cast<uint8_t>(v);
  d[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* d, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutF32(uint8_t* d, float v) { PutU32(d, std::bit_cast<uint32_t>(v)); }

GarminPacket MakeCommandPacket(uint16_t command) {
  uint8_t d[2];
  PutU16(d, command);
  GarminPacket p;
  p.Set(kPidCommand, d);
  return p;
}

GarminPacket MakeAckPacket(uint8_t ackedId) {
  const uint8_t d[2] = {ackedId, 0};
  GarminPacket p;
  p.Set(kPidAck, d);
  return p;
}

bool IsAckOf(const GarminPacket& p, uint8_t sentId) {
  return p.id == kPidAck && p.size >= 2 && p.data[0] == sentId && p.data[1] == 0;
}

void GarminReceiver::Reset() {
  state_ = State::kWaitDle;
  escaped_ = false;
}

size_t GarminReceiver::Feed(std::span<const uint8_t> bytes, GarminPacket& out, bool& complete) {
  complete = false;
  size_t used = 0;
  while (used < bytes.size()) {
    const uint8_t b = bytes[used++];
    // Inside size, data and checksum a DLE must come doubled.
    if (state_ == State::kSize || state_ == State::kData || state_ == State::kChecksum) {
      if (escaped_) {
        escaped_ = false;
        if (b != kDle) {
          // Not a doubled DLE, so the packet is broken. The lone DLE may well
          // be the start of the next packet (a unit that resends after a cut),
          // so take this byte as its ID rather than waiting for another DLE.
          state_ = State::kId;
        }
      } else if (b == kDle) {
        escaped_ = true;
        continue;
      }
    }
    switch (state_) {
      case State::kWaitDle:
        if (b == kDle) state_ = State::kId;
        break;
      case State::kId:
        if (b == kDle || b == kEtx) {
          state_ = State::kWaitDle;
        } else {
          id_ = b;
          sum_ = b;
          state_ = State::kSize;
        }
        break;
      case State::kSize:
        size_ = b;
        sum_ = static_cast<uint8_t>(sum_ + b);
        filled_ = 0;
        data_.fill(0);
        state_ = size_ ? State::kData : State::kChecksum;
        break;
      case State::kData:
        data_[filled_++] = b;
        sum_ = static_cast<uint8_t>(sum_ + b);
        if (filled_ == size_) state_ = State::kChecksum;
        break;
      case State::kChecksum:
        sum_ = static_cast<uint8_t>(sum_ + b);
        state_ = sum_ == 0 ? State::kEndDle : State::kWaitDle;
        break;
      case State::kEndDle:
        state_ = b == kDle ? State::kEtx : State::kWaitDle;
        break;
      case State::kEtx:
        state_ = State::kWaitDle;
        if (b == kEtx) {
          out.id = id_;
          out.size = size_;
          out.data = data_;
          complete = true;
          return used;
        }
        break;
    }
  }
  return used;
}

}  // namespace skylode::garmin
