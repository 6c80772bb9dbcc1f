#include "access/sentence.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace skylode {
namespace {

using Fields = std::vector<std::string_view>;

TEST(SentenceChecksum, XorOfTheBody) {
  EXPECT_EQ(SentenceChecksum("PBRTR,00"), 0x6A);
  EXPECT_EQ(SentenceChecksum("PBRSNP,"), 0x21);
  EXPECT_EQ(SentenceChecksum(""), 0x00);
  EXPECT_EQ(SentenceChecksum("\xFF\x0F"), 0xF0);
}

TEST(AppendChecksum, BothSpellings) {
  struct Case {
    std::string text;
    ChecksumDigits digits;
    std::string expected;
  };
  const Case cases[] = {
      {"$PBRTR,00", ChecksumDigits::kUpper, "$PBRTR,00*6A\r\n"},
      {"$PBRTR,00", ChecksumDigits::kLower, "$PBRTR,00*6a\r\n"},
      {"$PBRSNP,", ChecksumDigits::kUpper, "$PBRSNP,*21\r\n"},
      // The XON in front of a Flytec command stays outside the checksum.
      {"\x11$PBRSNP,", ChecksumDigits::kUpper, "\x11$PBRSNP,*21\r\n"},
      {"$", ChecksumDigits::kUpper, "$*00\r\n"},
  };
  for (auto c : cases) {
    EXPECT_TRUE(AppendChecksum(c.text, c.digits));
    EXPECT_EQ(c.text, c.expected);
  }
}

TEST(AppendChecksum, RefusesTextWithoutDollar) {
  std::string text = "PBRTR,00";
  EXPECT_FALSE(AppendChecksum(text));
  EXPECT_EQ(text, "PBRTR,00");
}

TEST(AppendChecksum, OutputPassesTheChecks) {
  for (auto digits : {ChecksumDigits::kUpper, ChecksumDigits::kLower}) {
    std::string text = "$GPWPL,4730.123,N,00812.456,E,TEST";
    ASSERT_TRUE(AppendChecksum(text, digits));
    Fields fields;
    EXPECT_EQ(CheckAndSplitSentence(std::string_view(text).substr(0, text.size() - 2), fields, 10), 6);
  }
}

TEST(CheckAndSplitSentence, Splits) {
  struct Case {
    std::string_view text;
    int maxFields;
    Fields expected;
  };
  const Case cases[] = {
      {"$PBRSNP,A,B,C,D*09", 20, {"$PBRSNP", "A", "B", "C", "D"}},
      {"$PBRSNP,A,B,C,D*09", 5, {"$PBRSNP", "A", "B", "C", "D"}},
      // Lower-case check digits are accepted here.
      {"$PBRTR,00*6a", 20, {"$PBRTR", "00"}},
      {"$A,,B*03", 20, {"$A", "", "B"}},
      {"$PBRSNP,*21", 20, {"$PBRSNP", ""}},
      {"$A*41", 20, {"$A"}},
      {"$*00", 20, {"$"}},
      // Commas beyond the limit still end the last recorded field.
      {"$A,B,C*40", 2, {"$A", "B"}},
      {"$A,B,C*40", 1, {"$A"}},
      {"$A,B,C*40", 0, {}},
      // Blanks are kept.
      {"$ID,hello world*01", 20, {"$ID", "hello world"}},
      // A NUL ends the text, whatever follows it.
      {std::string_view("$A*41\0junk", 10), 20, {"$A"}},
  };
  for (const auto& c : cases) {
    Fields fields;
    EXPECT_EQ(CheckAndSplitSentence(c.text, fields, c.maxFields), static_cast<int>(c.expected.size())) << c.text;
    EXPECT_EQ(fields, c.expected) << c.text;
  }
}

TEST(CheckAndSplitSentence, Errors) {
  const std::pair<std::string_view, int> cases[] = {
      {"", kSentenceNoDollar},
      {"PBRTR,00*6A", kSentenceNoDollar},
      {" $PBRTR,00*6A", kSentenceNoDollar},
      {"$PBRTR,00", kSentenceNoStar},
      {"$", kSentenceNoStar},
      {std::string_view("$PB\0*6A", 7), kSentenceNoStar},
      {"$PBRTR,00*", kSentenceBadChecksumDigit},
      {"$PBRTR,00*6", kSentenceBadChecksumDigit},
      {"$PBRTR,00*G6", kSentenceBadChecksumDigit},
      {"$PBRTR,00*6G", kSentenceBadChecksumDigit},
      {"$PBRTR,00*\xB6" "A", kSentenceBadChecksumDigit},
      // The digits are checked before what follows them.
      {"$PBRTR,00*ZZ ", kSentenceBadChecksumDigit},
      {"$PBRTR,00*6A ", kSentenceTrailingText},
      {"$PBRTR,00*6A\r", kSentenceTrailingText},
      {"$PBRTR,00*6A0", kSentenceTrailingText},
      {"$PBRTR,00*6B", kSentenceChecksumMismatch},
      {"$PBRTR,01*6A", kSentenceChecksumMismatch},
  };
  for (const auto& [text, error] : cases) {
    Fields fields{"stale"};
    EXPECT_EQ(CheckAndSplitSentence(text, fields, 20), error) << text;
    EXPECT_TRUE(fields.empty()) << text;
  }
}

// Feeds `bytes` and returns every result other than "byte taken", with the
// index of the byte that produced it.
std::vector<std::pair<size_t, int>> FeedAll(SentenceReader& reader, std::string_view bytes) {
  std::vector<std::pair<size_t, int>> events;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int r = reader.Feed(static_cast<uint8_t>(bytes[i]));
    if (r != 1) events.emplace_back(i, r);
  }
  return events;
}

