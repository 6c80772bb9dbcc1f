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

}  // namespace skylode
