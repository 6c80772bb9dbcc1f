#include <gtest/gtest.h>

#include "access/sentence.h"
#include "protocols/flytec/instrument_text.h"
#include "protocols/flytec/product.h"

namespace skylode::flytec {
namespace {

TEST(FlytecCommands, FlightNumberSentenceCarriesItsChecksum) {
  const std::pair<int, std::string_view> cases[] = {
      {0, "\x11$PBRTR,00*6A\r\n"},
      {7, "\x11$PBRTR,07*6D\r\n"},
      {42, "\x11$PBRTR,42*6C\r\n"},
      {99, "\x11$PBRTR,99*6A\r\n"},
  };
  for (auto [n, expected] : cases) EXPECT_EQ(FlightNumberCommand(n), expected) << n;
}

TEST(FlytecCommands, FixedCommandsCheckOut) {
  for (std::string_view cmd : {kProductDataCommand, kTrackListCommand, kMostRecentFlightCommand,
                               kWaypointListCommand}) {
    ASSERT_EQ(cmd.front(), '\x11');
    std::string_view body = cmd.substr(1, cmd.size() - 3);  // without XON and CR LF
    std::vector<std::string_view> fields;
    EXPECT_GE(CheckAndSplitSentence(body, fields, 5), 1) << body;
  }
}

TEST(FlytecProduct, BlankNormalising) {
  const struct {
    std::string_view in;
    size_t max;
    std::string_view out;
  } cases[] = {
      {"  Max   Muster  ", 40, "Max Muster"},
      {"", 40, ""},
      {"     ", 40, ""},
      {"a b", 40, "a b"},
      {"Competino  plus", 10, "Competino"},  // the cut leaves no trailing blank
      {"12345678", 7, "1234567"},
  };
  for (const auto& c : cases) EXPECT_EQ(BlankNormalise(c.in, c.max), c.out) << c.in;
}

TEST(FlytecProduct, ReplyFillsTheFields) {
  ProductData p;
  std::vector<std::string_view> fields = {"$PBRSNP", " compeo+  ", "Max  Muster ", "  1234", "2.19"};
  ASSERT_EQ(ParseProductReply(fields, p), ProductReplyStatus::kOk);
  EXPECT_EQ(p.product, "COMPEO+");
  EXPECT_EQ(p.pilotName, "Max Muster");
  EXPECT_EQ(p.serialNumber, "1234");
  EXPECT_EQ(p.softwareVersion, "2.19");

  // Overlong fields are cut to the instrument's widths.
  fields = {"$PBRSNP", "ABCDEFGHIJKLMNOPQRS", std::string_view("P"), "123456789", "1.2.3.4.5"};
  ASSERT_EQ(ParseProductReply(fields, p), ProductReplyStatus::kOk);
  EXPECT_EQ(p.product, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(p.serialNumber, "1234567");
  EXPECT_EQ(p.softwareVersion, "1.2.3.");
}

TEST(FlytecProduct, RepliesThatAreRefused) {
  ProductData p;
  p.product = "KEPT";
  using F = std::vector<std::string_view>;
  EXPECT_EQ(ParseProductReply(F{"$PBRSNP", "A", "B", "C"}, p), ProductReplyStatus::kNotProductData);
  EXPECT_EQ(ParseProductReply(F{"$PBRWPS", "A", "B", "C", "D"}, p), ProductReplyStatus::kNotProductData);
  EXPECT_EQ(ParseProductReply(F{"$PBRSNP", "A", "   ", "C", "D"}, p), ProductReplyStatus::kNoPilotName);
  EXPECT_EQ(p.product, "KEPT");
}

TEST(FlytecProduct, ModelNameByFirstContainedName) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"FLYTEC 5020", "5020"},      {"5030", "5030"},           {"6020 GPS", "6020"},
      {"6030", "6030"},             {"COMPEO+", "Compeo+"},     {"IQ COMPEO", "Compeo"},
      {"COMPETINO+ V2", "Competino+"}, {"COMPETINO", "Competino"}, {"GALILEO", "Galileo"},
      {"6015", "Unknown"},          {"", "Unknown"},
  };
  for (auto [product, model] : cases) EXPECT_EQ(ModelName(product), model) << product;
}

TEST(FlytecProduct, IdentificationIsCut) {
  EXPECT_EQ(InstrumentIdentification("Compeo", "12345"), "Compeo:12345");
  EXPECT_EQ(InstrumentIdentification(std::string(60, 'x'), "1").size(), kInstrumentIdMax);
}

TEST(FlytecProduct, TrackListByProductAndVersion) {
  const struct {
    std::string_view product, version;
    bool list;
  } cases[] = {
      {"COMPEO", "2.19", false},  {"COMPEO", "2.2", true},     {"COMPEO", "2.20", true},
      {"COMPEO", "10.0", false},  // byte order, not numeric order
      {"5030", "2.191", true},    {"GALILEO", "2.18", false},  {"GALILEO", "3.0", true},
      {"COMPETINO", "1.13", false}, {"COMPETINO", "1.14", true}, {"5020", "1.2", true},
      {"COMPEO+", "0.1", true},   {"6030", "", true},          {"COMPETINO+", "1.0", true},
      {"6020", "1.0", true},      {"6015", "9.9", false},      {"COMPEO PLUS", "9.9", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(UsesTrackList(c.product, c.version), c.list) << c.product << " " << c.version;
}

TEST(FlytecText, InstrumentBytesBecomeUtf8) {
  const struct {
    std::string_view bytes, utf8, upper;
  } cases[] = {
      {"Muster", "Muster", "MUSTER"},
      {"J\xFC" "rg M\xE4" "der", "J\u00FCrg M\u00E4der", "J\u00DCRG M\u00C4DER"},
      {"\x80 \x9A\xFF", "\u20AC \u0161\u00FF", "\u20AC \u0160\u0178"},
      {"\xF7\x81", "\u00F7\uFFFD", "\u00F7\uFFFD"},  // no case; unassigned
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeInstrumentText(c.bytes), c.utf8) << c.bytes;
    EXPECT_EQ(DecodeInstrumentText(UpperInstrumentText(c.bytes)), c.upper) << c.bytes;
  }
  // The owner name is cut to 40 of the instrument's characters, then decoded.
  ProductData p;
  const std::string name = std::string(39, 'a') + "\xE4\xE4";
  ASSERT_EQ(ParseProductReply({"$PBRSNP", "COMPEO", name, "1", "2"}, p), ProductReplyStatus::kOk);
  EXPECT_EQ(p.pilotName, std::string(39, 'a') + "\u00E4");
}

}  // namespace
}  // namespace skylode::flytec
