#include "protocols/flytec/waypoint_parser.h"

#include <string_view>

#include "protocols/flytec/instrument_text.h"
#include "records/angles.h"

namespace skylode::flytec {
namespace {

constexpr std::string_view kHeader = "$PBRWPS,";
constexpr double kRadiansPerMinute = 0.0002908882086657;

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsLineEnd(uint8_t b) { return b == '\r' || b == '\n'; }

int UpperHex(uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}

// States, named by the field they read.
enum State {
  kWaitDollar = 0,
  kHeaderMatch = 1,
  kLatitude = 2,
  kLatitudeFraction = 3,
  kLatitudeHemisphere = 4,
  kLatitudeComma = 5,
  kLongitude = 6,
  kLongitudeFraction = 7,
  kLongitudeHemisphere = 8,
  kLongitudeComma = 9,
  kShortName = 10,
  kLongName = 11,
  kAltitude = 12,
  kChecksum1 = 13,
  kChecksum2 = 14,
  kCarriageReturn = 15,
  kLineFeed = 16,
};

}  // namespace

int WaypointSentenceParser::EndCoordinate(bool longitude) {
  const double minutes = (value_ / 100) * 60 + value_ % 100 + fraction_;
  (longitude ? wp_.longitude : wp_.latitude) = minutes * kRadiansPerMinute;
  return 1;
}

int WaypointSentenceParser::Feed(uint8_t byte) {
  if (byte == '$') {
    xor_ = 0;
    // Inside a sentence the '$' stays data, and the checksum it reset then
    // reports the broken sentence.
    if (state_ <= kHeaderMatch) {
      state_ = kHeaderMatch;
      position_ = 1;
      return 1;
    }
  } else if (state_ >= kHeaderMatch && state_ <= kAltitude && byte != '*') {
    xor_ ^= byte;
  }
  switch (state_) {
    case kWaitDollar:
      return 1;
    case kHeaderMatch:
      if (byte != static_cast<uint8_t>(kHeader[position_])) {
        state_ = kWaitDollar;
        return 1;
      }
      if (++position_ == kHeader.size()) {
        wp_ = {};
        value_ = 0;
        fraction_ = 0;
        state_ = kLatitude;
      }
      return 1;
    case kLatitude:
    case kLongitude: {
      const bool lon = state_ == kLongitude;
      if (IsDigit(byte)) {
        // DDMM / DDDMM: one more digit would pass 89 degrees 59 / 179 degrees 59.
        if (value_ >= (lon ? 1796 : 896)) return lon ? -6 : -1;
        value_ = value_ * 10 + (byte - '0');
        return 1;
      }
      if (byte == '.') {
        fraction_ = 0;
        weight_ = 0.1;
        state_ = lon ? kLongitudeFraction : kLatitudeFraction;
        return 1;
      }
      if (byte == ',') {
        state_ = lon ? kLongitudeHemisphere : kLatitudeHemisphere;
        return EndCoordinate(lon);
      }
      return lon ? -7 : -2;
    }
    case kLatitudeFraction:
    case kLongitudeFraction: {
      const bool lon = state_ == kLongitudeFraction;
      if (IsDigit(byte)) {
        fraction_ += (byte - '0') * weight_;
        weight_ *= 0.1;
        return 1;
      }
      if (byte == ',') {
        state_ = lon ? kLongitudeHemisphere : kLatitudeHemisphere;
        return EndCoordinate(lon);
      }
      return lon ? -8 : -3;
    }
    case kLatitudeHemisphere:
    case kLongitudeHemisphere: {
      const bool lon = state_ == kLongitudeHemisphere;
      double& angle = lon ? wp_.longitude : wp_.latitude;
      if (byte == (lon ? 'E' : 'N') || byte == (lon ? 'W' : 'S')) {
        if (byte == 'W' || byte == 'S') angle = -angle;
        state_ = lon ? kLongitudeComma : kLatitudeComma;
        return 1;
      }
      if (byte == ',') {  // no hemisphere: north or east
        state_ = lon ? kShortName : kLongitude;
        value_ = 0;
        fraction_ = 0;
        return 1;
      }
      return lon ? -9 : -4;
    }
    case kLatitudeComma:
    case kLongitudeComma: {
      const bool lon = state_ == kLongitudeComma;
      if (byte != ',') return lon ? -10 : -5;
      state_ = lon ? kShortName : kLongitude;
      value_ = 0;
      fraction_ = 0;
      return 1;
    }
    case kShortName:
      if (IsLineEnd(byte)) return -11;
      if (byte == ',') {
        state_ = kLongName;
        return 1;
      }
      if (byte == '*') {
        state_ = kChecksum1;
        return 1;
      }
      if (wp_.shortName.size() == kShortNameMax) return -12;
      wp_.shortName.push_back(static_cast<char>(byte));
      return 1;
    case kLongName:
      if (IsLineEnd(byte)) return -13;
      if (byte == ',') {
        state_ = kAltitude;
        position_ = 0;
        value_ = 0;
        negative_ = false;
        return 1;
      }
      if (wp_.longName.size() == kLongNameMax) return -14;
      wp_.longName.push_back(static_cast<char>(byte));
      return 1;
    case kAltitude:
      if (position_ == 4) {
        if (byte != '*') return -16;
        wp_.altitude = negative_ ? -value_ : value_;
        state_ = kChecksum1;
        return 1;
      }
      if (position_ == 0 && byte == '-') {
        negative_ = true;
      } else if (IsDigit(byte)) {
        value_ = value_ * 10 + (byte - '0');
      } else {
        return -15;
      }
      ++position_;
      return 1;
    case kChecksum1:
    case kChecksum2: {
      const int v = UpperHex(byte);
      if (v < 0) return state_ == kChecksum1 ? -17 : -18;
      received_ = static_cast<uint8_t>(state_ == kChecksum1 ? v << 4 : received_ | v);
      ++state_;
      return 1;
    }
    case kCarriageReturn:
      if (byte != '\r') return -19;
      state_ = kLineFeed;
      return 1;
    case kLineFeed:
      if (byte != '\n') return -21;
      state_ = kWaitDollar;
      if (received_ != xor_) return -20;
      return 0;
    default:
      return -21;
  }
}

Waypoint ToWaypoint(const FlytecWaypoint& w, uint32_t time) {
  Waypoint out;
  std::string_view source = w.shortName;
  if (source.empty()) {
    source = w.longName;
    const size_t blank = source.find(' ');
    if (blank != std::string_view::npos) source = source.substr(0, blank);
  }
  out.id = DecodeInstrumentText(UpperInstrumentText(source.substr(0, kWaypointIdMax)));
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
