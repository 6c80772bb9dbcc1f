#include "formats/waypoint_files.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "analysis/coordinate_text.h"
#include "analysis/geodesy.h"
#include "formats/gpx_reader.h"
#include "formats/kml_reader.h"
#include "formats/text_output_buffer.h"
#include "formats/xml_text.h"
#include "formats/xml_tokenizer.h"
#include "records/angles.h"
#include "records/numeric.h"
#include "records/text_encoding.h"

namespace skylode {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr double kFeetToMetres = 0.3048;
constexpr double kMetresToFeet = 3.28084;
constexpr double kRadiansToDegrees = 57.29577951308;
// The Ozi day number of the program's epoch (1989-12-31 counted from 1899-12-30).
constexpr double kOziEpochDay = 32873.0;

std::string_view WithoutBom(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The lines of a text, each with its number (from 1) and without its line
// end. A NUL ends the text, as it always has for these readers.
struct Line {
  int number = 0;
  std::string_view text;
};

std::vector<Line> SplitLines(std::string_view text) {
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<Line> lines;
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({++number, line});
    start = end + 1;
  }
  return lines;
}

bool IsEmptyLine(std::string_view line) { return TrimBlanks(line).empty(); }

Error BadLine(int line) { return Error::Content("Bad line " + std::to_string(line), line); }

std::vector<std::string_view> SplitCommas(std::string_view line, size_t maxFields = SIZE_MAX) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = fields.size() + 1 < maxFields ? line.find(',', start) : std::string_view::npos;
    if (comma == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
}

// Comma-separated fields where a field in double quotes may hold commas;
// "" inside quotes is one quote. The quotes are removed; `quoted` tells
// which fields had them.
std::vector<std::string> SplitQuoted(std::string_view line, std::vector<bool>& quoted) {
  std::vector<std::string> fields;
  quoted.clear();
  size_t i = 0;
  for (;;) {
    std::string field;
    bool inQuotes = false, wasQuoted = false;
    size_t k = i;
    while (k < line.size() && line[k] == ' ') ++k;
    if (k < line.size() && line[k] == '"') {
      inQuotes = wasQuoted = true;
      i = k + 1;
    }
    while (i < line.size()) {
      const char c = line[i];
      if (inQuotes) {
        if (c == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          inQuotes = false;
          ++i;
          continue;
        }
        field.push_back(c);
        ++i;
      } else {
        if (c == ',') break;
        field.push_back(c);
        ++i;
      }
    }
    fields.push_back(std::move(field));
    quoted.push_back(wasQuoted);
    if (i >= line.size()) return fields;
    ++i;  // the comma
  }
}

std::optional<double> Decimal(std::string_view text) {
  double v = 0;
  if (ParseDecimal(text, v) != 0) return std::nullopt;
  return v;
}

// A height in metres that fits the record, or nothing.
std::optional<int32_t> Metres(double metres) { return CheckedRound<int32_t>(metres); }

Waypoint NewWaypoint(uint32_t now) {
  Waypoint w;
  w.time = now;
  w.symbol = kDefaultWaypointSymbol;
  return w;
}

bool SetPosition(Waypoint& w, double latitudeRadians, double longitudeRadians) {
  const auto lat = RadiansToLatitude(latitudeRadians);
  const auto lon = RadiansToLongitude(longitudeRadians);
  if (!lat || !lon) return false;
  w.latitude = *lat;
  w.longitude = *lon;
  return true;
}

Result<WaypointList> Finished(WaypointList list) {
  if (list.items.empty()) return Error::Content("No waypoints found");
  return list;
}

// --- OziExplorer -----------------------------------------------------------------------

// Days since 1899-12-30 as program time; 0 is "now". Days before the
// program's epoch count as the epoch, days past the end of the 32-bit scale
// as its last second.
uint32_t OziDaysToTime(double days, uint32_t now) {
  if (days == 0) return now;
  if (days < kOziEpochDay) days = kOziEpochDay;
  const double seconds = std::trunc((days - kOziEpochDay) * 86400.0 + 0.5);
  if (!(seconds < 4294967295.0)) return UINT32_MAX;
  return static_cast<uint32_t>(seconds);
}

}  // namespace

