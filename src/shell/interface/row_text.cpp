#include "shell/interface/row_text.h"

#include <algorithm>
#include <cstdio>

#include "analysis/coordinate_text.h"
#include "analysis/geodesy.h"
#include "analysis/measured_heights.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {

namespace {

constexpr ListColumn kWaypointGeo[] = {{"ID", 9},     {"Latitude", 13}, {"Longitude", 14}, {"Height", 7},
                                       {"Name", 50},  {"Sym", 7},       {"Time", 18}};
constexpr ListColumn kWaypointUtm[] = {{"ID", 9},     {"Zone", 6}, {"Easting", 8}, {"Northing", 8},
                                       {"Height", 7}, {"Name", 50}, {"Sym", 7},    {"Time", 18}};
constexpr ListColumn kTrackGeo[] = {{"UTC date", 10}, {"UTC time", 9}, {"Latitude", 13}, {"Longitude", 14},
                                    {"H (GPS)", 8},   {"H (B-G)", 8},  {"km/h", 7}};
constexpr ListColumn kTrackUtm[] = {{"UTC date", 10}, {"UTC time", 9}, {"Zone", 6}, {"Easting", 8},
                                    {"Northing", 8},  {"H (GPS)", 8},  {"H (B-G)", 8}, {"km/h", 7}};
constexpr ListColumn kCtr[] = {{"Name", 22}, {"Floor (Remark)", 15}, {"Ceiling", 15}, {"Distance", 9},
                               {"Segments", 9}};
constexpr ListColumn kPilots[] = {{"Name", 22}, {"Comp. ID", 10}, {"CIVL ID", 10}, {"Device", 22}};

// Integers only: printf's integer conversions do not depend on the locale.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buf[96];
  const int n = std::snprintf(buf, sizeof buf, format, args...);
  if (n < 0) return {};
  return std::string(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

std::string Cut(std::string_view text, size_t max) {
  return std::string(text.substr(0, std::min(max, kCellTextMax)));
}

bool InRange(int32_t row, int32_t count) { return row >= 0 && row < count; }

struct UtmCells {
  std::string zone, easting, northing;
};

UtmCells UtmOf(int32_t latitude, int32_t longitude) {
  UtmPosition utm;
  ToUtm(SemicirclesToRadians(latitude, longitude), utm);
  return {FormatUtmZone(utm.zone, utm.band), FormatWholeMetres(utm.easting), FormatWholeMetres(utm.northing)};
}

std::string Latitude(int32_t s) { return FormatDms(SemicirclesToCentiSeconds(s), true); }
std::string Longitude(int32_t s) { return FormatDms(SemicirclesToCentiSeconds(s), false); }

}  // namespace

std::span<const ListColumn> ColumnsOf(ViewMode view, bool utm) {
  switch (view) {
    case ViewMode::kWaypoints: return utm ? std::span<const ListColumn>(kWaypointUtm) : kWaypointGeo;
    case ViewMode::kTrackLog: return utm ? std::span<const ListColumn>(kTrackUtm) : kTrackGeo;
    case ViewMode::kCtr: return kCtr;
    case ViewMode::kPilots: return kPilots;
  }
  return {};
}

double SpeedFromPrevious(const TrackLog& log, int32_t row) {
  if (!InRange(row, log.count()) || row == 0) return 0;
  const TrackPoint& a = log.points[static_cast<size_t>(row) - 1];
  const TrackPoint& b = log.points[static_cast<size_t>(row)];
  if (b.time <= a.time) return 0;
  const double metres = GeoDistanceSemicircles(a.latitude, a.longitude, b.latitude, b.longitude);
  return metres / (b.time - a.time) * 3.6;
}

std::string TrackRowText(const TrackLog& log, int32_t row, int32_t column, bool utm) {
  if (!InRange(row, log.count())) return {};
  const TrackPoint& p = log.points[static_cast<size_t>(row)];
  // The UTM set has one column more (zone, easting, northing for two).
  int32_t c = column;
  if (utm) {
    if (c >= 2 && c <= 4) {
      const UtmCells cells = UtmOf(p.latitude, p.longitude);
      return c == 2 ? cells.zone : c == 3 ? cells.easting : cells.northing;
    }
    if (c > 4) --c;
  }
  switch (c) {
    case 0: {
      const CalendarTime t = SecondsToDateTime(p.time);
      return Format("%4d-%02d-%02d", t.year, t.month, t.day);
    }
    case 1: {
      const CalendarTime t = SecondsToDateTime(p.time);
      return Format("%02d:%02d:%02d", t.hour, t.minute, t.second);
    }
    case 2: return utm ? std::string() : Latitude(p.latitude);
    case 3: return utm ? std::string() : Longitude(p.longitude);
    // A height that was not measured is shown as the analysis takes it.
    case 4: {
      const int32_t dm = MeasuredGpsHeight(log.points, static_cast<size_t>(row), log.hasBaroHeight);
      return Format("%d", DivRoundHalfAway(dm, 10));
    }
    case 5: {
      if (!log.hasBaroHeight) return {};
      // Barometric metres against GPS decimetres, in 64 bits so that no
      // instrument value can overflow, then rounded like the GPS height.
      const int64_t dm = static_cast<int64_t>(p.baroHeight) * 10 -
                         MeasuredGpsHeight(log.points, static_cast<size_t>(row), log.hasBaroHeight);
      const int64_t m = dm >= 0 ? (dm + 5) / 10 : -((5 - dm) / 10);
      return Format("%lld", static_cast<long long>(m));
    }
    case 6:
      if (p.flags & kTrackPointStartsSegment) return "START";
      return FormatFixed(SpeedFromPrevious(log, row), 1);
    default: return {};
  }
}

std::string WaypointRowText(const WaypointList& list, int32_t row, int32_t column, bool utm) {
  if (!InRange(row, list.count())) return {};
  const Waypoint& w = list.items[static_cast<size_t>(row)];
  int32_t c = column;
  if (utm) {
    if (c >= 1 && c <= 3) {
      const UtmCells cells = UtmOf(w.latitude, w.longitude);
      return c == 1 ? cells.zone : c == 2 ? cells.easting : cells.northing;
    }
    if (c > 3) --c;
  }
  switch (c) {
    case 0: return Cut(w.id, kWaypointIdMax);
    case 1: return utm ? std::string() : Latitude(w.latitude);
    case 2: return utm ? std::string() : Longitude(w.longitude);
    case 3: return Format("%d", w.height);
    case 4: return Cut(w.name, kWaypointNameMax);
    case 5: return Format("%d", w.symbol);
    case 6: {
      const CalendarTime t = SecondsToDateTime(w.time);
      return Format("%d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    }
    default: return {};
  }
}

std::string CtrRowText(const CtrList& list, int32_t row, int32_t column) {
  if (!InRange(row, list.count())) return {};
  const CtrArea& a = list.areas[static_cast<size_t>(row)];
  switch (column) {
    case 0: return Cut(a.name, kCtrTextMax);
    case 1: return Cut(a.floor, kCtrTextMax);
    case 2: return Cut(a.ceiling, kCtrTextMax);
    case 3: return Format("%d", a.warningDistance);
    case 4: return Format("%d", static_cast<int>(a.segments.size()));
    default: return {};
  }
}

std::string PilotRowText(const PilotList& list, int32_t row, int32_t column) {
  if (!InRange(row, list.count())) return {};
  const PilotEntry& p = list.items[static_cast<size_t>(row)];
  auto id = [](int32_t v) { return v == -1 ? std::string("   ") : Format("%d", v); };
  switch (column) {
    case 0: return Cut(p.name, kPilotNameMax);
    case 1: return id(p.compId);
    case 2: return id(p.civlId);
    case 3: return Cut(p.devices[0], kPilotDeviceMax);
    default: return {};
  }
}

}  // namespace skylode
