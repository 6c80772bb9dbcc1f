#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "igc_test_support.h"

namespace skylode {
namespace {

using igc_test::At;
using igc_test::FixtureOptions;
using igc_test::FixtureTrack;

// Both files were produced once by BuildIgcText and then checked record by
// record against the record table: the A record with serial and instrument
// text, HFDTE from the first point (1 July 2009, before midnight), the seven
// HO records with the empty competition ID, the B columns of every point
// recomputed by hand (thousandths of a minute rounded half away from zero,
// hemisphere letters, -0012 and 01235 for -12 m / 12345 dm, 0 for a negative
// GPS height, ENL 000/005/999/000 for 0, 1.5, 400 and -1 m), the two L records,
// and the G record recomputed by an independent bit-by-bit script.
TEST(IgcWriter, MatchesTheCheckedGoldenFiles) {
  struct Case {
    const char* file;
    bool enl;
  } cases[] = {{"/igc/fixture_g.igc", false}, {"/igc/fixture_enl_g.igc", true}};
  for (const auto& c : cases) {
    IgcWriteOptions o = FixtureOptions();
    o.addEnl = c.enl;
    const Result<IgcText> built = BuildIgcText(FixtureTrack(), o);
    ASSERT_TRUE(built.ok()) << built.error().text;
    const IgcText& r = *built;
    EXPECT_TRUE(r.gRecordWritten);
    EXPECT_EQ(r.text, igc_test::ReadFile(std::string(SKYLODE_TEST_DATA) + c.file)) << c.file;
  }
}

TEST(IgcWriter, BRecordColumns) {
  const uint32_t noon = At(2010, 5, 6, 12, 34, 56);
  struct Case {
    TrackPoint p;
    bool enl;
    const char* expected;
  } cases[] = {
      // Thousandths of a minute rounded half away from zero on either side.
      {{0, noon, igc_test::kLat4703501, -igc_test::kLon8Degrees, 0, 0, 0}, false,
       "B1234564703501N00800000WA0000000000\r\n"},
      {{0, noon, igc_test::kLat4703501 - 1, 0, 0, 0, 0}, false, "B1234564703500N00000000EA0000000000\r\n"},
      {{0, noon, -igc_test::kLat4703501, 0, 0, 0, 0}, false, "B1234564703501S00000000EA0000000000\r\n"},
      // Heights: GNSS rounded from decimetres, negative GNSS is 0, baro as it stands.
      {{0, noon, 0, 0, 12345, -12, 0}, false, "B1234560000000N00000000EA-001201235\r\n"},
      {{0, noon, 0, 0, -3, 5, 0}, false, "B1234560000000N00000000EA0000500000\r\n"},
      {{0, noon, 0, 0, 14, 0, 0}, false, "B1234560000000N00000000EA0000000001\r\n"},
      {{0, noon, 0, 0, 15, 0, 0}, false, "B1234560000000N00000000EA0000000002\r\n"},
      // Heights beyond five columns are pinned so the record keeps its length.
      {{0, noon, 0, 0, std::numeric_limits<int32_t>::max(), 123456, 0}, false,
       "B1234560000000N00000000EA9999999999\r\n"},
      {{0, noon, 0, 0, std::numeric_limits<int32_t>::min(), -20000, 0}, false,
       "B1234560000000N00000000EA-999900000\r\n"},
      {{0, noon, 0, 0, 0, std::numeric_limits<int32_t>::min(), 0}, false,
       "B1234560000000N00000000EA-999900000\r\n"},
      // Positions at and beyond the poles and the date line stay in their columns.
      {{0, noon, 1 << 30, std::numeric_limits<int32_t>::min(), 0, 0, 0}, false,
       "B1234568960000N17960000WA0000000000\r\n"},
      {{0, noon, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), 0, 0, 0}, false,
       "B1234568960000N17960000EA0000000000\r\n"},
      {{0, noon, std::numeric_limits<int32_t>::min(), 0, 0, 0, 0}, false, "B1234568960000S00000000EA0000000000\r\n"},
      // ENL: feet of depth, at most 999, 0 for negative and NaN.
      {{0, noon, 0, 0, 0, 0, 400.0f}, true, "B1234560000000N00000000EA0000000000999\r\n"},
      {{0, noon, 0, 0, 0, 0, -1.0f}, true, "B1234560000000N00000000EA0000000000000\r\n"},
      {{0, noon, 0, 0, 0, 0, 10.0f}, true, "B1234560000000N00000000EA0000000000033\r\n"},
      {{0, noon, 0, 0, 0, 0, std::numeric_limits<float>::quiet_NaN()}, true,
       "B1234560000000N00000000EA0000000000000\r\n"},
      {{0, noon, 0, 0, 0, 0, std::numeric_limits<float>::infinity()}, true,
       "B1234560000000N00000000EA0000000000999\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatIgcBRecord(c.p, c.enl), c.expected);
}

TEST(IgcWriter, HeaderRecords) {
  IgcWriteOptions o;
  o.frSerial = "AB1";
  o.downloadTime = CalendarTime{2026, 1, 2, 3, 4, 5, 0};
  const std::vector<TrackPoint> pts = {{1, At(2026, 12, 31, 10, 0, 0), 0, 0, 0, 0, 0}};
  const Result<IgcText> built = BuildIgcText(pts, o);
  ASSERT_TRUE(built.ok());
  const IgcText& r = *built;
  // An empty instrument text leaves the blank before the line end; empty HO
  // fields leave the label alone.
  EXPECT_EQ(r.text.substr(0, 21), "AXKLAB1 \r\nHFDTE311226");
  EXPECT_NE(r.text.find("\r\nHOPLTPILOT: \r\nHOGTYGLIDERTYPE: \r\n"), std::string::npos);
  EXPECT_NE(r.text.find("\r\nLXKL Skylode version 4.49\r\nLXKL Downloaded 2026-01-02  03:04:05\r\n"),
            std::string::npos);
  EXPECT_EQ(r.text.find("I01"), std::string::npos);
}

TEST(IgcWriter, LineBreaksInTextsCannotAddRecords) {
  IgcWriteOptions o = FixtureOptions();
  o.header.pilot = "Jane\r\nB0000000000000N00000000EA0000000000";
  o.instrumentText = "Vario\nLXKL forged";
  const Result<IgcText> built = BuildIgcText(FixtureTrack(), o);
  ASSERT_TRUE(built.ok());
  const IgcText& r = *built;
  EXPECT_NE(r.text.find("HOPLTPILOT: Jane  B0000000000000N"), std::string::npos);
  EXPECT_EQ(r.text.find("\nLXKL forged"), std::string::npos);
  // Still exactly the fixture's points, and the signature still holds.
  const Result<IgcParse> back = ParseIgcText(r.text);
  ASSERT_TRUE(back.ok()) << back.error().text;
  EXPECT_EQ(back->points.size(), FixtureTrack().size());
  EXPECT_EQ(VerifyIgcText(r.text), IgcVerifyOutcome::kPassed);
}

TEST(IgcWriter, GRecordOnlyForValidSourcesWhenWanted) {
  struct Case {
    bool valid, wanted, written;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
  for (const auto& c : cases) {
    IgcWriteOptions o = FixtureOptions();
    o.gRecordValid = c.valid;
    o.wantGRecord = c.wanted;
    const Result<IgcText> built = BuildIgcText(FixtureTrack(), o);
    ASSERT_TRUE(built.ok());
    const IgcText& r = *built;
    EXPECT_EQ(r.sourceValid, c.valid);
    EXPECT_EQ(r.gRecordWritten, c.written);
    EXPECT_EQ(r.text.find("\r\nG") != std::string::npos, c.written);
    EXPECT_EQ(VerifyIgcText(r.text),
              c.written ? IgcVerifyOutcome::kPassed : IgcVerifyOutcome::kNoSecurityRecord);
  }
}

TEST(IgcWriter, EmptyTrackIsAnErrorNotACrash) {
  const Result<IgcText> r = BuildIgcText(nullptr, 0, FixtureOptions());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind, ErrorKind::kNothingToWrite);
  EXPECT_FALSE(BuildIgcText(std::vector<TrackPoint>{}, FixtureOptions()).ok());
}

}  // namespace
}  // namespace skylode
