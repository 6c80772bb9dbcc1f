// The text forms in which users type and read positions, zones and times,
// and the forms instrument sentences and waypoint files carry them in.
//
// Every parser reads bytes only (any input is safe, however long), skips
// leading blanks (spaces), and returns 0 or a negative number for bad input;
// the results are written only on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skylode {

inline constexpr int kTextBad = -1;

// Degrees, minutes and seconds as users type them: an optional sign or
// hemisphere letter (+ N n / - S s for a latitude, + E e / - W w for a
// longitude), blanks, then degrees, "degrees minutes" or "degrees minutes
// seconds" separated by blanks, the last part optionally with a '.' or ','
// fraction; trailing blanks only. Whole degrees at most 89 (latitude) or 179
// (longitude), minutes and seconds at most 59. Result in radians.
int ParseCoordinate(std::string_view text, bool isLatitude, double& radians);

// "DDMM.mmm" followed directly by N/S (or E/W), either case, then blanks:
// DDMM below 9000 (18000 for a longitude) with minutes below 60.
int ParseNmeaCoordinate(std::string_view text, bool isLatitude, double& radians);

// "DDMM[.mmm]" without a hemisphere, DDMM below 18000, minutes below 60.
int ParseNmeaMinutes(std::string_view text, double& radians);

// Zone number and band letter ("32T", "32 t").
inline constexpr int kZoneAbove60 = -1;
inline constexpr int kZoneMissing = -2;  // no digits, or zone 0
inline constexpr int kZoneBadBand = -3;  // missing, or not B..X without I and O
inline constexpr int kZoneTrailing = -4;
int ParseUtmZone(std::string_view text, int& zone, char& band);

// Optional sign, digits, optional '.' or ',' and fraction digits, blanks.
int ParseDecimal(std::string_view text, double& value);

// Whole numbers for the edit dialogs: optional sign (signed form only),
// digits, blanks; out of the type's range is bad input.
int ParseSignedInteger(std::string_view text, int32_t& value);
int ParseUnsignedInteger(std::string_view text, uint32_t& value);

// "HHMMSS[.fff]" as sentences carry it: at most 235959, minutes and seconds
// below 60. Gives the second of the day and the fraction of the second.
int ParseTimeOfDay(std::string_view text, uint32_t& seconds, double& fraction);

// Waypoint file columns: a hemisphere letter first (N/S or E/W, either case),
// optional blanks, then degrees, "degrees minutes" or "degrees minutes
// seconds" separated by blanks, the last part optionally with a fraction.
// Degrees below 90 (180), minutes and seconds below 60. `rest` is the offset
// just after the number, where the next column starts.
int ParseHemisphereCoordinate(std::string_view text, bool isLatitude, double& radians,
                              size_t& rest);

// Hundredths of an arc second as "N 47  12  30.50" / "E 008  30  12.00";
// negative values give S or W.
std::string FormatDms(int32_t centiSeconds, bool isLatitude);

// An angle as whole arc seconds and a five-digit fraction:
// "N 47 12 30.50000" / "W 008 30 12.00000". Nothing for NaN or infinity.
std::optional<std::string> FormatArcSeconds(double radians, bool isLatitude);

// "32T".
std::string FormatUtmZone(int zone, char band);

// Metres as "0462343.3260" (twelve characters, four decimals).
std::string FormatUtmMetres(double metres);

// Metres rounded half away from zero as at least seven digits: "0462343".
std::string FormatWholeMetres(double metres);

// printf's "%.*f" without the locale: `decimals` digits after a '.', padded
// with zeros after the sign to `width` characters. "nan"/"inf" for those.
std::string FormatFixed(double value, int decimals, int width = 0);

}  // namespace skylode
