#include "formats/olc_file.h"

#include <cstdio>
#include <cstdlib>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '!' || c == '$' || c == '(' || c == ')' || c == '*' || c == ',' ||
                       c == '-' || c == '.' || c == '_';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> NormaliseBirthDate(std::string_view text) {
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int part = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits[part] > 4) return std::nullopt;
      parts[part] = parts[part] * 10 + (c - '0');
    } else if ((c == '.' || c == '/' || c == '-') && part < 2 && digits[part] > 0) {
      ++part;
    } else if (c != ' ' || digits[part] > 0) {
      return std::nullopt;
    }
  }
  if (part != 2 || digits[0] > 2 || digits[1] > 2 || (digits[2] != 2 && digits[2] != 4))
    return std::nullopt;
  const int day = parts[0], month = parts[1];
  int year = parts[2];
  if (digits[2] == 2) year += 1900;  // only the day and month are checked against it
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return std::nullopt;
  if (month == 2 && day == 29 && digits[2] == 4 &&
      !((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
    return std::nullopt;
  char out[32];
  std::snprintf(out, sizeof out, "%02d.%02d.%02d", day, month, year % 100);
  return std::string(out);
}

std::optional<std::string> CheckOlcPilot(OlcPilot& p) {
  if (p.firstName.empty()) return "Missing first name";
  if (p.lastName.empty()) return "Missing last name";
  if (p.birthDate.empty()) return "Missing birth date";
  const std::optional<std::string> date = NormaliseBirthDate(p.birthDate);
  if (!date) return "Bad birth date format";
  p.birthDate = *date;
  if (p.gliderClass < 1 || p.gliderClass > kOlcGliderClassCount) return "Combo box read error";
  if (p.gliderType.empty()) return "Missing glider type";
  if (p.startPlace.empty()) return "Missing start place";
  if (p.flightNumber == 0) return "Missing flight number";
  if (p.flightNumber < 1 || p.flightNumber > 35) return "Flight number out of range";
  return std::nullopt;
}

namespace {

std::string TimeOfDay(uint32_t seconds) {
  char out[32];
  std::snprintf(out, sizeof out, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return out;
}

void AppendPosition(std::string& out, int w, const TrackPoint& p) {
  char text[160];
  auto split = [](int32_t semicircles, char positive, char negative, char& h, int& deg, int& min,
                  int& thou) {
    const int32_t mm = SemicirclesToMilliMinutes(semicircles);
    h = mm < 0 ? negative : positive;
    const int64_t v = mm < 0 ? -int64_t{mm} : mm;
    deg = static_cast<int>(v / 60000);
    min = static_cast<int>(v / 1000 % 60);
    thou = static_cast<int>(v % 1000);
  };
  char bh, lh;
  int bg, bm, bmd, lg, lm, lmd;
  split(p.latitude, 'N', 'S', bh, bg, bm, bmd);
  split(p.longitude, 'E', 'W', lh, lg, lm, lmd);
  std::snprintf(
      text, sizeof text,
      "&w%dbh=%c&w%dbg=%d&w%dbm=%02d&w%dbmd=%03d&w%dlh=%c&w%dlg=%d&w%dlm=%02d&w%dlmd=%03d", w, bh,
      w, bg, w, bm, w, bmd, w, lh, w, lg, w, lm, w, lmd);
  out += text;
}

}  // namespace

Result<std::string> BuildOlcText(const OlcPilot& p, std::string_view igcFileName,
                                 const std::array<TrackPoint, 5>& claim, double points) {
  if (!(points > 0)) return Error::Of(ErrorKind::kNothingToWrite, "No result to claim");
  std::string out = "OLCvnolc=" + UrlEncode(p.firstName);
  out += "&na=" + UrlEncode(p.lastName);
  out += "&geb=" + UrlEncode(p.birthDate);
  out += "&gty=" + UrlEncode(p.gliderType);
  out += "&sta=" + UrlEncode(p.startPlace);
  if (!p.region.empty()) out += "&region=" + UrlEncode(p.region);
  out += "&gid=" + UrlEncode(p.callSign);
  out += "&klasse=" + std::to_string(p.gliderClass);
  out += "&igcfn=" + UrlEncode(igcFileName);
  out += "&flugzeug=1";
  const uint32_t start = claim[0].time;
  out += "&ft=" + std::to_string(start / 86400 + 142078);
  const uint32_t startOfDay = start % 86400;
  out += "&s0=" + UrlEncode(TimeOfDay(startOfDay));
  for (int w = 0; w < 5; ++w) AppendPosition(out, w, claim[w]);
  uint32_t finishOfDay = claim[4].time % 86400;
  // A flight over midnight UTC ends on the next day's clock.
  if (finishOfDay <= startOfDay) finishOfDay += 86400;
  out += "&s4=" + UrlEncode(TimeOfDay(finishOfDay));
  char software[32];
  std::snprintf(software, sizeof software, "&software=Skylode%d%02d", kOlcProgramVersion / 100,
                kOlcProgramVersion % 100);
  out += software;
  return out;
}

Result<std::string> BuildOlcFile(const OlcPilot& pilot, std::string_view igcFileName,
                                 const std::array<TrackPoint, 5>& claim, double points,
                                 std::optional<std::string_view> igcText) {
  Result<std::string> text = BuildOlcText(pilot, igcFileName, claim, points);
  if (!text.ok() || !igcText) return text;
  std::string out = std::move(*text);
  out += "&IGCigcIGC=";
  out += *igcText;
  return out;
}

}  // namespace skylode
