#include "analysis/analysis_settings.h"

#include <gtest/gtest.h>

namespace skylode {
namespace {

TEST(AnalysisSettings, LoopFlightGapInput) {
  struct Case {
    const char* text;
    std::optional<uint32_t> value;
    const char* message;
  } cases[] = {
      {"", std::nullopt, "Missing input"},    {"800", 800u, nullptr},
      {"0", 0u, nullptr},                     {"4294967295", 4294967295u, nullptr},
      {"4294967296", std::nullopt, "Bad input"}, {"-5", std::nullopt, "Bad input"},
      {" 5", std::nullopt, "Bad input"},      {"5m", std::nullopt, "Bad input"},
      {"1e3", std::nullopt, "Bad input"},     {"+5", std::nullopt, "Bad input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const GapInput in = ParseLoopFlightGapInput(c.text);
    EXPECT_EQ(in.value, c.value);
    if (c.message == nullptr) {
      EXPECT_EQ(in.message, nullptr);
    } else {
      EXPECT_STREQ(in.message, c.message);
    }
  }
}

TEST(AnalysisSettings, TrackGapMinutesBecomeSecondsWithoutWrapping) {
  struct Case {
    const char* text;
    std::optional<uint32_t> seconds;
  } cases[] = {{"20", 1200u}, {"0", 0u}, {"", std::nullopt}, {"x", std::nullopt},
               {"71582788", 4294967280u}, {"71582789", std::nullopt}, {"99999999999", std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseTrackGapMinutes(c.text), c.seconds);
  }
  EXPECT_EQ(TrackGapMinutes(1200), 20u);
  EXPECT_EQ(TrackGapMinutes(1259), 20u);
}

}  // namespace
}  // namespace skylode
