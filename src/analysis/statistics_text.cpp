#include "analysis/statistics_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {

std::string FixedDecimals(double value, int decimals) {
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
  char buf[400];  // the longest double in fixed notation fits
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "?";
  return std::string(buf, r.ptr);
}

std::string ClockText(uint32_t time) {
  const CalendarTime t = SecondsToDateTime(time);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

namespace {

// "+ 0.5 and truncated", as the window has always shown speeds.
std::string WholeKmh(double kmh) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d km/h", ClampRound<int32_t>(std::trunc(kmh + 0.5)));
  return buf;
}

}  // namespace

StatisticsTexts FormatStatistics(const FlightStatistics& s) {
  StatisticsTexts t;
  char buf[64];
  const CalendarTime d = SecondsToDateTime(s.startTime);
  std::snprintf(buf, sizeof buf, "%4d-%02d-%02d", d.year, d.month, d.day);
  t.date = buf;
  t.start = ClockText(s.startTime);
  t.finish = ClockText(s.endTime);
  std::snprintf(buf, sizeof buf, "%u : %02u : %02u", s.duration / 3600, s.duration / 60 % 60, s.duration % 60);
  t.duration = buf;
  std::snprintf(buf, sizeof buf, "%d m", s.maxHeight);
  t.maxHeight = buf;
  std::snprintf(buf, sizeof buf, "%d m", s.minHeight);
  t.minHeight = buf;
  t.maxMeanSpeed = WholeKmh(s.maxMeanSpeed);
  t.topSpeed = WholeKmh(s.topSpeed);
  t.totalDistance = FixedDecimals(s.totalDistance * 0.001, 1) + " km";
  return t;
}

std::string FormatTripKm(const TripResult& result) { return FixedDecimals(result.total * 0.001, 2); }

std::string BackwardsTimeWarning(const TimeOrderResult& order) {
  if (order.badPoints == 0) return {};
  char buf[96];
  std::snprintf(buf, sizeof buf, "One or more points (the first at pos. %d) go backwards in time",
                order.firstBadIndex + 1);
  return buf;
}

std::string BuildTrackClipboardText(std::span<const TrackPoint> points) {
  std::string text;
  text.reserve(points.size() * 64);
  char buf[64];
  const TrackLegs legs(points);
  for (size_t i = 0; i < points.size(); ++i) {
    const TrackPoint& p = points[i];
    const CalendarTime t = SecondsToDateTime(p.time);
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d, %02d:%02d:%02d, ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    text += buf;
    text += FixedDecimals(SemicirclesToDegrees(p.latitude), 6);
    text += ", ";
    text += FixedDecimals(SemicirclesToDegrees(p.longitude), 6);
    // Decimetres as sign, whole metres and the tenth, so -0.5 m keeps its sign.
    const int64_t h = p.gpsHeight;
    const int64_t mag = std::llabs(h);
    std::snprintf(buf, sizeof buf, ", %c%lld.%lld, ", h < 0 ? '-' : ' ', static_cast<long long>(mag / 10),
                  static_cast<long long>(mag % 10));
    text += buf;
    text += FixedDecimals(legs.MeanSpeedAndClimb60(i).speed, 1);
    text += "\r\n";
  }
  return text;
}

}  // namespace skylode
