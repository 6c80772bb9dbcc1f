// The dialogs' checks and conversions without widgets, the port choice, the
// file-dialog filters, the track picture and the clipboard text.
#include <gtest/gtest.h>

#include <cmath>

#include "records/angles.h"
#include "records/calendar.h"
#include "ui/port_choice.h"
#include "ui/position_forms.h"
#include "ui/qt_ui.h"
#include "ui/track_picture.h"
#include "ui/window_commands.h"

namespace skylode {
namespace {

WaypointFields GoodFields() {
  WaypointFields f;
  f.id = "forcla";
  f.comment = "Forclaz/deco";
  f.height = "1250";
  f.symbol = "18";
  f.timestamp = "2026-07-14T11:00:00";
  f.latitude = "N 45 48 46.44";
  f.longitude = "E 6 14 45.24";
  f.zone = "32T";
  f.easting = "284000";
  f.northing = "5077000";
  return f;
}

TEST(WaypointFieldsTest, FirstBadFieldNamesTheProblem) {
  const struct {
    const char* name;
    void (*change)(WaypointFields&);
    const char* message;
  } cases[] = {
      {"no id", [](WaypointFields& f) { f.id = "  "; }, "Missing ID input"},
      {"id with a gap", [](WaypointFields& f) { f.id = "AB CD"; }, "Bad ID"},
      {"id of seven", [](WaypointFields& f) { f.id = "ABCDEFG"; }, "Bad ID"},
      {"id and height missing: id first", [](WaypointFields& f) { f.id = ""; f.height = ""; }, "Missing ID input"},
      {"no height", [](WaypointFields& f) { f.height = ""; }, "Missing height input"},
      {"height with letters", [](WaypointFields& f) { f.height = "12a"; }, "Bad height"},
      {"no symbol", [](WaypointFields& f) { f.symbol = ""; }, "Missing symbol input"},
      {"negative symbol", [](WaypointFields& f) { f.symbol = "-1"; }, "Bad symbol"},
      {"no timestamp", [](WaypointFields& f) { f.timestamp = ""; }, "Missing timestamp input"},
      {"30 February", [](WaypointFields& f) { f.timestamp = "2026-02-30T10:00:00"; }, "Bad timestamp input"},
      {"dotted date", [](WaypointFields& f) { f.timestamp = "14.07.2026 11:00"; }, "Bad timestamp input"},
      {"no latitude", [](WaypointFields& f) { f.latitude = ""; }, "Missing latitude input"},
      {"latitude 90", [](WaypointFields& f) { f.latitude = "90"; }, "Bad latitude input"},
      {"hemisphere after", [](WaypointFields& f) { f.latitude = "45 48 N"; }, "Bad latitude input"},
      {"no longitude", [](WaypointFields& f) { f.longitude = ""; }, "Missing longitude input"},
      {"longitude 180", [](WaypointFields& f) { f.longitude = "180"; }, "Bad longitude input"},
      {"utm: no zone", [](WaypointFields& f) { f.utm = true; f.zone = ""; }, "Missing zone input"},
      {"utm: zone 61", [](WaypointFields& f) { f.utm = true; f.zone = "61T"; }, "Bad zone input"},
      {"utm: no easting", [](WaypointFields& f) { f.utm = true; f.easting = ""; }, "Missing easting input"},
      {"utm: easting letters", [](WaypointFields& f) { f.utm = true; f.easting = "12x"; }, "Bad easting character"},
      {"utm: easting too big", [](WaypointFields& f) { f.utm = true; f.easting = "1000001"; }, "Easting value out of range"},
      {"utm: easting negative", [](WaypointFields& f) { f.utm = true; f.easting = "-1"; }, "Easting value out of range"},
      {"utm: no northing", [](WaypointFields& f) { f.utm = true; f.northing = ""; }, "Missing northing input"},
      {"utm: northing letters", [](WaypointFields& f) { f.utm = true; f.northing = "5e6"; }, "Bad northing character"},
      {"utm: northing too big", [](WaypointFields& f) { f.utm = true; f.northing = "20000001"; }, "Northing value out of range"},
      // Within the typed range but past the pole: never stored as a position.
      {"utm: beyond the pole", [](WaypointFields& f) { f.utm = true; f.northing = "19999999"; }, "Northing value out of range"},
      {"latitude mode ignores utm fields", [](WaypointFields& f) { f.zone = "bad"; f.latitude = ""; }, "Missing latitude input"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WaypointFields f = GoodFields();
    c.change(f);
    const auto r = ParseWaypointFields(f);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_FALSE(r.waypoint.has_value());
    EXPECT_EQ(r.error->caption, "Edit waypoint");
    EXPECT_EQ(r.error->text, c.message);
  }
}

TEST(WaypointFieldsTest, GoodFieldsGiveTheWaypoint) {
  const auto r = ParseWaypointFields(GoodFields());
  ASSERT_TRUE(r.waypoint.has_value()) << r.error->text;
  EXPECT_EQ(r.waypoint->id, "FORCLA");
  EXPECT_EQ(r.waypoint->name, "Forclaz-deco");
  EXPECT_EQ(r.waypoint->height, 1250);
  EXPECT_EQ(r.waypoint->symbol, 18);
  EXPECT_EQ(r.waypoint->time, *CalendarToTime({2026, 7, 14, 11, 0, 0, 0}));
  // 45 48 46.44 = 45.8129 degrees, 6 14 45.24 = 6.2459 degrees.
  EXPECT_NEAR(SemicirclesToDegrees(r.waypoint->latitude), 45.8129, 1e-7);
  EXPECT_NEAR(SemicirclesToDegrees(r.waypoint->longitude), 6.2459, 1e-7);
}

TEST(WaypointFieldsTest, FieldsShownRoundTripInBothForms) {
  Waypoint w;
  w.id = "TOURNE";
  w.name = "La Tournette";
  w.height = -12;
  w.symbol = 7;
  w.time = *CalendarToTime({2026, 8, 2, 9, 5, 7, 0});
  w.latitude = *DegreesToLatitude(-33.8568);
  w.longitude = *DegreesToLongitude(151.2153);
  for (bool utm : {false, true}) {
    SCOPED_TRACE(utm ? "utm" : "geographic");
    const WaypointFields f = FormatWaypointFields(w, utm);
    EXPECT_EQ(f.timestamp, "2026-08-02T09:05:07");
    EXPECT_EQ(f.height, "-12");
    if (utm) {
      EXPECT_EQ(f.zone, "56H");
    }
    const auto r = ParseWaypointFields(f);
    ASSERT_TRUE(r.waypoint.has_value()) << r.error->text;
    EXPECT_EQ(r.waypoint->id, w.id);
    EXPECT_EQ(r.waypoint->name, w.name);
    EXPECT_EQ(r.waypoint->time, w.time);
    // Shown to a hundredth of a second of arc or to the metre.
    const int32_t tolerance = utm ? 200 : 40;
    EXPECT_NEAR(r.waypoint->latitude, w.latitude, tolerance);
    EXPECT_NEAR(r.waypoint->longitude, w.longitude, tolerance);
  }
}

TEST(DistanceFieldsTest, CaptionsNameSideAndField) {
  PositionFields geo{"N 45 48 0", "E 6 15 0", "", "", ""};
  PositionFields utm{"", "", "32T", "284000", "5077000"};
  const struct {
    const char* name;
    PositionFields fields;
    bool utm;
    bool from;
    const char* caption;
    const char* text;
  } cases[] = {
      {"from latitude empty", {"", "E 6", "", "", ""}, false, true, "Reading FROM latitude", "Missing input"},
      {"to latitude bad", {"95", "E 6", "", "", ""}, false, false, "Reading TO latitude", "Bad latitude input"},
      {"from longitude empty", {"N 45", " ", "", "", ""}, false, true, "Reading FROM longitude", "Missing input"},
      {"to longitude bad", {"N 45", "E 6 75", "", "", ""}, false, false, "Reading TO longitude", "Bad longitude input"},
      {"from zone empty", {"", "", "", "1", "1"}, true, true, "Reading FROM zone", "Missing input"},
      {"from zone bad", {"", "", "32I", "1", "1"}, true, true, "Reading FROM zone", "Bad zone input"},
      {"to zone bad", {"", "", "32I", "1", "1"}, true, false, "Reading TO zone", "Bad input"},
      {"to easting bad", {"", "", "32T", "1x", "1"}, true, false, "Reading TO easting", "Bad input"},
      {"from northing empty", {"", "", "32T", "1", ""}, true, true, "Reading FROM northing", "Missing input"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PositionRead r = ReadDistanceFields(c.fields, c.utm, c.from);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->caption, c.caption);
    EXPECT_EQ(r.error->text, c.text);
  }
  EXPECT_TRUE(ReadDistanceFields(geo, false, true).position.has_value());
  EXPECT_TRUE(ReadDistanceFields(utm, true, false).position.has_value());
}

TEST(DistanceFieldsTest, DistanceText) {
  const GeoPosition equator{0, 0};
  const GeoPosition oneDegreeNorth{1 * M_PI / 180, 0};
  EXPECT_EQ(DistanceText(equator, equator), "0.00");
  // The meridian arc from the equator to 1 degree north on WGS84: 110574.389 m.
  EXPECT_EQ(DistanceText(equator, oneDegreeNorth), "110574.39");
  EXPECT_EQ(DistanceText(equator, {std::nan(""), 0}), "Error");
}

TEST(ConversionTest, DegreesToUtmAndBack) {
  const ConversionResult utm = ConvertToUtm("N 45 48 46.44", "E 6 14 45.24", "");
  ASSERT_FALSE(utm.error.has_value()) << utm.error->text;
  EXPECT_EQ(utm.zone, "32T");
  EXPECT_EQ(utm.easting.size(), 12u);
  EXPECT_EQ(utm.easting[7], '.');
  const ConversionResult back = ConvertToDegrees(utm.zone, utm.easting, utm.northing);
  ASSERT_FALSE(back.error.has_value()) << back.error->text;
  EXPECT_EQ(back.latitude.substr(0, 15), "N 45 48 46.4400");
  EXPECT_EQ(back.longitude.substr(0, 16), "E 006 14 45.2400");

  // A zone given is kept; the band comes from the latitude.
  const ConversionResult forced = ConvertToUtm("N 45 48 46.44", "E 6 14 45.24", "31x");
  ASSERT_FALSE(forced.error.has_value());
  EXPECT_EQ(forced.zone, "31T");
  const ConversionResult south = ConvertToUtm("S 33 51 24", "E 151 12 55", "");
  ASSERT_FALSE(south.error.has_value());
  EXPECT_EQ(south.zone, "56H");
}

TEST(ConversionTest, RefusedFields) {
  const struct {
    const char* name;
    ConversionResult result;
    const char* caption;
    const char* text;
  } cases[] = {
      {"latitude empty", ConvertToUtm("", "E 6", ""), "Decoding latitude string", "Missing input"},
      {"latitude bad", ConvertToUtm("N 91", "E 6", ""), "Decoding latitude string", "Bad latitude input"},
      {"longitude empty", ConvertToUtm("N 45", "", ""), "Decoding longitude string", "Missing input"},
      {"longitude bad", ConvertToUtm("N 45", "X 6", ""), "Decoding longitude string", "Bad longitude input"},
      {"zone bad", ConvertToUtm("N 45", "E 6", "0T"), "Decoding zone string", "Bad zone input"},
      {"zone missing", ConvertToDegrees("", "1", "1"), "Decoding zone string", "Missing input"},
      {"zone without band", ConvertToDegrees("32", "1", "1"), "Decoding zone string", "Bad input"},
      {"bad zone before empty easting", ConvertToDegrees("32", "", "1"), "Decoding zone string", "Bad input"},
      {"easting empty", ConvertToDegrees("32T", "", "1"), "Decoding easting string", "Missing input"},
      {"easting bad", ConvertToDegrees("32T", "1.2.3", "1"), "Decoding easting string", "Bad input"},
      {"northing bad", ConvertToDegrees("32T", "1", "n"), "Decoding northing string", "Bad input"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.result.error.has_value());
    EXPECT_EQ(c.result.error->caption, c.caption);
    EXPECT_EQ(c.result.error->text, c.text);
  }
}

TEST(PortChoiceTest, TypedNumberOrListEntry) {
  const struct {
    const char* typed;
    std::optional<std::string> selected;
    const char* port;   // nullptr: refused
    const char* message;
  } cases[] = {
      {"9", "/dev/ttyUSB0", "COM9", nullptr},
      {"10", std::nullopt, "\\\\.\\COM10", nullptr},
      {" 20 ", std::nullopt, "\\\\.\\COM20", nullptr},
      {"0", "/dev/ttyUSB0", nullptr, "User port out of range (1-20)"},
      {"21", "/dev/ttyUSB0", nullptr, "User port out of range (1-20)"},
      {"", "/dev/ttyUSB0", "/dev/ttyUSB0", nullptr},
      {"abc", "sim:flytec", "sim:flytec", nullptr},
      {"", std::nullopt, nullptr, "Dialog box error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const auto choice = ChooseComPort(c.typed, c.selected);
    if (c.port) {
      ASSERT_TRUE(std::holds_alternative<std::string>(choice));
      EXPECT_EQ(std::get<std::string>(choice), c.port);
    } else {
      ASSERT_TRUE(std::holds_alternative<FieldError>(choice));
      EXPECT_EQ(std::get<FieldError>(choice).caption, "Select COM port");
      EXPECT_EQ(std::get<FieldError>(choice).text, c.message);
    }
  }
}

TEST(PortChoiceTest, CurrentSettingIsAlwaysOffered) {
  EXPECT_EQ(PortsToOffer({"/dev/ttyS0"}, {"flytec"}, "COM3"),
            (std::vector<std::string>{"COM3", "/dev/ttyS0", "sim:flytec"}));
  EXPECT_EQ(PortsToOffer({"/dev/ttyS0"}, {"flytec"}, "sim:flytec"),
            (std::vector<std::string>{"/dev/ttyS0", "sim:flytec"}));
}

TEST(FileDialogFiltersTest, AllFilesEntriesCanBeToldApart) {
  FileQuestion two;
  two.filters = {{"Ozi files (*.plt)", "*.plt"}, {"GPX files (*.gpx)", "*.gpx"},
                 {"Ozi files (*.*)", "*.*"},   {"GPX files (*.*)", "*.*"}};
  EXPECT_EQ(FileDialogFilters(two), (std::vector<std::string>{"Ozi files (*.plt)", "GPX files (*.gpx)",
                                                              "Ozi files (*)", "GPX files (*)"}));
  FileQuestion one;
  one.filters = {{"Log files (*.log)", "*.log"}, {"All Files", "*.*"}};
  EXPECT_EQ(FileDialogFilters(one), (std::vector<std::string>{"Log files (*.log)", "All Files (*)"}));
}

std::vector<TrackPoint> PointsAt(std::initializer_list<std::pair<double, double>> degrees) {
  std::vector<TrackPoint> points;
  uint32_t t = 1000;
  for (auto [lat, lon] : degrees) {
    TrackPoint p;
    p.time = t++;
    p.latitude = *DegreesToLatitude(lat);
    p.longitude = *DegreesToLongitude(lon);
    points.push_back(p);
  }
  return points;
}

TEST(TrackPictureTest, DegenerateTracksStillDraw) {
  const struct {
    const char* name;
    std::vector<TrackPoint> points;
  } cases[] = {
      {"one spot", PointsAt({{45.8, 6.25}, {45.8, 6.25}, {45.8, 6.25}})},
      {"one meridian", PointsAt({{45.80, 6.25}, {45.81, 6.25}, {45.82, 6.25}})},
      {"one parallel", PointsAt({{45.8, 6.25}, {45.8, 6.26}, {45.8, 6.27}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TrackPlane plane = ProjectTrack(c.points);
    EXPECT_GE(plane.maxX - plane.minX, kMinTrackBox);
    EXPECT_GE(plane.maxY - plane.minY, kMinTrackBox);
    const MonoBitmap bmp = DrawTrack(plane, 200, 100);
    EXPECT_GT(bmp.BlackPixels(), 0);
  }
  // A spot lands in the middle.
  const MonoBitmap spot = DrawTrack(ProjectTrack(PointsAt({{45.8, 6.25}, {45.8, 6.25}})), 101, 101);
  EXPECT_EQ(spot.BlackPixels(), 1);
  EXPECT_TRUE(spot.Pixel(50, 50));
}

TEST(TrackPictureTest, NorthUpSameScaleCentred) {
  // About 1.1 km north, then about 1.55 km east: taller than wide is false.
  const auto points = PointsAt({{45.80, 6.25}, {45.81, 6.25}, {45.81, 6.27}});
  const MonoBitmap bmp = DrawTrack(ProjectTrack(points), 400, 400);
  // Bottom-left start, line up the left side, then along the top.
  int topmost = bmp.height, bottommost = -1, leftmost = bmp.width, rightmost = -1;
  for (int y = 0; y < bmp.height; ++y)
    for (int x = 0; x < bmp.width; ++x)
      if (bmp.Pixel(x, y)) {
        topmost = std::min(topmost, y);
        bottommost = std::max(bottommost, y);
        leftmost = std::min(leftmost, x);
        rightmost = std::max(rightmost, x);
      }
  const int width = rightmost - leftmost, height = bottommost - topmost;
  // The wider side fills the picture less the 5 % margins (400 / 1.1).
  EXPECT_NEAR(width, 364, 3);
  // Same scale on both axes: 1112 m north against 1556 m east.
  EXPECT_NEAR(static_cast<double>(height) / width, 1112.0 / 1556.0, 0.02);
  // Centred vertically.
  EXPECT_NEAR(topmost, bmp.height - 1 - bottommost, 2);
  EXPECT_TRUE(bmp.Pixel(leftmost, bottommost)) << "the start (south-west) is at the bottom left";
}

}  // namespace
}  // namespace skylode