TEST(SentenceReader, CompleteSentences) {
  SentenceReader reader;
  const std::string_view stream = "noise\r\n$PBRTR,00*6A\r\n$PBRTR,01*6B\r\n";
  const auto events = FeedAll(reader, stream);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(stream.find("\n$PBRTR,01"), 0));
  EXPECT_EQ(events[1], std::make_pair(stream.size() - 1, 0));
  EXPECT_EQ(reader.Text(), "$PBRTR,01");
}

TEST(SentenceReader, Errors) {
  const std::string body80(80, 'X');  // XOR 0x00
  struct Case {
    const char* name;
    std::string bytes;
    int error;
    size_t at;  // index of the byte that fails
  };
  const Case cases[] = {
      // Lower-case digits are refused by this reader.
      {"lower-case second digit", "$PBRTR,00*6a\r\n", -3, 11},
      {"bad first digit", "$PBRTR,00*g6\r\n", -2, 10},
      {"high byte as digit", "$PBRTR,00*\xC6" "A\r\n", -2, 10},
      {"no CR", "$PBRTR,00*6A\n", -4, 12},
      {"no LF", "$PBRTR,00*6A\r\r", -6, 13},
      {"checksum mismatch", "$PBRTR,00*6B\r\n", -5, 13},
      {"82 stored bytes", "$" + body80 + "X*58\r\n", -1, 81},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SentenceReader reader;
    const auto events = FeedAll(reader, c.bytes);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), std::make_pair(c.at, c.error));
  }
}

TEST(SentenceReader, LongestSentenceIsAccepted) {
  SentenceReader reader;
  const std::string sentence = "$" + std::string(80, 'X') + "*00\r\n";
  const auto events = FeedAll(reader, sentence);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].second, 0);
  EXPECT_EQ(reader.Text().size(), 81u);
}

TEST(SentenceReader, ResumesAfterAnError) {
  SentenceReader reader;
  const auto events = FeedAll(reader, "$PBRTR,00*6B\r\n$PBRTR,00*6A\r\n");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].second, -5);
  EXPECT_EQ(events[1].second, 0);
  EXPECT_EQ(reader.Text(), "$PBRTR,00");

  // Reset drops a sentence in progress.
  FeedAll(reader, "$PBRTR,0");
  reader.Reset();
  const auto after = FeedAll(reader, "0*6A\r\n$A*41\r\n");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(reader.Text(), "$A");
}

