// Distances on the WGS84 ellipsoid, UTM and the local transverse Mercator
// projection. Every distance and projected coordinate in the program comes
// from here.
#pragma once

#include <cstdint>
#include <optional>

namespace skylode {

// WGS84, the only ellipsoid the program knows.
inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84F = 0.0033528106647474805;
inline constexpr double kWgs84B = 6356752.314245179;
inline constexpr double kUtmScale = 0.9996;

// Latitude and longitude in radians.
struct GeoPosition {
  double latitude = 0;
  double longitude = 0;
};

// A position in the unit of track points and waypoints.
struct SemicirclePosition {
  int32_t latitude = 0;
  int32_t longitude = 0;
  friend bool operator==(const SemicirclePosition&, const SemicirclePosition&) = default;
};

struct UtmPosition {
  double easting = 0;   // metres
  double northing = 0;  // metres
  int zone = 0;         // 1..60; 0 on input: choose automatically
  char band = 0;        // latitude band letter
};

struct GeoDistanceResult {
  int status = 0;  // 0, or -1 when the iteration does not converge
  double metres = 0;
};

// Vincenty's inverse formula. Status -1 for nearly antipodal points that do
// not converge within 100 rounds (and for NaN input); callers take that as 0
// or show "Error".
GeoDistanceResult GeoDistance(const GeoPosition& from, const GeoPosition& to);

// Vincenty's direct formula: the position `metres` along the geodesic that
// leaves `from` at `azimuth` (radians clockwise from north). Airspace arcs and
// circles are drawn with it so that every point lies on the radius. NaN for
// non-finite input or a start at a pole.
GeoPosition GeoDestination(const GeoPosition& from, double azimuth, double metres);

// Semicircles in, the same distance (0 when it does not converge).
double GeoDistanceSemicircles(int32_t lat1, int32_t lon1, int32_t lat2, int32_t lon2);

GeoPosition SemicirclesToRadians(int32_t latitude, int32_t longitude);

// From one fix to the next on a plane about their middle, on a sphere of the
// ellipsoid's mean radius: east and north in metres. Cheap enough for every
// step of a long log and good to a fraction of a percent over steps of a
// few hundred metres; headings and speeds, never a scored distance.
struct PlaneStep {
  double east = 0;
  double north = 0;
  double metres() const;
};
PlaneStep PlaneStepSemicircles(int32_t lat1, int32_t lon1, int32_t lat2, int32_t lon2);

// Radians to semicircles, rounded half away from zero; the longitude is
// wrapped into [-180, 180). Nothing for NaN, infinity or a latitude beyond
// the poles (more than a millimetre past them), so a bad projection never
// turns into a wrapped or pinned position.
std::optional<SemicirclePosition> RadiansToSemicircles(const GeoPosition& geo);

// Latitude band letter: 'B' below -80 degrees, 'C'..'X' (no I, O) in 8-degree
// steps with X stretched to 84, 'Y' from 84 up. A bound belongs to the band
// above it. 0 for NaN.
char UtmBand(double latitude);

// The zone chosen for a position (Norway and Svalbard exceptions included),
// 1..60; 0 for NaN.
int UtmZone(double latitude, double longitude);

// Central meridian of a zone in radians.
double UtmCentralMeridian(int zone);

// Forward UTM; uses utm.zone when it is 1..60, otherwise chooses it; always
// sets the band letter. Non-finite input leaves zone 0, band 0 and NaN
// coordinates.
void ToUtm(const GeoPosition& geo, UtmPosition& utm);

// Inverse UTM. A band below 'N' means the southern hemisphere (lower case is
// taken as upper). The longitude comes back wrapped into [-pi, pi). A zone
// outside 1..60, a band that is no letter or non-finite input gives NaN,
// which RadiansToSemicircles refuses.
GeoPosition FromUtm(const UtmPosition& utm);

struct LocalTm {
  double x = 0;
  double y = 0;
};
// Transverse Mercator about the given central meridian (radians), with the
// UTM scale factor and no false easting or northing (y is negative south of
// the equator).
LocalTm ToLocalTm(const GeoPosition& geo, double centralMeridian);

}  // namespace skylode
