// Garmin serial link layer: packet framing, DLE stuffing, checksum and the
// byte-driven receiver.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skylode::garmin {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEtx = 0x03;

// Packet IDs.
inline constexpr uint8_t kPidAck = 6;
inline constexpr uint8_t kPidNak = 21;
inline constexpr uint8_t kPidCommand = 10;
inline constexpr uint8_t kPidTransferComplete = 12;
inline constexpr uint8_t kPidRecords = 27;
inline constexpr uint8_t kPidTrackData = 34;
inline constexpr uint8_t kPidWaypointData = 35;
inline constexpr uint8_t kPidTrackHeader = 99;
inline constexpr uint8_t kPidProtocolArray = 253;
inline constexpr uint8_t kPidProductRequest = 254;
inline constexpr uint8_t kPidProductData = 255;

// Command numbers carried in a command packet.
inline constexpr uint16_t kCmdAbortTransfer = 0;
inline constexpr uint16_t kCmdTransferTrackLog = 6;
inline constexpr uint16_t kCmdTransferWaypoints = 7;
inline constexpr uint16_t kCmdTurnOffPower = 8;

inline constexpr size_t kMaxPacketData = 255;

struct GarminPacket {
  uint8_t id = 0;
  uint8_t size = 0;
  std::array<uint8_t, kMaxPacketData> data{};

  std::span<const uint8_t> payload() const { return {data.data(), size}; }
  // Replaces the packet with `id` and a copy of at most 255 bytes of `bytes`.
  void Set(uint8_t packetId, std::span<const uint8_t> bytes);
};

// The checksum that makes id + size + data + checksum zero modulo 256.
uint8_t GarminChecksum(uint8_t id, std::span<const uint8_t> data);

// The bytes on the wire for one packet, DLE doubled in size, data and checksum.
std::vector<uint8_t> EncodeGarminPacket(uint8_t id, std::span<const uint8_t> data);
inline std::vector<uint8_t> EncodeGarminPacket(const GarminPacket& p) {
  return EncodeGarminPacket(p.id, p.payload());
}

// Little-endian field helpers used by every record conversion.
uint16_t GetU16(std::span<const uint8_t> d, size_t at);
uint32_t GetU32(std::span<const uint8_t> d, size_t at);
float GetF32(std::span<const uint8_t> d, size_t at);
void PutU16(uint8_t* d, uint16_t v);
void PutU32(uint8_t* d, uint32_t v);
void PutF32(uint8_t* d, float v);

// A command packet (ID 10, two data bytes).
GarminPacket MakeCommandPacket(uint16_t command);
// An acknowledge (ID 6) of `ackedId`: two bytes, the ID and 0.
GarminPacket MakeAckPacket(uint8_t ackedId);
// True when `p` is an acknowledge of `sentId` in the form we expect.
bool IsAckOf(const GarminPacket& p, uint8_t sentId);

// Byte-driven receiver. Feed bytes in order; packets with a bad checksum or a
// broken frame are dropped and the machine looks for the next start.
class GarminReceiver {
 public:
  void Reset();
  // Consumes bytes until a packet is complete or the input ends. Returns the
  // number of bytes used; `complete` tells whether `out` now holds a packet.
  // Unused bytes belong to the next call.
  size_t Feed(std::span<const uint8_t> bytes, GarminPacket& out, bool& complete);

 private:
  enum class State { kWaitDle, kId, kSize, kData, kChecksum, kEndDle, kEtx };
  State state_ = State::kWaitDle;
  bool escaped_ = false;  // a DLE was seen in size, data or checksum
  uint8_t sum_ = 0;
  uint8_t id_ = 0;
  uint8_t size_ = 0;
  size_t filled_ = 0;
  std::array<uint8_t, kMaxPacketData> data_{};
};

}  // namespace skylode::garmin
