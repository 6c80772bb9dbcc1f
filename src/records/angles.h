// Angle units shared by every Part: positions are 32-bit semicircles
// (2^31 semicircles = 180 degrees, north and east positive).
#pragma once

#include <cstdint>
#include <optional>

namespace skylode {

inline constexpr double kSemicirclesToRadians = 1.4629180792671596e-9;  // pi / 2^31
inline constexpr double kRadiansToSemicircles = 683565275.5764316;      // 2^31 / pi
inline constexpr double kSemicirclesToMilliMinutes = 0.005029141902924; // 10,800,000 / 2^31
inline constexpr double kSemicirclesToCentiSeconds = 0.030174851417541504;  // 64,800,000 / 2^31
inline constexpr double kCentiMinutesToSemicircles = 1988.410785185;   // 2^31 / 1,080,000
inline constexpr double kSemicirclesToDegrees = 180.0 / 2147483648.0;
inline constexpr double kDegreesToSemicircles = 2147483648.0 / 180.0;

inline double SemicirclesToRadians(int32_t s) { return s * kSemicirclesToRadians; }
inline double SemicirclesToDegrees(int32_t s) { return s * kSemicirclesToDegrees; }

// Radians to semicircles, rounded half away from zero. A latitude is clamped
// to +-90 degrees; a longitude is wrapped into [-180, 180) (180 degrees east
// and west are one meridian, and +2^31 does not fit). NaN and infinity give
// nothing.
std::optional<int32_t> RadiansToLatitude(double radians);
std::optional<int32_t> RadiansToLongitude(double radians);
std::optional<int32_t> DegreesToLatitude(double degrees);
std::optional<int32_t> DegreesToLongitude(double degrees);

// Semicircles to thousandths of a minute and hundredths of a second of arc.
int32_t SemicirclesToMilliMinutes(int32_t s);
int32_t SemicirclesToCentiSeconds(int32_t s);

// A 24-bit instrument value in hundredths of a minute (sign separate) to
// semicircles: magnitude scaled, rounded, then the sign applied.
int32_t CentiMinutesToSemicircles(uint32_t magnitude, bool negative);

}  // namespace skylode
