// The contest optimiser on real flights whose score the contest server
// published: the exact optimum under the rules lands within a small share of
// the published figure (the server measures with its own distance formula
// and its own cut of the flight), proven best, with legs that add up.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/contest_score.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"

namespace skylode {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Case {
  const char* file;
  ContestRules rules;
  ContestType type;
  double published;  // the number in the file name
};

void Check(const Case& k) {
  SCOPED_TRACE(k.file);
  Result<std::string> text = ReadWholeFile(std::string(SKYLODE_TEST_DATA) + "/flights/" + k.file);
  ASSERT_TRUE(text.ok());
  Result<IgcParse> igc = ParseIgcText(*text);
  ASSERT_TRUE(igc.ok());
  const auto& points = igc->points;
  const ContestScores scores = ScoreContests(points);
  const ContestScore& s = scores[k.rules];
  EXPECT_EQ(s.type, k.type);
  EXPECT_TRUE(s.optimal);
  EXPECT_EQ(s.bound, s.score);
  EXPECT_NEAR(s.score / 100.0, k.published, k.published * 0.005);
  int64_t sum = 0;
  for (const ContestLeg& leg : s.legs) {
    EXPECT_GE(leg.from, scores.cut.takeOff);
    EXPECT_LE(leg.to, scores.cut.landing);
    EXPECT_EQ(LegUnits(points[static_cast<size_t>(leg.from)], points[static_cast<size_t>(leg.to)]), leg.units);
    sum += leg.units;
  }
  const int64_t deducted = IsTriangle(s.type) ? sum - s.distance : 0;
  EXPECT_TRUE(deducted == 0 || deducted == s.closing.units);
}

TEST(ContestScoreRealFlights, MatchPublishedScores) {
  const Case cases[] = {
      {"trifai-xcontest-189.65.igc", ContestRules::kXContest, ContestType::kClosedFaiTriangle, 189.65},
      {"freeflight-xcontest-66.46.igc", ContestRules::kXContest, ContestType::kFreeFlight, 66.46},
      {"flat-ffvl-26.37.igc", ContestRules::kFfvl, ContestType::kFlatTriangle, 26.37},
  };
  for (const Case& k : cases) Check(k);
}

// Several seconds in an optimised build: left to the plain builds.
TEST(ContestScoreRealFlights, MatchPublishedScoreOnTheLongFlatFlight) {
  if (kSanitized) GTEST_SKIP() << "too slow under the sanitizers";
  Check({"flat-xcontest-100.59.igc", ContestRules::kXContest, ContestType::kClosedFreeTriangle, 100.59});
}

}  // namespace
}  // namespace skylode
