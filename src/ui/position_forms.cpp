#include "ui/position_forms.h"

#include <cmath>
#include <cstdio>

#include "analysis/coordinate_text.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {

namespace {

// A field of blanks counts as empty: the person typed nothing that could be read.
bool Blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

FieldError Err(std::string_view caption, std::string_view text) {
  return {std::string(caption), std::string(text)};
}

std::string Int(long long v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

// Reads up to `maxDigits` digits; false when there are none.
bool Digits(std::string_view text, size_t& pos, size_t maxDigits, int& value) {
  const size_t start = pos;
  value = 0;
  while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9')
    value = value * 10 + (text[pos++] - '0');
  return pos > start;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

std::optional<SemicirclePosition> ToSemicircles(const GeoPosition& geo) { return RadiansToSemicircles(geo); }

}  // namespace

// --- Edit Waypoint ---------------------------------------------------------

std::optional<uint32_t> ParseTimestamp(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  CalendarTime t{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
      !Expect(text, pos, '-') || !Digits(text, pos, 2, day) || !Expect(text, pos, 'T') ||
      !Digits(text, pos, 2, hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, minute) ||
      !Expect(text, pos, ':') || !Digits(text, pos, 2, second))
    return std::nullopt;
  if (pos < text.size() && text[pos] == 'Z') ++pos;
  if (!Blank(text.substr(pos))) return std::nullopt;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  return CalendarToTime(t);
}

std::string FormatTimestamp(uint32_t seconds) {
  const CalendarTime t = SecondsToDateTime(seconds);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

PositionFields FormatPositionFields(int32_t latitude, int32_t longitude, bool utm) {
  PositionFields f;
  if (utm) {
    UtmPosition u;
    ToUtm(SemicirclesToRadians(latitude, longitude), u);
    f.zone = FormatUtmZone(u.zone, u.band);
    f.easting = FormatWholeMetres(u.easting);
    f.northing = FormatWholeMetres(u.northing);
  } else {
    f.latitude = FormatDms(SemicirclesToCentiSeconds(latitude), true);
    f.longitude = FormatDms(SemicirclesToCentiSeconds(longitude), false);
  }
  return f;
}

WaypointFields FormatWaypointFields(const Waypoint& w, bool utm) {
  WaypointFields f;
  f.id = w.id;
  f.comment = w.name;
  f.height = Int(w.height);
  f.symbol = Int(w.symbol);
  f.timestamp = FormatTimestamp(w.time);
  f.utm = utm;
  const PositionFields p = FormatPositionFields(w.latitude, w.longitude, utm);
  f.latitude = p.latitude;
  f.longitude = p.longitude;
  f.zone = p.zone;
  f.easting = p.easting;
  f.northing = p.northing;
  return f;
}

WaypointFieldsResult ParseWaypointFields(const WaypointFields& f) {
  const auto fail = [](std::string_view text) {
    return WaypointFieldsResult{std::nullopt, Err(kEditWaypointCaption, text)};
  };
  Waypoint w;
  if (Blank(f.id)) return fail("Missing ID input");
  const auto id = ParseWaypointId(f.id);
  if (!id || id->empty()) return fail("Bad ID");
  w.id = *id;
  w.name = NormaliseDescription(f.comment);

  if (Blank(f.height)) return fail("Missing height input");
  if (ParseSignedInteger(f.height, w.height) < 0) return fail("Bad height");

  if (Blank(f.symbol)) return fail("Missing symbol input");
  uint32_t symbol = 0;
  if (ParseUnsignedInteger(f.symbol, symbol) < 0 || symbol > static_cast<uint32_t>(INT32_MAX))
    return fail("Bad symbol");
  w.symbol = static_cast<int32_t>(symbol);

  if (Blank(f.timestamp)) return fail("Missing timestamp input");
  const auto time = ParseTimestamp(f.timestamp);
  if (!time) return fail("Bad timestamp input");
  w.time = *time;

  GeoPosition geo;
  if (!f.utm) {
    if (Blank(f.latitude)) return fail("Missing latitude input");
    if (ParseCoordinate(f.latitude, true, geo.latitude) < 0) return fail("Bad latitude input");
    if (Blank(f.longitude)) return fail("Missing longitude input");
    if (ParseCoordinate(f.longitude, false, geo.longitude) < 0) return fail("Bad longitude input");
  } else {
    UtmPosition u;
    if (Blank(f.zone)) return fail("Missing zone input");
    if (ParseUtmZone(f.zone, u.zone, u.band) < 0) return fail("Bad zone input");
    if (Blank(f.easting)) return fail("Missing easting input");
    if (ParseDecimal(f.easting, u.easting) < 0) return fail("Bad easting character");
    if (!(u.easting >= 0 && u.easting <= 1000000)) return fail("Easting value out of range");
    if (Blank(f.northing)) return fail("Missing northing input");
    if (ParseDecimal(f.northing, u.northing) < 0) return fail("Bad northing character");
    if (!(u.northing >= 0 && u.northing <= 20000000)) return fail("Northing value out of range");
    geo = FromUtm(u);
  }
  // A UTM position far outside its zone can land beyond a pole; it must not
  // be stored as a wrapped or pinned position.
  const auto semi = ToSemicircles(geo);
  if (!semi) return fail(f.utm ? "Northing value out of range" : "Bad latitude input");
  w.latitude = semi->latitude;
  w.longitude = semi->longitude;
  return {w, std::nullopt};
}

// --- Calculate distance ----------------------------------------------------

PositionRead ReadDistanceFields(const PositionFields& f, bool utm, bool isFrom) {
  const std::string side = isFrom ? "Reading FROM " : "Reading TO ";
  const auto fail = [&side](std::string_view what, std::string_view text) {
    return PositionRead{std::nullopt, Err(side + std::string(what), text)};
  };
  GeoPosition geo;
  if (!utm) {
    if (Blank(f.latitude)) return fail("latitude", "Missing input");
    if (ParseCoordinate(f.latitude, true, geo.latitude) < 0) return fail("latitude", "Bad latitude input");
    if (Blank(f.longitude)) return fail("longitude", "Missing input");
    if (ParseCoordinate(f.longitude, false, geo.longitude) < 0) return fail("longitude", "Bad longitude input");
    return {geo, std::nullopt};
  }
  UtmPosition u;
  if (Blank(f.zone)) return fail("zone", "Missing input");
  if (ParseUtmZone(f.zone, u.zone, u.band) < 0) return fail("zone", isFrom ? "Bad zone input" : "Bad input");
  if (Blank(f.easting)) return fail("easting", "Missing input");
  if (ParseDecimal(f.easting, u.easting) < 0) return fail("easting", "Bad input");
  if (Blank(f.northing)) return fail("northing", "Missing input");
  if (ParseDecimal(f.northing, u.northing) < 0) return fail("northing", "Bad input");
  return {FromUtm(u), std::nullopt};
}

std::string DistanceText(const GeoPosition& from, const GeoPosition& to) {
  const GeoDistanceResult d = GeoDistance(from, to);
  if (d.status != 0 || !std::isfinite(d.metres)) return "Error";
  return FormatFixed(d.metres, 2);
}

// --- Coordinate conversion -------------------------------------------------

ConversionResult ConvertToUtm(std::string_view latitude, std::string_view longitude, std::string_view zone) {
  ConversionResult r;
  GeoPosition geo;
  if (Blank(latitude)) {
    r.error = Err("Decoding latitude string", "Missing input");
    return r;
  }
  if (ParseCoordinate(latitude, true, geo.latitude) < 0) {
    r.error = Err("Decoding latitude string", "Bad latitude input");
    return r;
  }
  if (Blank(longitude)) {
    r.error = Err("Decoding longitude string", "Missing input");
    return r;
  }
  if (ParseCoordinate(longitude, false, geo.longitude) < 0) {
    r.error = Err("Decoding longitude string", "Bad longitude input");
    return r;
  }
  UtmPosition u;
  if (!Blank(zone)) {
    char band = 0;
    if (ParseUtmZone(zone, u.zone, band) < 0) {
      r.error = Err("Decoding zone string", "Bad zone input");
      return r;
    }
  }
  ToUtm(geo, u);
  r.zone = FormatUtmZone(u.zone, u.band);
  r.easting = FormatUtmMetres(u.easting);
  r.northing = FormatUtmMetres(u.northing);
  return r;
}

ConversionResult ConvertToDegrees(std::string_view zone, std::string_view easting, std::string_view northing) {
  ConversionResult r;
  UtmPosition u;
  const struct {
    std::string_view text;
    const char* caption;
  } fields[] = {{zone, "Decoding zone string"},
                {easting, "Decoding easting string"},
                {northing, "Decoding northing string"}};
  // Each field in turn: empty, then unreadable, before the next is looked at.
  const auto bad = [&r, &fields](size_t i, bool ok) {
    if (Blank(fields[i].text)) {
      r.error = Err(fields[i].caption, "Missing input");
    } else if (!ok) {
      r.error = Err(fields[i].caption, "Bad input");
    }
    return r.error.has_value();
  };
  if (bad(0, ParseUtmZone(zone, u.zone, u.band) >= 0)) return r;
  if (bad(1, ParseDecimal(easting, u.easting) >= 0)) return r;
  if (bad(2, ParseDecimal(northing, u.northing) >= 0)) return r;
  const GeoPosition geo = FromUtm(u);
  auto lat = FormatArcSeconds(geo.latitude, true);
  auto lon = FormatArcSeconds(geo.longitude, false);
  if (!lat || !lon) {
    r.error = Err(fields[0].caption, "Bad input");
    return r;
  }
  r.latitude = *lat;
  r.longitude = *lon;
  return r;
}

}  // namespace skylode
