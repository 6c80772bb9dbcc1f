#include "analysis/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace skylode {
namespace {

constexpr double kDeg = std::numbers::pi / 180;

GeoPosition Deg(double lat, double lon) {
  return {lat * kDeg, lon * kDeg};
}

// Reference distances come from an independent geodesic solver.
TEST(GeoDistance, MatchesReferenceDistances) {
  struct Case {
    const char* what;
    GeoPosition from, to;
    double metres;
  } cases[] = {
      {"identical", Deg(46.5, 7.5), Deg(46.5, 7.5), 0},
      {"same meridian", Deg(46, 7), Deg(47, 7), 111161.0825},
      {"along the equator", Deg(0, 0), Deg(0, 10), 1113194.9079},
      {"across the antimeridian", Deg(0, 179.5), Deg(0, -179.5), 111319.4908},
      {"over the pole", Deg(89.9, 0), Deg(89.9, 180), 22338.7957},
      {"intercontinental", Deg(-33.9, 151.2), Deg(51.5, -0.1), 16990083.8801},
      {"a few metres", Deg(10, 20), Deg(10.001, 20.001), 155.7396},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const GeoDistanceResult r = GeoDistance(c.from, c.to);
    EXPECT_EQ(r.status, 0);
    EXPECT_NEAR(r.metres, c.metres, 1e-3);
    const GeoDistanceResult back = GeoDistance(c.to, c.from);
    EXPECT_EQ(back.status, 0);
    EXPECT_NEAR(back.metres, c.metres, 1e-3);
  }
}

TEST(GeoDistance, DegenerateInputs) {
  struct Case {
    const char* what;
    GeoPosition from, to;
    int status;
    double metres;
  } cases[] = {
      // Longitude differs, but both are the pole.
      {"pole with two longitudes", Deg(90, 10), Deg(90, 100), 0, 0},
      {"a hair apart", {0.5, 0.5}, {0.5 + 1e-9, 0.5 + 5e-10}, 0, 0},
      {"180 east and 180 west", Deg(12, 180), Deg(12, -180), 0, 0},
      {"nearly antipodal", Deg(0, 0), Deg(0.5, 179.7), -1, 0},
      {"NaN", {std::nan(""), 0}, Deg(1, 1), -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const GeoDistanceResult r = GeoDistance(c.from, c.to);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NEAR(r.metres, c.metres, 1e-6);
  }
}

TEST(GeoDistance, SemicirclesGiveZeroWhenItFails) {
  constexpr double kDegree = 2147483648.0 / 180;
  const auto s = [](double degrees) { return static_cast<int32_t>(degrees * kDegree); };
  EXPECT_EQ(GeoDistanceSemicircles(0, 0, s(0.5), s(179.7)), 0);
  EXPECT_NEAR(GeoDistanceSemicircles(0, 0, 0, s(10)), 1113194.9, 1);
}

TEST(RadiansToSemicircles, RefusesWhatWouldOverflow) {
  struct Case {
    const char* what;
    GeoPosition geo;
    bool ok;
    SemicirclePosition expected;
  } cases[] = {
      {"origin", {0, 0}, true, {0, 0}},
      {"east edge wraps", {0, std::numbers::pi}, true, {0, INT32_MIN}},
      {"past the antimeridian", Deg(0, 181.5), true, {0, -2129587951}},
      {"pole", {std::numbers::pi / 2, 0}, true, {1073741824, 0}},
      {"rounding past the pole", {std::numbers::pi / 2 + 1e-12, 0}, true, {1073741824, 0}},
      {"far past the pole", Deg(95, 0), false, {}},
      {"NaN latitude", {std::nan(""), 0}, false, {}},
      {"infinite longitude", {0, std::numeric_limits<double>::infinity()}, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = RadiansToSemicircles(c.geo);
    ASSERT_EQ(r.has_value(), c.ok);
    if (c.ok) {
      EXPECT_EQ(*r, c.expected);
    }
  }
}

TEST(Utm, BandLetters) {
  struct Case {
    double lat;
    char band;
  } cases[] = {
      {84, 'Y'},       {83.9999, 'X'}, {72, 'X'},       {71.9999, 'W'}, {56, 'V'},
      {8, 'P'},        {0, 'N'},       {-1e-9, 'M'},    {-8, 'M'},      {-72, 'D'},
      {-79.9999, 'C'}, {-80, 'C'},     {-80.0001, 'B'}, {-90, 'B'},     {90, 'Y'},
  };
  for (const auto& c : cases) EXPECT_EQ(UtmBand(c.lat * kDeg), c.band) << c.lat;
  EXPECT_EQ(UtmBand(std::nan("")), 0);
}

TEST(Utm, ZoneChoiceWithNorwayAndSvalbard) {
  struct Case {
    double lat, lon;
    int zone;
  } cases[] = {
      {60, 5, 32},      {60, 2.9999, 31},   {60, 3, 32},    {60, 11.9999, 32}, {60, 12, 33},
      {55.9999, 5, 31}, {64, 5, 31},        {78, 8.9, 31},  {78, 9, 33},       {78, 20.9, 33},
      {78, 21, 35},     {78, 33, 37},       {78, 41.9, 37}, {78, 42, 38},      {78, -0.1, 30},
      {0, -180, 1},     {0, 179.99, 60},    {0, 180, 1},    {0, 0, 31},        {0, -0.0001, 30},
      {47, 8.5, 32},    {-33.9, 151.2, 56},
  };
  for (const auto& c : cases)
    EXPECT_EQ(UtmZone(c.lat * kDeg, c.lon * kDeg), c.zone) << c.lat << " " << c.lon;
  EXPECT_EQ(UtmZone(std::nan(""), 0), 0);
}

// Reference projections come from an independent implementation.
TEST(Utm, ForwardAndBack) {
  struct Case {
    const char* what;
    double lat, lon;
    int givenZone;
    int zone;
    char band;
    double easting, northing;
    double backTolerance;  // degrees; the series loosens far from the central meridian
  } cases[] = {
      {"Norway exception", 60, 5, 0, 32, 'V', 276979.9264, 6658157.2024, 1e-9},
      {"zone forced", 60, 5, 31, 31, 'V', 611544.0420, 6653097.4353, 1e-9},
      {"Svalbard, 5.9 degrees out", 78, 8.9, 0, 31, 'X', 636716.8460, 8665261.5498, 1e-8},
      {"south", -33.9, 151.2, 0, 56, 'H', 333568.9410, 6247473.3368, 1e-9},
      {"just south of the equator", -0.5, -179.5, 0, 1, 'M', 221734.2217, 9944681.9600, 1e-9},
      {"Alps", 47.5, 8.5, 0, 32, 'T', 462343.3260, 5260850.8753, 1e-9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UtmPosition utm;
    utm.zone = c.givenZone;
    utm.band = 'Z';  // always recomputed
    ToUtm(Deg(c.lat, c.lon), utm);
    EXPECT_EQ(utm.zone, c.zone);
    EXPECT_EQ(utm.band, c.band);
    EXPECT_NEAR(utm.easting, c.easting, 1e-3);
    EXPECT_NEAR(utm.northing, c.northing, 1e-3);

    UtmPosition reference{c.easting, c.northing, c.zone, c.band};
    const GeoPosition back = FromUtm(reference);
    EXPECT_NEAR(back.latitude / kDeg, c.lat, c.backTolerance);
    EXPECT_NEAR(back.longitude / kDeg, c.lon, c.backTolerance);
    // A band typed in lower case reads the same.
    reference.band = static_cast<char>(c.band - 'A' + 'a');
    EXPECT_EQ(FromUtm(reference).latitude, back.latitude);
  }
}

TEST(Utm, BadInputNeverBecomesAPosition) {
  UtmPosition utm;
  ToUtm({std::nan(""), 0}, utm);
  EXPECT_EQ(utm.zone, 0);
  EXPECT_EQ(utm.band, 0);
  EXPECT_TRUE(std::isnan(utm.easting));

  struct Case {
    const char* what;
    UtmPosition utm;
  } cases[] = {
      {"zone 0", {500000, 5000000, 0, 'T'}},
      {"zone 61", {500000, 5000000, 61, 'T'}},
      {"no band", {500000, 5000000, 32, 0}},
      {"band not a letter", {500000, 5000000, 32, '3'}},
      {"NaN easting", {std::nan(""), 5000000, 32, 'T'}},
      {"infinite northing", {500000, std::numeric_limits<double>::infinity(), 32, 'T'}},
      {"northing beyond the pole", {500000, 20000000, 32, 'T'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(RadiansToSemicircles(FromUtm(c.utm)).has_value());
  }
}

TEST(Utm, FarEdgeOfTheLastZoneWrapsToTheWest) {
  // Zone 60's eastern overlap lies past 180 degrees east.
  const GeoPosition geo = FromUtm({1000000, 0, 60, 'N'});
  ASSERT_TRUE(std::isfinite(geo.longitude));
  EXPECT_LT(geo.longitude, -177 * kDeg);
  const auto s = RadiansToSemicircles(geo);
  ASSERT_TRUE(s.has_value());
  EXPECT_LT(s->longitude, 0);
  EXPECT_EQ(s->latitude, 0);
}

TEST(LocalTm, IsUtmWithoutOffsets) {
  const GeoPosition cases[] = {Deg(47.5, 8.5), Deg(-33.9, 151.2), Deg(0.001, 7.0), Deg(-60, -70)};
  for (const auto& geo : cases) {
    UtmPosition utm;
    ToUtm(geo, utm);
    const LocalTm tm = ToLocalTm(geo, UtmCentralMeridian(utm.zone));
    EXPECT_NEAR(tm.x, utm.easting - 500000, 1e-6);
    EXPECT_NEAR(tm.y, utm.northing - (geo.latitude < 0 ? 10000000 : 0), 1e-6);
  }
}

TEST(LocalTm, CentralMeridianAcrossTheAntimeridian) {
  // Points either side of 180 degrees stay neighbours in the projection.
  const LocalTm east = ToLocalTm(Deg(10, 179.99), std::numbers::pi);
  const LocalTm west = ToLocalTm(Deg(10, -179.99), -std::numbers::pi);
  EXPECT_LT(east.x, 0);
  EXPECT_NEAR(west.x, -east.x, 1e-6);
  EXPECT_NEAR(west.x - east.x, 2193, 5);
  EXPECT_NEAR(west.y, east.y, 1e-3);
}

// The plane step the flight view and the thermal search use for headings
// and speeds: close to the ellipsoid over a step, pointing the right way,
// and the short way round across 180 degrees.
TEST(PlaneStep, AgreesWithTheEllipsoidOverAStep) {
  auto semi = [](double degrees) { return static_cast<int32_t>(std::lround(degrees / 180.0 * 2147483648.0)); };
  struct Case {
    const char* name;
    double lat1, lon1, lat2, lon2;
    int eastSign, northSign;
  };
  const Case cases[] = {
      {"north in the Alps", 46.0, 8.0, 46.01, 8.0, 0, 1},
      {"east in the Alps", 46.0, 8.0, 46.0, 8.01, 1, 0},
      {"south-west far north", 69.0, 20.0, 68.998, 19.99, -1, -1},
      {"south of the equator", -33.9, 18.4, -33.905, 18.41, 1, -1},
      {"east across 180 degrees", -16.0, 179.999, -16.0, -179.999, 1, 0},
      {"west across 180 degrees", 52.0, -179.9995, 52.0, 179.9995, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PlaneStep step = PlaneStepSemicircles(semi(c.lat1), semi(c.lon1), semi(c.lat2), semi(c.lon2));
    const double exact = GeoDistanceSemicircles(semi(c.lat1), semi(c.lon1), semi(c.lat2), semi(c.lon2));
    ASSERT_GT(exact, 50);
    EXPECT_NEAR(step.metres(), exact, exact * 0.005);
    auto sign = [](double v, double metres) { return std::fabs(v) < metres * 1e-3 ? 0 : v > 0 ? 1 : -1; };
    EXPECT_EQ(sign(step.east, exact), c.eastSign);
    EXPECT_EQ(sign(step.north, exact), c.northSign);
  }
}

}  // namespace
}  // namespace skylode
