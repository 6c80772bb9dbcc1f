// The pilot ID waypoints an instrument carries: the position coding both
// ways, its limits, and the "-NNN" form of the special variant.
#include "competition/pilot_id_waypoints.h"

#include <gtest/gtest.h>

#include "records/angles.h"

namespace skylode {
namespace {

int32_t Arc(int degrees, int minutes, int seconds) {
  return *DegreesToLongitude(degrees + minutes / 60.0 + seconds / 3600.0);
}

TEST(PilotIdWaypoints, PositionSpellsTheNumber) {
  const auto w = MakePilotIdWaypoint(kCompIdWord, 12345, 700000000);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->latitude, Arc(3, 4, 5));
  EXPECT_EQ(w->longitude, Arc(0, 1, 2));
  EXPECT_EQ(w->id, "COMPID");
  EXPECT_EQ(w->name, "COMPID");
  EXPECT_EQ(w->height, 0);
  EXPECT_EQ(w->symbol, 18);
  EXPECT_EQ(w->time, 700000000u);
  EXPECT_EQ(ReadPilotIdFromWaypoint(*w, false).compId, 12345);
  EXPECT_EQ(ReadPilotIdFromWaypoint(*w, false).civlId, -1);

  for (int32_t id : {0, 7, 99, 100000, 1234567, 9999999, kPilotIdCodeMax}) {
    const auto civl = MakePilotIdWaypoint(kCivlIdWord, id, 0);
    ASSERT_TRUE(civl) << id;
    EXPECT_EQ(ReadPilotIdFromWaypoint(*civl, false).civlId, id);
  }
  // Numbers the position cannot say are not coded at all.
  for (int32_t id : {-1, kPilotIdCodeMax + 1, INT32_MAX}) EXPECT_FALSE(MakePilotIdWaypoint(kCompIdWord, id, 0)) << id;
}

TEST(PilotIdWaypoints, PositionsThatSpellNothing) {
  const struct {
    int32_t latitude, longitude;
  } cases[] = {
      {Arc(10, 0, 0), Arc(0, 0, 0)},   // ten degrees of latitude
      {Arc(0, 10, 0), Arc(0, 0, 0)},   // ten minutes
      {Arc(0, 0, 0), Arc(0, 0, 10)},   // ten seconds
      {-Arc(0, 0, 1), Arc(0, 0, 0)},   // south
      {Arc(0, 0, 1), -Arc(0, 0, 1)},   // west
      {Arc(0, 0, 0), *DegreesToLongitude(-180)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(DecodePilotIdPosition(c.latitude, c.longitude)) << c.latitude << " " << c.longitude;
    Waypoint w;
    w.id = "COMPID";
    w.latitude = c.latitude;
    w.longitude = c.longitude;
    EXPECT_FALSE(ReadPilotIdFromWaypoint(w, false).any());
  }
  // Any other waypoint at a coding position is just a waypoint.
  Waypoint other = *MakePilotIdWaypoint(kCompIdWord, 17, 0);
  other.id = "TAKEOF";
  EXPECT_FALSE(ReadPilotIdFromWaypoint(other, false).any());
}

TEST(PilotIdWaypoints, DashIdsOfTheSpecialVariant) {
  const struct {
    const char* id;
    int32_t compId;
  } cases[] = {
      {"-17", 17}, {"-017", 17}, {"-5A", 5}, {"-99999", 99999}, {"-", -1}, {"-A1", -1}, {"17", -1},
      {"-123456", -1},  // more digits than an ID waypoint holds
  };
  for (const auto& c : cases) {
    Waypoint w;
    w.id = c.id;
    EXPECT_EQ(ReadPilotIdFromWaypoint(w, true).compId, c.compId) << c.id;
    EXPECT_EQ(ReadPilotIdFromWaypoint(w, true).civlId, -1);
  }
  // Each variant reads only its own waypoints.
  EXPECT_FALSE(ReadPilotIdFromWaypoint(*MakePilotIdWaypoint(kCompIdWord, 17, 0), true).any());
  Waypoint dash;
  dash.id = "-17";
  EXPECT_FALSE(ReadPilotIdFromWaypoint(dash, false).any());

  const auto made = MakeDashIdWaypoint(99999, 5);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->id, "-99999");
  EXPECT_EQ(ReadPilotIdFromWaypoint(*made, true).compId, 99999);
  // From 100000 on the ID would need seven characters.
  EXPECT_FALSE(MakeDashIdWaypoint(100000, 5));
  EXPECT_FALSE(MakeDashIdWaypoint(-1, 5));
}

}  // namespace
}  // namespace skylode
