#include "protocols/xctrainer/lines.h"

#include <gtest/gtest.h>

#include <string>

namespace skylode::xctrainer {
namespace {

TEST(XcTrainerFields, DigitsOfTheirBaseOnly) {
  struct Case {
    const char* field;
    std::optional<uint32_t> hex, dec;
    std::optional<int32_t> signedHex;
  };
  const Case cases[] = {
      {"0A", 10, std::nullopt, 10},
      {"ff", 255, std::nullopt, -1},
      {"7FFF", 0x7FFF, std::nullopt, 32767},
      {"8000", 0x8000, 8000, -32768},
      {"FFFFFF", 0xFFFFFF, std::nullopt, -1},
      {"800000", 0x800000, 800000, -8388608},
      {"12", 0x12, 12, 0x12},
      {"1G", std::nullopt, std::nullopt, std::nullopt},
      {" 1", std::nullopt, std::nullopt, std::nullopt},
      {"-1", std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexField(c.field), c.hex) << c.field;
    EXPECT_EQ(DecimalField(c.field), c.dec) << c.field;
    EXPECT_EQ(SignedHexField(c.field), c.signedHex) << c.field;
  }
  EXPECT_EQ(HexDigitValue('g'), 99);
  EXPECT_EQ(HexDigitValue('\0'), 99);
}

TEST(XcTrainerFields, Checksum) {
  EXPECT_EQ(CheckLineChecksum("AB", "03"), ChecksumCheck::kOk);
  EXPECT_EQ(CheckLineChecksum("AB", "04"), ChecksumCheck::kMismatch);
  EXPECT_EQ(CheckLineChecksum("AB", "0x"), ChecksumCheck::kBadFormat);
  EXPECT_EQ(CheckLineChecksum("AB", "3"), ChecksumCheck::kBadFormat);
}

TEST(XcTrainerLines, CrEndsTheTextLfTheLine) {
  LineAssembler a;
  std::string got;
  for (char c : std::string("AB\rjunk\nCD\n")) {
    if (a.Add(static_cast<uint8_t>(c)) == LineAssembler::Feed::kComplete) got += std::string(a.line()) + "|";
  }
  EXPECT_EQ(got, "AB|CD|");
  EXPECT_FALSE(a.pending());
  a.Add('x');
  EXPECT_TRUE(a.pending());
}

TEST(XcTrainerLines, HundredCharactersAreTooLong) {
  LineAssembler a;
  for (size_t i = 0; i + 1 < kMaxLineLength; ++i) ASSERT_EQ(a.Add('A'), LineAssembler::Feed::kMore);
  EXPECT_EQ(a.Add('A'), LineAssembler::Feed::kTooLong);
  // The next line starts afresh.
  EXPECT_EQ(a.Add('B'), LineAssembler::Feed::kMore);
  EXPECT_EQ(a.Add('\n'), LineAssembler::Feed::kComplete);
  EXPECT_EQ(a.line(), "B");
}

TEST(XcTrainerPositions, OutsideTheGlobeIsRefused) {
  constexpr double kPerDegree = 24000, kFactor = 497.1026962963;
  EXPECT_EQ(UnitsToLatitude(90 * 24000, kPerDegree, kFactor), 1073741824);
  EXPECT_EQ(UnitsToLatitude(-90 * 24000, kPerDegree, kFactor), -1073741824);
  EXPECT_EQ(UnitsToLatitude(90 * 24000 + 1, kPerDegree, kFactor), std::nullopt);
  EXPECT_EQ(UnitsToLatitude(-8388608, kPerDegree, kFactor), std::nullopt);
  EXPECT_EQ(UnitsToLongitude(-180 * 24000, kPerDegree, kFactor), INT32_MIN);
  // 180 east is 180 west: +2^31 does not fit.
  EXPECT_EQ(UnitsToLongitude(180 * 24000, kPerDegree, kFactor), INT32_MIN);
  EXPECT_EQ(UnitsToLongitude(180 * 24000 + 1, kPerDegree, kFactor), std::nullopt);
  EXPECT_EQ(UnitsToLongitude(8388607, kPerDegree, kFactor), std::nullopt);
  // Half away from zero: 1 unit is 497.10 semicircles, -1 is -497.
  EXPECT_EQ(UnitsToLatitude(1, kPerDegree, kFactor), 497);
  EXPECT_EQ(UnitsToLatitude(-1, kPerDegree, kFactor), -497);
}

TEST(XcTrainerRemainingTime, SixtyFourBitsCappedAtFiveThousandNineHundredNinetyNine) {
  struct Case {
    int64_t elapsedMs, expected, received;
    int32_t want;
  };
  const Case cases[] = {
      {10'000, 200, 100, 10},
      {10'999, 200, 100, 10},  // truncated
      {10'000, 100, 100, 0},
      {10'000, 50, 100, 0},  // more than announced: never negative
      {10'000, 200, 0, 5999},
      // 40 minutes for 100 of 65535 points: 2.4e6 x 65435 overflows 32 bits.
      {2'400'000, 65535, 100, 5999},
      // 20 minutes for 1000 of 3000: 1.2e6 x 2000 = 2.4e9 passes 2^31.
      {1'200'000, 3000, 1000, 2400},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CountRemainingTime(c.elapsedMs, c.expected, c.received), c.want) << c.elapsedMs << " " << c.received;
}

}  // namespace
}  // namespace skylode::xctrainer