WaypointIdCheck::Outcome WaypointIdCheck::Check(std::string_view text, std::string& id) {
  if (auto strict = NormaliseWaypointId(text, false)) {
    if (strict->empty()) return Outcome::kBad;
    id = std::move(*strict);
    return Outcome::kOk;
  }
  if (!all_) {
    // The dialog shows the ID as the file has it; a field of any length is
    // cut to what a person can read.
    const std::string shown = BoundedWaypointName(text);
    const ModifyIdAnswer answer = options_.askModifyId ? options_.askModifyId(shown) : ModifyIdAnswer::kYes;
    if (answer == ModifyIdAnswer::kSkip) return Outcome::kSkip;
    if (answer == ModifyIdAnswer::kCancel) return Outcome::kBad;
    if (answer == ModifyIdAnswer::kYesToAll) all_ = true;
  }
  auto lenient = NormaliseWaypointId(text, true);
  if (!lenient || lenient->empty()) return Outcome::kBad;
  id = std::move(*lenient);
  return Outcome::kOk;
}

std::string BoundedWaypointName(std::string_view text) {
  const std::string utf8 = IsWellFormedUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
  std::string out;
  size_t characters = 0;
  std::string_view s = utf8;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  for (size_t i = 0; i < s.size() && characters < kWaypointNameMax;) {
    uint32_t cp = 0;
    size_t n = Utf8SequenceLength(s, i, cp);
    if (n == 0) n = 1;  // cannot happen after the decoding above
    if (cp < 0x20 || cp == 0x7F) {
      out.push_back(' ');
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
    ++characters;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

WaypointFileKind RecogniseWaypointFile(std::string_view text) {
  text = WithoutBom(text);
  if (StartsWith(text, "OziExplorer Waypoint File")) return WaypointFileKind::kOzi;
  if (StartsWith(text, "$FormatGEO")) return WaypointFileKind::kGeographical;
  if (StartsWith(text, "$FormatUTM")) return WaypointFileKind::kUtm;
  if (StartsWith(text, "Title,Code,Country,Latitude,Longitude") ||
      StartsWith(text, "name,code,country,lat,lon,elev,style,"))
    return WaypointFileKind::kSeeYou;
  if (StartsWith(text, "MsRcd")) return WaypointFileKind::kMapSource;
  // Another byte-order mark: a UTF-16 text none of our readers can take.
  if (StartsWith(text, "\xFF\xFE") || StartsWith(text, "\xFE\xFF")) return WaypointFileKind::kUnknown;

  std::string copy(text.substr(0, text.find('\0')));
  char* cursor = copy.data();
  XmlTag tag;
  XmlNext next = NextXmlTag(cursor, tag);
  if (next == XmlNext::kEnd) return WaypointFileKind::kWinPilot;
  if (next == XmlNext::kBroken || std::string_view(tag.name) != "?xml") return WaypointFileKind::kUnknown;
  // Comments may stand between the declaration and the root.
  do {
    next = NextXmlTag(cursor, tag);
  } while ((next == XmlNext::kTag || next == XmlNext::kEmptyTag) && tag.kind != XmlTagKind::kElement);
  if (next != XmlNext::kTag && next != XmlNext::kEmptyTag) return WaypointFileKind::kUnknown;
  const std::string_view root = tag.name;
  if (root == "gpx") return WaypointFileKind::kGpx;
  if (root == "kml") return WaypointFileKind::kKml;
  return WaypointFileKind::kUnknown;
}

Result<WaypointList> ReadWaypointText(std::string_view text, const WaypointReadOptions& options) {
  text = WithoutBom(text);
  switch (RecogniseWaypointFile(text)) {
    case WaypointFileKind::kOzi: return ReadOziWaypoints(text, options);
    case WaypointFileKind::kGeographical: return ReadGeographicalWaypoints(text, options);
    case WaypointFileKind::kUtm: return ReadUtmWaypoints(text, options);
    case WaypointFileKind::kSeeYou: return ReadSeeYouWaypoints(text, options);
    case WaypointFileKind::kWinPilot: return ReadWinPilotWaypoints(text, options);
    case WaypointFileKind::kGpx: {
      Result<WaypointList> r = ReadGpxWaypoints(text, options);
      if (!r.ok()) return r;
      return Finished(std::move(*r));
    }
    case WaypointFileKind::kKml: {
      Result<WaypointList> r = ReadKmlWaypoints(text, options.now);
      if (!r.ok()) return r;
      return Finished(std::move(*r));
    }
    case WaypointFileKind::kMapSource:
      return ReadMapSourceWaypoints(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                                    options);
    case WaypointFileKind::kUnknown: break;
  }
  return Error::Content("No waypoints found");
}

Result<WaypointList> ReadOziWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  for (const Line& line : SplitLines(text)) {
    if (line.number <= 4 || IsEmptyLine(line.text)) continue;
    std::vector<std::string_view> f = SplitCommas(line.text);
    if (f.size() < 11) return BadLine(line.number);
    for (auto& field : f) field = TrimBlanks(field);
    Waypoint w = NewWaypoint(options.now);
    std::string id;
    const auto outcome = ids.Check(f[1], id);
    if (outcome == WaypointIdCheck::Outcome::kSkip) continue;
    if (outcome == WaypointIdCheck::Outcome::kBad) return BadLine(line.number);
    w.id = std::move(id);
    const auto lat = Decimal(f[2]);
    const auto lon = Decimal(f[3]);
    if (!lat || !lon || !(*lat > -90 && *lat < 90) || !(*lon > -180 && *lon < 180)) return BadLine(line.number);
    if (!SetPosition(w, *lat / kRadiansToDegrees, *lon / kRadiansToDegrees)) return BadLine(line.number);
    double days = 0;
    if (!f[4].empty()) {
      const auto d = Decimal(f[4]);
      if (!d) return BadLine(line.number);
      days = *d;
    }
    w.time = OziDaysToTime(days, options.now);
    w.symbol = 0;
    if (!f[5].empty() && ParseSignedInteger(f[5], w.symbol) != 0) return BadLine(line.number);
    w.name = NormaliseDescription(f[10]);
    if (f.size() >= 15 && !f[14].empty()) {
      const auto feet = Decimal(f[14]);
      if (!feet) return BadLine(line.number);
      if (*feet != -777) {
        const auto metres = Metres(*feet * kFeetToMetres);
        if (!metres) return BadLine(line.number);
        w.height = *metres < 0 ? 0 : *metres;
      }
    }
    list.items.push_back(std::move(w));
  }
  return Finished(std::move(list));
}

// --- The column formats ---------------------------------------------------------------

namespace {

// The next blank-separated word of `rest`, which moves past it.
std::string_view NextWord(std::string_view& rest) {
  size_t i = 0;
  while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
  size_t j = i;
  while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t') ++j;
  const std::string_view word = rest.substr(i, j - i);
  rest.remove_prefix(j);
  return word;
}

}  // namespace

Result<WaypointList> ReadGeographicalWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  for (const Line& line : SplitLines(text)) {
    if (line.number == 1 || IsEmptyLine(line.text)) continue;
    std::string_view rest = line.text;
    Waypoint w = NewWaypoint(options.now);
    std::string id;
    const auto outcome = ids.Check(NextWord(rest), id);
    if (outcome == WaypointIdCheck::Outcome::kSkip) continue;
    if (outcome == WaypointIdCheck::Outcome::kBad) return BadLine(line.number);
    w.id = std::move(id);
    double lat = 0, lon = 0;
    size_t used = 0;
    if (ParseHemisphereCoordinate(rest, true, lat, used) != 0 || used >= rest.size() || rest[used] != ' ')
      return BadLine(line.number);
    rest.remove_prefix(used);
    if (ParseHemisphereCoordinate(rest, false, lon, used) != 0 || used >= rest.size() || rest[used] != ' ')
      return BadLine(line.number);
    rest.remove_prefix(used);
    if (!SetPosition(w, lat, lon)) return BadLine(line.number);
    const auto height = Decimal(NextWord(rest));
    if (!height) return BadLine(line.number);
    if (*height >= 0) {
      const auto metres = Metres(*height);
      if (!metres) return BadLine(line.number);
      w.height = *metres;
    }
    w.name = BoundedWaypointName(rest);
    list.items.push_back(std::move(w));
  }
  return Finished(std::move(list));
}

Result<WaypointList> ReadUtmWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  for (const Line& line : SplitLines(text)) {
    if (line.number == 1 || IsEmptyLine(line.text)) continue;
    std::string_view rest = line.text;
    Waypoint w = NewWaypoint(options.now);
    std::string id;
    const auto outcome = ids.Check(NextWord(rest), id);
    if (outcome == WaypointIdCheck::Outcome::kSkip) continue;
    if (outcome == WaypointIdCheck::Outcome::kBad) return BadLine(line.number);
    w.id = std::move(id);
    UtmPosition utm;
    if (ParseUtmZone(NextWord(rest), utm.zone, utm.band) != 0) return BadLine(line.number);
    const auto easting = Decimal(NextWord(rest));
    const auto northing = Decimal(NextWord(rest));
    if (!easting || !northing) return BadLine(line.number);
    utm.easting = *easting;
    utm.northing = *northing;
    const auto position = RadiansToSemicircles(FromUtm(utm));
    if (!position) return BadLine(line.number);
    w.latitude = position->latitude;
    w.longitude = position->longitude;
    if (ParseSignedInteger(NextWord(rest), w.height) != 0) return BadLine(line.number);
    w.name = NormaliseDescription(TrimBlanks(rest));
    list.items.push_back(std::move(w));
  }
  return Finished(std::move(list));
}

