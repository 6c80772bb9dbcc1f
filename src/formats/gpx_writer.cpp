#include "formats/gpx_writer.h"

#include <algorithm>
#include <cmath>

#include "analysis/coordinate_text.h"
#include "formats/text_output_buffer.h"
#include "formats/xml_text.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

constexpr double kRadiansToDegrees = 57.29577951308;
constexpr double kFeetToMetres = 0.3048;
constexpr std::string_view kGarminExtensions = "http://www.garmin.com/xmlschemas/GpxExtensions/v3";

double Degrees(int32_t semicircles) { return SemicirclesToRadians(semicircles) * kRadiansToDegrees; }

void AppendDateTime(TextOutputBuffer& out, uint32_t time, bool zulu) {
  const CalendarTime t = SecondsToDateTime(time);
  out.Int(t.year).Append('-').Int(t.month, 2).Append('-').Int(t.day, 2).Append('T');
  out.Int(t.hour, 2).Append(':').Int(t.minute, 2).Append(':').Int(t.second, 2);
  if (zulu) out.Append('Z');
}

void AppendHead(TextOutputBuffer& out) {
  out.Append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  out.Append("<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"\r\n");
  out.Append("     creator=\"Skylode ").Int(kGpxProgramVersion / 100).Append('.').Int(kGpxProgramVersion % 100, 2);
  out.Append("\"\r\n");
  out.Append("     version=\"1.1\"\r\n");
  out.Append("     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n");
  out.Append(
      "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
      "http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n");
}

// The program has no home page a link could name (a link without its
// address is not valid GPX), so the text that would have stood in the link
// describes the file instead.
void AppendDescriptionAndTime(TextOutputBuffer& out, uint32_t now) {
  out.Append("    <desc>Skylode, for the Aerodiary flight log</desc>\r\n");
  out.Append("    <time>");
  AppendDateTime(out, now, true);
  out.Append("</time>\r\n");
}

struct Bounds {
  double minLat = 90, minLon = 180, maxLat = -90, maxLon = -180;
  void Add(double lat, double lon) {
    minLat = std::min(minLat, lat);
    maxLat = std::max(maxLat, lat);
    minLon = std::min(minLon, lon);
    maxLon = std::max(maxLon, lon);
  }
  // An empty list has no extremes; the schema still wants four angles.
  void Settle() {
    if (minLat > maxLat) minLat = minLon = maxLat = maxLon = 0;
  }
};

void AppendMetadata(TextOutputBuffer& out, uint32_t now, Bounds b) {
  b.Settle();
  out.Append("  <metadata>\r\n");
  AppendDescriptionAndTime(out, now);
  out.Append("    <bounds minlat=\"").Fixed(b.minLat, 6).Append("\" minlon=\"").Fixed(b.minLon, 6);
  out.Append("\" maxlat=\"").Fixed(b.maxLat, 6).Append("\" maxlon=\"").Fixed(b.maxLon, 6).Append("\"/>\r\n");
  out.Append("  </metadata>\r\n");
}

}  // namespace

std::string BuildGpxTrack(std::span<const TrackPoint> points, uint32_t now) {
  TextOutputBuffer out(1000 + points.size() * 120);
  Bounds bounds;
  for (const TrackPoint& p : points) bounds.Add(Degrees(p.latitude), Degrees(p.longitude));
  AppendHead(out);
  AppendMetadata(out, now, bounds);
  out.Append("  <trk>\r\n    <name>Track 001</name>\r\n    <trkseg>\r\n");
  for (const TrackPoint& p : points) {
    out.Append("      <trkpt lat=\"").Fixed(Degrees(p.latitude), 6).Append("\" lon=\"").Fixed(Degrees(p.longitude), 6);
    out.Append("\">\r\n        <ele>").Fixed(p.gpsHeight / 10.0, 1).Append("</ele>\r\n        <time>");
    AppendDateTime(out, p.time, true);
    out.Append("</time>\r\n      </trkpt>\r\n");
  }
  out.Append("    </trkseg>\r\n  </trk>\r\n</gpx>\r\n");
  return out.Take();
}

