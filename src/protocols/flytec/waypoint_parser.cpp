#include "protocols/flytec/waypoint_parser.h"

#include <string_view>

#include "protocols/flytec/instrument_text.h"
#include "records/angles.h"

namespace skylode::flytec {
namespace {

constexpr std::string_view kPrefix = "$PBRWPS,";
// Name, latitude, N/S, longitude, E/W, short name, long name, altitude; a
// ninth means a stray comma.
constexpr int kMaxFields = 9;
constexpr double kRadiansPerMinute = 0.0002908882086657;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

using FieldEnd = SentenceLineReader::FieldEnd;

// The error numbers of one coordinate and its hemisphere.
struct CoordinateErrors {
  int overflow, character, fraction, hemisphere, afterHemisphere;
};
constexpr CoordinateErrors kLatitudeErrors{-1, -2, -3, -4, -5};
constexpr CoordinateErrors kLongitudeErrors{-6, -7, -8, -9, -10};

// DDMM.mmm or DDDMM.mmm as radians. `limit`: one more digit would pass 89
// degrees 59 / 179 degrees 59.
int ReadCoordinate(std::string_view field, FieldEnd end, int32_t limit, const CoordinateErrors& e, double& out) {
  int32_t value = 0;
  double fraction = 0;
  double weight = 0.1;
  bool inFraction = false;
  for (char c : field) {
    if (inFraction) {
      if (!IsDigit(c)) return e.fraction;
      fraction += (c - '0') * weight;
      weight *= 0.1;
    } else if (IsDigit(c)) {
      if (value >= limit) return e.overflow;
      value = value * 10 + (c - '0');
    } else if (c == '.') {
      inFraction = true;
    } else {
      return e.character;
    }
  }
  if (end != FieldEnd::kComma) return inFraction ? e.fraction : e.character;
  out = ((value / 100) * 60 + value % 100 + fraction) * kRadiansPerMinute;
  return 1;
}

// "N"/"S" or "E"/"W"; an empty field is north or east.
int ReadHemisphere(std::string_view field, FieldEnd end, char negative, char positive, const CoordinateErrors& e,
                   double& angle) {
  if (field.empty()) return end == FieldEnd::kComma ? 1 : e.hemisphere;
  if (field[0] != negative && field[0] != positive) return e.hemisphere;
  if (field.size() > 1 || end != FieldEnd::kComma) return e.afterHemisphere;
  if (field[0] == negative) angle = -angle;
  return 1;
}

// Exactly four characters, a '-' or a digit and then digits.
int ReadAltitude(std::string_view field, FieldEnd end, int32_t& out) {
  int32_t value = 0;
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (i == 4) return -16;
    if (i == 0 && c == '-') continue;
    if (!IsDigit(c)) return -15;
    value = value * 10 + (c - '0');
  }
  if (field.size() < 4) return -15;
  if (end != FieldEnd::kStar) return -16;
  out = field[0] == '-' ? -value : value;
  return 1;
}

}  // namespace

WaypointSentenceParser::WaypointSentenceParser() : reader_(kPrefix, kMaxFields) {}

int WaypointSentenceParser::Feed(uint8_t byte) { return reader_.Feed(byte) ? TakeLine() : 1; }

// The error numbers follow the field in which a line went wrong, so that a
// message names the same place whichever way the line broke.
int WaypointSentenceParser::TakeLine() {
  const int check = reader_.check();
  if (check != kSentenceNoStar) {
    // This instrument writes its check digits in upper case only.
    const std::string_view digits = reader_.checkDigits();
    if (digits.empty() || !IsUpperHex(digits[0])) return -17;
    if (digits.size() < 2 || !IsUpperHex(digits[1])) return -18;
    if (reader_.MissingCr()) return -19;
    if (reader_.ending() == SentenceLineCollector::Ending::kStrayLf) return -21;
    if (check == kSentenceChecksumMismatch) return -20;
    if (check < 0) return -21;
  }
  const std::vector<std::string_view>& fields = reader_.fields();
  const auto endOf = [this](size_t i) { return reader_.EndOfField(i); };
  // Each step reads its field only when the one before ended in a comma.
  FlytecWaypoint wp;
  int r = ReadCoordinate(fields[1], endOf(1), 896, kLatitudeErrors, wp.latitude);
  if (r < 0) return r;
  r = ReadHemisphere(fields[2], endOf(2), 'S', 'N', kLatitudeErrors, wp.latitude);
  if (r < 0) return r;
  r = ReadCoordinate(fields[3], endOf(3), 1796, kLongitudeErrors, wp.longitude);
  if (r < 0) return r;
  r = ReadHemisphere(fields[4], endOf(4), 'W', 'E', kLongitudeErrors, wp.longitude);
  if (r < 0) return r;

  if (fields[5].size() > kShortNameMax) return -12;
  wp.shortName = fields[5];
  if (endOf(5) == FieldEnd::kLineEnd) return -11;
  if (endOf(5) == FieldEnd::kComma) {
    // A short name alone ends the sentence; a long name needs an altitude.
    if (fields[6].size() > kLongNameMax) return -14;
    wp.longName = fields[6];
    if (endOf(6) != FieldEnd::kComma) return -13;
    r = ReadAltitude(fields[7], endOf(7), wp.altitude);
    if (r < 0) return r;
  }
  wp_ = std::move(wp);
  return 0;
}

Waypoint ToWaypoint(const FlytecWaypoint& w, uint32_t time) {
  Waypoint out;
  std::string_view source = w.shortName;
  if (source.empty()) {
    source = w.longName;
    const size_t blank = source.find(' ');
    if (blank != std::string_view::npos) source = source.substr(0, blank);
  }
  // The instrument's names may hold accented letters and punctuation; an
  // identifier holds only A-Z, 0-9 and '-' wherever it goes next.
  out.id = NormaliseWaypointId(DecodeInstrumentText(UpperInstrumentText(source.substr(0, kWaypointIdMax))), true)
               .value_or(std::string());
  if (out.id.empty()) out.id.push_back('Z');
  out.name = DecodeInstrumentText(UpperInstrumentText(std::string_view(w.longName).substr(0, kWaypointNameMax)));
  out.latitude = RadiansToLatitude(w.latitude).value_or(0);
  out.longitude = RadiansToLongitude(w.longitude).value_or(0);
  out.height = w.altitude;
  out.time = time;
  out.symbol = kDefaultWaypointSymbol;
  return out;
}

}  // namespace skylode::flytec
