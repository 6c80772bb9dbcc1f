// The OpenAir reader and writer, the renaming of equal names and the
// expansion of an area into points: table-driven cases for every record and
// error, and a national file read, written and read back.
#include "formats/openair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "analysis/geodesy.h"
#include "formats/ctr_outline.h"
#include "formats/file_io.h"

namespace skylode {
namespace {

constexpr double kPi = 3.14159265358979323846;

GeoPosition Rad(const LatLonDegrees& p) { return {p.latitude * kPi / 180, p.longitude * kPi / 180}; }

double Metres(const LatLonDegrees& a, const LatLonDegrees& b) { return GeoDistance(Rad(a), Rad(b)).metres; }

CtrList Read(std::string_view text) {
  Result<OpenAirText> r = ParseOpenAirText(text);
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().text);
  return r.ok() ? r->list : CtrList{};
}

TEST(OpenAirCoordinate, FormsAndLimits) {
  const struct {
    const char* text;
    bool latitude;
    std::optional<double> degrees;
  } cases[] = {
      {"47:30:15 N", true, 47 + 30 / 60.0 + 15 / 3600.0},
      {"  47:30:15.5N", true, 47 + 30 / 60.0 + 15.5 / 3600.0},
      {"47:30,5 s", true, -(47 + 30.5 / 60)},
      {"47.25 N", true, 47.25},
      {"47,25 N", true, 47.25},
      {"008:15:00 W", false, -8.25},
      {"179:59:59 E", false, 179 + 59 / 60.0 + 59 / 3600.0},
      {"90:00:00 N", true, std::nullopt},
      {"180:00:00 E", false, std::nullopt},
      {"47:60:00 N", true, std::nullopt},
      {"47:30:60 N", true, std::nullopt},
      {"47 N", true, std::nullopt},
      {"47:30:00 E", true, std::nullopt},
      {"8:15:00 N", false, std::nullopt},
      {"47:30:00", true, std::nullopt},
      {"47:30:00 North", true, std::nullopt},
      {"", true, std::nullopt},
  };
  for (const auto& c : cases) {
    size_t pos = 0;
    const std::optional<double> v = ParseOpenAirCoordinate(c.text, pos, c.latitude);
    ASSERT_EQ(v.has_value(), c.degrees.has_value()) << c.text;
    if (v) {
      EXPECT_NEAR(*v, *c.degrees, 1e-12) << c.text;
    }
  }
}

TEST(OpenAirRadius, NauticalMilesKilometresAndLimits) {
  const struct {
    const char* text;
    std::optional<int32_t> metres;
  } cases[] = {
      {"2", 3704},         {" 2 km", 2000},   {"2KM", 2000},        {"2,5", 4630},
      {"90.0", 166697},    {"0", std::nullopt}, {"10000", std::nullopt}, {"9999.9 km", 9999900},
      {"2 nm", std::nullopt}, {"0.0001", std::nullopt}, {"2 * five", 3704}, {"-2", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseOpenAirRadius(c.text), c.metres) << c.text;
}

TEST(OpenAirReader, RecordsFillTheArea) {
  const CtrList list = Read(
      "* comment\r\n"
      "AC D\r\n"
      "AN  Zurich CTR 1  \r\n"
      "AL GND\r\n"
      "AH 2000 ft AMSL\r\n"
      "AT 47:00:00 N 8:00:00 E\r\n"
      "SP 0,1,0,0,255\r\n"
      "DP 47:30:00 N 008:30:00 E\r\n"
      "V D=-\r\n"
      "V X=47:20:00 N 8:30:00 E\r\n"
      "DB 47:30:00 N 8:30:00 E, 47:20:00 N 8:45:00 E\r\n"
      "V X=47:10:00 N 8:30:00 E\r\n"
      "DA 5, 90, 180\r\n"
      "AN Circle\n"
      "V X=46:00:00 N 7:00:00 E\n"
      "DC 2 km\n");
  ASSERT_EQ(list.count(), 2);
  const CtrArea& a = list.areas[0];
  EXPECT_EQ(a.name, "Zurich CTR 1");
  EXPECT_EQ(a.floor, "GND");
  EXPECT_EQ(a.ceiling, "2000 ft AMSL");
  EXPECT_EQ(a.sourceLine, 3);
  EXPECT_EQ(a.warningDistance, 200);
  ASSERT_EQ(a.segments.size(), 3u);
  EXPECT_EQ(a.segments[0].kind, CtrSegmentKind::kPoint);
  EXPECT_DOUBLE_EQ(a.segments[0].centre.latitude, 47.5);
  EXPECT_EQ(a.segments[1].kind, CtrSegmentKind::kArcByPoints);
  EXPECT_EQ(a.segments[1].direction, '-');
  EXPECT_DOUBLE_EQ(a.segments[1].to.longitude, 8.75);
  EXPECT_EQ(a.segments[2].kind, CtrSegmentKind::kArcByAngles);
  EXPECT_EQ(a.segments[2].radius, 9261);
  EXPECT_DOUBLE_EQ(a.segments[2].from.latitude, 90);
  EXPECT_DOUBLE_EQ(a.segments[2].from.longitude, 180);
  EXPECT_EQ(a.segments[2].direction, '-');
  const CtrArea& b = list.areas[1];
  EXPECT_EQ(b.sourceLine, 14);
  ASSERT_EQ(b.segments.size(), 1u);
  EXPECT_EQ(b.segments[0].kind, CtrSegmentKind::kCircle);
  EXPECT_EQ(b.segments[0].radius, 2000);
}

// The direction holds until the next area: a straight segment between two
// arcs does not turn the second one round.
TEST(OpenAirReader, DirectionHoldsOverPointsAndCircles) {
  const CtrList list = Read(
      "AN A\nV D=-\nV X=47:00:00 N 8:00:00 E\nDB 47:10:00 N 8:00:00 E, 47:00:00 N 8:10:00 E\n"
      "DP 46:50:00 N 8:00:00 E\nDB 46:50:00 N 8:00:00 E, 47:10:00 N 8:00:00 E\n"
      "DC 1\nDA 1, 0, 90\n"
      "AN B\nV X=47:00:00 N 8:00:00 E\nDA 1, 0, 90\n");
  ASSERT_EQ(list.count(), 2);
  for (const CtrSegment& s : list.areas[0].segments)
    if (s.kind != CtrSegmentKind::kCircle && s.kind != CtrSegmentKind::kPoint) {
      EXPECT_EQ(s.direction, '-');
    }
  EXPECT_EQ(list.areas[1].segments[0].direction, '+');
}

TEST(OpenAirReader, CentreHoldsUntilTheNextCentre) {
  const char* accepted[] = {
      "AN A\nV X=47:00:00 N 8:00:00 E\nDB 47:10:00 N 8:00:00 E, 47:00:00 N 8:10:00 E\n"
      "DP 47:00:00 N 8:10:00 E\nDB 46:50:00 N 8:00:00 E, 47:10:00 N 8:00:00 E\nDP 47:10:00 N 8:00:00 E\n",
      "AN A\nV X=47:00:00 N 8:00:00 E\nDB 47:10:00 N 8:00:00 E, 47:00:00 N 8:10:00 E\n"
      "DB 46:50:00 N 8:00:00 E, 47:10:00 N 8:00:00 E\nDP 47:10:00 N 8:00:00 E\n",
      "AN A\nV X=47:00:00 N 8:00:00 E\nDA 2, 0, 90\nDC 2\n",
      "AN A\nV X=47:00:00 N 8:00:00 E\nDC 2\nDC 3\n",
      // The writer's own spelling.
      "AN A\nV D = -\nV X = 47:00:00.0 N   8:00:00.0 E\nDA 2.0000, 0.00, 90.00\n",
  };
  for (const char* text : accepted) EXPECT_TRUE(ParseOpenAirText(text).ok()) << text;
}

TEST(OpenAirReader, ErrorsWithTheirLines) {
  const struct {
    const char* text;
    const char* message;
    int line;
  } cases[] = {
      {"AN A\nV D\n", "Bad variable assignment format on line 2", 2},
      {"AN A\nV =+\n", "Bad variable assignment format on line 2", 2},
      {"AN A\nV D=x\n", "Bad direction format on line 2", 2},
      {"AN A\nV D=+-\n", "Bad direction format on line 2", 2},
      {"AN A\nV X=47:00:00 N\n", "Bad position format on line 2", 2},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nV X=47:00:00 N 8:00:00 E\n", "Multiple V record types", 3},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nDB 47:00:00 N 8:00:00 E\n", "Bad arc position format on line 3", 3},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nDA 2, 0\n", "Bad arc position format on line 3", 3},
      {"AN A\nDB 47:00:00 N 8:00:00 E, 47:00:00 N 8:01:00 E\n", "Missing centre for DB record (line 2)", 2},
      {"AN A\nDA 2, 0, 90\n", "Missing centre for DB record (line 2)", 2},
      {"AN  \n", "Missing airspace name", 1},
      {"AN A\nDC 2\n", "Missing centre for DC record (line 2)", 2},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nDP 47:00:00 N 8:00:00 E\n", "Expected a DB or DC record (line 3)", 3},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nDC 0\n", "Bad radius format on line 3", 3},
      {"AN A\nV X=47:00:00 N 8:00:00 E\nDC 10000\n", "Bad radius format on line 3", 3},
      {"AN A\nDP 47:00:00 N 8:00:00 E x\n", "Bad position format on line 2", 2},
      {"AN A\nDP 47:00:00 N 8:00:00 E\nXX 1\n", "Unknown record type on line 3", 3},
      {"AN A\nAN B\n", "No segments in airspace (line 2)", 2},
      {"AN A\nTO\n", "No segments in airspace (line 2)", 2},
      {"AN A\r\nAL x\r\n", "No segments in airspace (line 2)", 2},
      {"AN A\nDP 47:00:00 N 8:00:00 E\nV X=47:00:00 N 8:00:00 E\n", "Missing DB or DC segment (line 3)", 3},
  };
  for (const auto& c : cases) {
    Result<OpenAirText> r = ParseOpenAirText(c.text);
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.error().text, c.message) << c.text;
    EXPECT_EQ(r.error().line, c.line) << c.text;
  }
}

