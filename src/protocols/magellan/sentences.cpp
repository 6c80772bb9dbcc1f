#include "protocols/magellan/sentences.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "access/sentence.h"
#include "analysis/coordinate_text.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::magellan {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// Latitude at fields[1..2], longitude at fields[3..4]: 0 or the rule broken
// (2 to 10).
int Position(std::span<const std::string_view> f, int32_t& latitude, int32_t& longitude) {
  double lat = 0, lon = 0, value = 0;
  if (ParseDecimal(Trim(f[1]), value) != 0) return 2;
  if (std::fabs(value) >= 9000) return 3;
  if (ParseNmeaMinutes(Trim(f[1]), lat) != 0) return 2;
  if (f.size() < 3 || Trim(f[2]).empty()) return 4;
  const std::string_view ns = Trim(f[2]);
  if (ns != "N" && ns != "S") return 5;
  if (f.size() < 4 || Trim(f[3]).empty()) return 6;
  if (ParseDecimal(Trim(f[3]), value) != 0) return 7;
  if (std::fabs(value) >= 18000) return 8;
  if (ParseNmeaMinutes(Trim(f[3]), lon) != 0) return 7;
  if (f.size() < 5 || Trim(f[4]).empty()) return 9;
  const std::string_view ew = Trim(f[4]);
  if (ew != "E" && ew != "W") return 10;
  const auto la = RadiansToLatitude(ns == "S" ? -lat : lat);
  const auto lo = RadiansToLongitude(ew == "W" ? -lon : lon);
  if (!la) return 2;
  if (!lo) return 7;
  latitude = *la;
  longitude = *lo;
  return 0;
}

// Altitude and unit at fields[5..6]: the value as written, and whether it
// is in feet.
int Altitude(std::span<const std::string_view> f, double& value, bool& feet) {
  if (f.size() < 6 || Trim(f[5]).empty()) return 11;
  if (ParseDecimal(Trim(f[5]), value) != 0 || !(std::fabs(value) < 1e6)) return 12;
  if (f.size() < 7 || Trim(f[6]).empty()) return 13;
  const std::string_view unit = Trim(f[6]);
  if (unit != "M" && unit != "F") return 14;
  feet = unit == "F";
  return 0;
}

