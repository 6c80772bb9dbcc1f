#include "formats/igc_names.h"

#include <charconv>

#include "formats/igc_writer.h"
#include "records/calendar.h"

namespace skylode {
namespace {

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsNameField(std::string_view s) {
  if (s.size() != 3) return false;
  for (char c : s)
    if (!IsAlnum(c)) return false;
  return true;
}

// 0-9 then A-Z: month 10-12 is A-C, day 10-31 A-V, flight 10-35 A-Z.
char OneChar(int v) { return static_cast<char>(v < 10 ? '0' + v : 'A' + (v - 10)); }

void AppendTwo(std::string& s, int v) {
  s.push_back(static_cast<char>('0' + v / 10 % 10));
  s.push_back(static_cast<char>('0' + v % 10));
}

std::string LongName(uint32_t time, std::string_view maker, std::string_view serial, int flight) {
  if (flight < kIgcFlightNumberMin || flight > kIgcFlightNumberMax || !IsNameField(serial) ||
      !IsNameField(maker))
    return {};
  const CalendarTime t = SecondsToDateTime(time);
  std::string s = std::to_string(t.year);
  s.push_back('-');
  AppendTwo(s, t.month);
  s.push_back('-');
  AppendTwo(s, t.day);
  s.push_back('-');
  s.append(maker).push_back('-');
  s.append(serial).push_back('-');
  AppendTwo(s, flight);
  return s + ".igc";
}

std::string ShortName(uint32_t time, std::string_view serial, int flight) {
  if (flight < kIgcFlightNumberMin || flight > kIgcFlightNumberMax || !IsNameField(serial)) return {};
  const CalendarTime t = SecondsToDateTime(time);
  std::string s;
  s.push_back(static_cast<char>('0' + t.year % 10));
  s.push_back(OneChar(t.month));
  s.push_back(OneChar(t.day));
  s.push_back(kIgcManufacturerChar);
  s.append(serial);
  s.push_back(OneChar(flight));
  return s + ".igc";
}

}  // namespace

IgcNameStyle IgcNameStyleFromMask(uint32_t saveMask) {
  if (saveMask & kIgcMaskLongName) return IgcNameStyle::kLong;
  if (saveMask & kIgcMaskShortName) return IgcNameStyle::kShort;
  return IgcNameStyle::kNone;
}

uint32_t IgcSaveMask(bool gRecord, IgcNameStyle style) {
  return (gRecord ? kIgcMaskGRecord : 0) | (style == IgcNameStyle::kLong ? kIgcMaskLongName : 0) |
         (style == IgcNameStyle::kShort ? kIgcMaskShortName : 0);
}

std::string IgcLongFileName(uint32_t time, std::string_view serial, int flight) {
  return LongName(time, kIgcManufacturer, serial, flight);
}

std::string IgcShortFileName(uint32_t time, std::string_view serial, int flight) {
  return ShortName(time, serial, flight);
}

std::string ProposeIgcFileName(IgcNameStyle style, const std::vector<TrackPoint>& points,
                               std::string_view serial, int flight) {
  if (points.empty()) return {};
  switch (style) {
    case IgcNameStyle::kLong: return IgcLongFileName(points.front().time, serial, flight);
    case IgcNameStyle::kShort: return IgcShortFileName(points.front().time, serial, flight);
    case IgcNameStyle::kNone: break;
  }
  return {};
}

std::string RawIgcLongFileName(const RawIgcBuffer& raw, int flight) {
  if (raw.empty()) return {};
  return LongName(raw.flightTime, raw.manufacturer, raw.loggerSerial, flight);
}

std::string RawIgcShortFileName(const RawIgcBuffer& raw, int flight) {
  if (raw.empty()) return {};
  return ShortName(raw.flightTime, raw.loggerSerial, flight);
}

std::string ProposeRawIgcFileName(IgcNameStyle style, const RawIgcBuffer& raw, int flight) {
  switch (style) {
    case IgcNameStyle::kLong: return RawIgcLongFileName(raw, flight);
    case IgcNameStyle::kShort: return RawIgcShortFileName(raw, flight);
    case IgcNameStyle::kNone: break;
  }
  return {};
}

IgcFlightNumberCheck CheckIgcFlightNumber(std::string_view typed) {
  IgcFlightNumberCheck r;
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  size_t b = 0, e = typed.size();
  while (b < e && isBlank(typed[b])) ++b;
  while (e > b && isBlank(typed[e - 1])) --e;
  if (b == e) {
    r.error = "Missing flight number";
    return r;
  }
  std::string_view t = typed.substr(b, e - b);
  bool negative = false;
  if (t.front() == '+' || t.front() == '-') {
    negative = t.front() == '-';
    t.remove_prefix(1);
    while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
  }
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ptr != t.data() + t.size() || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    r.error = "Bad flight number input";
    return r;
  }
  if (negative) v = -v;
  if (ec == std::errc::result_out_of_range || v < kIgcFlightNumberMin || v > kIgcFlightNumberMax) {
    r.error = "Flight number out of range";
    return r;
  }
  r.flight = static_cast<int>(v);
  return r;
}

std::string CheckIgcSaveParameters(std::string_view pilot, std::string_view flightNumber,
                                   std::string_view serial) {
  if (pilot.empty()) return "Missing pilot name";
  if (auto f = CheckIgcFlightNumber(flightNumber); !f.error.empty()) return f.error;
  if (serial.empty()) return "Missing FR serial number";
  if (serial.size() < 3) return "FR serial number string too short";
  for (char c : serial)
    if (!IsAlnum(c)) return "FR serial number not alpha-numeric";
  return {};
}

}  // namespace skylode