TEST(OpenAirReader, OutsideAnAreaOnlyAnCounts) {
  const CtrList list = Read("XX anything\nDP nonsense\nV X=bad\nAN A\nDP 47:00:00 N 8:00:00 E\nTC\nDP junk\n");
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.areas[0].segments.size(), 1u);
}

TEST(OpenAirReader, RecordsOfNewerExportsAreSkippedWithAWarning) {
  Result<OpenAirText> r = ParseOpenAirText(
      "AC R\nAY RESTRICTED\nAN A\nAF 123.450\nAG Zurich Info\nAI 1234\n"
      "AL GND\nAH FL100\nDP 47:00:00 N 8:00:00 E\nDP 47:10:00 N 8:00:00 E\n");
  ASSERT_TRUE(r.ok()) << r.error().text;
  ASSERT_EQ(r->list.count(), 1);
  EXPECT_EQ(r->list.areas[0].segments.size(), 2u);
  EXPECT_EQ(r->list.areas[0].ceiling, "FL100");
  EXPECT_EQ(r->warnings,
            (std::vector<std::string>{"Record AF skipped (line 4)", "Record AG skipped (line 5)",
                                      "Record AI skipped (line 6)"}));
}

TEST(OpenAirReader, DyDropsTheAreaAndNotifiesUntilSkipped) {
  const char* text =
      "AN A\nDP 47:00:00 N 8:00:00 E\nDY 1\n"
      "AN B\nDY 1\nDP 47:00:00 N 8:00:00 E\n"
      "AN C\nDP 47:00:00 N 8:00:00 E\n"
      "AN D\nDY 1\n";
  for (bool skipAfterFirst : {false, true}) {
    std::vector<int> lines;
    OpenAirReadOptions o;
    o.notifyDy = [&](int line) {
      lines.push_back(line);
      return !skipAfterFirst;
    };
    Result<OpenAirText> r = ParseOpenAirText(text, o);
    ASSERT_TRUE(r.ok()) << r.error().text;
    ASSERT_EQ(r->list.count(), 1);
    EXPECT_EQ(r->list.areas[0].name, "C");
    EXPECT_EQ(lines, skipAfterFirst ? std::vector<int>{1} : (std::vector<int>{1, 4, 9}));
  }
}