// --- SeeYou ---------------------------------------------------------------------------

namespace {

// "1200.6m" in metres, "1200ft" in feet; anything else (an empty field
// included) is no height.
std::optional<int32_t> SeeYouElevation(std::string_view text) {
  text = TrimBlanks(text);
  double factor = 0;
  if (text.size() > 2 && (text.ends_with("ft") || text.ends_with("FT"))) {
    factor = kFeetToMetres;
    text.remove_suffix(2);
  } else if (text.size() > 1 && (text.back() == 'm' || text.back() == 'M')) {
    factor = 1;
    text.remove_suffix(1);
  } else {
    return 0;
  }
  const auto value = Decimal(text);
  if (!value) return std::nullopt;
  return Metres(*value * factor);
}

}  // namespace

Result<WaypointList> ReadSeeYouWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  std::vector<bool> quoted;
  for (const Line& line : SplitLines(text)) {
    if (line.number == 1 || IsEmptyLine(line.text)) continue;
    // The tasks that follow this line are no waypoints.
    if (StartsWith(TrimBlanks(line.text), "-----Related Tasks-----")) break;
    const std::vector<std::string> f = SplitQuoted(line.text, quoted);
    if (!quoted[0]) continue;
    if (f.size() < 10) return BadLine(line.number);
    Waypoint w = NewWaypoint(options.now);
    w.name = BoundedWaypointName(f[0]);
    std::string id;
    const auto outcome = ids.Check(TrimBlanks(f[1]).empty() ? std::string_view(f[0]) : std::string_view(f[1]), id);
    if (outcome == WaypointIdCheck::Outcome::kSkip) continue;
    if (outcome == WaypointIdCheck::Outcome::kBad) return BadLine(line.number);
    w.id = std::move(id);
    double lat = 0, lon = 0;
    if (ParseNmeaCoordinate(f[3], true, lat) != 0 || ParseNmeaCoordinate(f[4], false, lon) != 0 ||
        !SetPosition(w, lat, lon))
      return BadLine(line.number);
    const auto height = SeeYouElevation(f[5]);
    if (!height) return BadLine(line.number);
    w.height = *height;
    list.items.push_back(std::move(w));
  }
  return Finished(std::move(list));
}

