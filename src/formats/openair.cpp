#include "formats/openair.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "formats/text_output_buffer.h"

namespace skylode {
namespace {

constexpr double kKilometre = 1000.0;
constexpr double kNauticalMile = 1852.185;
constexpr double kMetresToNauticalMiles = 0.000539903;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void SkipBlanks(std::string_view s, size_t& i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
}

std::string_view Trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Only blanks, the end of the line or a '*' comment may follow a value.
bool AtValueEnd(std::string_view s, size_t i) {
  SkipBlanks(s, i);
  return i == s.size() || s[i] == '*';
}

// Digits with an optional fraction ('.', or ',' where the record allows it);
// no sign, no exponent. Locale-independent.
std::optional<double> ParseNumber(std::string_view s, size_t& i, bool commaDecimal) {
  const size_t start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  const size_t whole = i - start;
  size_t fraction = 0;
  if (i + 1 < s.size() && (s[i] == '.' || (commaDecimal && s[i] == ',')) && IsDigit(s[i + 1])) {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++fraction;
  } else if (whole > 0 && i < s.size() && s[i] == '.') {
    ++i;  // "5." is five
  }
  if (whole == 0 && fraction == 0) {
    i = start;
    return std::nullopt;
  }
  std::string copy(s.substr(start, i - start));
  for (char& c : copy)
    if (c == ',') c = '.';
  double value = 0;
  const auto [end, ec] = std::from_chars(copy.data(), copy.data() + copy.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) {
    i = start;
    return std::nullopt;
  }
  (void)end;
  return value;
}

// A whole number of at most `maxDigits` digits.
std::optional<int> ParseWhole(std::string_view s, size_t& i, int maxDigits) {
  int value = 0, digits = 0;
  while (i < s.size() && IsDigit(s[i])) {
    if (++digits > maxDigits) return std::nullopt;
    value = value * 10 + (s[i] - '0');
    ++i;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// Decimal places after a separator, as a fraction of one.
std::optional<double> ParseFraction(std::string_view s, size_t& i) {
  if (i >= s.size() || (s[i] != '.' && s[i] != ',')) return 0.0;
  if (i + 1 >= s.size() || !IsDigit(s[i + 1])) return std::nullopt;
  size_t j = i;  // points at the separator
  ++i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  std::string copy = "0." + std::string(s.substr(j + 1, i - j - 1));
  double value = 0;
  const auto r = std::from_chars(copy.data(), copy.data() + copy.size(), value);
  if (r.ec != std::errc()) return std::nullopt;
  return value;
}

std::optional<LatLonDegrees> ParsePair(std::string_view s, size_t& i) {
  const std::optional<double> lat = ParseOpenAirCoordinate(s, i, true);
  if (!lat) return std::nullopt;
  const std::optional<double> lon = ParseOpenAirCoordinate(s, i, false);
  if (!lon) return std::nullopt;
  return LatLonDegrees{*lat, *lon};
}

// A pair that is all that is left on the line.
std::optional<LatLonDegrees> ParseLonePair(std::string_view s) {
  size_t i = 0;
  std::optional<LatLonDegrees> p = ParsePair(s, i);
  if (!p || !AtValueEnd(s, i)) return std::nullopt;
  return p;
}

bool Comma(std::string_view s, size_t& i) {
  SkipBlanks(s, i);
  if (i >= s.size() || s[i] != ',') return false;
  ++i;
  SkipBlanks(s, i);
  return true;
}

// "km" or "KM" at s[i] (after blanks): moves past it.
bool Kilometres(std::string_view s, size_t& i) {
  size_t j = i;
  SkipBlanks(s, j);
  if (j + 1 >= s.size() || !((s[j] == 'k' && s[j + 1] == 'm') || (s[j] == 'K' && s[j + 1] == 'M'))) return false;
  i = j + 2;
  return true;
}

std::optional<int32_t> RadiusMetres(double value, bool kilometres) {
  if (!(value > 0) || value >= 10000) return std::nullopt;
  const auto metres = static_cast<int32_t>(value * (kilometres ? kKilometre : kNauticalMile) + 0.5);
  // A radius that rounds to nothing is no circle, and would be written as 0.
  if (metres < 1) return std::nullopt;
  return metres;
}

std::string LineText(const char* format, int line) {
  std::string text(format);
  const size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(line));
  return text;
}

enum class State { kOutside, kInside, kCentreWaiting, kCentreUsed };

class Reader {
 public:
  explicit Reader(const OpenAirReadOptions& options) : options_(options) {}

  Result<OpenAirText> Run(std::string_view text) {
    size_t i = 0;
    int line = 1;
    int lastLine = 1;
    while (i < text.size()) {
      size_t end = i;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      lastLine = line;
      if (std::optional<Error> e = Record(text.substr(i, end - i), line)) return std::move(*e);
      if (end < text.size() && text[end] == '\n') ++line;
      i = end + 1;
    }
    if (state_ == State::kCentreWaiting) return Fail("Missing DB or DC segment (line %d)", lastLine);
    if (state_ != State::kOutside && out_.list.areas.back().segments.empty())
      return Fail("No segments in airspace (line %d)", lastLine);
    return std::move(out_);
  }

 private:
  static Error Fail(const char* format, int line) { return Error::Content(LineText(format, line), line); }

  CtrArea& Current() { return out_.list.areas.back(); }

  void Add(CtrSegment s) { Current().segments.push_back(s); }

  std::optional<Error> Record(std::string_view raw, int line) {
    size_t i = 0;
    SkipBlanks(raw, i);
    if (i == raw.size() || raw[i] == '*') return std::nullopt;
    size_t typeEnd = i;
    while (typeEnd < raw.size() && !IsBlank(raw[typeEnd])) ++typeEnd;
    const std::string_view type = raw.substr(i, typeEnd - i);
    const std::string_view arg = raw.substr(typeEnd);

    if (type == "AN") return NewArea(Trimmed(arg), line);
    if (state_ == State::kOutside) return std::nullopt;
    if (type == "AC" || type == "AT" || type == "SB" || type == "SP") return std::nullopt;
    if (type == "AH") {
      Current().ceiling = CutCtrText(Trimmed(arg));
    } else if (type == "AL") {
      Current().floor = CutCtrText(Trimmed(arg));
    } else if (type == "TO" || type == "TC") {
      if (Current().segments.empty()) return Fail("No segments in airspace (line %d)", line);
      state_ = State::kOutside;
    } else if (type == "V") {
      return Variable(arg, line);
    } else if (type == "DA" || type == "DB") {
      return Arc(type == "DA", arg, line);
    } else if (type == "DC") {
      const std::optional<int32_t> radius = ParseOpenAirRadius(arg);
      if (!radius) return Fail("Bad radius format on line %d", line);
      if (state_ == State::kInside) return Fail("Missing centre for DC record (line %d)", line);
      // The centre holds until the next V X=: a circle may follow an arc
      // around it.
      CtrSegment c;
      c.kind = CtrSegmentKind::kCircle;
      c.centre = centre_;
      c.radius = *radius;
      Add(c);
      state_ = State::kCentreUsed;
    } else if (type == "DP") {
      const std::optional<LatLonDegrees> p = ParseLonePair(arg);
      if (!p) return Fail("Bad position format on line %d", line);
      if (state_ == State::kCentreWaiting) return Fail("Expected a DB or DC record (line %d)", line);
      // The direction stays: "V D=-" governs every later arc of the area.
      CtrSegment point;
      point.centre = *p;
      Add(point);
    } else if (type == "DY") {
      const int began = Current().sourceLine;
      if (notify_ && options_.notifyDy) notify_ = options_.notifyDy(began);
      out_.list.areas.pop_back();
      state_ = State::kOutside;
    } else if (type.size() == 2 && type[0] == 'A' && type[1] >= 'A' && type[1] <= 'Z') {
      // Newer exports add records of their own (AY type, AF and AG
      // frequencies, AI identifier); the outline does not depend on them.
      out_.warnings.push_back("Record " + std::string(type) + " skipped (line " + std::to_string(line) + ")");
    } else {
      return Fail("Unknown record type on line %d", line);
    }
    return std::nullopt;
  }

  std::optional<Error> NewArea(std::string_view name, int line) {
    if (name.empty()) return Error::Content("Missing airspace name", line);
    if (state_ != State::kOutside && Current().segments.empty())
      return Fail("No segments in airspace (line %d)", line);
    CtrArea area;
    area.name = CutCtrText(name);
    area.sourceLine = line;
    out_.list.areas.push_back(std::move(area));
    direction_ = '+';
    state_ = State::kInside;
    return std::nullopt;
  }

  std::optional<Error> Variable(std::string_view arg, int line) {
    size_t i = 0;
    SkipBlanks(arg, i);
    if (i >= arg.size() || !std::isalpha(static_cast<unsigned char>(arg[i])))
      return Fail("Bad variable assignment format on line %d", line);
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[i])));
    ++i;
    SkipBlanks(arg, i);
    if (i >= arg.size() || arg[i] != '=') return Fail("Bad variable assignment format on line %d", line);
    ++i;
    // Blanks after '=' too: the writer's own "V D = +".
    SkipBlanks(arg, i);
    if (letter == 'D') {
      if (i >= arg.size() || (arg[i] != '+' && arg[i] != '-') ||
          (i + 1 < arg.size() && !IsBlank(arg[i + 1]) && arg[i + 1] != '*'))
        return Fail("Bad direction format on line %d", line);
      direction_ = arg[i];
    } else if (letter == 'X') {
      const std::optional<LatLonDegrees> p = ParseLonePair(arg.substr(i));
      if (!p) return Fail("Bad position format on line %d", line);
      if (state_ == State::kCentreWaiting) return Error::Content("Multiple V record types", line);
      centre_ = *p;
      state_ = State::kCentreWaiting;
    }
    return std::nullopt;
  }

