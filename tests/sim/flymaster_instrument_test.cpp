// The virtual Flymaster's block stream: a key block wherever a step does not
// fit a record, records in blocks of the configured size, the end marker.
#include <gtest/gtest.h>

#include <vector>

#include "sim/flymaster/flymaster_instrument.h"

namespace skylode::sim {
namespace {

std::vector<uint8_t> Ids(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> ids;
  for (const auto& b : blocks) ids.push_back(b[0]);
  return ids;
}

FlymasterSimFlight Steps(const std::vector<FlymasterFix>& moves) {
  FlymasterSimFlight f;
  FlymasterFix at{100000, 200000, 500, 9000, 1000};
  for (const FlymasterFix& m : moves) {
    at.latitude += m.latitude;
    at.longitude += m.longitude;
    at.gpsAltitude = static_cast<int16_t>(at.gpsAltitude + m.gpsAltitude);
    at.pressure = static_cast<int16_t>(at.pressure + m.pressure);
    at.time += m.time;
    f.fixes.push_back(at);
  }
  return f;
}

TEST(VirtualFlymaster, KeyBlockWheneverAStepDoesNotFitARecord) {
  struct Case {
    const char* what;
    std::vector<FlymasterFix> moves;
    size_t perBlock;
    std::vector<uint8_t> ids;
  };
  const FlymasterFix still{0, 0, 0, 0, 1};
  const std::vector<Case> cases = {
      {"small steps", {still, still, still}, 40, {0xA0, 0xA1, 0xA2, 0xA3}},
      {"latitude jump", {still, still, {128, 0, 0, 0, 1}, still}, 40, {0xA0, 0xA1, 0xA2, 0xA1, 0xA2, 0xA3}},
      {"largest steps still fit", {still, {127, -128, 127, -128, 255}}, 40, {0xA0, 0xA1, 0xA2, 0xA3}},
      {"longitude jump", {still, {0, -129, 0, 0, 1}}, 40, {0xA0, 0xA1, 0xA1, 0xA3}},
      {"height jump", {still, {0, 0, 128, 0, 1}}, 40, {0xA0, 0xA1, 0xA1, 0xA3}},
      {"pressure jump", {still, {0, 0, 0, -129, 1}}, 40, {0xA0, 0xA1, 0xA1, 0xA3}},
      {"gap in time", {still, still, {0, 0, 0, 0, 256}}, 40, {0xA0, 0xA1, 0xA2, 0xA1, 0xA3}},
      {"full blocks", {still, still, still, still, still, still}, 2, {0xA0, 0xA1, 0xA2, 0xA2, 0xA2, 0xA3}},
  };
  for (const Case& c : cases) {
    const auto blocks = FlymasterFlightBlocks(Steps(c.moves), {}, c.perBlock);
    EXPECT_EQ(Ids(blocks), c.ids) << c.what;
    // Every block but the end carries its length and checksum.
    for (const auto& b : blocks) {
      if (b[0] == 0xA3) {
        EXPECT_EQ(b, (std::vector<uint8_t>{0xA3, 0xA3})) << c.what;
        continue;
      }
      ASSERT_EQ(b.size(), size_t{b[2]} + 4) << c.what;
      uint8_t sum = b[2];
      for (size_t i = 3; i + 1 < b.size(); ++i) sum ^= b[i];
      EXPECT_EQ(sum, b.back()) << c.what;
    }
  }
}

TEST(VirtualFlymaster, FlightInfoCarriesWhatItWasTold) {
  FlymasterSimSettings settings;
  settings.competitionId = "17";
  settings.civlId = "4711";
  FlymasterSimFlight flight = Steps({{0, 0, 0, 0, 1}});
  flight.serialNumber = 0x01020304;
  const auto info = FlymasterFlightBlocks(flight, settings)[0];
  ASSERT_EQ(info[2], 63);
  const uint8_t* p = info.data() + 3;
  EXPECT_EQ(p[4], 0x04);
  EXPECT_EQ(p[7], 0x01);
  EXPECT_EQ(std::string(p + 8, p + 15), "17     ");
  EXPECT_EQ(std::string(p + 46, p + 53), "4711   ");
}

}  // namespace
}  // namespace skylode::sim
