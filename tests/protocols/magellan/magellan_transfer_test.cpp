// Track and waypoint transfers end to end against the virtual Magellan
// through the real serial layer.
#include <gtest/gtest.h>

#include "magellan_rig.h"
#include "protocols/families.h"
#include "protocols/family.h"
#include "protocols/magellan/sentences.h"
#include "records/angles.h"

namespace skylode::magellan {
namespace {

using namespace testing;

TEST(MagellanTransfer, TheRowRegistersItsThreeWorkers) {
  DeviceAccessTable table;
  ASSERT_NE(MagellanFamily().registerWorkers, nullptr);
  MagellanFamily().registerWorkers(table, {});
  for (int a = 0; a < kAccessTypeCount; ++a) {
    const auto access = static_cast<AccessType>(a);
    EXPECT_EQ(table.Has(access, ProtocolType::kMagellan),
              access == AccessType::kReadTrackLog || access == AccessType::kReadWaypoints ||
                  access == AccessType::kSendWaypoints)
        << a;
  }
}

TEST(MagellanTransfer, DownloadsTheTrackLog) {
  Screen screen;
  const MagellanRun run = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadTrackLog, screen.Callbacks());
  ASSERT_TRUE(run.result.succeeded());
  const TrackLog& log = std::get<TrackLogPayload>(run.result.payload).log;
  ASSERT_EQ(log.points.size(), 25u);
  EXPECT_EQ(log.source, TrackLogSource::kMagellan);
  EXPECT_EQ(log.instrumentText, "MERIDIAN GPS");
  EXPECT_EQ(log.points[0].flags, 1u);
  EXPECT_EQ(log.points[1].flags, 0u);
  EXPECT_EQ(log.points[24].time - log.points[0].time, 24u);
  EXPECT_EQ(log.points[3].gpsHeight, 12530);
  EXPECT_NEAR(log.points[0].latitude, *DegreesToLatitude(45.8129), 20000);
  EXPECT_EQ(screen.products.back(), "Magellan: 27");
  EXPECT_TRUE(screen.SawStatus("25 points received"));
  EXPECT_TRUE(screen.Messages().empty());
}

// In competition mode the unit's waypoints go to the pilot identification
// before the track is read.
TEST(MagellanTransfer, CompetitionModeScansTheWaypointsFirst) {
  Screen screen;
  const MagellanRun run = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadTrackLog, screen.Callbacks(), {},
                                      {}, nullptr, nullptr, true);
  ASSERT_TRUE(run.result.succeeded());
  EXPECT_EQ(std::get<TrackLogPayload>(run.result.payload).log.points.size(), 25u);
  ASSERT_EQ(screen.identified.size(), 2u);
  EXPECT_EQ(screen.identified[0].id, "FORCLA");
  const auto commands = run.log->Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1], "PMGNCMD,WAYPOINT");
  EXPECT_EQ(commands[2], "PMGNCMD,TRACK,2");
}

TEST(MagellanTransfer, OldFirmwareRefusesTheTrackDownload) {
  struct Case {
    int product;
    const char* version;
    const char* refusal;
  };
  const Case cases[] = {
      {24, "3.13", "E200 Model does not support time in track log"},
      {24, "3.14", nullptr},
      {30, "2.00", "E200 Model does not support date in track log"},
      {30, "2.01", nullptr},
  };
  for (const Case& c : cases) {
    sim::MagellanSimConfig config = sim::DemoMagellanConfig();
    config.productId = c.product;
    config.version = c.version;
    Screen screen;
    const MagellanRun run = RunMagellan(config, AccessType::kReadTrackLog, screen.Callbacks());
    EXPECT_EQ(run.result.succeeded(), c.refusal == nullptr) << c.version;
    if (c.refusal) {
      ASSERT_EQ(screen.Messages().size(), 1u);
      EXPECT_EQ(screen.Messages()[0].text, c.refusal);
    }
  }
}

// Uploaded waypoints stay in the unit: the next download serves them back
// as they were sent, next to the two it held.
TEST(MagellanTransfer, UploadedWaypointsComeBackOnDownload) {
  WaypointList list;
  Waypoint a{.latitude = *DegreesToLatitude(45.5), .longitude = *DegreesToLongitude(-6.25), .height = 620,
             .id = "TAKEOF", .name = "Take off", .time = 0, .symbol = 0};
  // A description of the full 40 characters makes a sentence longer than
  // most instruments' lines.
  Waypoint b{.latitude = *DegreesToLatitude(-33.25), .longitude = *DegreesToLongitude(151.125), .height = -20,
             .id = "LAND", .name = "Beach landing next to the surf club 1234", .time = 0, .symbol = 0};
  list.items = {a, b};
  auto log = std::make_shared<sim::MagellanSimLog>();
  Screen up;
  const MagellanRun sent =
      RunMagellan(sim::DemoMagellanConfig(), AccessType::kSendWaypoints, up.Callbacks(), list, {}, nullptr, log);
  ASSERT_TRUE(sent.result.succeeded());
  EXPECT_TRUE(log->Faults().empty());
  ASSERT_EQ(log->Received().size(), 2u);
  EXPECT_EQ(log->Received()[0], "PMGNWPL,4530.000,N,00615.000,W,0620,M,TAKEOF,Take off");
  EXPECT_TRUE(log->UploadEnded());
  EXPECT_TRUE(up.SawStatus("2 waypoints sent"));

  Screen down;
  const MagellanRun read = RunMagellan(sim::DemoMagellanConfig(), AccessType::kReadWaypoints, down.Callbacks(), {},
                                       {}, nullptr, log);
  ASSERT_TRUE(read.result.succeeded());
  const auto& got = std::get<WaypointList>(read.result.payload).items;
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].id, "FORCLA");
  EXPECT_EQ(got[0].name, "Forclaz deco");
  EXPECT_EQ(got[0].height, 1250);
  EXPECT_EQ(got[2].id, "TAKEOF");
  EXPECT_NEAR(got[2].latitude, a.latitude, 20000);
  EXPECT_NEAR(got[2].longitude, a.longitude, 20000);
  EXPECT_EQ(got[2].height, 620);
  EXPECT_EQ(got[3].height, 0);
  EXPECT_EQ(got[3].name, b.name);
  EXPECT_LT(got[3].latitude, 0);
  EXPECT_TRUE(down.SawStatus("4 waypoints received"));
}

}  // namespace
}  // namespace skylode::magellan