  std::optional<Error> Arc(bool byAngles, std::string_view arg, int line) {
    CtrSegment s;
    s.kind = byAngles ? CtrSegmentKind::kArcByAngles : CtrSegmentKind::kArcByPoints;
    s.direction = direction_;
    size_t i = 0;
    bool ok = false;
    if (byAngles) {
      SkipBlanks(arg, i);
      const std::optional<double> r = ParseNumber(arg, i, false);
      std::optional<int32_t> radius;
      if (r) radius = RadiusMetres(*r, Kilometres(arg, i));
      std::optional<double> from, to;
      if (radius && Comma(arg, i) && (from = ParseNumber(arg, i, false)) && Comma(arg, i) &&
          (to = ParseNumber(arg, i, false)) && AtValueEnd(arg, i) && *from <= 360 && *to <= 360) {
        s.radius = *radius;
        s.from = {*from, *to};
        ok = true;
      }
    } else {
      const std::optional<LatLonDegrees> a = ParsePair(arg, i);
      if (a && Comma(arg, i)) {
        const std::optional<LatLonDegrees> b = ParsePair(arg, i);
        if (b && AtValueEnd(arg, i)) {
          s.from = *a;
          s.to = *b;
          ok = true;
        }
      }
    }
    if (!ok) return Fail("Bad arc position format on line %d", line);
    if (state_ == State::kInside) return Fail("Missing centre for DB record (line %d)", line);
    s.centre = centre_;
    Add(s);
    // Further arcs (and points between them) may use the same centre.
    state_ = State::kCentreUsed;
    return std::nullopt;
  }

