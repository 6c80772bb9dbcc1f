#include <gtest/gtest.h>

#include <vector>

#include "protocols/garmin/link.h"

namespace skylode::garmin {
namespace {

using Bytes = std::vector<uint8_t>;

// Feeds a byte stream in chunks of `chunk` and collects the packets found.
std::vector<GarminPacket> Receive(const Bytes& wire, size_t chunk) {
  GarminReceiver rx;
  std::vector<GarminPacket> got;
  for (size_t at = 0; at < wire.size(); at += chunk) {
    std::span<const uint8_t> piece(wire.data() + at, std::min(chunk, wire.size() - at));
    while (!piece.empty()) {
      GarminPacket p;
      bool complete = false;
      const size_t used = rx.Feed(piece, p, complete);
      if (complete) got.push_back(p);
      piece = piece.subspan(used);
    }
  }
  return got;
}

TEST(GarminFraming, EncodesWithChecksumAndDleDoubling) {
  struct Case {
    uint8_t id;
    Bytes data;
    Bytes wire;
  } cases[] = {
      // Product request: no data, checksum 0x100 - 254 = 2.
      {254, {}, {0x10, 0xFE, 0x00, 0x02, 0x10, 0x03}},
      // Ack of 254.
      {6, {254, 0}, {0x10, 0x06, 0x02, 0xFE, 0x00, 0xFA, 0x10, 0x03}},
      // A DLE in the data is doubled.
      {34, {0x10}, {0x10, 0x22, 0x01, 0x10, 0x10, 0xCD, 0x10, 0x03}},
      // A size of 16 is doubled, and so is a checksum of 0x10 (0x22+0x10+sum data = 0xF0).
      {34, Bytes(16, 0), {}},
      {0xE0, {}, {0x10, 0xE0, 0x00, 0x20, 0x10, 0x03}},
      {0xF0, {}, {0x10, 0xF0, 0x00, 0x10, 0x10, 0x10, 0x03}},
  };
  for (const auto& c : cases) {
    const Bytes wire = EncodeGarminPacket(c.id, c.data);
    if (!c.wire.empty()) {
      EXPECT_EQ(wire, c.wire) << int(c.id);
    }
    uint8_t sum = 0;
    for (uint8_t b : c.data) sum = static_cast<uint8_t>(sum + b);
    EXPECT_EQ(static_cast<uint8_t>(c.id + c.data.size() + sum + GarminChecksum(c.id, c.data)), 0);
  }
  const Bytes sixteen = EncodeGarminPacket(34, Bytes(16, 0));
  EXPECT_EQ(sixteen[2], 0x10);
  EXPECT_EQ(sixteen[3], 0x10);
}

TEST(GarminFraming, RoundTripsEveryByteValueInEveryChunking) {
  Bytes data;
  for (int i = 0; i < 255; ++i) data.push_back(static_cast<uint8_t>(i + 3));  // holds 0x10 and 0x03
  const Bytes wire = EncodeGarminPacket(35, data);
  for (size_t chunk : {1u, 2u, 3u, 7u, 100u, 1000u}) {
    auto got = Receive(wire, chunk);
    ASSERT_EQ(got.size(), 1u) << chunk;
    EXPECT_EQ(got[0].id, 35);
    EXPECT_EQ(Bytes(got[0].payload().begin(), got[0].payload().end()), data);
  }
}

TEST(GarminReceiver, KeepsBytesAfterACompletePacketForTheNextCall) {
  Bytes wire = EncodeGarminPacket(27, Bytes{5, 0});
  const Bytes second = EncodeGarminPacket(12, Bytes{6, 0});
  wire.insert(wire.end(), second.begin(), second.end());
  GarminReceiver rx;
  GarminPacket p;
  bool complete = false;
  const size_t used = rx.Feed(wire, p, complete);
  ASSERT_TRUE(complete);
  EXPECT_EQ(p.id, 27);
  EXPECT_EQ(used, wire.size() - second.size());
  const size_t rest = rx.Feed(std::span<const uint8_t>(wire).subspan(used), p, complete);
  ASSERT_TRUE(complete);
  EXPECT_EQ(p.id, 12);
  EXPECT_EQ(p.data[0], 6);
  EXPECT_EQ(rest, second.size());
}

TEST(GarminReceiver, DropsBrokenPacketsAndFindsTheNextGoodOne) {
  const Bytes good = EncodeGarminPacket(35, Bytes{1, 2, 0x10, 4});
  auto corrupt = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  struct Case {
    const char* what;
    Bytes noise;
  } cases[] = {
      {"bad checksum", corrupt(good.size() - 3, static_cast<uint8_t>(good[good.size() - 3] + 1))},
      {"bad data byte", corrupt(4, 9)},
      {"undoubled DLE", corrupt(6, 0x22)},
      {"missing end DLE", corrupt(good.size() - 2, 0x00)},
      {"missing ETX", corrupt(good.size() - 1, 0x04)},
      {"cut short", Bytes(good.begin(), good.begin() + 5)},
      {"line noise", Bytes{0x00, 0xFF, 0x03, 0x10, 0x03, 0x10, 0x10}},
  };
  for (const auto& c : cases) {
    Bytes wire = c.noise;
    wire.insert(wire.end(), good.begin(), good.end());
    for (size_t chunk : {1u, 100u}) {
      auto got = Receive(wire, chunk);
      ASSERT_EQ(got.size(), 1u) << c.what;
      EXPECT_EQ(got[0].size, 4) << c.what;
      EXPECT_EQ(got[0].data[2], 0x10) << c.what;
    }
    // The broken packet alone gives nothing.
    EXPECT_TRUE(Receive(c.noise, 100).empty()) << c.what;
  }
}

TEST(GarminReceiver, ZeroFillsDataBehindAShortPacket) {
  Bytes wire = EncodeGarminPacket(35, Bytes(200, 0xAA));
  const Bytes shortOne = EncodeGarminPacket(35, Bytes{1});
  wire.insert(wire.end(), shortOne.begin(), shortOne.end());
  auto got = Receive(wire, 1000);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].size, 1);
  EXPECT_EQ(got[1].data[1], 0);
  EXPECT_EQ(got[1].data[199], 0);
}

TEST(GarminAck, AcceptsOnlyTheExpectedForm) {
  GarminPacket p = MakeAckPacket(35);
  EXPECT_TRUE(IsAckOf(p, 35));
  EXPECT_FALSE(IsAckOf(p, 34));
  p.data[1] = 1;
  EXPECT_FALSE(IsAckOf(p, 35));
  p = MakeAckPacket(35);
  p.size = 1;
  EXPECT_FALSE(IsAckOf(p, 35));
  p = MakeAckPacket(35);
  p.id = kPidNak;
  EXPECT_FALSE(IsAckOf(p, 35));
}

}  // namespace
}  // namespace skylode::garmin
