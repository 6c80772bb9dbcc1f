#include "analysis/coordinate_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>

#include "records/angles.h"
#include "records/numeric.h"

namespace skylode {
namespace {

constexpr double kDeg = std::numbers::pi / 180;
constexpr bool kLat = true, kLon = false;
constexpr double kNone = 0;  // expected value of a rejected input, never read

double Dms(double d, double m = 0, double s = 0) {
  return d + m / 60 + s / 3600;
}

TEST(ParseCoordinate, AcceptsTheTypedForms) {
  struct Case {
    const char* text;
    bool isLatitude;
    bool ok;
    double degrees;
  } cases[] = {
      {"47", kLat, true, 47},
      {"  N 47 30", kLat, true, 47.5},
      {"s47 30 36", kLat, true, -Dms(47, 30, 36)},
      {"-47.5", kLat, true, -47.5},
      {"47,25", kLat, true, 47.25},
      {"+ 47   30.5", kLat, true, Dms(47, 30.5)},
      {"n 47 30 36,5  ", kLat, true, Dms(47, 30, 36.5)},
      {"E 008  30  12.00", kLon, true, Dms(8, 30, 12)},
      {"w179 59 59.99", kLon, true, -Dms(179, 59, 59.99)},
      {"89.9999", kLat, true, 89.9999},
      {"179", kLon, true, 179},
      {"90", kLon, true, 90},
      {"4 7", kLat, true, Dms(4, 7)},
      {"0000000000000000000000000047", kLat, true, 47},
      {"47.123456789012345678901234567890123456789", kLat, true, 47.123456789012345},
      {"47.", kLat, true, 47},
      {"90", kLat, false, kNone},
      {"180", kLon, false, kNone},
      {"47 N", kLat, false, kNone},
      {"47 30 W", kLon, false, kNone},
      {"E 47", kLat, false, kNone},
      {"N 8", kLon, false, kNone},
      {"N", kLat, false, kNone},
      {"-", kLat, false, kNone},
      {"", kLat, false, kNone},
      {"   ", kLat, false, kNone},
      {"47 60", kLat, false, kNone},
      {"47 59 60", kLat, false, kNone},
      {"47 30 30 30", kLat, false, kNone},
      {"47.5 30", kLat, false, kNone},
      {"47x", kLat, false, kNone},
      {"47 30.5.5", kLat, false, kNone},
      {"47\t30", kLat, false, kNone},
      {"--47", kLat, false, kNone},
      {"99999999999999999999999999999999", kLat, false, kNone},
      {".5", kLat, false, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double radians = -99;
    const int r = ParseCoordinate(c.text, c.isLatitude, radians);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      EXPECT_EQ(radians, -99);  // untouched on failure
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_NEAR(radians, c.degrees * kDeg, 1e-12);
  }
}

TEST(ParseCoordinate, ReadsBackWhatFormatDmsWrites) {
  // Up to 0.005 arc seconds short of the pole and the antimeridian: closer
  // than that, the text says 90 or 180 degrees, which typed input refuses.
  const int32_t semicircles[] = {0,          1,          -1,          563450000,
                                 -563451234, 1073741650, -1073741650, 2147483480};
  for (const bool isLatitude : {kLat, kLon}) {
    for (const int32_t s : semicircles) {
      if (isLatitude && (s > 1073741823 || s < -1073741823)) continue;
      const int32_t cs = SemicirclesToCentiSeconds(s);
      const std::string text = FormatDms(cs, isLatitude);
      SCOPED_TRACE(text);
      double radians = 0;
      ASSERT_EQ(ParseCoordinate(text, isLatitude, radians), 0);
      EXPECT_EQ(RoundHalfAway(radians / kDeg * 360000), cs);
    }
  }
}

TEST(ParseNmeaCoordinate, SentenceFields) {
  struct Case {
    const char* text;
    bool isLatitude;
    bool ok;
    double minutes;
  } cases[] = {
      {"4807.038N", kLat, true, 48 * 60 + 7.038},
      {"  4807.038s  ", kLat, true, -(48 * 60 + 7.038)},
      {"01131.000E", kLon, true, 11 * 60 + 31},
      {"17959.99w", kLon, true, -(179 * 60 + 59.99)},
      {"8959.9999N", kLat, true, 89 * 60 + 59.9999},
      {"0000.000N", kLat, true, 0},
      {"4807.N", kLat, true, 48 * 60 + 7},
      {"9000.000N", kLat, false, kNone},
      {"18000.000E", kLon, false, kNone},
      {"4860.000N", kLat, false, kNone},  // minutes past 59
      {"4807.038 N", kLat, false, kNone},
      {"4807N", kLat, false, kNone},
      {"4807,038N", kLat, false, kNone},
      {"4807.038E", kLat, false, kNone},
      {"4807.038NX", kLat, false, kNone},
      {"4807.038", kLat, false, kNone},
      {"", kLat, false, kNone},
      {"-4807.038N", kLat, false, kNone},
      {"999999999999999999999999999999.0N", kLat, false, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double radians = -99;
    const int r = ParseNmeaCoordinate(c.text, c.isLatitude, radians);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_NEAR(radians, c.minutes / 60 * kDeg, 1e-12);
  }
}

TEST(ParseNmeaMinutes, NoHemisphere) {
  struct Case {
    const char* text;
    bool ok;
    double minutes;
  } cases[] = {
      {"4807.038", true, 48 * 60 + 7.038},
      {" 4807  ", true, 48 * 60 + 7},
      {"17959.99", true, 179 * 60 + 59.99},
      {"18000", false, kNone},
      {"4807.038N", false, kNone},
      {"4875", false, kNone},
      {"-4807", false, kNone},
      {"", false, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double radians = 0;
    const int r = ParseNmeaMinutes(c.text, radians);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_NEAR(radians, c.minutes / 60 * kDeg, 1e-12);
  }
}

TEST(ParseUtmZone, ZonesBandsAndErrorCodes) {
  struct Case {
    const char* text;
    int result;
    int zone;
    char band;
  } cases[] = {
      {"32T", 0, 32, 'T'},
      {"  32 t  ", 0, 32, 'T'},
      {"1C", 0, 1, 'C'},
      {"032T", 0, 32, 'T'},
      {"60X", 0, 60, 'X'},
      {"33b", 0, 33, 'B'},
      {"61T", kZoneAbove60, 0, 0},
      {"999999999999999999999999999999T", kZoneAbove60, 0, 0},
      {"0T", kZoneMissing, 0, 0},
      {"T", kZoneMissing, 0, 0},
      {"", kZoneMissing, 0, 0},
      {"-32T", kZoneMissing, 0, 0},
      {"32", kZoneBadBand, 0, 0},
      {"32 ", kZoneBadBand, 0, 0},
      {"32I", kZoneBadBand, 0, 0},
      {"32o", kZoneBadBand, 0, 0},
      {"32Y", kZoneBadBand, 0, 0},
      {"32A", kZoneBadBand, 0, 0},
      {"32.T", kZoneBadBand, 0, 0},
      {"32T x", kZoneTrailing, 0, 0},
      {"32TT", kZoneTrailing, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int zone = -7;
    char band = '?';
    EXPECT_EQ(ParseUtmZone(c.text, zone, band), c.result);
    if (c.result == 0) {
      EXPECT_EQ(zone, c.zone);
      EXPECT_EQ(band, c.band);
    } else {
      EXPECT_EQ(zone, -7);
      EXPECT_EQ(band, '?');
    }
  }
}

TEST(ParseDecimal, SignsMarksAndJunk) {
  std::string huge = "1" + std::string(400, '0');
  struct Case {
    std::string text;
    bool ok;
    double value;
  } cases[] = {
      {"12.5", true, 12.5},
      {" -0,25 ", true, -0.25},
      {"+7", true, 7},
      {"3.", true, 3},
      {"5260850.8753", true, 5260850.8753},
      {"0.1000000000000000000000000000000000000000000000000001", true, 0.1},
      {"", false, kNone},
      {"-", false, kNone},
      {".5", false, kNone},
      {"1e5", false, kNone},
      {"1 2", false, kNone},
      {"1..2", false, kNone},
      {"0x10", false, kNone},
      {"nan", false, kNone},
      {huge, false, kNone},
      {std::string("12\0", 3), false, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double value = -99;
    const int r = ParseDecimal(c.text, value);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      EXPECT_EQ(value, -99);
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_DOUBLE_EQ(value, c.value);
  }
}

TEST(ParseInteger, SignedAndUnsignedRanges) {
  struct SignedCase {
    const char* text;
    bool ok;
    int32_t value;
  } signedCases[] = {
      {"-12", true, -12},
      {" +5 ", true, 5},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999999", false, 0},
      {"1.5", false, 0},
      {"", false, 0},
      {"- 1", false, 0},
  };
  for (const auto& c : signedCases) {
    SCOPED_TRACE(c.text);
    int32_t v = 0;
    const int r = ParseSignedInteger(c.text, v);
    EXPECT_EQ(r == 0, c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
  struct UnsignedCase {
    const char* text;
    bool ok;
    uint32_t value;
  } unsignedCases[] = {
      {"18", true, 18},         {"4294967295", true, UINT32_MAX},
      {"4294967296", false, 0}, {"-1", false, 0},
      {"+1", false, 0},         {"1x", false, 0},
  };
  for (const auto& c : unsignedCases) {
    SCOPED_TRACE(c.text);
    uint32_t v = 0;
    const int r = ParseUnsignedInteger(c.text, v);
    EXPECT_EQ(r == 0, c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
}

TEST(ParseTimeOfDay, SecondsAndFraction) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t seconds;
    double fraction;
  } cases[] = {
      {"123519", true, 12 * 3600 + 35 * 60 + 19, 0},
      {" 123519.25 ", true, 12 * 3600 + 35 * 60 + 19, 0.25},
      {"000000", true, 0, 0},
      {"235959.999", true, 86399, 0.999},
      {"1230", true, 12 * 60 + 30, 0},
      {"235959.1234567890123456789", true, 86399, 0.12345678901234568},
      {"240000", false, 0, 0},
      {"126000", false, 0, 0},
      {"125960", false, 0, 0},
      {"12:30:00", false, 0, 0},
      {"123519,5", false, 0, 0},
      {"", false, 0, 0},
      {"-1", false, 0, 0},
      {"99999999999999999999999999", false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t seconds = 7;
    double fraction = 7;
    const int r = ParseTimeOfDay(c.text, seconds, fraction);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      EXPECT_EQ(seconds, 7u);
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_EQ(seconds, c.seconds);
    EXPECT_DOUBLE_EQ(fraction, c.fraction);
  }
}

TEST(ParseHemisphereCoordinate, StopsAfterTheNumber) {
  // Too many digits to convert: refused, never an infinite angle.
  const std::string longFraction = "n0," + std::string(326, '0') + "2727786201212O0";
  struct Case {
    const char* text;
    bool isLatitude;
    bool ok;
    double degrees;
    size_t rest;
  } cases[] = {
      // Columns as the geographical waypoint file writes them.
      {"N 47 12 30.50    E 008 30 12.00  1200", kLat, true, Dms(47, 12, 30.5), 13},
      {"E 008 30 12.00  1200  Summit", kLon, true, Dms(8, 30, 12), 14},
      {"N47 12.345 E8 30", kLat, true, Dms(47, 12.345), 10},
      {"s 33 52", kLat, true, -Dms(33, 52), 7},
      {"W 8 30 12  1200", kLon, true, -Dms(8, 30, 12), 9},
      {"n47x", kLat, true, 47, 3},
      {"  e 179,5 ", kLon, true, 179.5, 9},
      {"47 12", kLat, false, 0, 0},
      {"+47 12", kLat, false, 0, 0},
      {"E 47", kLat, false, 0, 0},
      {"N 90", kLat, false, 0, 0},
      {"E 180 00", kLon, false, 0, 0},
      {"N 47 60", kLat, false, 0, 0},
      {"N 47 12 60.0", kLat, false, 0, 0},
      {"N", kLat, false, 0, 0},
      {"", kLat, false, 0, 0},
      {longFraction.c_str(), kLat, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double radians = 0;
    size_t rest = 99;
    const int r = ParseHemisphereCoordinate(c.text, c.isLatitude, radians, rest);
    if (!c.ok) {
      EXPECT_LT(r, 0);
      EXPECT_EQ(rest, 99u);
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_NEAR(radians, c.degrees * kDeg, 1e-12);
    EXPECT_EQ(rest, c.rest);
  }
}

TEST(FormatDms, HemisphereAndFields) {
  struct Case {
    int32_t centiSeconds;
    bool isLatitude;
    const char* text;
  } cases[] = {
      {0, kLat, "N 00  00  00.00"},
      {0, kLon, "E 000  00  00.00"},
      {-1, kLat, "S 00  00  00.01"},
      {47 * 360000 + 13 * 6000 + 3050, kLat, "N 47  13  30.50"},
      {-(8 * 360000 + 30 * 6000 + 1200), kLon, "W 008  30  12.00"},
      {-64800000, kLon, "W 180  00  00.00"},
      {32399999, kLat, "N 89  59  59.99"},
      {INT32_MIN, kLon, "W 5965  13  56.48"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatDms(c.centiSeconds, c.isLatitude), c.text) << c.centiSeconds;
}

TEST(FormatArcSeconds, FiveDigitFractionWithCarry) {
  constexpr double kArcSecond = 1 / 206264.8062471;
  struct Case {
    double radians;
    bool isLatitude;
    const char* text;
  } cases[] = {
      {47.5 * kDeg, kLat, "N 47 30 00.00000"},
      {-Dms(8, 30, 12.25) * kDeg, kLon, "W 008 30 12.25000"},
      {0, kLat, "N 00 00 00.00000"},
      {-1.5 * kArcSecond, kLat, "S 00 00 01.50000"},
      // 59.999996 seconds round up to the next minute, and so to the next degree.
      {(47 * 3600 + 59 * 60 + 59.999996) * kArcSecond, kLat, "N 48 00 00.00000"},
      {(179 * 3600 + 59 * 60 + 59.999994) * kArcSecond, kLon, "E 179 59 59.99999"},
      {(12 * 3600 + 0.000004) * kArcSecond, kLon, "E 012 00 00.00000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto text = FormatArcSeconds(c.radians, c.isLatitude);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.text);
  }
  EXPECT_FALSE(FormatArcSeconds(std::nan(""), kLat).has_value());
  EXPECT_FALSE(FormatArcSeconds(1e300, kLon).has_value());
}

TEST(FormatNumbers, DialogFields) {
  struct Case {
    std::string actual;
    const char* expected;
  } cases[] = {
      {FormatUtmZone(32, 'T'), "32T"},
      {FormatUtmZone(1, 'C'), "01C"},
      {FormatUtmMetres(462343.326), "0462343.3260"},
      {FormatUtmMetres(5.5), "0000005.5000"},
      {FormatUtmMetres(-5.5), "-000005.5000"},
      {FormatUtmMetres(12345678.25), "12345678.2500"},
      {FormatWholeMetres(462343.5), "0462344"},
      {FormatWholeMetres(12.4), "0000012"},
      {FormatWholeMetres(-0.5), "-000001"},
      {FormatFixed(54972.27109, 2), "54972.27"},
      {FormatFixed(0, 2), "0.00"},
      {FormatFixed(std::nan(""), 2), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

// Switches LC_NUMERIC to one with a decimal comma for the life of the object:
// an installed one, or one built with localedef in the test's temporary
// directory. `active` tells whether that worked.
class CommaLocale {
 public:
  CommaLocale() {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    saved_ = previous ? previous : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
      if (std::setlocale(LC_NUMERIC, name) && WritesComma()) {
        active = true;
        return;
      }
    dir_ = testing::TempDir() + "skylode_locale";
    const std::string cmd = "command -v localedef >/dev/null 2>&1 && mkdir -p '" + dir_ +
                            "' && localedef -i de_DE -f ISO-8859-1 '" + dir_ +
                            "/de_DE' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return;
    setenv("LOCPATH", dir_.c_str(), 1);
    active = std::setlocale(LC_NUMERIC, "de_DE") && WritesComma();
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, saved_.c_str());
    unsetenv("LOCPATH");
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  bool active = false;

 private:
  static bool WritesComma() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    return std::string(buf) == "1,5";
  }
  std::string saved_, dir_;
};

TEST(FormatNumbers, IgnoreTheLocale) {
  std::string metres, fixed, dms, seconds;
  int decimal = -1, coordinate = -1;
  double parsed = 0, radians = 0;
  {
    CommaLocale comma;
    if (!comma.active) GTEST_SKIP() << "no locale with a decimal comma available";
    metres = FormatUtmMetres(462343.326);
    fixed = FormatFixed(1.5, 2);
    dms = FormatDms(-(8 * 360000 + 30 * 6000 + 1225), kLon);
    seconds = FormatArcSeconds(Dms(8, 30, 12.25) * kDeg, kLon).value_or("");
    decimal = ParseDecimal("1.5", parsed);
    coordinate = ParseCoordinate("N 47 30.5", kLat, radians);
  }
  EXPECT_EQ(metres, "0462343.3260");
  EXPECT_EQ(fixed, "1.50");
  EXPECT_EQ(dms, "W 008  30  12.25");
  EXPECT_EQ(seconds, "E 008 30 12.25000");
  EXPECT_EQ(decimal, 0);
  EXPECT_EQ(parsed, 1.5);
  EXPECT_EQ(coordinate, 0);
  EXPECT_NEAR(radians, Dms(47, 30.5) * kDeg, 1e-12);
}

// Random bytes drawn from the characters the parsers look at: nothing may
// crash, and whatever is accepted must lie in range.
TEST(CoordinateText, ArbitraryInputIsSafe) {
  std::mt19937 rng(20261210);
  static constexpr char kAlphabet[] = "0123456789 .,+-NnSsEeWwTtIxX\t\0\xff";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1), length(0, 40);
  for (int i = 0; i < 20000; ++i) {
    std::string text(length(rng), ' ');
    for (auto& ch : text) ch = alphabet[pick(rng)];
    SCOPED_TRACE(text);
    double radians = 0;
    if (ParseCoordinate(text, kLat, radians) == 0) {
      ASSERT_LT(std::fabs(radians), 90 * kDeg);
    }
    if (ParseCoordinate(text, kLon, radians) == 0) {
      ASSERT_LT(std::fabs(radians), 180 * kDeg);
    }
    if (ParseNmeaCoordinate(text, kLat, radians) == 0) {
      ASSERT_LT(std::fabs(radians), 90 * kDeg);
    }
    if (ParseNmeaMinutes(text, radians) == 0) {
      ASSERT_LT(std::fabs(radians), 180 * kDeg);
    }
    size_t rest = 0;
    if (ParseHemisphereCoordinate(text, kLon, radians, rest) == 0) {
      ASSERT_LT(std::fabs(radians), 180 * kDeg);
      ASSERT_LE(rest, text.size());
    }
    int zone = 0;
    char band = 0;
    if (ParseUtmZone(text, zone, band) == 0) {
      ASSERT_GE(zone, 1);
      ASSERT_LE(zone, 60);
    }
    double value = 0;
    if (ParseDecimal(text, value) == 0) {
      ASSERT_TRUE(std::isfinite(value));
    }
    uint32_t seconds = 0;
    double fraction = 0;
    if (ParseTimeOfDay(text, seconds, fraction) == 0) {
      ASSERT_LT(seconds, 86400u);
      ASSERT_GE(fraction, 0);
      ASSERT_LT(fraction, 1);
    }
  }
}

}  // namespace
}  // namespace skylode