  const OpenAirReadOptions& options_;
  OpenAirText out_;
  State state_ = State::kOutside;
  LatLonDegrees centre_;
  char direction_ = '+';
  bool notify_ = true;
};

// Tenths of a second of arc: "47:30:15.5 N".
void AppendCoordinate(TextOutputBuffer& out, double degrees, char positive, char negative, int limit) {
  if (!std::isfinite(degrees)) degrees = 0;
  // A value within a twentieth of a second of the pole or the date line
  // stays below it, where the reader accepts it.
  const int64_t tenths =
      std::min<int64_t>(static_cast<int64_t>(std::fabs(degrees) * 36000 + 0.5), int64_t{limit} * 36000 - 1);
  out.Int(tenths / 36000).Append(':').Int(tenths / 600 % 60, 2).Append(':').Int(tenths / 10 % 60, 2);
  out.Append('.').Int(tenths % 10).Append(' ').Append(degrees < 0 ? negative : positive);
}

void AppendPair(TextOutputBuffer& out, const LatLonDegrees& p) {
  AppendCoordinate(out, p.latitude, 'N', 'S', 90);
  out.Append("   ");
  AppendCoordinate(out, p.longitude, 'E', 'W', 180);
}

void AppendSegments(TextOutputBuffer& out, const CtrArea& area) {
  for (const CtrSegment& s : area.segments) {
    const auto centre = [&] {
      out.Append("V X = ");
      AppendPair(out, s.centre);
      out.Append("\r\n");
    };
    switch (s.kind) {
      case CtrSegmentKind::kPoint:
        out.Append("DP ");
        AppendPair(out, s.centre);
        out.Append("\r\n");
        break;
      case CtrSegmentKind::kCircle:
        centre();
        out.Append("DC ").Fixed(s.radius * kMetresToNauticalMiles, 4).Append("\r\n");
        break;
      case CtrSegmentKind::kArcByPoints:
        out.Append("V D = ").Append(s.direction).Append("\r\n");
        centre();
        out.Append("DB ");
        AppendPair(out, s.from);
        out.Append(",   ");
        AppendPair(out, s.to);
        out.Append("\r\n");
        break;
      case CtrSegmentKind::kArcByAngles:
        out.Append("V D = ").Append(s.direction).Append("\r\n");
        centre();
        out.Append("DA ").Fixed(s.radius * kMetresToNauticalMiles, 4).Append(", ");
        out.Fixed(s.from.latitude, 2).Append(", ").Fixed(s.from.longitude, 2).Append("\r\n");
        break;
    }
  }
}

