#include "analysis/geodesy.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "records/angles.h"
#include "records/numeric.h"

namespace skylode {
namespace {

constexpr double kOneMinusF = 0.9966471893352525;
constexpr double kE2 = 0.006694379990141317;           // first eccentricity squared
constexpr double kInvOneMinusE2 = 1.0067394967422765;  // 1 / (1 - e^2)
constexpr double kEp2 = 0.006739496742276435;          // second eccentricity squared
constexpr double kFalseEasting = 500000.0;
constexpr double kFalseNorthingSouth = 10000000.0;
constexpr double kPi = std::numbers::pi;
constexpr double kRadToDeg = 180.0 / kPi;

// Meridian arc coefficients for WGS84.
constexpr double kArcA0 = 0.9983242984527952;
constexpr double kArcA2 = 0.002514607060518705;
constexpr double kArcA4 = 2.6390465943376217e-6;
constexpr double kArcA6 = 3.4180460865957886e-9;

// Wraps an angle into [-pi, pi). A track that crosses the antimeridian must
// still see neighbouring points a few metres apart.
double WrapPi(double a) {
  if (a >= -kPi && a < kPi) return a;
  double r = std::fmod(a + kPi, 2 * kPi);
  if (r < 0) r += 2 * kPi;
  return r - kPi;
}

// Degrees with values within a micro-arc-second of a whole degree pinned to
// it: the band and zone bounds are whole degrees, and 84 degrees typed by a
// user must not land in X because of the last bit of a radian conversion.
double SnappedDegrees(double radians) {
  const double d = radians * kRadToDeg;
  const double whole = std::round(d);
  return std::fabs(d - whole) < 1e-9 ? whole : d;
}

double MeridianArc(double phi) {
  return kWgs84A * (kArcA0 * phi - kArcA2 * std::sin(2 * phi) + kArcA4 * std::sin(4 * phi) -
                    kArcA6 * std::sin(6 * phi));
}

// Redfearn's series without the false easting and the southern offset.
LocalTm TransverseMercator(double phi, double dLambda) {
  const double s = std::sin(phi), c = std::cos(phi);
  const double t = s / c, t2 = t * t, t4 = t2 * t2, t6 = t4 * t2;
  const double q = 1 - kE2 * s * s;
  const double psi = q * kInvOneMinusE2, psi2 = psi * psi, psi3 = psi2 * psi, psi4 = psi2 * psi2;
  const double nu = kWgs84A / std::sqrt(q);
  const double l2 = dLambda * dLambda;
  const double w = l2 * c * c, w2 = w * w, w3 = w2 * w;

  const double east =
      1 + w / 6 * (psi - t2) +
      w2 / 120 * (4 * psi3 * (1 - 6 * t2) + psi2 * (1 + 8 * t2) - 2 * psi * t2 + t4) +
      w3 / 5040 * (61 - 479 * t2 + 179 * t4 - t6);
  const double north = 0.5 + w / 24 * (4 * psi2 + psi - t2) +
                       w2 / 720 *
                           (8 * psi4 * (11 - 24 * t2) - 28 * psi3 * (1 - 6 * t2) +
                            psi2 * (1 - 32 * t2) - 2 * psi * t2 + t4) +
                       w3 / 40320 * (1385 - 3111 * t2 + 543 * t4 - t6);
  return {kUtmScale * nu * dLambda * c * east,
          kUtmScale * (MeridianArc(phi) + nu * s * c * l2 * north)};
}

}  // namespace

GeoDistanceResult GeoDistance(const GeoPosition& from, const GeoPosition& to) {
  const double phi1 = from.latitude, phi2 = to.latitude;
  // The same longitude difference taken the short way round: 359 degrees east
  // would converge more loosely than the 1 degree west it stands for, and 180
  // east and 180 west are one meridian.
  double L = WrapPi(to.longitude - from.longitude);
  if (std::fabs(phi1 - phi2) < 1.5e-9 && std::fabs(L) < 1e-9) return {0, 0};
  if (std::fabs(L) < 1e-10) L = 1e-10;

  // Reduced latitudes U = atan((1 - f) tan phi), taken straight to their sine
  // and cosine: the same values without three trigonometric calls per point.
  const double tanU1 = kOneMinusF * std::tan(phi1), tanU2 = kOneMinusF * std::tan(phi2);
  const double cosU1 = 1 / std::sqrt(1 + tanU1 * tanU1), sinU1 = tanU1 * cosU1;
  const double cosU2 = 1 / std::sqrt(1 + tanU2 * tanU2), sinU2 = tanU2 * cosU2;


  // One round of the iteration at longitude difference `lambda` on the
  // auxiliary sphere; false when the points coincide.
  double sinSigma = 0, cosSigma = 0, sigma = 0, sinAlpha = 0, cos2Alpha = 0, cos2SigmaM = 0;
  const auto evaluate = [&](double at) {
    const double sinLambda = std::sin(at), cosLambda = std::cos(at);
    const double a = cosU2 * sinLambda;
    const double b = cosU1 * sinU2 - sinU1 * cosU2 * cosLambda;
    sinSigma = std::sqrt(a * a + b * b);
    if (sinSigma == 0) return false;
    cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
    sigma = std::atan2(sinSigma, cosSigma);
    sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
    cos2Alpha = std::fmax(0.0, 1 - sinAlpha * sinAlpha);
    // On the equator cos^2(alpha) is 0 and so is sinU1*sinU2; the term is then
    // 0, not the NaN that would make two equator points an "Error".
    cos2SigmaM = cos2Alpha != 0 ? cosSigma - 2 * sinU1 * sinU2 / cos2Alpha : 0;
    return true;
  };

  double lambda = L;
  bool converged = false;
  for (int round = 1; round <= 100; ++round) {
    // Points that differ only in longitude at a pole are one point.
    if (!evaluate(lambda)) return {0, 0};
    const double C = kWgs84F / 16 * cos2Alpha * (4 + kWgs84F * (4 - 3 * cos2Alpha));
    const double next =
        L + (1 - C) * kWgs84F * sinAlpha *
                (sigma +
                 C * sinSigma * (cos2SigmaM + C * cosSigma * (2 * cos2SigmaM * cos2SigmaM - 1)));
    const bool done = round > 1 && std::fabs((next - lambda) / next) < 1e-10;
    lambda = next;
    if (done) {
      converged = true;
      break;
    }
  }
  if (!converged) return {-1, 0};
  // The stop test lets lambda still be 1e-10 of itself off, a millimetre over
  // a long leg; the distance is taken at the converged value instead.
  if (!evaluate(lambda)) return {0, 0};

  const double u2s = cos2Alpha * kEp2;
  const double A = 1 + u2s / 16384 * (4096 + u2s * (-768 + u2s * (320 - 175 * u2s)));
  const double B = u2s / 1024 * (256 + u2s * (-128 + u2s * (74 - 47 * u2s)));
  const double c2 = cos2SigmaM * cos2SigmaM;
  const double deltaSigma =
      B * sinSigma *
      (cos2SigmaM + B / 4 *
                        (cosSigma * (2 * c2 - 1) -
                         B / 6 * cos2SigmaM * (4 * sinSigma * sinSigma - 3) * (4 * c2 - 3)));
  return {0, kWgs84B * A * (sigma - deltaSigma)};
}

GeoPosition SemicirclesToRadians(int32_t latitude, int32_t longitude) {
  return {SemicirclesToRadians(latitude), SemicirclesToRadians(longitude)};
}

double PlaneStep::metres() const { return std::hypot(east, north); }

PlaneStep PlaneStepSemicircles(int32_t lat1, int32_t lon1, int32_t lat2, int32_t lon2) {
  constexpr double kMeanRadius = (2 * kWgs84A + kWgs84B) / 3;
  const double lat = SemicirclesToRadians(static_cast<int32_t>((int64_t{lat1} + lat2) / 2));
  double dLon = SemicirclesToRadians(lon2) - SemicirclesToRadians(lon1);
  // The short way round across 180 degrees.
  if (dLon > kPi) dLon -= 2 * kPi;
  if (dLon < -kPi) dLon += 2 * kPi;
  PlaneStep step;
  step.north = (SemicirclesToRadians(lat2) - SemicirclesToRadians(lat1)) * kMeanRadius;
  step.east = dLon * std::cos(lat) * kMeanRadius;
  return step;
}

double GeoDistanceSemicircles(int32_t lat1, int32_t lon1, int32_t lat2, int32_t lon2) {
  const GeoDistanceResult r =
      GeoDistance(SemicirclesToRadians(lat1, lon1), SemicirclesToRadians(lat2, lon2));
  return r.status == 0 ? r.metres : 0;
}

std::optional<SemicirclePosition> RadiansToSemicircles(const GeoPosition& geo) {
  // A millimetre past a pole is rounding; a kilometre is a bad projection.
  constexpr double kPoleSlack = 1.6e-10;
  if (!(std::fabs(geo.latitude) <= kPi / 2 + kPoleSlack)) return std::nullopt;
  const auto lat = RadiansToLatitude(geo.latitude);
  const auto lon = RadiansToLongitude(geo.longitude);
  if (!lat || !lon) return std::nullopt;
  return SemicirclePosition{*lat, *lon};
}

char UtmBand(double latitude) {
  if (std::isnan(latitude)) return 0;
  const double d = SnappedDegrees(latitude);
  if (d < -80) return 'B';
  if (d >= 84) return 'Y';
  if (d >= 72) return 'X';
  static constexpr char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
  // d is in [-80, 72) here, so the index is 0..18.
  return kBands[ClampRound<int>(std::floor((d + 80) / 8))];
}

int UtmZone(double latitude, double longitude) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return 0;
  const double lon = SnappedDegrees(WrapPi(longitude));
  const char band = UtmBand(latitude);
  if (band == 'V' && lon >= 3 && lon < 12) return 32;
  if (band == 'X' && lon >= 0 && lon < 42) {
    if (lon < 9) return 31;
    if (lon < 21) return 33;
    if (lon < 33) return 35;
    return 37;
  }
  const double z = std::trunc(lon / 6 + 30) + 1;
  return ClampRound<int>(std::clamp(z, 1.0, 60.0));
}