// --- WinPilot -------------------------------------------------------------------------

namespace {

// "45:30.000N" or "45:30:15N" (degrees below `maxDegrees`), either case.
std::optional<double> WinPilotAngle(std::string_view text, int maxDegrees, char positive, char negative) {
  text = TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  const char hemisphere = static_cast<char>(text.back() & ~0x20);
  if (hemisphere != positive && hemisphere != negative) return std::nullopt;
  text.remove_suffix(1);
  const auto number = [](std::string_view& s, int& value) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    if (r.ec != std::errc{} || r.ptr == s.data() || value < 0) return false;
    s.remove_prefix(static_cast<size_t>(r.ptr - s.data()));
    return true;
  };
  int degrees = 0, minutes = 0;
  if (!number(text, degrees) || degrees >= maxDegrees || text.empty() || text.front() != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!number(text, minutes) || minutes >= 60 || text.empty()) return std::nullopt;
  double value = degrees + minutes / 60.0;
  if (text.front() == ':') {
    text.remove_prefix(1);
    const auto seconds = Decimal(text);
    if (!seconds || *seconds < 0 || *seconds >= 60 || text.front() == '-' || text.front() == '+') return std::nullopt;
    value += *seconds / 3600.0;
  } else if (text.front() == '.') {
    const auto fraction = Decimal("0" + std::string(text));
    if (!fraction) return std::nullopt;
    value += *fraction / 60.0;
  } else {
    return std::nullopt;
  }
  return (hemisphere == negative ? -value : value) / kRadiansToDegrees;
}