std::string BuildGpxWaypoints(const WaypointList& list, uint32_t now) {
  TextOutputBuffer out(1000 + list.items.size() * 200);
  Bounds bounds;
  for (const Waypoint& w : list.items) bounds.Add(Degrees(w.latitude), Degrees(w.longitude));
  AppendHead(out);
  AppendMetadata(out, now, bounds);
  for (const Waypoint& w : list.items) {
    out.Append("  <wpt lat=\"").Fixed(Degrees(w.latitude), 6).Append("\" lon=\"").Fixed(Degrees(w.longitude), 6);
    out.Append("\">\r\n    <ele>").Fixed(w.height, 1).Append("</ele>\r\n    <time>");
    // Waypoint times carry no zone letter: instruments keep them as local
    // times as often as not.
    AppendDateTime(out, w.time, false);
    out.Append("</time>\r\n    <name>").Append(XmlEscaped(w.id)).Append("</name>\r\n");
    out.Append("    <cmt>").Append(XmlEscaped(w.name)).Append("</cmt>\r\n  </wpt>\r\n");
  }
  out.Append("</gpx>\r\n");
  return out.Take();
}

std::string BuildGpxCtrs(std::span<const CtrOutline> areas, uint32_t now) {
  TextOutputBuffer out(2000);
  Bounds bounds;
  for (const CtrOutline& a : areas)
    for (const LatLonDegrees& p : a.points) bounds.Add(p.latitude, p.longitude);
  AppendHead(out);
  AppendMetadata(out, now, bounds);
  for (const CtrOutline& a : areas) {
    const double ceiling = ParseHeightText(a.ceiling);
    const double floor = ParseHeightText(a.floor);
    out.Append("\r\n  <trk>\r\n    <name>").Append(XmlEscaped(a.name)).Append("</name>\r\n");
    out.Append("    <extensions>\r\n      <gpxx:TrackExtension xmlns:gpxx=\"").Append(kGarminExtensions);
    out.Append("\">\r\n        <gpxx:DisplayColor>Transparent</gpxx:DisplayColor>\r\n");
    out.Append("      </gpxx:TrackExtension>\r\n    </extensions>\r\n\r\n    <trkseg>\r\n");
    for (const LatLonDegrees& p : a.points) {
      out.Append("      <trkpt lat=\"").Fixed(p.latitude, 6).Append("\" lon=\"").Fixed(p.longitude, 6);
      out.Append("\">\r\n        <ele>").Fixed(ceiling, 6).Append("</ele>\r\n        <extensions>\r\n");
      out.Append("          <gpxx:TrackPointExtension xmlns:gpxx=\"").Append(kGarminExtensions).Append("\">\r\n");
      out.Append("            <gpxx:Depth>").Fixed(floor, 6).Append("</gpxx:Depth>\r\n");
      out.Append("          </gpxx:TrackPointExtension>\r\n        </extensions>\r\n      </trkpt>\r\n");
    }
    out.Append("    </trkseg>\r\n  </trk>\r\n");
  }
  out.Append("\r\n</gpx>\r\n");
  return out.Take();
}

double ParseHeightText(std::string_view text) {
  size_t i = 0;
  const auto blanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  const auto upper = [&](size_t k) { return k < text.size() ? static_cast<char>(text[k] & ~0x20) : '\0'; };
  const auto isLetter = [&](size_t k) { return upper(k) >= 'A' && upper(k) <= 'Z'; };
  blanks();
  double factor = kFeetToMetres;
  if (upper(i) == 'F' && upper(i + 1) == 'L') {
    i += 2;
    blanks();
    factor = 100 * kFeetToMetres;
  }
  const size_t start = i;
  while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.' || text[i] == ',')) ++i;
  if (i == start || !(text[start] >= '0' && text[start] <= '9')) return 0;
  double value = 0;
  if (ParseDecimal(text.substr(start, i - start), value) != 0) return 0;
  if (factor != kFeetToMetres) return value * factor;  // a flight level has no unit
  blanks();
  if (upper(i) == 'M' && !isLetter(i + 1)) return value;
  // F, FT and a bare number (followed by MSL, AGL or nothing) are feet.
  return value * kFeetToMetres;
}

}  // namespace skylode