TEST(OpenAirReader, LongTextsAreCutOnACharacterBoundary) {
  const std::string name = std::string(49, 'x') + "\xC3\xA9" + "tail";
  const CtrList list = Read("AN " + name + "\nDP 47:00:00 N 8:00:00 E\n");
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.areas[0].name, std::string(49, 'x'));
  // Bytes that are no UTF-8 are cut where they stand, never to nothing.
  const CtrList stray = Read("AN " + std::string(60, '\xB2') + "\nDP 47:00:00 N 8:00:00 E\n");
  ASSERT_EQ(stray.count(), 1);
  EXPECT_EQ(stray.areas[0].name, std::string(50, '\xB2'));
}

CtrArea ArcArea() {
  CtrArea a;
  a.name = "Arc";
  a.floor = "GND";
  a.ceiling = "FL95";
  a.selected = true;
  CtrSegment p;
  p.centre = {-33.5, 151.25};
  a.segments.push_back(p);
  CtrSegment da;
  da.kind = CtrSegmentKind::kArcByAngles;
  da.centre = {-33.75, -151.5};
  da.radius = 9261;
  da.from = {270, 45.5};
  da.direction = '-';
  a.segments.push_back(da);
  CtrSegment db;
  db.kind = CtrSegmentKind::kArcByPoints;
  db.centre = {-33.75, 151.5};
  db.from = {-33.5, 151.5};
  db.to = {-33.75, 151.75};
  a.segments.push_back(db);
  CtrSegment dc;
  dc.kind = CtrSegmentKind::kCircle;
  dc.centre = {0.001, -0.001};
  dc.radius = 166697;
  a.segments.push_back(dc);
  return a;
}