// Texts go out on one line each: a line break inside would start a record.
std::string OneLine(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

}  // namespace

const std::string_view kNewCtrTemplate =
    "*Airspace name\r\nAN Put airspace name here\r\n*Airspace floor (Remark)\r\nAL Put floor remark here\r\n"
    "*Airspace ceiling\r\nAH Put ceiling remark here\r\n*Use records V, DP, DA, DB or DC\r\n"
    "*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n";

std::string CutCtrText(std::string_view text, size_t max) {
  if (text.size() <= max) return std::string(text);
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  // A sequence that the cut would split goes whole; stray continuation
  // bytes (no UTF-8 at all) are cut where they stand.
  size_t k = max;
  while (k > 0 && max - k < 3 && (byte(k) & 0xC0) == 0x80) --k;
  const size_t n = (byte(max) & 0xC0) == 0x80 && (byte(k) & 0xC0) == 0xC0 ? k : max;
  return std::string(text.substr(0, n));
}

std::optional<double> ParseOpenAirCoordinate(std::string_view s, size_t& pos, bool latitude) {
  size_t i = pos;
  SkipBlanks(s, i);
  const std::optional<int> degrees = ParseWhole(s, i, 3);
  if (!degrees || *degrees >= (latitude ? 90 : 180) || i >= s.size()) return std::nullopt;
  double value = *degrees;
  if (s[i] == '.' || s[i] == ',') {
    const std::optional<double> f = ParseFraction(s, i);
    if (!f) return std::nullopt;
    value += *f;
  } else if (s[i] == ':') {
    ++i;
    const std::optional<int> minutes = ParseWhole(s, i, 2);
    if (!minutes || *minutes >= 60) return std::nullopt;
    double m = *minutes;
    if (i < s.size() && s[i] == ':') {
      ++i;
      const std::optional<int> seconds = ParseWhole(s, i, 2);
      if (!seconds || *seconds >= 60) return std::nullopt;
      const std::optional<double> f = ParseFraction(s, i);
      if (!f) return std::nullopt;
      m += (*seconds + *f) / 60;
    } else {
      const std::optional<double> f = ParseFraction(s, i);
      if (!f) return std::nullopt;
      m += *f;
    }
    value += m / 60;
  } else {
    return std::nullopt;
  }
  SkipBlanks(s, i);
  if (i >= s.size()) return std::nullopt;
  const char h = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  if (latitude ? (h != 'N' && h != 'S') : (h != 'E' && h != 'W')) return std::nullopt;
  ++i;
  // A letter right after the hemisphere is no hemisphere ("North").
  if (i < s.size() && std::isalnum(static_cast<unsigned char>(s[i]))) return std::nullopt;
  pos = i;
  return (h == 'S' || h == 'W') ? -value : value;
}

