#include "formats/igc_reader.h"

#include <array>
#include <new>

#include "formats/file_io.h"
#include "formats/igc_security.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {
namespace {

constexpr size_t kMaxLineText = 80;
constexpr double kMilliMinutesToSemicircles = 198.8410785185;  // 2^31 / (180 x 60000)

// 0-9 for the digits, 0xFF for every other byte.
constexpr std::array<uint8_t, 256> kDigitValue = [] {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = 0xFF;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<uint8_t>(c - '0');
  return t;
}();

// Reads `n` digits at `at`; a field running past the end is not a number.
bool Digits(std::string_view s, size_t at, size_t n, int32_t& value) {
  if (at + n > s.size()) return false;
  int32_t v = 0;
  for (size_t i = at; i < at + n; ++i) {
    const uint8_t d = kDigitValue[static_cast<unsigned char>(s[i])];
    if (d > 9) return false;
    v = v * 10 + d;
  }
  value = v;
  return true;
}

// '-' and four digits, or five digits.
bool Altitude(std::string_view s, size_t at, int32_t& value) {
  if (at < s.size() && s[at] == '-') {
    if (!Digits(s, at + 1, 4, value)) return false;
    value = -value;
    return true;
  }
  return Digits(s, at, 5, value);
}

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string Numbered(const char* what, int number, int line) {
  return std::string(what) + std::to_string(number) + " on line " + std::to_string(line);
}

// The date of "DDMMYY" at 00:00:00 UTC. Two-digit years 80-99 are 1980-1999,
// the rest 2000-2079: no logger wrote a file before 1980. The program's
// calendar begins on 1989-12-31, so a date before that is a date error like
// any day that does not exist.
bool ParseDdMmYy(std::string_view s, uint32_t& date) {
  int32_t day = 0, month = 0, year = 0;
  if (s.size() != 6 || !Digits(s, 0, 2, day) || !Digits(s, 2, 2, month) || !Digits(s, 4, 2, year))
    return false;
  if (day < 1 || day > 31 || month < 1 || month > 12) return false;
  CalendarTime t;
  t.year = static_cast<uint16_t>(year >= 80 ? 1900 + year : 2000 + year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  // A day the month does not have (31 April) is refused rather than rolled over.
  auto v = CalendarToTime(t);
  if (!v) return false;
  date = *v;
  return true;
}

// "HFDTEDDMMYY", or the newer "HFDTEDATE:DDMMYY" with an optional ",NN"
// flight-of-the-day number, and nothing after it.
bool ParseDateRecord(std::string_view line, uint32_t& date) {
  std::string_view rest = line.substr(5);
  if (rest.substr(0, 5) == "DATE:") {
    rest.remove_prefix(5);
    if (rest.size() == 9) {
      int32_t nn = 0;
      if (rest[6] != ',' || !Digits(rest, 7, 2, nn)) return false;
      rest = rest.substr(0, 6);
    }
  }
  return ParseDdMmYy(rest, date);
}

int32_t ToSemicircles(int64_t milliMinutes) {
  return ClampRound<int32_t>(static_cast<double>(milliMinutes) * kMilliMinutesToSemicircles);
}

// 0 and the record in `out`, or the number of the first bad field.
int ReadBRecord(std::string_view s, IgcBRecord& out) {
  int32_t hour, minute, second, latDeg, latMin, lonDeg, lonMin, pressure, gnss;
  if (!Digits(s, 0, 2, hour)) return 1;
  if (hour > 23) return 2;
  if (!Digits(s, 2, 2, minute)) return 3;
  if (minute > 59) return 4;
  if (!Digits(s, 4, 2, second)) return 5;
  if (second > 59) return 6;
  // The poles and the date line are written 90°00.000' and 180°00.000', or
  // 89°60.000' and 179°60.000' as our writer does; both read.
  if (!Digits(s, 6, 2, latDeg)) return 7;
  if (latDeg > 90) return 8;
  if (!Digits(s, 8, 5, latMin)) return 9;
  if (latMin > 60000) return 10;
  if (latDeg == 90 && latMin != 0) return 8;
  if (s.size() <= 13 || (s[13] != 'N' && s[13] != 'S')) return 11;
  if (!Digits(s, 14, 3, lonDeg)) return 12;
  if (lonDeg > 180) return 13;
  if (!Digits(s, 17, 5, lonMin)) return 14;
  if (lonMin > 60000) return 15;
  if (lonDeg == 180 && lonMin != 0) return 13;
  if (s.size() <= 22 || (s[22] != 'E' && s[22] != 'W')) return 16;
  if (s.size() <= 23) return 17;  // any letter is a validity; only 'V' is read
  if (!Altitude(s, 24, pressure) || !Altitude(s, 29, gnss)) return 18;

  int64_t lat = int64_t{latDeg} * 60000 + latMin;
  int64_t lon = int64_t{lonDeg} * 60000 + lonMin;
  if (s[13] == 'S') lat = -lat;
  if (s[22] == 'W') lon = -lon;
  out.timeOfDay = static_cast<uint32_t>(hour * 3600 + minute * 60 + second);
  out.latitude = ToSemicircles(lat);
  // 180°E is +2^31 semicircles, one past the type: it is pinned to the
  // largest value, which writes back as 179°60.000'E.
  out.longitude = ToSemicircles(lon);
  out.pressureAltitude = pressure;
  out.gnssAltitude = gnss;
  out.threeDimensional = s[23] != 'V';
  return 0;
}

}  // namespace

Result<IgcBRecord> ParseIgcBRecord(std::string_view afterB) {
  IgcBRecord record;
  if (const int e = ReadBRecord(afterB, record); e != 0) return Error::Content("Pos. error " + std::to_string(e));
  return record;
}

Result<IgcParse> ParseIgcText(std::string_view text) {
  IgcParse r;
  int lineNo = 0;
  auto fail = [&lineNo](std::string message, bool atLine = false) {
    return Error::Content(std::move(message), atLine ? lineNo : 0);
  };
  try {
    r.points.reserve(800);
    bool haveDate = false, haveA = false;
    uint64_t date = 0;
    uint32_t previousTod = 0;
    size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    // The text ends at a NUL that closes it (an instrument pads its buffer
    // so); inside a line a NUL ends that line's text, as a CR does.
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    while (pos < text.size()) {
      ++lineNo;
      // A line ends at LF, CR LF, or a CR alone (files from old Macs).
      size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end;
      while (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
      if (size_t nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
      if (line.size() > kMaxLineText) line = line.substr(0, kMaxLineText);
      if (line.empty()) continue;

      if (line.substr(0, 5) == "HFDTE") {
        if (haveDate) return fail("Multiple date lines", true);
        uint32_t d = 0;
        if (!ParseDateRecord(line, d)) return fail(Numbered("Date error ", 1, lineNo), true);
        date = d;
        haveDate = true;
      } else if (line[0] == 'A') {
        if (haveA) return fail("Multiple A-records", true);
        if (line.size() < 4) return fail("Too short A-record", true);
        for (size_t i = 1; i < 4; ++i)
          if (!IsAlnum(line[i])) return fail("Bad IGC manufacturer found in the A-record", true);
        r.manufacturer = std::string(line.substr(1, 3));
        if (line.size() == 4 || line[4] == ' ') {
          r.serial = "000";
        } else {
          if (line.size() < 7) return fail("Bad serial number found in the A-record", true);
          for (size_t i = 4; i < 7; ++i)
            if (!IsAlnum(line[i])) return fail("Bad serial number found in the A-record", true);
          r.serial = std::string(line.substr(4, 3));
        }
        haveA = true;
      } else if (line[0] == 'B') {
        if (!haveDate) return fail("Missing date line", true);
        IgcBRecord b;
        if (int e = ReadBRecord(line.substr(1), b); e != 0) {
          // A download or copy cut off in its last record keeps every fix
          // before it; the loss is reported, not the file refused.
          if (!r.points.empty() && text.find_first_not_of(" \t\r\n", pos) == std::string_view::npos) {
            r.warning = Numbered("Last position cut off: Pos. error ", e, lineNo);
            r.warningLine = lineNo;
            break;
          }
          return fail(Numbered("Pos. error ", e, lineNo), true);
        }
        if (!r.points.empty() && previousTod >= b.timeOfDay + 3600) date += kSecondsPerDay;
        // Only a file that crosses midnight thousands of times gets here: its
        // times would wrap round to 1989 instead.
        if (date + b.timeOfDay > 0xFFFFFFFFu) return fail(Numbered("Date error ", 2, lineNo), true);
        previousTod = b.timeOfDay;
        TrackPoint p;
        p.flags = r.points.empty() ? kTrackPointStartsSegment : 0;
        if (!b.threeDimensional) p.flags |= kTrackPointNoGpsHeight;
        p.time = static_cast<uint32_t>(date + b.timeOfDay);
        p.latitude = b.latitude;
        p.longitude = b.longitude;
        p.baroHeight = b.pressureAltitude;
        p.gpsHeight = b.gnssAltitude * 10;
        r.points.push_back(p);
      }
    }
    if (!haveA) return fail("No A-record found");
    if (r.points.empty()) return fail("No positions found");
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
  return r;
}

Result<AcceptedIgc> AcceptInstrumentIgc(std::string_view text) {
  Result<IgcParse> p = ParseIgcText(text);
  if (!p.ok()) return std::move(p.error());
  AcceptedIgc a;
  try {
    a.raw.text.assign(text.data(), text.size());
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
  a.raw.flightTime = p->points.front().time;
  a.raw.manufacturer = std::move(p->manufacturer);
  a.raw.loggerSerial = std::move(p->serial);
  a.points = std::move(p->points);
  a.warning = std::move(p->warning);
  return a;
}

TrackLog MakeIgcFileTrackLog(std::vector<TrackPoint> points) {
  TrackLog log;
  log.points = std::move(points);
  log.source = TrackLogSource::kFile;
  log.gRecordValid = false;
  log.sourceClassFlag = false;
  log.hasBaroHeight = true;
  return log;
}

IgcVerifyOutcome VerifyIgcText(std::string_view text) {
  // The text is what stands before its first NUL, as the file was always read.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  auto result = [](IgcVerifyOutcome o) { return o; };
  auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
  uint32_t crc = kIgcCrcStart;
  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    const char c = text[pos];
    const char next = pos + 1 < n ? text[pos + 1] : '\0';
    if (c == 'A' || c == 'B' || c == 'I' || (c == 'H' && next == 'F') || (c == 'L' && next == 'X')) {
      const size_t lf = text.find('\n', pos);
      if (lf == std::string_view::npos) return result(IgcVerifyOutcome::kFailed);
      crc = IgcCrcUpdate(crc, text.substr(pos, lf + 1 - pos));
      pos = lf + 1;
    } else if (c == 'H' || c == 'L') {
      while (pos < n && !isLineEnd(text[pos])) ++pos;
      while (pos < n && isLineEnd(text[pos])) ++pos;
    } else if (c == 'G') {
      if (text.substr(pos + 1, 16) != IgcSecurityCode(crc)) return result(IgcVerifyOutcome::kFailed);
      pos += 17;
      while (pos < n && isLineEnd(text[pos])) ++pos;
      return result(pos == n ? IgcVerifyOutcome::kPassed : IgcVerifyOutcome::kFailed);
    } else {
      return result(IgcVerifyOutcome::kFailed);
    }
  }
  return result(IgcVerifyOutcome::kNoSecurityRecord);
}

Result<IgcParse> ReadIgcFile(const std::string& baseName) {
  const std::string name = baseName + ".igc";
  if (name.size() > kMaxIgcFileName) return Error::System(ErrorKind::kNameTooLong, 0, name);
  Result<std::string> file = ReadWholeFile(name);
  if (!file.ok()) return std::move(file.error());
  return ParseIgcText(*file);
}

Result<IgcVerifyOutcome> VerifyIgcFile(const std::string& path) {
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) return std::move(file.error());
  return VerifyIgcText(*file);
}

}  // namespace skylode