TEST(OpenAirWriter, FileModeWritesSelectedAreasInTheirLayout) {
  CtrList list;
  list.areas.push_back(ArcArea());
  CtrArea skipped = ArcArea();
  skipped.selected = false;
  skipped.name = "Skipped";
  list.areas.push_back(skipped);
  list.areas.push_back(ArcArea());
  const std::string text = WriteOpenAirText(list);
  EXPECT_EQ(text.find("Skipped"), std::string::npos);
  const std::string one =
      "AN Arc\r\nAL GND\r\nAH FL95\r\n"
      "DP 33:30:00.0 S   151:15:00.0 E\r\n"
      "V D = -\r\nV X = 33:45:00.0 S   151:30:00.0 W\r\nDA 5.0000, 270.00, 45.50\r\n"
      "V D = +\r\nV X = 33:45:00.0 S   151:30:00.0 E\r\n"
      "DB 33:30:00.0 S   151:30:00.0 E,   33:45:00.0 S   151:45:00.0 E\r\n"
      "V X = 0:00:03.6 N   0:00:03.6 W\r\nDC 90.0002\r\n";
  EXPECT_EQ(text, one + "\r\n" + one);
}

TEST(OpenAirWriter, EditModeAndTemplateReadBack) {
  const std::string text = WriteOpenAirText(ArcArea());
  EXPECT_EQ(text.rfind("*Airspace name\r\nAN Arc\r\n*Airspace floor (Remark)\r\nAL GND\r\n*Airspace ceiling\r\nAH FL95\r\n"
                       "*Use records V, DP, DA, DB or DC\r\n*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n",
                       0),
            0u);
  const CtrList back = Read(text);
  ASSERT_EQ(back.count(), 1);
  CtrArea expected = ArcArea();
  expected.selected = false;
  expected.sourceLine = 2;
  EXPECT_EQ(back.areas[0], expected);
  // The template holds no segment: "No segments in airspace".
  Result<OpenAirText> t = ParseOpenAirText(kNewCtrTemplate);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error().text, "No segments in airspace (line 8)");
  EXPECT_TRUE(ParseOpenAirText(std::string(kNewCtrTemplate) + "DP 47:00:00 N 8:00:00 E\r\n").ok());
}

