// OziExplorer track files (.plt): six header lines, then one point a line
// with its date as a day number counted from 1899-12-30.
#include <cmath>
#include <new>

#include "analysis/coordinate_text.h"
#include "formats/text_lines.h"
#include "formats/text_output_buffer.h"
#include "formats/track_files.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

// The Ozi day number of the program's epoch (1989-12-31).
constexpr double kOziEpochDay = 32873.0;
constexpr double kDecimetresToFeet = 0.328084;
constexpr double kFeetToDecimetres = 3.048;
constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

Error BadLine(int line) { return Error::Content("Bad line " + std::to_string(line), line); }

Result<std::vector<TrackPoint>> Read(std::string_view text) {
  const std::vector<TextLine> lines = SplitTextLines(WithoutUtf8Bom(text));
  if (lines.empty()) return Error::Content("Missing format line (1)", 1);
  if (lines[0].text.substr(0, 28) != "OziExplorer Track Point File") return Error::Content("Bad format line (1)", 1);
  if (lines.size() < 2) return Error::Content("Missing map datum line (2)", 2);
  if (TrimLine(lines[1].text) != "WGS 84") return Error::Content("Bad map datum line (2)", 2);
  if (lines.size() < 6) return Error::Content("Missing line(s)", static_cast<int>(lines.size()) + 1);

  std::vector<TrackPoint> points;
  for (size_t k = 6; k < lines.size(); ++k) {
    const int n = lines[k].number;
    if (TrimLine(lines[k].text).empty()) continue;
    const std::vector<std::string_view> f = SplitFields(lines[k].text, ',');
    if (f.size() < 5) return BadLine(n);
    double lat = 0, lon = 0, code = 0, feet = 0, days = 0;
    if (ParseDecimal(f[0], lat) != 0 || ParseDecimal(f[1], lon) != 0 || ParseDecimal(f[2], code) != 0 ||
        ParseDecimal(f[3], feet) != 0 || ParseDecimal(f[4], days) != 0)
      return BadLine(n);
    if (!(lat >= -90 && lat <= 90) || !(lon >= -180 && lon <= 180)) return BadLine(n);
    // Before the program's epoch the time would wrap round to 2126.
    const double seconds = std::round((days - kOziEpochDay) * kSecondsPerDay);
    if (!(seconds >= 0 && seconds <= 4294967295.0)) return BadLine(n);
    TrackPoint p;
    p.latitude = DegreesToLatitude(lat).value_or(0);
    p.longitude = DegreesToLongitude(lon).value_or(0);
    p.time = static_cast<uint32_t>(seconds);
    if (code == 1) p.flags |= kTrackPointStartsSegment;
    if (feet == kOziNoHeightFeet) {
      p.flags |= kTrackPointNoGpsHeight;
    } else {
      if (!(std::fabs(feet) < 300000)) return BadLine(n);
      p.gpsHeight = static_cast<int32_t>(RoundHalfAway(feet * kFeetToDecimetres));
    }
    points.push_back(p);
  }
  if (points.empty()) return Error::Content("No track positions found");
  points.front().flags |= kTrackPointStartsSegment;
  return points;
}

}  // namespace

std::string BuildOziTrack(std::span<const TrackPoint> points) {
  TextOutputBuffer out(200 + points.size() * 64);
  out.Append("OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n0,2,255,");
  const CalendarTime first = SecondsToDateTime(points.empty() ? 0 : points.front().time);
  out.Int(first.day, 2).Append('.').Int(first.month, 2).Append('.').Int(first.year % 100, 2).Append(' ');
  out.Int(first.hour, 2).Append(':').Int(first.minute, 2).Append(':').Int(first.second, 2);
  out.Append("                  ,0,0,2,8421376\r\n");
  out.Int(static_cast<int64_t>(points.size())).Append("\r\n");
  for (const TrackPoint& p : points) {
    out.Append("  ").Fixed(SemicirclesToDegrees(p.latitude), 6).Append(",  ");
    out.Fixed(SemicirclesToDegrees(p.longitude), 6).Append(',');
    out.Int(p.flags & kTrackPointStartsSegment).Append(',');
    const int64_t feet = (p.flags & kTrackPointNoGpsHeight) != 0
                             ? kOziNoHeightFeet
                             : static_cast<int64_t>(RoundHalfAway(p.gpsHeight * kDecimetresToFeet));
    out.PaddedInt(feet, 7).Append(',');
    out.Fixed(p.time / static_cast<double>(kSecondsPerDay) + kOziEpochDay, 7).Append(", ");
    const CalendarTime t = SecondsToDateTime(p.time);
    out.Int(t.day, 2).Append('-').Append(kMonths[(t.month + 11) % 12]).Append('-').Int(t.year % 100, 2);
    out.Append(", ").Int(t.hour, 2).Append(':').Int(t.minute, 2).Append(':').Int(t.second, 2).Append("\r\n");
  }
  return out.Take();
}

Result<std::vector<TrackPoint>> ReadOziTrack(std::string_view text) {
  try {
    return Read(text);
  } catch (const std::bad_alloc&) {
    return Error::Of(ErrorKind::kNoMemory, "Track log memory allocation");
  }
}

}  // namespace skylode
