// Typed positions come straight from dialogs and files: no input may crash a
// parser, and whatever a parser accepts must be a usable position.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "analysis/coordinate_text.h"
#include "analysis/geodesy.h"
#include "records/angles.h"

using namespace skylode;

namespace {

void CheckAngle(int status, double radians, double limit) {
  if (status < 0) return;
  if (!std::isfinite(radians) || std::fabs(radians) > limit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr double kHalfPi = 1.5707963267948966, kPi = 3.141592653589793;
  double r = 0;
  for (bool lat : {true, false}) {
    const double limit = (lat ? kHalfPi : kPi) + 1e-9;
    CheckAngle(ParseCoordinate(text, lat, r), r, limit);
    CheckAngle(ParseNmeaCoordinate(text, lat, r), r, limit);
    size_t rest = 0;
    const int s = ParseHemisphereCoordinate(text, lat, r, rest);
    CheckAngle(s, r, limit);
    if (s >= 0 && rest > size) std::abort();
  }
  CheckAngle(ParseNmeaMinutes(text, r), r, kPi + 1e-9);
  int zone = 0;
  char band = 0;
  if (ParseUtmZone(text, zone, band) >= 0 && (zone < 1 || zone > 60)) std::abort();
  double d = 0;
  if (ParseDecimal(text, d) >= 0 && !std::isfinite(d)) std::abort();
  int32_t i = 0;
  ParseSignedInteger(text, i);
  uint32_t u = 0;
  ParseUnsignedInteger(text, u);
  uint32_t seconds = 0;
  double fraction = 0;
  if (ParseTimeOfDay(text, seconds, fraction) >= 0 && seconds >= 86400) std::abort();
  return 0;
}