TEST(OpenAirWriter, LineBreaksInTextsCannotStartRecords) {
  CtrList list;
  list.areas.push_back(ArcArea());
  list.areas[0].name = "A\r\nDP 1:00:00 N 1:00:00 E";
  const CtrList back = Read(WriteOpenAirText(list));
  ASSERT_EQ(back.count(), 1);
  EXPECT_EQ(back.areas[0].segments.size(), 4u);
}

TEST(OpenAirWriter, PositionsNextToThePoleAndTheDateLineReadBack) {
  CtrList list;
  list.areas.push_back(ArcArea());
  list.areas[0].segments[0].centre = {89.999999, -179.999999};
  const std::string text = WriteOpenAirText(list);
  EXPECT_NE(text.find("DP 89:59:59.9 N   179:59:59.9 W\r\n"), std::string::npos) << text;
  EXPECT_EQ(Read(text).count(), 1);
}

TEST(FixEqualCtrNames, AsksOnceAndNumbersDuplicatesInListOrder) {
  const auto make = [](std::vector<std::string> names) {
    CtrList l;
    for (auto& n : names) {
      CtrArea a;
      a.name = n;
      l.areas.push_back(a);
    }
    return l;
  };
  const auto names = [](const CtrList& l) {
    std::vector<std::string> v;
    for (const auto& a : l.areas) v.push_back(a.name);
    return v;
  };
  int asked = 0;
  CtrList l = make({"N", "M", "N", "M", "N", "N(2)"});
  EXPECT_EQ(FixEqualCtrNames(l, [&] { return ++asked, true; }), 3);
  EXPECT_EQ(asked, 1);
  // "N(2)" exists already: the second duplicate of N takes the next number.
  EXPECT_EQ(names(l), (std::vector<std::string>{"N", "M", "N(1)", "M(1)", "N(3)", "N(2)"}));

  CtrList no = make({"N", "N"});
  EXPECT_EQ(FixEqualCtrNames(no, [] { return false; }), 0);
  EXPECT_EQ(names(no), (std::vector<std::string>{"N", "N"}));

  CtrList none = make({"A", "B"});
  EXPECT_EQ(FixEqualCtrNames(none, [&] { return ++asked, true; }), 0);
  EXPECT_EQ(asked, 1);

  const std::string longName(50, 'L');
  CtrList cut = make({longName, longName});
  FixEqualCtrNames(cut, [] { return true; });
  EXPECT_EQ(cut.areas[1].name, std::string(47, 'L') + "(1)");
}

TEST(CtrExpansion, CircleBecomes37PointsOnItsRadius) {
  CtrArea a;
  CtrSegment c;
  c.kind = CtrSegmentKind::kCircle;
  c.centre = {47.25, 8.5};
  c.radius = 1000;
  a.segments.push_back(c);
  Result<std::vector<LatLonDegrees>> pts = ExpandCtrOutline(a);
  ASSERT_TRUE(pts.ok());
  ASSERT_EQ(pts->size(), 37u);
  EXPECT_EQ(pts->front(), pts->back());
  for (const LatLonDegrees& p : *pts) EXPECT_NEAR(Metres(p, c.centre), 1000, 0.01);
  // The first point lies east of the centre, the second north of east.
  EXPECT_GT((*pts)[0].longitude, 8.5);
  EXPECT_GT((*pts)[1].latitude, (*pts)[0].latitude);
}

