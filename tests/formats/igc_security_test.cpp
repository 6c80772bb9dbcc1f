#include <gtest/gtest.h>

#include <set>
#include <string>

#include "formats/igc_reader.h"
#include "formats/igc_security.h"
#include "formats/igc_writer.h"
#include "igc_test_support.h"

namespace skylode {
namespace {

// The checksum as defined, one bit at a time, independent of zlib's tables.
uint32_t BitwiseCrc(uint32_t crc, std::string_view bytes) {
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

TEST(IgcSecurity, ChecksumIsTheUninvertedCrc32Register) {
  // The standard check value of CRC-32 is 0xCBF43926; without the final
  // inversion the register holds its complement.
  EXPECT_EQ(IgcCrcUpdate(kIgcCrcStart, "123456789"), 0x340BC6D9u);
  const std::string samples[] = {"", "1", "AXKLAB1 \r\n", std::string(1000, '\xff'), std::string("\0\x80\x7f", 3)};
  for (const auto& s : samples) EXPECT_EQ(IgcCrcUpdate(kIgcCrcStart, s), BitwiseCrc(kIgcCrcStart, s)) << s.size();
  // Feeding in pieces is the same as feeding at once: the writer relies on it.
  EXPECT_EQ(IgcCrcUpdate(IgcCrcUpdate(kIgcCrcStart, "12345"), "6789"), 0x340BC6D9u);
}

TEST(IgcSecurity, PermutationUsesEveryBitOnce) {
  std::set<int> seen(kIgcGRecordPermutation.begin(), kIgcGRecordPermutation.end());
  EXPECT_EQ(seen.size(), 64u);
  EXPECT_EQ(*seen.begin(), 0);
  EXPECT_EQ(*seen.rbegin(), 63);
  EXPECT_EQ(kIgcGRecordPermutation[0], 62);
  EXPECT_EQ(kIgcGRecordPermutation[63], 1);
}

TEST(IgcSecurity, CodeIsSixteenUpperCaseHexDigitsAndSpreadsOneBit) {
  const std::string a = IgcSecurityCode(0x12345678u);
  const std::string b = IgcSecurityCode(0x12345679u);
  ASSERT_EQ(a.size(), 16u);
  for (char c : a) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << a;
  int differing = 0;
  for (size_t i = 0; i < 16; ++i) differing += a[i] != b[i];
  EXPECT_GT(differing, 4) << a << " " << b;
}

// Every byte of a covered record is signed; the HO records are not.
TEST(IgcSecurity, VerificationCatchesEveryChangeToCoveredRecords) {
  for (bool enl : {false, true}) {
    IgcWriteOptions o = igc_test::FixtureOptions();
    o.addEnl = enl;
    const std::string good = BuildIgcText(igc_test::FixtureTrack(), o)->text;
    ASSERT_EQ(VerifyIgcText(good), IgcVerifyOutcome::kPassed);
    const size_t gAt = good.find("\r\nG") + 2;
    size_t lineStart = 0;
    int coveredBytes = 0;
    while (lineStart < gAt) {
      const size_t lf = good.find('\n', lineStart);
      const bool covered = good.compare(lineStart, 2, "HO") != 0;
      for (size_t i = lineStart; i + 2 <= lf; ++i) {  // every byte but the line end
        std::string t = good;
        t[i] = t[i] == '7' ? '8' : '7';
        const IgcVerifyOutcome v = VerifyIgcText(t);
        if (covered) {
          ++coveredBytes;
          EXPECT_EQ(v, IgcVerifyOutcome::kFailed) << "offset " << i << " in " << good.substr(lineStart, lf - lineStart);
        } else if (i > lineStart + 1) {  // the label letters decide the record type
          EXPECT_EQ(v, IgcVerifyOutcome::kPassed) << "offset " << i;
        }
      }
      lineStart = lf + 1;
    }
    EXPECT_GT(coveredBytes, 100);
  }
}

TEST(IgcSecurity, VerifyOutcomes) {
  const std::string good = BuildIgcText(igc_test::FixtureTrack(), igc_test::FixtureOptions())->text;
  const size_t firstB = good.find("\r\nB") + 2;
  const size_t secondB = good.find("\r\nB", firstB) + 2;
  const size_t g = good.find("\r\nG") + 2;
  std::string pilotChanged = good;
  pilotChanged.replace(pilotChanged.find("Jane Doe"), 8, "Somebody Else");
  struct Case {
    const char* name;
    std::string text;
    IgcVerifyOutcome outcome;
  } cases[] = {
      {"as written", good, IgcVerifyOutcome::kPassed},
      {"pilot renamed", pilotChanged, IgcVerifyOutcome::kPassed},
      {"extra line ends after G", good + "\r\n\n", IgcVerifyOutcome::kPassed},
      // The text ends at its first NUL: what follows is not part of it.
      {"NUL after G", good + std::string("\0", 1), IgcVerifyOutcome::kPassed},
      {"NUL and more after G", good + std::string("\0LXKL more\r\n", 13), IgcVerifyOutcome::kPassed},
      {"NUL before G", good.substr(0, g) + std::string("\0", 1) + good.substr(g), IgcVerifyOutcome::kNoSecurityRecord},
      {"no G record", good.substr(0, g), IgcVerifyOutcome::kNoSecurityRecord},
      {"empty", "", IgcVerifyOutcome::kNoSecurityRecord},
      {"blank line between B records", std::string(good).insert(secondB, "\r\n"), IgcVerifyOutcome::kFailed},
      {"text after G", good + "LXKL more\r\n", IgcVerifyOutcome::kFailed},
      {"G cut short", good.substr(0, g + 10), IgcVerifyOutcome::kFailed},
      {"lower-case G", std::string(good).replace(g + 1, 16, "31e7d09545612fd3"), IgcVerifyOutcome::kFailed},
      {"ends inside a B record", good.substr(0, secondB + 5), IgcVerifyOutcome::kFailed},
      {"unknown record", std::string(good).insert(secondB, "X\r\n"), IgcVerifyOutcome::kFailed},
      {"LF line ends", [&] {
         std::string s;
         for (char c : good)
           if (c != '\r') s += c;
         return s;
       }(),
       IgcVerifyOutcome::kFailed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VerifyIgcText(c.text), c.outcome) << c.name;
  }
}

TEST(IgcSecurity, BlankLinesAfterSkippedRecordsAreAllowed) {
  std::string text = BuildIgcText(igc_test::FixtureTrack(), igc_test::FixtureOptions())->text;
  const size_t ho = text.find("HOSITSite: Valley\r\n") + 19;
  text.insert(ho, "\r\n\n\r\n");
  text.insert(text.find("\r\nG") + 2, "LPLT remark\r\n\r\n");
  EXPECT_EQ(VerifyIgcText(text), IgcVerifyOutcome::kPassed);
}

}  // namespace
}  // namespace skylode