TEST(SentenceLineCollector, CollectsLinesForTheSplitter) {
  SentenceLineCollector collector;
  std::vector<std::string> lines;
  for (char c : std::string_view("junk$PBRSNP,A,B,C,D*09\r\n\r\n$PBRTR,00*6A\r\n")) {
    if (collector.Feed(static_cast<uint8_t>(c))) lines.emplace_back(collector.Line());
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "$PBRSNP,A,B,C,D*09");
  EXPECT_EQ(lines[1], "$PBRTR,00*6A");
  Fields fields;
  EXPECT_EQ(CheckAndSplitSentence(lines[0], fields, 10), 5);
}

TEST(SentenceLineCollector, LongLineIsCutAndFailsItsCheck) {
  SentenceLineCollector collector;
  const std::string line = "$" + std::string(100, 'X') + "*00\r\n";
  std::string got;
  for (char c : line) {
    if (collector.Feed(static_cast<uint8_t>(c))) got = collector.Line();
  }
  ASSERT_EQ(got.size(), SentenceLineCollector::kMaxLine);
  Fields fields;
  EXPECT_EQ(CheckAndSplitSentence(got, fields, 10), kSentenceNoStar);
}

TEST(SentenceLineCollector, BytesBetweenCrAndLfAreDropped) {
  SentenceLineCollector collector;
  std::string got;
  for (char c : std::string_view("$A*41\rxx\n")) {
    if (collector.Feed(static_cast<uint8_t>(c))) got = collector.Line();
  }
  EXPECT_EQ(got, "$A*41");
}

TEST(SentenceLineCollector, ADollarInsideALineCutsItOffAndStartsTheNext) {
  SentenceLineCollector collector;
  std::vector<std::pair<std::string, SentenceLineCollector::Ending>> lines;
  for (char c : std::string_view("noise$PBRXX,$$PBRTR,00*6A\r\n"))
    if (collector.Feed(static_cast<uint8_t>(c))) lines.emplace_back(collector.Line(), collector.ending());
  const std::vector<std::pair<std::string, SentenceLineCollector::Ending>> expected = {
      {"$PBRXX,", SentenceLineCollector::Ending::kCutOff},
      {"$", SentenceLineCollector::Ending::kCutOff},
      {"$PBRTR,00*6A", SentenceLineCollector::Ending::kCrLf},
  };
  EXPECT_EQ(lines, expected);
}

TEST(SentenceLineCollector, TellsHowTheLineEnded) {
  const std::pair<std::string_view, SentenceLineCollector::Ending> cases[] = {
      {"$A*41\r\n", SentenceLineCollector::Ending::kCrLf},
      {"$A*41\n", SentenceLineCollector::Ending::kBareLf},
      {"$A*41\r\r\n", SentenceLineCollector::Ending::kStrayLf},
      {"$A*41$", SentenceLineCollector::Ending::kCutOff},
  };
  for (const auto& [text, ending] : cases) {
    SentenceLineCollector collector;
    int lines = 0;
    for (char c : text) lines += collector.Feed(static_cast<uint8_t>(c)) ? 1 : 0;
    ASSERT_EQ(lines, 1) << text;
    EXPECT_EQ(collector.Line(), "$A*41");
    EXPECT_EQ(collector.ending(), ending) << text;
  }
}

// Feeds `text` and gives what each completed line was checked as.
std::vector<std::pair<std::string, int>> ReadLines(SentenceLineReader& reader, std::string_view text) {
  std::vector<std::pair<std::string, int>> out;
  for (char c : text)
    if (reader.Feed(static_cast<uint8_t>(c))) out.emplace_back(reader.line(), reader.check());
  return out;
}

TEST(SentenceLineReader, PassesOverOtherSentencesAndChecksItsOwn) {
  SentenceLineReader reader("$PBRTL,", 4);
  const auto lines = ReadLines(reader, "$GPGGA,1*00\r\n$PBRTL,3,0*5B\r\n$PBRTLX*00\r\n$PBRTL,1*00\r\n");
  const std::vector<std::pair<std::string, int>> expected = {{"$PBRTL,3,0*5B", 3},
                                                             {"$PBRTL,1*00", kSentenceChecksumMismatch}};
  EXPECT_EQ(lines, expected);
}