// Clockwise from bearing 0 to 90 runs through the north-east; the other way
// round through the south and west.
TEST(CtrExpansion, ArcDirectionsChooseTheSide) {
  for (char dir : {'+', '-'}) {
    CtrArea a;
    CtrSegment s;
    s.kind = CtrSegmentKind::kArcByAngles;
    s.centre = {47, 8};
    s.radius = 20000;
    s.from = {0, 90};
    s.direction = dir;
    a.segments.push_back(s);
    Result<std::vector<LatLonDegrees>> pts = ExpandCtrOutline(a);
    ASSERT_TRUE(pts.ok());
    const LatLonDegrees mid = (*pts)[pts->size() / 2];
    if (dir == '+') {
      EXPECT_GT(mid.latitude, 47);
      EXPECT_GT(mid.longitude, 8);
      EXPECT_LT(pts->size(), 15u);
    } else {
      EXPECT_LT(mid.latitude, 47);
      EXPECT_LT(mid.longitude, 8);
      EXPECT_GT(pts->size(), 25u);
    }
    for (size_t k = 0; k + 1 < pts->size(); ++k) EXPECT_NEAR(Metres((*pts)[k], s.centre), 20000, 0.01);
  }
}

TEST(CtrExpansion, ArcByPointsStartsAndEndsOnItsPoints) {
  for (char dir : {'+', '-'}) {
    CtrArea a;
    CtrSegment s;
    s.kind = CtrSegmentKind::kArcByPoints;
    s.centre = {-34.9469, 138.5244};
    s.from = {-35.2572, 137.5817};
    s.to = {-35.7611, 138.3008};
    s.direction = dir;
    a.segments.push_back(s);
    Result<std::vector<LatLonDegrees>> pts = ExpandCtrOutline(a);
    ASSERT_TRUE(pts.ok());
    EXPECT_EQ(pts->front(), s.from);
    // Closed back to the start, so the end point is the one before last.
    EXPECT_EQ((*pts)[pts->size() - 2], s.to);
    // '-' runs the short way (south-west), '+' the long way round the north.
    double maxLat = -90;
    for (const auto& p : *pts) maxLat = std::max(maxLat, p.latitude);
    if (dir == '-') EXPECT_LT(maxLat, -35.25);
    else EXPECT_GT(maxLat, -34.9);
  }
}

TEST(CtrExpansion, WaypointIdsStayValidAndUnique) {
  EXPECT_EQ(CtrWaypointId(0, 0), "CAAAAA");
  EXPECT_EQ(CtrWaypointId(27, 677), "CBBBAB");
  EXPECT_EQ(CtrWaypointId(675, 17575), "CZZZZZ");
  std::set<std::string> ids;
  for (int area : {0, 675, 676, 1035}) {
    for (int point = 0; point < 30536; point += (point < 17500 ? 97 : 1)) {
      const std::optional<std::string> id = CtrWaypointId(area, point);
      ASSERT_TRUE(id.has_value()) << area << " " << point;
      EXPECT_EQ(NormaliseWaypointId(*id, false), *id);
      EXPECT_TRUE(ids.insert(*id).second) << *id;
    }
  }
  EXPECT_FALSE(CtrWaypointId(0, 30536).has_value());
}

TEST(CtrExpansion, WaypointsCarryTheAreaName) {
  CtrArea a;
  a.name = "Zurich CTR";
  CtrSegment c;
  c.kind = CtrSegmentKind::kCircle;
  c.centre = {47.25, 8.5};
  c.radius = 1000;
  a.segments.push_back(c);
  Result<std::vector<Waypoint>> w = ExpandCtrToWaypoints(a, 1, 123);
  ASSERT_TRUE(w.ok());
  ASSERT_EQ(w->size(), 37u);
  EXPECT_EQ((*w)[2].id, "CABAAC");
  EXPECT_EQ((*w)[2].name, "Zurich CTR");
  EXPECT_EQ((*w)[2].symbol, 18);
  EXPECT_EQ((*w)[2].time, 123u);
  EXPECT_FALSE(ExpandCtrToWaypoints(CtrArea{}, 0, 0).ok());
}

