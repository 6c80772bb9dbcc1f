#include "formats/olc_file.h"

#include <gtest/gtest.h>

#include <string>

#include "records/angles.h"

namespace skylode {
namespace {

TEST(OlcUrlEncode, KeepsOnlyTheSafeCharacters) {
  struct Case {
    std::string in, want;
  } cases[] = {
      {"Az09!$()*,-._", "Az09!$()*,-._"},
      {"Tom & Jerry", "Tom%20%26%20Jerry"},  // '&' would start a field of its own
      {"1+1", "1%2B1"},                      // '+' would come back as a blank
      {"a=b&c=d", "a%3Db%26c%3Dd"},
      {"12:05:09", "12%3A05%3A09"},
      {"M\xfcller", "M%FCller"},
      {"%", "%25"},
      {std::string("a\0b", 3), "a%00b"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlEncode(c.in), c.want) << c.in;
}

TEST(OlcBirthDate, RewrittenAsDayMonthTwoDigitYear) {
  struct Case {
    const char* in;
    const char* want;  // nullptr: refused
  } cases[] = {
      {"1.2.1975", "01.02.75"},   {"01.02.75", "01.02.75"},  {"29/02/2000", "29.02.00"},
      {"31-12-1999", "31.12.99"}, {" 5.6.2001", "05.06.01"}, {"29.02.1999", nullptr},
      {"31.04.1980", nullptr},    {"1.13.1980", nullptr},    {"0.1.1980", nullptr},
      {"1.2.198", nullptr},       {"1.2", nullptr},          {"1..2.80", nullptr},
      {"a.b.cd", nullptr},        {"1.2.1980x", nullptr},
  };
  for (const Case& c : cases) {
    const auto got = NormaliseBirthDate(c.in);
    if (c.want == nullptr) {
      EXPECT_FALSE(got.has_value()) << c.in << " gave " << *got;
    } else {
      EXPECT_EQ(got.value_or("(refused)"), c.want) << c.in;
    }
  }
}

OlcPilot GoodPilot() {
  OlcPilot p;
  p.firstName = "Anna";
  p.lastName = "Berg";
  p.birthDate = "3.4.1981";
  p.gliderType = "Alpha 7";
  p.startPlace = "Hochfelln";
  p.gliderClass = 3;
  p.flightNumber = 1;
  return p;
}

TEST(OlcPilotCheck, FirstMissingFieldInOrder) {
  struct Case {
    const char* name;
    void (*spoil)(OlcPilot&);
    const char* want;
  } cases[] = {
      {"first name",
       [](OlcPilot& p) {
         p.firstName.clear();
         p.lastName.clear();
       },
       "Missing first name"},
      {"last name", [](OlcPilot& p) { p.lastName.clear(); }, "Missing last name"},
      {"birth date", [](OlcPilot& p) { p.birthDate.clear(); }, "Missing birth date"},
      {"bad date", [](OlcPilot& p) { p.birthDate = "31.2.1980"; }, "Bad birth date format"},
      {"class", [](OlcPilot& p) { p.gliderClass = 0; }, "Combo box read error"},
      {"glider", [](OlcPilot& p) { p.gliderType.clear(); }, "Missing glider type"},
      {"place", [](OlcPilot& p) { p.startPlace.clear(); }, "Missing start place"},
      {"flight", [](OlcPilot& p) { p.flightNumber = 0; }, "Missing flight number"},
      {"flight high", [](OlcPilot& p) { p.flightNumber = 36; }, "Flight number out of range"},
  };
  for (const Case& c : cases) {
    OlcPilot p = GoodPilot();
    c.spoil(p);
    EXPECT_EQ(CheckOlcPilot(p).value_or("(passed)"), c.want) << c.name;
  }
  OlcPilot p = GoodPilot();
  EXPECT_FALSE(CheckOlcPilot(p).has_value());
  EXPECT_EQ(p.birthDate, "03.04.81");
}

TrackPoint At(double latDeg, double lonDeg, uint32_t time) {
  TrackPoint p;
  p.latitude = static_cast<int32_t>(std::lround(latDeg * kDegreesToSemicircles));
  p.longitude = static_cast<int32_t>(std::lround(lonDeg * kDegreesToSemicircles));
  p.time = time;
  return p;
}

// 2024-06-01 00:00:00 UTC in program seconds.
constexpr uint32_t kDay = 1'086'134'400;

std::array<TrackPoint, 5> Claim(uint32_t start, uint32_t finish) {
  return {At(47.5, 12.25, start), At(-33.125, 151.5, start + 600), At(0.5, -0.25, start + 1200),
          At(-0.01, -120.75, start + 1800), At(47.501, 12.249, finish)};
}

TEST(OlcText, FieldsPointsAndTimesEncoded) {
  OlcPilot p = GoodPilot();
  p.firstName = "Jo & Co";
  p.callSign = "D+1";
  p.region = "DE";
  ASSERT_FALSE(CheckOlcPilot(p).has_value());
  const uint32_t start = kDay + 10 * 3600 + 5 * 60 + 9;
  const Result<std::string> text =
      BuildOlcText(p, "2024-06-01-XKL-000-01.igc", Claim(start, start + 3 * 3600), 12.5);
  ASSERT_TRUE(text.ok());
  const std::string want =
      "OLCvnolc=Jo%20%26%20Co&na=Berg&geb=03.04.81&gty=Alpha%207&sta=Hochfelln&region=DE&gid=D%2B1&"
      "klasse=3"
      "&igcfn=2024-06-01-XKL-000-01.igc&flugzeug=1&ft=" +
      std::to_string(kDay / 86400 + 142078) +
      "&s0=10%3A05%3A09"
      "&w0bh=N&w0bg=47&w0bm=30&w0bmd=000&w0lh=E&w0lg=12&w0lm=15&w0lmd=000"
      "&w1bh=S&w1bg=33&w1bm=07&w1bmd=500&w1lh=E&w1lg=151&w1lm=30&w1lmd=000"
      "&w2bh=N&w2bg=0&w2bm=30&w2bmd=000&w2lh=W&w2lg=0&w2lm=15&w2lmd=000"
      "&w3bh=S&w3bg=0&w3bm=00&w3bmd=600&w3lh=W&w3lg=120&w3lm=45&w3lmd=000"
      "&w4bh=N&w4bg=47&w4bm=30&w4bmd=060&w4lh=E&w4lg=12&w4lm=14&w4lmd=940"
      "&s4=13%3A05%3A09&software=Skylode449";
  EXPECT_EQ(*text, want);
  // 2024-06-01 is day 154,649 counted from 1601-01-01.
  EXPECT_NE(text->find("&ft=154649&"), std::string::npos);
}

TEST(OlcText, UnknownRegionLeftOutAndMidnightFinishPastTwentyFour) {
  struct Case {
    const char* name;
    uint32_t startOfDay, finishOfDay;
    bool nextDay;
    const char* s4;
  } cases[] = {
      {"same day", 9 * 3600, 15 * 3600, false, "&s4=15%3A00%3A00"},
      {"over midnight", 22 * 3600, 1 * 3600 + 30, true, "&s4=25%3A00%3A30"},
      {"finish on the start's clock time", 12 * 3600, 12 * 3600, true, "&s4=36%3A00%3A00"},
  };
  for (const Case& c : cases) {
    OlcPilot p = GoodPilot();
    const uint32_t start = kDay + c.startOfDay;
    const uint32_t finish = kDay + (c.nextDay ? 86400 : 0) + c.finishOfDay;
    const Result<std::string> text = BuildOlcText(p, "x.igc", Claim(start, finish), 1);
    ASSERT_TRUE(text.ok()) << c.name;
    EXPECT_NE(text->find(c.s4), std::string::npos) << c.name << ": " << *text;
    EXPECT_EQ(text->find("&region="), std::string::npos) << c.name;
  }
}

TEST(OlcFile, RefusesAClaimOfNoPointsAndAppendsTheIgcText) {
  const OlcPilot p = GoodPilot();
  const auto claim = Claim(kDay + 36000, kDay + 40000);
  for (double points : {0.0, -1.0}) {
    const Result<std::string> none = BuildOlcFile(p, "x.igc", claim, points, std::nullopt);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().kind, ErrorKind::kNothingToWrite);
  }
  const Result<std::string> alone = BuildOlcFile(p, "x.igc", claim, 3, std::nullopt);
  const Result<std::string> with =
      BuildOlcFile(p, "x.igc", claim, 3, std::string_view("AXKL000\r\nB1\r\n"));
  ASSERT_TRUE(alone.ok());
  ASSERT_TRUE(with.ok());
  EXPECT_EQ(*with, *alone + "&IGCigcIGC=AXKL000\r\nB1\r\n");
  EXPECT_EQ(alone->find("IGCigcIGC"), std::string::npos);
}

}  // namespace
}  // namespace skylode
