#include "shell/interface/row_text.h"

#include <gtest/gtest.h>

#include "comma_locale.h"

#include "records/calendar.h"

namespace skylode {
namespace {

TrackPoint At(uint32_t time, int32_t latitude, int32_t longitude, int32_t gpsDm, int32_t baroM = 0, uint32_t flags = 0) {
  TrackPoint p;
  p.time = time;
  p.latitude = latitude;
  p.longitude = longitude;
  p.gpsHeight = gpsDm;
  p.baroHeight = baroM;
  p.flags = flags;
  return p;
}

constexpr int32_t kLat47 = 560731841;  // 47 degrees north
constexpr int32_t kLon8 = 95443718;    // 8 degrees east (rounded)

TEST(TrackRowTextTest, GeographicCells) {
  const uint32_t t = *CalendarToTime({2010, 5, 5, 12, 34, 56});
  TrackLog log;
  log.hasBaroHeight = true;
  log.points = {At(t, kLat47, kLon8, 15, 10, kTrackPointStartsSegment),
                At(t + 10, kLat47 + 100000, kLon8, -15, 0),  // about 1.04 km further north
                At(t + 10, kLat47, kLon8, 14, -3)};
  struct Case {
    int row, column;
    const char* text;
  } cases[] = {
      {0, 0, "2010-05-05"}, {0, 1, "12:34:56"}, {0, 2, "N 47  00  00.00"}, {0, 3, "E 008  00  00.00"},
      {0, 4, "2"},          {1, 4, "-2"},       {2, 4, "1"},
      {0, 5, "9"},   // 10 m - 1.5 m
      {1, 5, "2"},   // 0 m + 1.5 m
      {2, 5, "-4"},  // -3 m - 1.4 m
      {0, 6, "START"}, {2, 6, "0.0"},  // no time passed: no speed
      {0, 7, ""}, {3, 0, ""}, {-1, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
    EXPECT_EQ(TrackRowText(log, c.row, c.column, false), c.text);
  }
  // 100000 semicircles of latitude are about 932 m: about 335 km/h over 10 s.
  const std::string speed = TrackRowText(log, 1, 6, false);
  EXPECT_EQ(speed.substr(0, 2), "33");
  EXPECT_EQ(speed.find(','), std::string::npos);
  EXPECT_EQ(speed[speed.size() - 2], '.');

  log.hasBaroHeight = false;
  EXPECT_EQ(TrackRowText(log, 0, 5, false), "");
}

TEST(TrackRowTextTest, UtmCellsShiftTheLaterColumns) {
  TrackLog log;
  log.points = {At(0, kLat47, kLon8, 4000)};
  EXPECT_EQ(TrackRowText(log, 0, 0, true), "1989-12-31");
  EXPECT_EQ(TrackRowText(log, 0, 2, true), "32T");
  const std::string easting = TrackRowText(log, 0, 3, true);
  const std::string northing = TrackRowText(log, 0, 4, true);
  // GeographicLib's GeoConvert gives 32n 423975 5205649 for 47 N 8 E.
  EXPECT_EQ(easting, "0423975");
  EXPECT_EQ(northing, "5205649");
  EXPECT_EQ(TrackRowText(log, 0, 5, true), "400");
  EXPECT_EQ(TrackRowText(log, 0, 7, true), "0.0");
  EXPECT_EQ(TrackRowText(log, 0, 8, true), "");
}

// The window runs under the desktop's locale; no cell may follow it.
TEST(TrackRowTextTest, SpeedIgnoresADecimalCommaLocale) {
  TrackLog log;
  log.points = {At(0, kLat47, kLon8, 0), At(10, kLat47 + 100000, kLon8, 0)};
  std::string speed;
  {
    test::CommaLocale comma;
    if (!comma.active) GTEST_SKIP() << "no locale with a decimal comma available";
    speed = TrackRowText(log, 1, 6, false);
  }
  EXPECT_EQ(speed.find(','), std::string::npos);
  EXPECT_NE(speed.find('.'), std::string::npos);
}

TEST(WaypointRowTextTest, Cells) {
  WaypointList list;
  Waypoint w;
  w.id = "ABC-1";
  w.name = "Landing field";
  w.height = -12;
  w.symbol = 18;
  w.time = *CalendarToTime({2007, 8, 10, 9, 5, 3});
  w.latitude = -kLat47;
  w.longitude = -kLon8;
  list.items = {w};
  EXPECT_EQ(WaypointRowText(list, 0, 0, false), "ABC-1");
  EXPECT_EQ(WaypointRowText(list, 0, 1, false), "S 47  00  00.00");
  EXPECT_EQ(WaypointRowText(list, 0, 2, false), "W 008  00  00.00");
  EXPECT_EQ(WaypointRowText(list, 0, 3, false), "-12");
  EXPECT_EQ(WaypointRowText(list, 0, 4, false), "Landing field");
  EXPECT_EQ(WaypointRowText(list, 0, 5, false), "18");
  EXPECT_EQ(WaypointRowText(list, 0, 6, false), "2007-08-10T09:05:03");
  EXPECT_EQ(WaypointRowText(list, 0, 1, true), "29G");
  EXPECT_EQ(WaypointRowText(list, 0, 4, true), "-12");
  EXPECT_EQ(WaypointRowText(list, 0, 7, true), "2007-08-10T09:05:03");
  EXPECT_EQ(WaypointRowText(list, 1, 0, false), "");
  // Over-long fields are cut to what the list shows.
  list.items[0].name = std::string(60, 'n');
  EXPECT_EQ(WaypointRowText(list, 0, 4, false).size(), 40u);
}

TEST(CtrAndPilotRowTextTest, Cells) {
  CtrList ctrs;
  CtrArea area;
  area.name = std::string(70, 'Z');
  area.floor = "GND";
  area.ceiling = "FL95";
  area.segments.resize(4);
  ctrs.areas = {area};
  EXPECT_EQ(CtrRowText(ctrs, 0, 0).size(), 50u);
  EXPECT_EQ(CtrRowText(ctrs, 0, 1), "GND");
  EXPECT_EQ(CtrRowText(ctrs, 0, 2), "FL95");
  EXPECT_EQ(CtrRowText(ctrs, 0, 3), "200");
  EXPECT_EQ(CtrRowText(ctrs, 0, 4), "4");
  EXPECT_EQ(CtrRowText(ctrs, 1, 0), "");

  PilotList pilots;
  PilotEntry p;
  p.name = "Anna";
  p.compId = 17;
  p.devices[0] = "Flymaster B1";
  pilots.items = {p};
  EXPECT_EQ(PilotRowText(pilots, 0, 0), "Anna");
  EXPECT_EQ(PilotRowText(pilots, 0, 1), "17");
  EXPECT_EQ(PilotRowText(pilots, 0, 2), "   ");
  EXPECT_EQ(PilotRowText(pilots, 0, 3), "Flymaster B1");
  EXPECT_EQ(PilotRowText(pilots, 0, 4), "");
}

TEST(ColumnsTest, EachViewHasItsColumns) {
  EXPECT_EQ(ColumnsOf(ViewMode::kWaypoints, false).size(), 7u);
  EXPECT_EQ(ColumnsOf(ViewMode::kWaypoints, true).size(), 8u);
  EXPECT_EQ(ColumnsOf(ViewMode::kTrackLog, false).size(), 7u);
  EXPECT_EQ(ColumnsOf(ViewMode::kTrackLog, true)[2].title, "Zone");
  EXPECT_EQ(ColumnsOf(ViewMode::kCtr, true).size(), 5u);
  EXPECT_EQ(ColumnsOf(ViewMode::kPilots, false)[3].title, "Device");
}

}  // namespace
}  // namespace skylode
