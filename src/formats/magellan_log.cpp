// Magellan track logs: the $PMGNTRK sentences the instrument sends, saved one
// a line.
#include <cmath>
#include <new>
#include <numbers>
#include <optional>

#include "analysis/coordinate_text.h"
#include "formats/text_lines.h"
#include "formats/track_files.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

Error BadLine(int line) { return Error::Content("Bad line " + std::to_string(line), line); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The sentence body between '$' and '*', its checksum checked when it has one.
std::optional<std::string_view> SentenceBody(std::string_view line) {
  line = TrimLine(line);
  if (line.empty() || line.front() != '$') return std::nullopt;
  line.remove_prefix(1);
  const size_t star = line.find('*');
  if (star == std::string_view::npos) return line;
  const std::string_view digits = line.substr(star + 1);
  if (digits.size() != 2 || HexDigit(digits[0]) < 0 || HexDigit(digits[1]) < 0) return std::nullopt;
  uint8_t sum = 0;
  for (char c : line.substr(0, star)) sum ^= static_cast<uint8_t>(c);
  if (sum != HexDigit(digits[0]) * 16 + HexDigit(digits[1])) return std::nullopt;
  return line.substr(0, star);
}

bool Coordinate(std::string_view value, std::string_view hemisphere, bool isLatitude, int32_t& out) {
  double radians = 0;
  if (ParseNmeaMinutes(TrimLine(value), radians) != 0) return false;
  hemisphere = TrimLine(hemisphere);
  if (hemisphere.size() != 1) return false;
  const char h = static_cast<char>(hemisphere[0] & ~0x20);
  if (h == (isLatitude ? 'S' : 'W')) {
    radians = -radians;
  } else if (h != (isLatitude ? 'N' : 'E')) {
    return false;
  }
  const auto s = isLatitude ? RadiansToLatitude(radians) : RadiansToLongitude(radians);
  if (!s || (isLatitude && std::fabs(radians) > std::numbers::pi / 2)) return false;
  out = *s;
  return true;
}

// "ddmmyy": years 89 to 99 are the 1900s, the rest the 2000s.
std::optional<uint32_t> DayStart(std::string_view date) {
  date = TrimLine(date);
  if (date.size() != 6) return std::nullopt;
  for (char c : date)
    if (c < '0' || c > '9') return std::nullopt;
  const auto two = [&date](size_t at) { return static_cast<uint16_t>((date[at] - '0') * 10 + (date[at + 1] - '0')); };
  CalendarTime t;
  t.day = two(0);
  t.month = two(2);
  const uint16_t yy = two(4);
  t.year = static_cast<uint16_t>(yy >= 89 ? 1900 + yy : 2000 + yy);
  return CalendarToTime(t);
}

// $PMGNTRK,llll.ll,a,yyyyy.yy,a,xxxxx,a,hhmmss.ss,A,name,ddmmyy
std::optional<TrackPoint> Position(std::string_view body) {
  const std::vector<std::string_view> f = SplitFields(body, ',');
  if (f.size() < 11) return std::nullopt;
  TrackPoint p;
  if (!Coordinate(f[1], f[2], true, p.latitude) || !Coordinate(f[3], f[4], false, p.longitude)) return std::nullopt;
  double altitude = 0;
  if (ParseDecimal(f[5], altitude) != 0 || !(std::fabs(altitude) < 300000)) return std::nullopt;
  const std::string_view unit = TrimLine(f[6]);
  if (unit == "M" || unit == "m") {
    p.gpsHeight = static_cast<int32_t>(RoundHalfAway(altitude * 10));
  } else if (unit == "F" || unit == "f") {
    p.gpsHeight = static_cast<int32_t>(RoundHalfAway(altitude * 3.048));
  } else {
    return std::nullopt;
  }
  uint32_t second = 0;
  double fraction = 0;
  if (ParseTimeOfDay(TrimLine(f[7]), second, fraction) != 0) return std::nullopt;
  const auto day = DayStart(f[10]);
  if (!day || *day > UINT32_MAX - second) return std::nullopt;
  p.time = *day + second;
  return p;
}

Result<std::vector<TrackPoint>> Read(std::string_view text) {
  std::vector<TrackPoint> points;
  for (const TextLine& line : SplitTextLines(WithoutUtf8Bom(text))) {
    const std::string_view trimmed = TrimLine(line.text);
    if (trimmed.substr(0, 8) != "$PMGNTRK" && trimmed.substr(0, 8) != "$PMGNCMD") continue;
    const auto body = SentenceBody(trimmed);
    if (!body) return BadLine(line.number);
    if (body->substr(0, 8) == "PMGNCMD,") {
      if (TrimLine(body->substr(8)).substr(0, 3) == "END") break;
      continue;
    }
    if (body->substr(0, 8) != "PMGNTRK,") continue;
    const auto p = Position(*body);
    if (!p) return BadLine(line.number);
    points.push_back(*p);
  }
  if (points.empty()) return Error::Content("No track positions found");
  points.front().flags |= kTrackPointStartsSegment;
  return points;
}

}  // namespace

Result<std::vector<TrackPoint>> ReadMagellanLog(std::string_view text) {
  try {
    return Read(text);
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
}

}  // namespace skylode