TEST(SentenceLineReader, GivesTheFieldsAndTheCheckDigits) {
  SentenceLineReader reader("$PBRSNP,", 10);
  ASSERT_EQ(ReadLines(reader, "$PBRSNP,A,,C,D*4b\r\n").size(), 1u);
  EXPECT_EQ(reader.check(), 5);
  EXPECT_EQ(reader.fields(), (Fields{"$PBRSNP", "A", "", "C", "D"}));
  EXPECT_EQ(reader.checkDigits(), "4b");
  EXPECT_EQ(reader.EndOfField(3), SentenceLineReader::FieldEnd::kComma);
  EXPECT_EQ(reader.EndOfField(4), SentenceLineReader::FieldEnd::kStar);
  EXPECT_FALSE(reader.MissingCr());
  for (std::string_view broken : {"$PBRSNP,A,,C,D*4b \r\n", "$PBRSNP,A,,C,D*4b\n", "$PBRSNP,A,,C,D*4b$"}) {
    SentenceLineReader other("$PBRSNP,", 10);
    ASSERT_EQ(ReadLines(other, broken).size(), 1u) << broken;
    EXPECT_TRUE(other.MissingCr()) << broken;
  }
}

TEST(SentenceLineReader, ALineWithoutStarIsSplitToShowWhereItBrokeOff) {
  SentenceLineReader reader("", 10);
  ASSERT_EQ(ReadLines(reader, "$PBRTL,3,1,15.07\r\n").size(), 1u);
  EXPECT_EQ(reader.check(), kSentenceNoStar);
  EXPECT_EQ(reader.fields(), (Fields{"$PBRTL", "3", "1", "15.07"}));
  EXPECT_EQ(reader.EndOfField(2), SentenceLineReader::FieldEnd::kComma);
  EXPECT_EQ(reader.EndOfField(3), SentenceLineReader::FieldEnd::kLineEnd);
  EXPECT_EQ(reader.checkDigits(), "");
}

TEST(SentenceLineReader, InSentenceOnlyOnceThePrefixHasCome) {
  SentenceLineReader reader("$PBRWPS,", 10);
  const std::pair<std::string_view, bool> steps[] = {
      {"$PBRW", false}, {"PS,12", true}, {"*00\r", true}, {"\n", false}, {"$GPGGA,1,2", false}};
  for (const auto& [text, inside] : steps) {
    ReadLines(reader, text);
    EXPECT_EQ(reader.InSentence(), inside) << text;
  }
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(ReadDecimal, Fields) {
  const std::pair<std::string_view, std::optional<int32_t>> cases[] = {
      {"0", 0},
      {"42", 42},
      {"  42  ", 42},
      {"", 0},
      {"   ", 0},
      {"007", 7},
      {"214748364", 214748364},
      {"2147483647", kMax},
      {"00000000002147483647", kMax},
      {"2147483648", std::nullopt},
      {"2147483649", std::nullopt},
      {"2147483650", std::nullopt},
      {"4294967296", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {"1 2", std::nullopt},
      {"12a", std::nullopt},
      {"1.5", std::nullopt},
      {"\t1", std::nullopt},
      {"\xB2", std::nullopt},
      {"1\xFF", std::nullopt},
  };
  for (const auto& [field, expected] : cases) EXPECT_EQ(ReadDecimal(field), expected) << '"' << field << '"';
}

TEST(ReadSignedDecimal, Fields) {
  const std::pair<std::string_view, std::optional<int32_t>> cases[] = {
      {"0", 0},
      {"-0", 0},
      {"17", 17},
      {"-17", -17},
      {"+17", 17},
      {" - 12 ", -12},
      {"  +  7", 7},
      {"   ", 0},
      {"", 0},
      {"-", 0},
      {"2147483647", kMax},
      {"+2147483647", kMax},
      {"2147483648", std::nullopt},
      {"+2147483649", std::nullopt},
      {"-2147483647", kMin + 1},
      {"-2147483648", kMin},
      {"-00002147483648", kMin},
      {"-2147483649", std::nullopt},
      {"-99999999999999999999", std::nullopt},
      {"--1", std::nullopt},
      {"+-1", std::nullopt},
      {"- -1", std::nullopt},
      {"1-", std::nullopt},
      {"1 -", std::nullopt},
      {"-\xB2", std::nullopt},
  };
  for (const auto& [field, expected] : cases) EXPECT_EQ(ReadSignedDecimal(field), expected) << '"' << field << '"';
}

}  // namespace
}  // namespace skylode
