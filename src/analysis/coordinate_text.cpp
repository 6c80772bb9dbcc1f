#include "analysis/coordinate_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "records/numeric.h"

namespace skylode {
namespace {

constexpr double kDegreesToRadians = 0.01745329251994;
constexpr double kMinutesToRadians = 0.0002908882086657;
constexpr double kRadiansToArcSeconds = 206264.8062471;

// Whole parts saturate here: far above any valid field, far below overflow.
constexpr uint64_t kSaturated = 1000000000000000ULL;

bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

class Cursor {
 public:
  explicit Cursor(std::string_view s) : s_(s) {}
  bool AtEnd() const { return i_ >= s_.size(); }
  unsigned char Peek() const { return AtEnd() ? 0 : static_cast<unsigned char>(s_[i_]); }
  bool PeekDigit() const { return !AtEnd() && IsDigit(Peek()); }
  void Next() { ++i_; }
  size_t Offset() const { return i_; }
  void SkipBlanks() {
    while (!AtEnd() && s_[i_] == ' ') ++i_;
  }
  // True when only blanks remain.
  bool OnlyBlanksLeft() {
    SkipBlanks();
    return AtEnd();
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

struct Number {
  uint64_t whole = 0;     // the digits before the mark, saturated
  bool fraction = false;  // a decimal mark was present
  double value = 0;       // the whole number, fraction included
  double fractionValue = 0;
};

bool ToDouble(const std::string& digits, double& value) {
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return r.ec == std::errc{} && r.ptr == digits.data() + digits.size();
}

// Digits, then (when allowed) '.' or ',' and any number of digits. The values
// are converted by from_chars, so long fractions round correctly, a run of
// digits too long for a double becomes infinity (which every caller refuses)
// rather than wrapping, and no locale is involved.
bool ScanNumber(Cursor& c, Number& n, bool allowFraction, bool allowComma = true) {
  if (!c.PeekDigit()) return false;
  std::string digits, fractionDigits = "0.";
  n = Number{};
  while (c.PeekDigit()) {
    const unsigned d = c.Peek() - '0';
    if (n.whole < kSaturated) n.whole = n.whole * 10 + d;
    // Leading zeros carry no value; dropping them keeps the buffer short.
    if (!(digits.empty() && d == 0)) digits.push_back(static_cast<char>(c.Peek()));
    c.Next();
  }
  if (digits.empty()) digits.push_back('0');
  if (allowFraction && (c.Peek() == '.' || (allowComma && c.Peek() == ','))) {
    n.fraction = true;
    c.Next();
    while (c.PeekDigit()) {
      fractionDigits.push_back(static_cast<char>(c.Peek()));
      c.Next();
    }
  }
  if (!ToDouble(fractionDigits + "0", n.fractionValue)) n.fractionValue = 0;
  if (!ToDouble(digits + fractionDigits.substr(1) + "0", n.value)) n.value = HUGE_VAL;
  return true;
}

// Degrees, minutes and seconds separated by blanks, the last part optionally
// with a fraction. Stops after the number; `maxDegrees` is the largest whole
// degree allowed, minutes and seconds at most 59.
bool ScanDms(Cursor& c, uint64_t maxDegrees, double& degrees) {
  Number parts[3];
  int count = 0;
  while (true) {
    if (!ScanNumber(c, parts[count], true)) return false;
    ++count;
    if (parts[count - 1].fraction || count == 3) break;
    // Another part only when blanks and a digit follow; otherwise the number
    // ends here and the caller sees what comes next.
    Cursor ahead = c;
    ahead.SkipBlanks();
    if (ahead.Offset() == c.Offset() || !ahead.PeekDigit()) break;
    c = ahead;
  }
  if (parts[0].whole > maxDegrees) return false;
  double value = parts[0].value;
  if (count > 1) {
    if (parts[1].whole > 59) return false;
    value += parts[1].value / 60;
  }
  if (count > 2) {
    if (parts[2].whole > 59) return false;
    value += parts[2].value / 3600;
  }
  // A part too long to convert reads as infinite, whatever its digits say.
  if (!std::isfinite(value)) return false;
  degrees = value;
  return true;
}

// +1 for north/east, -1 for south/west, 0 for anything else.
int Hemisphere(unsigned char ch, bool isLatitude) {
  switch (ch) {
    case 'N':
    case 'n':
      return isLatitude ? 1 : 0;
    case 'S':
    case 's':
      return isLatitude ? -1 : 0;
    case 'E':
    case 'e':
      return isLatitude ? 0 : 1;
    case 'W':
    case 'w':
      return isLatitude ? 0 : -1;
    default:
      return 0;
  }
}

// "DDMM[.mmm]" as total minutes; `limit` bounds DDMM.
bool ScanNmeaMinutes(Cursor& c, uint64_t limit, bool markRequired, double& minutes) {
  Number n;
  if (!ScanNumber(c, n, true, false)) return false;
  if (markRequired && !n.fraction) return false;
  if (n.whole >= limit || n.whole % 100 >= 60) return false;
  const double degrees = static_cast<double>(n.whole / 100);
  minutes = degrees * 60 + (n.value - degrees * 100);
  return true;
}

// Integers and letters only: printf's integer conversions do not depend on the locale.
std::string Sprintf(const char* format, auto... args) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, format, args...);
  if (n < 0) return {};
  return std::string(buf, std::min(static_cast<size_t>(n), sizeof buf - 1));
}

}  // namespace

int ParseCoordinate(std::string_view text, bool isLatitude, double& radians) {
  Cursor c(text);
  c.SkipBlanks();
  int sign = 1;
  if (c.Peek() == '+') {
    c.Next();
  } else if (c.Peek() == '-') {
    sign = -1;
    c.Next();
  } else if (const int h = Hemisphere(c.Peek(), isLatitude); h != 0) {
    sign = h;
    c.Next();
  }
  c.SkipBlanks();
  double degrees = 0;
  if (!ScanDms(c, isLatitude ? 89 : 179, degrees)) return kTextBad;
  if (!c.OnlyBlanksLeft()) return kTextBad;
  radians = sign * degrees * kDegreesToRadians;
  return 0;
}

int ParseHemisphereCoordinate(std::string_view text, bool isLatitude, double& radians,
                              size_t& rest) {
  Cursor c(text);
  c.SkipBlanks();
  const int sign = Hemisphere(c.Peek(), isLatitude);
  if (sign == 0) return kTextBad;
  c.Next();
  c.SkipBlanks();
  double degrees = 0;
  if (!ScanDms(c, isLatitude ? 89 : 179, degrees)) return kTextBad;
  radians = sign * degrees * kDegreesToRadians;
  rest = c.Offset();
  return 0;
}

int ParseNmeaCoordinate(std::string_view text, bool isLatitude, double& radians) {
  Cursor c(text);
  c.SkipBlanks();
  double minutes = 0;
  if (!ScanNmeaMinutes(c, isLatitude ? 9000 : 18000, true, minutes)) return kTextBad;
  const int sign = Hemisphere(c.Peek(), isLatitude);
  if (sign == 0) return kTextBad;
  c.Next();
  if (!c.OnlyBlanksLeft()) return kTextBad;
  radians = sign * minutes * kMinutesToRadians;
  return 0;
}

int ParseNmeaMinutes(std::string_view text, double& radians) {
  Cursor c(text);
  c.SkipBlanks();
  double minutes = 0;
  if (!ScanNmeaMinutes(c, 18000, false, minutes)) return kTextBad;
  if (!c.OnlyBlanksLeft()) return kTextBad;
  radians = minutes * kMinutesToRadians;
  return 0;
}

int ParseUtmZone(std::string_view text, int& zone, char& band) {
  Cursor c(text);
  c.SkipBlanks();
  Number n;
  if (!ScanNumber(c, n, false) || n.whole == 0) return kZoneMissing;
  if (n.whole > 60) return kZoneAbove60;
  c.SkipBlanks();
  unsigned char letter = c.Peek();
  if (letter >= 'a' && letter <= 'z') letter = static_cast<unsigned char>(letter - 'a' + 'A');
  if (letter < 'B' || letter > 'X' || letter == 'I' || letter == 'O') return kZoneBadBand;
  c.Next();
  if (!c.OnlyBlanksLeft()) return kZoneTrailing;
  zone = static_cast<int>(n.whole);
  band = static_cast<char>(letter);
  return 0;
}

int ParseDecimal(std::string_view text, double& value) {
  Cursor c(text);
  c.SkipBlanks();
  double sign = 1;
  if (c.Peek() == '+' || c.Peek() == '-') {
    if (c.Peek() == '-') sign = -1;
    c.Next();
  }
  Number n;
  if (!ScanNumber(c, n, true)) return kTextBad;
  if (!c.OnlyBlanksLeft() || !std::isfinite(n.value)) return kTextBad;
  value = sign * n.value;
  return 0;
}

int ParseSignedInteger(std::string_view text, int32_t& value) {
  Cursor c(text);
  c.SkipBlanks();
  bool negative = false;
  if (c.Peek() == '+' || c.Peek() == '-') {
    negative = c.Peek() == '-';
    c.Next();
  }
  Number n;
  if (!ScanNumber(c, n, false) || !c.OnlyBlanksLeft()) return kTextBad;
  const int64_t v = negative ? -static_cast<int64_t>(std::min<uint64_t>(n.whole, kSaturated))
                             : static_cast<int64_t>(std::min<uint64_t>(n.whole, kSaturated));
  if (v < INT32_MIN || v > INT32_MAX) return kTextBad;
  value = static_cast<int32_t>(v);
  return 0;
}

int ParseUnsignedInteger(std::string_view text, uint32_t& value) {
  Cursor c(text);
  c.SkipBlanks();
  Number n;
  if (!ScanNumber(c, n, false) || !c.OnlyBlanksLeft()) return kTextBad;
  if (n.whole > UINT32_MAX) return kTextBad;
  value = static_cast<uint32_t>(n.whole);
  return 0;
}

int ParseTimeOfDay(std::string_view text, uint32_t& seconds, double& fraction) {
  Cursor c(text);
  c.SkipBlanks();
  Number n;
  if (!ScanNumber(c, n, true, false)) return kTextBad;
  if (!c.OnlyBlanksLeft()) return kTextBad;
  if (n.whole > 235959 || n.whole / 100 % 100 >= 60 || n.whole % 100 >= 60) return kTextBad;
  const uint64_t hhmmss = n.whole;
  seconds = static_cast<uint32_t>(hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100);
  fraction = n.fractionValue;
  return 0;
}

std::string FormatDms(int32_t centiSeconds, bool isLatitude) {
  const bool negative = centiSeconds < 0;
  const int64_t v = negative ? -static_cast<int64_t>(centiSeconds) : centiSeconds;
  const char letter = isLatitude ? (negative ? 'S' : 'N') : (negative ? 'W' : 'E');
  const auto degrees = static_cast<long long>(v / 360000),
             minutes = static_cast<long long>(v / 6000 % 60),
             seconds = static_cast<long long>(v / 100 % 60),
             hundredths = static_cast<long long>(v % 100);
  return Sprintf(
      isLatitude ? "%c %02lld  %02lld  %02lld.%02lld" : "%c %03lld  %02lld  %02lld.%02lld", letter,
      degrees, minutes, seconds, hundredths);
}

std::optional<std::string> FormatArcSeconds(double radians, bool isLatitude) {
  if (!std::isfinite(radians)) return std::nullopt;
  const double arcSeconds = std::fabs(radians) * kRadiansToArcSeconds;
  const auto whole = CheckedRound<int64_t>(std::trunc(arcSeconds));
  if (!whole) return std::nullopt;
  int64_t s = *whole;
  int64_t fraction = ClampRound<int64_t>((arcSeconds - std::trunc(arcSeconds)) * 100000);
  // 59.999996 seconds rounds to a fraction of 100000: carry it.
  if (fraction > 99999) {
    fraction = 0;
    ++s;
  }
  const char letter = isLatitude ? (radians < 0 ? 'S' : 'N') : (radians < 0 ? 'W' : 'E');
  return Sprintf(isLatitude ? "%c %02lld %02lld %02lld.%05lld" : "%c %03lld %02lld %02lld.%05lld",
                 letter, static_cast<long long>(s / 3600), static_cast<long long>(s % 3600 / 60),
                 static_cast<long long>(s % 60), static_cast<long long>(fraction));
}

std::string FormatUtmZone(int zone, char band) {
  return Sprintf("%02d%c", zone, band);
}

std::string FormatUtmMetres(double metres) {
  return FormatFixed(metres, 4, 12);
}

std::string FormatWholeMetres(double metres) {
  return Sprintf("%07lld", static_cast<long long>(ClampRound<int64_t>(metres)));
}

std::string FormatFixed(double value, int decimals, int width) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (decimals < 0) decimals = 0;
  if (decimals > 20) decimals = 20;
  char buf[400];  // the largest double has 309 integer digits
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string s(buf, r.ec == std::errc{} ? r.ptr : buf);
  const size_t signLength = !s.empty() && s[0] == '-' ? 1 : 0;
  if (width > 0 && s.size() < static_cast<size_t>(width))
    s.insert(signLength, static_cast<size_t>(width) - s.size(), '0');
  return s;
}

}  // namespace skylode