bool IsEnd(std::span<const std::string_view> f) {
  for (size_t i = 1; i < f.size(); ++i)
    if (Trim(f[i]) == "END") return true;
  return false;
}

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int MagellanSentenceReader::Feed(uint8_t byte) {
  auto fail = [this](int code) {
    state_ = State::kWaitDollar;
    return code;
  };
  switch (state_) {
    case State::kWaitDollar:
      if (byte == '$') {
        text_.clear();
        text_.push_back('$');
        xor_ = 0;
        state_ = State::kText;
        return 1;
      }
      // Between sentences the unit sends nothing but line ends: anything
      // else is a sentence whose '$' was garbled, and passing over it would
      // lose a point or a waypoint without a word.
      return byte == '\r' || byte == '\n' ? 1 : 5;
    case State::kText:
      if (byte == '*') {
        state_ = State::kDigit1;
        return 1;
      }
      xor_ ^= byte;
      if (text_.size() < kMaxKept + 1) text_.push_back(static_cast<char>(byte));
      return 1;
    case State::kDigit1:
    case State::kDigit2: {
      const int v = HexValue(byte);
      if (v < 0) return fail(2);
      received_ = static_cast<uint8_t>(state_ == State::kDigit1 ? v << 4 : received_ | v);
      state_ = state_ == State::kDigit1 ? State::kDigit2 : State::kCr;
      return 1;
    }
    case State::kCr:
      if (byte != '\r' || received_ != xor_) return fail(3);
      state_ = State::kLf;
      return 1;
    case State::kLf:
      if (byte != '\n') return fail(4);
      state_ = State::kWaitDollar;
      fields_.clear();
      for (size_t start = 0;;) {
        const size_t comma = text_.find(',', start);
        fields_.push_back(std::string_view(text_).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      return 0;
  }
  return 1;
}

int ParseMagellanTrackSentence(std::span<const std::string_view> f, TrackPoint& point, bool& hasPoint) {
  hasPoint = false;
  if (f.empty()) return kSentenceTaken;
  if (f[0] == "$PMGNCMD") return IsEnd(f) ? kDownloadEnd : kSentenceTaken;
  if (f[0] != "$PMGNTRK") return kSentenceTaken;
  if (f.size() < 2) return kSentenceTaken;
  TrackPoint p;
  if (int e = Position(f, p.latitude, p.longitude)) return e;
  double value = 0;
  bool feet = false;
  if (int e = Altitude(f, value, feet)) return e;
  // Tenths of a metre; feet are truncated after adding half a tenth.
  p.gpsHeight = feet ? static_cast<int32_t>(std::trunc(value * 3.048 + 0.5)) : static_cast<int32_t>(value * 10);
  if (f.size() < 8 || Trim(f[7]).empty()) return 15;
  uint32_t second = 0;
  double fraction = 0;
  if (ParseTimeOfDay(Trim(f[7]), second, fraction) != 0) return 16;
  if (fraction >= 0.5) ++second;
  if (f.size() < 9) return 17;
  if (Trim(f[8]) != "A") return kSentenceTaken;  // no fix: passed over
  if (f.size() < 10) return 18;
  if (f.size() < 11 || Trim(f[10]).empty()) return 19;
  const std::string_view date = Trim(f[10]);
  const auto dateValue = ReadDecimal(date);
  if (!dateValue) return 20;
  if (*dateValue > 999999) return 21;
  CalendarTime t;
  t.day = static_cast<uint16_t>(*dateValue / 10000);
  t.month = static_cast<uint16_t>(*dateValue / 100 % 100);
  t.year = static_cast<uint16_t>(2000 + *dateValue % 100);
  // Month and day are checked before they reach the calendar's tables.
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return 20;
  const auto day = CalendarToTime(t);
  if (!day) return 20;
  p.time = *day + second;
  point = p;
  hasPoint = true;
  return kSentenceTaken;
}

int ParseMagellanWaypointSentence(std::span<const std::string_view> f, Waypoint& waypoint, bool& hasWaypoint) {
  hasWaypoint = false;
  if (f.empty()) return kSentenceTaken;
  if (f[0] == "$PMGNCMD") return IsEnd(f) ? kDownloadEnd : kSentenceTaken;
  if (f[0] != "$PMGNWPL" || f.size() < 2) return kSentenceTaken;
  Waypoint w;
  if (int e = Position(f, w.latitude, w.longitude)) return e;
  double value = 0;
  bool feet = false;
  if (int e = Altitude(f, value, feet)) return e;
  w.height = feet ? static_cast<int32_t>(std::trunc(value * 0.3048 + 0.5)) : static_cast<int32_t>(value);
  if (f.size() < 8 || Trim(f[7]).empty()) return 15;
  const auto id = ParseWaypointId(f[7]);
  if (!id || id->empty()) return 16;
  w.id = *id;
  // The comment is the unit's free text: it goes through the same rule as
  // every description typed in.
  if (f.size() >= 9) w.name = NormaliseDescription(Trim(f[8]));
  w.symbol = 18;
  waypoint = std::move(w);
  hasWaypoint = true;
  return kSentenceTaken;
}

std::string MagellanWaypointSentence(const Waypoint& w) {
  const int32_t lat = SemicirclesToMilliMinutes(w.latitude);
  const int32_t lon = SemicirclesToMilliMinutes(w.longitude);
  const int32_t la = std::abs(lat), lo = std::abs(lon);
  char text[200];
  std::snprintf(text, sizeof text, "$PMGNWPL,%04d.%03d,%c,%05d.%03d,%c,%04d,M,%s,%s", la / 60000 * 100 + la % 60000 / 1000,
                la % 1000, lat < 0 ? 'S' : 'N', lo / 60000 * 100 + lo % 60000 / 1000, lo % 1000, lon < 0 ? 'W' : 'E',
                w.height < 0 ? 0 : w.height, w.id.c_str(), w.name.c_str());
  std::string s = text;
  AppendChecksum(s, ChecksumDigits::kUpper);
  return s;
}

}  // namespace skylode::magellan