// Optional sign, a decimal number, then M (or nothing) for metres or F for feet.
std::optional<int32_t> WinPilotHeight(std::string_view text) {
  text = TrimBlanks(text);
  double factor = 1;
  if (!text.empty() && (text.back() == 'F' || text.back() == 'f')) {
    factor = kFeetToMetres;
    text.remove_suffix(1);
  } else if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) {
    text.remove_suffix(1);
  }
  const auto value = Decimal(text);
  if (!value) return std::nullopt;
  return Metres(*value * factor);
}

}  // namespace

Result<WaypointList> ReadWinPilotWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  for (const Line& line : SplitLines(text)) {
    if (IsEmptyLine(line.text)) continue;
    // Comment lines, as WinPilot itself writes them.
    if (TrimBlanks(line.text).front() == '*') continue;
    const std::vector<std::string_view> f = SplitCommas(line.text, 7);
    if (f.size() < 6 || TrimBlanks(f[0]).empty()) return BadLine(line.number);
    Waypoint w = NewWaypoint(options.now);
    const auto lat = WinPilotAngle(f[1], 90, 'N', 'S');
    const auto lon = WinPilotAngle(f[2], 180, 'E', 'W');
    if (!lat || !lon || !SetPosition(w, *lat, *lon)) return BadLine(line.number);
    const auto height = WinPilotHeight(f[3]);
    if (!height) return BadLine(line.number);
    w.height = *height;
    // Field 6 is the short name, the ID; field 7 the description. Files
    // without a description carry the one name in field 6.
    std::string id;
    const auto outcome = ids.Check(TrimBlanks(f[5]), id);
    if (outcome == WaypointIdCheck::Outcome::kSkip) continue;
    if (outcome == WaypointIdCheck::Outcome::kBad) return BadLine(line.number);
    w.id = std::move(id);
    const std::string_view description = f.size() > 6 ? TrimBlanks(f[6]) : std::string_view();
    w.name = BoundedWaypointName(description.empty() ? f[5] : description);
    list.items.push_back(std::move(w));
  }
  return Finished(std::move(list));
}

// --- Writers --------------------------------------------------------------------------

namespace {

double Degrees(int32_t semicircles) { return SemicirclesToRadians(semicircles) * kRadiansToDegrees; }

std::string Fixed(double value, int decimals) {
  TextOutputBuffer b;
  b.Fixed(value, decimals);
  return b.Take();
}

// Blank-padded to `width` characters, right-aligned or (`left`) left-aligned.
std::string Pad(std::string text, size_t width, bool left = false) {
  if (text.size() >= width) return text;
  const std::string blanks(width - text.size(), ' ');
  return left ? text + blanks : blanks + text;
}

std::string Digits(int64_t value, int width) {
  TextOutputBuffer b;
  b.Int(value, width);
  return b.Take();
}

// A name in a comma-separated line: a comma would start another field.
std::string NoCommas(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c == ',') c = ' ';
  return s;
}

// At most `count` characters (code points) of UTF-8.
std::string FirstCharacters(std::string_view text, size_t count) {
  size_t i = 0;
  for (size_t n = 0; i < text.size() && n < count; ++n) {
    uint32_t cp = 0;
    const size_t len = Utf8SequenceLength(text, i, cp);
    i += len == 0 ? 1 : len;
  }
  return std::string(text.substr(0, i));
}

struct MilliMinutes {
  int32_t degrees, minutes, thousandths;
  char hemisphere;
};

MilliMinutes ToMilliMinutes(int32_t semicircles, bool latitude) {
  const int32_t mm = SemicirclesToMilliMinutes(semicircles);
  const int32_t a = mm < 0 ? -mm : mm;
  return {a / 60000, a / 1000 % 60, a % 1000, latitude ? (mm < 0 ? 'S' : 'N') : (mm < 0 ? 'W' : 'E')};
}