double UtmCentralMeridian(int zone) {
  return 0.05235987755982989 * (2 * zone - 61);
}

void ToUtm(const GeoPosition& geo, UtmPosition& utm) {
  if (!std::isfinite(geo.latitude) || !std::isfinite(geo.longitude)) {
    utm.zone = 0;
    utm.band = 0;
    utm.easting = utm.northing = std::nan("");
    return;
  }
  if (utm.zone < 1 || utm.zone > 60) utm.zone = UtmZone(geo.latitude, geo.longitude);
  utm.band = UtmBand(geo.latitude);
  const LocalTm tm =
      TransverseMercator(geo.latitude, WrapPi(geo.longitude - UtmCentralMeridian(utm.zone)));
  utm.easting = kFalseEasting + tm.x;
  utm.northing = tm.y + (geo.latitude < 0 ? kFalseNorthingSouth : 0);
}

GeoPosition FromUtm(const UtmPosition& utm) {
  char band = utm.band;
  if (band >= 'a' && band <= 'z') band = static_cast<char>(band - 'a' + 'A');
  // Without a band letter the hemisphere is unknown; guessing south would put
  // a northern waypoint 10,000 km away.
  if (utm.zone < 1 || utm.zone > 60 || band < 'A' || band > 'Z' || !std::isfinite(utm.easting) ||
      !std::isfinite(utm.northing))
    return {std::nan(""), std::nan("")};
  const double n = utm.northing - (band < 'N' ? kFalseNorthingSouth : 0);
  const double mu = n * 1.571116057864735e-7;
  const double fp =
      mu + 0.0025188265843906882 * std::sin(2 * mu) + 3.700949035620534e-6 * std::sin(4 * mu) +
      7.447813767503948e-9 * std::sin(6 * mu) + 1.703599323859631e-11 * std::sin(8 * mu);
  const double s = std::sin(fp), c = std::cos(fp);
  const double t = s / c, t2 = t * t, t4 = t2 * t2, t6 = t4 * t2;
  const double q = 1 - kE2 * s * s;
  const double psi = q * kInvOneMinusE2, psi2 = psi * psi, psi3 = psi2 * psi, psi4 = psi2 * psi2;
  const double nu = kWgs84A / std::sqrt(q);
  const double x = (utm.easting - kFalseEasting) / (kUtmScale * nu);
  const double x2 = x * x, x4 = x2 * x2, x6 = x4 * x2;

  const double lat = fp + t * psi * x2 *
                              (-0.5 + x2 / 24 * (-4 * psi2 + 9 * psi * (1 - t2) + 12 * t2) -
                               x4 / 720 *
                                   (8 * psi4 * (11 - 24 * t2) - 12 * psi3 * (21 - 71 * t2) +
                                    15 * psi2 * (15 - 98 * t2 + 15 * t4) +
                                    180 * psi * (5 * t2 - 3 * t4) + 360 * t4) +
                               x6 / 40320 * (1385 + 3633 * t2 + 4095 * t4 + 1575 * t6));
  const double lon =
      UtmCentralMeridian(utm.zone) +
      x / c *
          (1 - x2 / 6 * (psi + 2 * t2) +
           x4 / 120 * (-4 * psi3 * (1 - 6 * t2) + psi2 * (9 - 68 * t2) + 72 * psi * t2 + 24 * t4) -
           x6 / 5040 * (61 + 662 * t2 + 1320 * t4 + 720 * t6));
  return {lat, WrapPi(lon)};
}