// A national file: hundreds of areas, arcs both ways round, circles.
class NationalFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Result<std::string> text = ReadWholeFile(std::string(SKYLODE_TEST_DATA) + "/openair/AirspaceAus-DAA.txt");
    ASSERT_TRUE(text.ok());
    Result<OpenAirText> r = ParseOpenAirText(*text);
    ASSERT_TRUE(r.ok()) << r.error().text;
    list_ = new CtrList(std::move(r->list));
  }
  static void TearDownTestSuite() { delete list_; }
  static CtrList* list_;
};
CtrList* NationalFile::list_ = nullptr;

TEST_F(NationalFile, ReadsEveryArea) {
  ASSERT_NE(list_, nullptr);
  EXPECT_EQ(list_->count(), 662);
  int points = 0, arcs = 0, circles = 0, clockwise = 0, counter = 0;
  for (const CtrArea& a : list_->areas)
    for (const CtrSegment& s : a.segments) {
      points += s.kind == CtrSegmentKind::kPoint;
      circles += s.kind == CtrSegmentKind::kCircle;
      if (s.kind == CtrSegmentKind::kArcByPoints) {
        ++arcs;
        (s.direction == '+' ? clockwise : counter)++;
      }
    }
  EXPECT_EQ(points, 3807);
  EXPECT_EQ(arcs, 885);
  EXPECT_EQ(circles, 134);
  EXPECT_EQ(clockwise, 479);
  EXPECT_EQ(counter, 406);
  EXPECT_EQ(list_->areas[0].name, "ADELAIDE");
  EXPECT_EQ(list_->areas[0].ceiling, "FL245");
}

TEST_F(NationalFile, WritesAndReadsBackTheSameGeometry) {
  ASSERT_NE(list_, nullptr);
  CtrList all = *list_;
  for (CtrArea& a : all.areas) a.selected = true;
  const CtrList back = Read(WriteOpenAirText(all));
  ASSERT_EQ(back.count(), all.count());
  constexpr double kTenthSecond = 0.1 / 3600 + 1e-9;
  for (size_t k = 0; k < all.areas.size(); ++k) {
    const CtrArea& a = all.areas[k];
    const CtrArea& b = back.areas[k];
    ASSERT_EQ(a.name, b.name);
    EXPECT_EQ(a.floor, b.floor);
    EXPECT_EQ(a.ceiling, b.ceiling);
    ASSERT_EQ(a.segments.size(), b.segments.size()) << a.name;
    for (size_t s = 0; s < a.segments.size(); ++s) {
      const CtrSegment& x = a.segments[s];
      const CtrSegment& y = b.segments[s];
      ASSERT_EQ(x.kind, y.kind) << a.name << " " << s;
      if (x.kind != CtrSegmentKind::kPoint && x.kind != CtrSegmentKind::kCircle) {
        EXPECT_EQ(x.direction, y.direction);
      }
      EXPECT_NEAR(x.centre.latitude, y.centre.latitude, kTenthSecond);
      EXPECT_NEAR(x.centre.longitude, y.centre.longitude, kTenthSecond);
      EXPECT_NEAR(x.radius, y.radius, 0.2);
      if (x.kind == CtrSegmentKind::kArcByPoints) {
        EXPECT_NEAR(x.from.latitude, y.from.latitude, kTenthSecond);
        EXPECT_NEAR(x.to.longitude, y.to.longitude, kTenthSecond);
      }
    }
  }
}

TEST_F(NationalFile, EveryCirclePointLiesOnItsRadius) {
  ASSERT_NE(list_, nullptr);
  int checked = 0;
  for (const CtrArea& a : list_->areas) {
    Result<std::vector<LatLonDegrees>> pts = ExpandCtrOutline(a);
    ASSERT_TRUE(pts.ok()) << a.name;
    ASSERT_GE(pts->size(), 3u) << a.name;
    const CtrSegment& first = a.segments.front();
    if (first.kind != CtrSegmentKind::kCircle) continue;
    for (const LatLonDegrees& p : *pts) {
      EXPECT_NEAR(Metres(p, first.centre), first.radius, 1.0) << a.name;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 134 * 37);
}

}  // namespace
}  // namespace skylode