std::string MilliMinutesText(int32_t semicircles, bool latitude, int degreeDigits, bool colon) {
  const MilliMinutes m = ToMilliMinutes(semicircles, latitude);
  std::string s = colon ? std::to_string(m.degrees) + ":" : Digits(m.degrees, degreeDigits);
  return s + Digits(m.minutes, 2) + "." + Digits(m.thousandths, 3) + m.hemisphere;
}

std::string CentiSecondsText(int32_t semicircles, bool latitude) {
  const int32_t cs = SemicirclesToCentiSeconds(semicircles);
  const int32_t a = cs < 0 ? -cs : cs;
  const char h = latitude ? (cs < 0 ? 'S' : 'N') : (cs < 0 ? 'W' : 'E');
  return std::string(1, h) + " " + Digits(a / 360000, latitude ? 2 : 3) + " " + Digits(a / 6000 % 60, 2) + " " +
         Digits(a / 100 % 60, 2) + "." + Digits(a % 100, 2);
}

}  // namespace

std::string BuildOziWaypointFile(const WaypointList& list) {
  std::string out = "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
  int number = 0;
  for (const Waypoint& w : list.items) {
    const double feet = RoundHalfAway(w.height * kMetresToFeet);
    out += Pad(std::to_string(++number), 4) + "," + Pad(w.id, 14, true) + "," + Pad(Fixed(Degrees(w.latitude), 6), 11) +
           "," + Pad(Fixed(Degrees(w.longitude), 6), 11) + "," + Fixed(w.time / 86400.0 + kOziEpochDay, 7) + "," +
           std::to_string(w.symbol) + ", 1, 3, 0, 65535," + Pad(NoCommas(w.name), 40, true) + ", 0, 0, 0, " +
           Fixed(feet, 0) + "\r\n";
  }
  return out;
}

std::string BuildGeographicalWaypointFile(const WaypointList& list) {
  std::string out = "$FormatGEO\r\n";
  for (const Waypoint& w : list.items) {
    out += Pad(w.id, 10, true) + CentiSecondsText(w.latitude, true) + "    " + CentiSecondsText(w.longitude, false) +
           " " + Pad(std::to_string(w.height), 5) + "  " + w.name + "\r\n";
  }
  return out;
}

std::string BuildUtmWaypointFile(const WaypointList& list) {
  std::string out = "$FormatUTM\r\n";
  for (const Waypoint& w : list.items) {
    UtmPosition utm;
    ToUtm(SemicirclesToRadians(w.latitude, w.longitude), utm);
    const auto metres = [](double v) { return Digits(static_cast<int64_t>(std::trunc(v + 0.5)), 7); };
    out += w.id + std::string(w.id.size() < 9 ? 9 - w.id.size() : 0, ' ') + Digits(utm.zone, 2) + utm.band + "   " +
           metres(utm.easting) + "   " + metres(utm.northing) + "  " + Pad(std::to_string(w.height), 5) + "  " +
           w.name + "\r\n";
  }
  return out;
}

std::string BuildSeeYouWaypointFile(const WaypointList& list) {
  std::string out = "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,Description\r\n";
  for (const Waypoint& w : list.items) {
    std::string title = w.name.empty() ? w.id : w.name;
    // A quote would end the title early.
    for (char& c : title)
      if (c == '"') c = '\'';
    out += "\"" + title + "\"," + w.id + ",," + MilliMinutesText(w.latitude, true, 2, false) + "," +
           MilliMinutesText(w.longitude, false, 3, false) + "," + std::to_string(w.height) + ".0m,1,,,,\r\n";
  }
  return out;
}

std::string BuildWinPilotWaypointFile(const WaypointList& list) {
  std::string out;
  int number = 0;
  for (const Waypoint& w : list.items) {
    out += std::to_string(++number) + "," + MilliMinutesText(w.latitude, true, 0, true) + "," +
           MilliMinutesText(w.longitude, false, 0, true) + "," + std::to_string(w.height) + ",T," + w.id + "," +
           NoCommas(FirstCharacters(w.name, 12)) + "\r\n";
  }
  return out;
}

}  // namespace skylode