GeoPosition GeoDestination(const GeoPosition& from, double azimuth, double metres) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  if (!std::isfinite(from.latitude) || !std::isfinite(from.longitude) || !std::isfinite(azimuth) ||
      !std::isfinite(metres) || std::fabs(from.latitude) >= std::numbers::pi / 2)
    return {kNaN, kNaN};
  const double sinAlpha1 = std::sin(azimuth), cosAlpha1 = std::cos(azimuth);
  const double tanU1 = kOneMinusF * std::tan(from.latitude);
  const double cosU1 = 1 / std::sqrt(1 + tanU1 * tanU1), sinU1 = tanU1 * cosU1;
  const double sigma1 = std::atan2(tanU1, cosAlpha1);
  const double sinAlpha = cosU1 * sinAlpha1;
  const double cos2Alpha = 1 - sinAlpha * sinAlpha;
  const double a2 = kWgs84A * kWgs84A, b2 = kWgs84B * kWgs84B;
  const double uSq = cos2Alpha * (a2 - b2) / b2;
  const double A = 1 + uSq / 16384 * (4096 + uSq * (-768 + uSq * (320 - 175 * uSq)));
  const double B = uSq / 1024 * (256 + uSq * (-128 + uSq * (74 - 47 * uSq)));
  double sigma = metres / (kWgs84B * A);
  double cos2SigmaM = 0, sinSigma = 0, cosSigma = 0;
  for (int round = 0; round < 100; ++round) {
    cos2SigmaM = std::cos(2 * sigma1 + sigma);
    sinSigma = std::sin(sigma);
    cosSigma = std::cos(sigma);
    const double deltaSigma =
        B * sinSigma *
        (cos2SigmaM + B / 4 *
                          (cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM) -
                           B / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma) * (-3 + 4 * cos2SigmaM * cos2SigmaM)));
    const double next = metres / (kWgs84B * A) + deltaSigma;
    const bool done = std::fabs(next - sigma) < 1e-12;
    sigma = next;
    if (done) break;
  }
  cos2SigmaM = std::cos(2 * sigma1 + sigma);
  sinSigma = std::sin(sigma);
  cosSigma = std::cos(sigma);
  const double x = sinU1 * sinSigma - cosU1 * cosSigma * cosAlpha1;
  const double latitude = std::atan2(sinU1 * cosSigma + cosU1 * sinSigma * cosAlpha1,
                                     kOneMinusF * std::sqrt(sinAlpha * sinAlpha + x * x));
  const double lambda = std::atan2(sinSigma * sinAlpha1, cosU1 * cosSigma - sinU1 * sinSigma * cosAlpha1);
  const double C = kWgs84F / 16 * cos2Alpha * (4 + kWgs84F * (4 - 3 * cos2Alpha));
  const double L =
      lambda - (1 - C) * kWgs84F * sinAlpha *
                   (sigma + C * sinSigma * (cos2SigmaM + C * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
  return {latitude, WrapPi(from.longitude + L)};
}

LocalTm ToLocalTm(const GeoPosition& geo, double centralMeridian) {
  return TransverseMercator(geo.latitude, WrapPi(geo.longitude - centralMeridian));
}

}  // namespace skylode
