// CSV track files: ours, and the column files of other programs (a header
// line naming the columns, one point per line).
#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string>

#include "analysis/coordinate_text.h"
#include "formats/text_lines.h"
#include "formats/text_output_buffer.h"
#include "formats/track_files.h"
#include "formats/xml_tokenizer.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {

std::string BuildCsvTrack(std::span<const TrackPoint> points, bool hasBaroHeight) {
  TextOutputBuffer out(64 + points.size() * 64);
  out.Append("Date/time,Latitude,Longitude,H-GPS,H-Baro\r\n");
  for (const TrackPoint& p : points) {
    const CalendarTime t = SecondsToDateTime(p.time);
    out.Int(t.year).Append('-').Int(t.month, 2).Append('-').Int(t.day, 2).Append('T');
    out.Int(t.hour, 2).Append(':').Int(t.minute, 2).Append(':').Int(t.second, 2).Append("Z,");
    out.Fixed(SemicirclesToDegrees(p.latitude), 6).Append(',');
    out.Fixed(SemicirclesToDegrees(p.longitude), 6).Append(',');
    if ((p.flags & kTrackPointNoGpsHeight) == 0) out.Int(GpsHeightMetres(p));
    out.Append(',');
    if (hasBaroHeight) out.Int(p.baroHeight);
    out.Append("\r\n");
  }
  return out.Take();
}

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Unquoted(std::string_view s) {
  s = TrimLine(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

constexpr size_t kNone = SIZE_MAX;

struct Columns {
  char separator = ',';
  size_t time = kNone;  // date and time, or the date alone when `clock` is set
  size_t clock = kNone;  // a separate time-of-day column
  size_t latitude = kNone;
  size_t longitude = kNone;
  size_t height = kNone;
  size_t baro = kNone;
  size_t needed = 0;  // fields a line must have
};

std::optional<Columns> FindColumns(std::string_view header, char separator) {
  Columns c;
  c.separator = separator;
  const std::vector<std::string_view> names = SplitFields(header, separator);
  size_t dateOnly = kNone, timeOnly = kNone;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string name = Upper(Unquoted(names[i]));
    const auto has = [&name](std::string_view piece) { return name.find(piece) != std::string::npos; };
    if (has("TIME") || has("DATE")) {
      if (c.time == kNone) c.time = i;
      if (dateOnly == kNone && !has("TIME")) dateOnly = i;
      if (timeOnly == kNone && !has("DATE")) timeOnly = i;
    } else if (c.latitude == kNone && has("LATITUDE")) {
      c.latitude = i;
    } else if (c.longitude == kNone && has("LONGITUDE")) {
      c.longitude = i;
    } else if (c.height == kNone && (has("ALTITUDE") || has("HEIGHT") || name == "H-GPS")) {
      c.height = i;
    } else if (c.baro == kNone && name == "H-BARO") {
      c.baro = i;
    }
  }
  if (c.time == kNone || c.latitude == kNone || c.longitude == kNone) return std::nullopt;
  // A date alone and a time of day alone ("Date" and "Time", as column
  // programs write them) make the time together.
  if (dateOnly != kNone && timeOnly != kNone && (c.time == dateOnly || c.time == timeOnly)) {
    c.time = dateOnly;
    c.clock = timeOnly;
  }
  for (size_t column : {c.time, c.clock, c.latitude, c.longitude, c.height, c.baro})
    if (column != kNone) c.needed = std::max(c.needed, column + 1);
  return c;
}

std::optional<double> Number(std::string_view field) {
  double value = 0;
  if (ParseDecimal(Unquoted(field), value) != 0) return std::nullopt;
  return value;
}

std::optional<uint32_t> Time(std::string_view dateOrTime, std::optional<std::string_view> clock) {
  if (!clock) {
    const auto t = ParseXmlTime(Unquoted(dateOrTime));
    if (!t) return std::nullopt;
    return t->seconds;
  }
  std::string text(Unquoted(dateOrTime));
  std::replace(text.begin(), text.end(), '/', '-');
  text += 'T';
  text += Unquoted(*clock);
  const auto t = ParseXmlTime(text);
  if (!t) return std::nullopt;
  return t->seconds;
}

Error LineError(const char* what, int line) { return Error::Content(what + std::to_string(line), line); }

Result<CsvTrack> Read(std::string_view text) {
  const std::vector<TextLine> lines = SplitTextLines(WithoutUtf8Bom(text));
  size_t first = 0;
  while (first < lines.size() && TrimLine(lines[first].text).empty()) ++first;
  if (first == lines.size()) return Error::Content("Could not determine items from header", 1);
  std::optional<Columns> found = FindColumns(lines[first].text, ',');
  if (!found) found = FindColumns(lines[first].text, ';');
  if (!found) return Error::Content("Could not determine items from header", lines[first].number);
  const Columns& c = *found;

  CsvTrack track;
  track.hasBaroHeight = c.baro != kNone;
  for (size_t k = first + 1; k < lines.size(); ++k) {
    const int n = lines[k].number;
    if (TrimLine(lines[k].text).empty()) continue;
    const std::vector<std::string_view> f = SplitFields(lines[k].text, c.separator);
    if (f.size() < c.needed) return LineError("Error parsing line ", n);
    TrackPoint p;
    const auto time = Time(f[c.time], c.clock == kNone ? std::nullopt : std::optional(f[c.clock]));
    if (!time) return LineError("Error decoding time on line ", n);
    p.time = *time;
    const auto lat = Number(f[c.latitude]);
    if (!lat) return LineError("Error decoding latitude on line ", n);
    if (!(*lat >= -90 && *lat <= 90)) return LineError("Latitude out of range on line ", n);
    const auto lon = Number(f[c.longitude]);
    if (!lon) return LineError("Error decoding longitude on line ", n);
    if (!(*lon >= -180 && *lon <= 180)) return LineError("Longitude out of range on line ", n);
    p.latitude = DegreesToLatitude(*lat).value_or(0);
    p.longitude = DegreesToLongitude(*lon).value_or(0);
    if (c.height != kNone) {
      if (Unquoted(f[c.height]).empty()) {
        p.flags |= kTrackPointNoGpsHeight;
      } else {
        const auto h = Number(f[c.height]);
        if (!h || !(*h > -100000 && *h < 100000)) return LineError("Bad height data on line ", n);
        p.gpsHeight = static_cast<int32_t>(RoundHalfAway(*h * 10));
      }
    }
    if (c.baro != kNone) {
      const auto b = Number(f[c.baro]);
      if (b && *b > -100000 && *b < 100000) {
        p.baroHeight = static_cast<int32_t>(RoundHalfAway(*b));
      } else {
        // One missing value: the log has no barometric heights to trust.
        track.hasBaroHeight = false;
      }
    }
    track.points.push_back(p);
  }
  if (track.points.empty()) return Error::Content("No track positions found");
  if (!track.hasBaroHeight)
    for (TrackPoint& p : track.points) p.baroHeight = 0;
  track.points.front().flags |= kTrackPointStartsSegment;
  return track;
}

}  // namespace

Result<CsvTrack> ReadCsvTrack(std::string_view text) {
  try {
    return Read(text);
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
}

}  // namespace skylode
