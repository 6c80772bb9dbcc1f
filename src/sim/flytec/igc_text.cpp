#include "sim/flytec/igc_text.h"

#include <charconv>
#include <cstdlib>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::sim {
namespace {

// Appends `value` with at least `width` digits, zero-padded after any sign.
void AppendNumber(std::string& out, int64_t value, int width) {
  if (value < 0) {
    out.push_back('-');
    value = -value;
    --width;
  }
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  const int n = static_cast<int>(end - digits);
  for (int i = n; i < width; ++i) out.push_back('0');
  out.append(digits, end);
}

void AppendClock(std::string& out, uint32_t seconds, char separator) {
  AppendNumber(out, seconds / 3600 % 24, 2);
  if (separator) out.push_back(separator);
  AppendNumber(out, seconds / 60 % 60, 2);
  if (separator) out.push_back(separator);
  AppendNumber(out, seconds % 60, 2);
}

// DDMMmmm or DDDMMmmm and the hemisphere letter.
void AppendCoordinate(std::string& out, int32_t semicircles, int degreeDigits, char positive, char negative) {
  const int32_t mm = SemicirclesToMilliMinutes(semicircles);
  const int32_t m = std::abs(mm);
  AppendNumber(out, m / 60000, degreeDigits);
  AppendNumber(out, m % 60000, 5);
  out.push_back(mm < 0 ? negative : positive);
}

// The instrument's own security line content; we only need something that
// looks like it and is the same for the same flight.
std::string SignatureLine(const SimFlight& f, int line) {
  uint64_t h = 1469598103934665603ull ^ static_cast<uint64_t>(line);
  for (const TrackPoint& p : f.points) {
    h = (h ^ p.time) * 1099511628211ull;
    h = (h ^ static_cast<uint32_t>(p.latitude)) * 1099511628211ull;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "G";
  for (int i = 0; i < 32; ++i) s.push_back(kHex[(h >> ((i % 16) * 4)) & 15]);
  return s;
}

}  // namespace

std::string FlightDate(const SimFlight& flight) {
  if (flight.points.empty()) return "00.00.00";
  const CalendarTime t = SecondsToDateTime(flight.points.front().time);
  std::string s;
  AppendNumber(s, t.day, 2);
  s.push_back('.');
  AppendNumber(s, t.month, 2);
  s.push_back('.');
  AppendNumber(s, t.year % 100, 2);
  return s;
}

std::string FlightStart(const SimFlight& flight) {
  std::string s;
  AppendClock(s, flight.points.empty() ? 0 : flight.points.front().time % kSecondsPerDay, ':');
  return s;
}

std::string FlightDuration(const SimFlight& flight) {
  const uint32_t d = flight.points.empty() ? 0 : flight.points.back().time - flight.points.front().time;
  std::string s;
  AppendNumber(s, d / 3600, 2);
  s.push_back(':');
  AppendNumber(s, d / 60 % 60, 2);
  s.push_back(':');
  AppendNumber(s, d % 60, 2);
  return s;
}

std::string BuildIgcText(const SimFlight& flight) {
  std::string out;
  out.reserve(200 + flight.points.size() * 37);
  out += "AFLY" + flight.loggerId + "\r\n";
  out += "HFDTE";
  if (!flight.points.empty()) {
    const CalendarTime t = SecondsToDateTime(flight.points.front().time);
    AppendNumber(out, t.day, 2);
    AppendNumber(out, t.month, 2);
    AppendNumber(out, t.year % 100, 2);
  }
  out += "\r\nHFFXA035\r\nHFPLTPILOT:" + flight.pilot + "\r\nHFGTYGLIDERTYPE:" + flight.glider +
         "\r\nHFDTM100GPSDATUM:WGS-1984\r\nHFFTYFRTYPE:FLYTEC,COMPEO+\r\n";
  for (const TrackPoint& p : flight.points) {
    out.push_back('B');
    AppendClock(out, p.time % kSecondsPerDay, 0);
    AppendCoordinate(out, p.latitude, 2, 'N', 'S');
    AppendCoordinate(out, p.longitude, 3, 'E', 'W');
    out.push_back((p.flags & kTrackPointNoGpsHeight) != 0 ? 'V' : 'A');
    AppendNumber(out, p.baroHeight, 5);
    AppendNumber(out, GpsHeightMetres(p), 5);
    out += "\r\n";
  }
  out += "LFLYSKYLODE VIRTUAL INSTRUMENT\r\n";
  if (flight.signedFlight)
    for (int i = 0; i < 4; ++i) out += SignatureLine(flight, i) + "\r\n";
  return out;
}

}  // namespace skylode::sim