std::optional<int32_t> ParseOpenAirRadius(std::string_view s) {
  size_t i = 0;
  SkipBlanks(s, i);
  const std::optional<double> value = ParseNumber(s, i, true);
  if (!value) return std::nullopt;
  const bool km = Kilometres(s, i);
  if (!AtValueEnd(s, i)) return std::nullopt;
  return RadiusMetres(*value, km);
}

Result<OpenAirText> ParseOpenAirText(std::string_view text, const OpenAirReadOptions& options) {
  Reader reader(options);
  return reader.Run(text);
}

std::string WriteOpenAirText(const CtrList& list) {
  TextOutputBuffer out(10000);
  bool first = true;
  for (const CtrArea& area : list.areas) {
    if (!area.selected) continue;
    if (!first) out.Append("\r\n");
    first = false;
    out.Append("AN ").Append(OneLine(area.name)).Append("\r\n");
    out.Append("AL ").Append(OneLine(area.floor)).Append("\r\n");
    out.Append("AH ").Append(OneLine(area.ceiling)).Append("\r\n");
    AppendSegments(out, area);
  }
  return out.Take();
}

std::string WriteOpenAirText(const CtrArea& area) {
  TextOutputBuffer out(10000);
  out.Append("*Airspace name\r\nAN ").Append(OneLine(area.name)).Append("\r\n");
  out.Append("*Airspace floor (Remark)\r\nAL ").Append(OneLine(area.floor)).Append("\r\n");
  out.Append("*Airspace ceiling\r\nAH ").Append(OneLine(area.ceiling)).Append("\r\n");
  out.Append("*Use records V, DP, DA, DB or DC\r\n");
  out.Append("*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS.s\r\n");
  AppendSegments(out, area);
  return out.Take();
}

int FixEqualCtrNames(CtrList& list, const std::function<bool()>& askFix) {
  std::unordered_set<std::string> taken;
  bool asked = false, fix = false;
  int renamed = 0;
  std::vector<bool> duplicate(list.areas.size(), false);
  {
    std::unordered_set<std::string> seen;
    for (size_t k = 0; k < list.areas.size(); ++k) duplicate[k] = !seen.insert(list.areas[k].name).second;
    taken = std::move(seen);
  }
  // Next suffix number for each original name.
  std::unordered_map<std::string, int> next;
  for (size_t k = 0; k < list.areas.size(); ++k) {
    if (!duplicate[k]) continue;
    if (!asked) {
      asked = true;
      fix = askFix && askFix();
    }
    if (!fix) return 0;
    const std::string original = list.areas[k].name;
    int& n = next[original];
    std::string name;
    do {
      const std::string suffix = "(" + std::to_string(++n) + ")";
      name = CutCtrText(original, kCtrTextMax - suffix.size()) + suffix;
    } while (taken.count(name) != 0);
    taken.insert(name);
    list.areas[k].name = std::move(name);
    ++renamed;
  }
  return renamed;
}

}  // namespace skylode
