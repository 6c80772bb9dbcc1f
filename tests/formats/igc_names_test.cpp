#include <gtest/gtest.h>

#include "formats/igc_names.h"
#include "igc_test_support.h"

namespace skylode {
namespace {

using igc_test::At;

TEST(IgcNames, LongAndShortNames) {
  struct Case {
    uint32_t time;
    const char* serial;
    int flight;
    const char* longName;
    const char* shortName;
  } cases[] = {
      {At(2009, 12, 31, 23, 0, 0), "0A7", 35, "2009-12-31-XKL-0A7-35.igc", "9CVX0A7Z.igc"},
      {At(2010, 1, 9, 0, 0, 0), "AB1", 1, "2010-01-09-XKL-AB1-01.igc", "019XAB11.igc"},
      {At(2026, 10, 10, 12, 0, 0), "zz9", 10, "2026-10-10-XKL-zz9-10.igc", "6AAXzz9A.igc"},
      // Out of range or malformed: no name rather than a broken one.
      {At(2009, 12, 31, 0, 0, 0), "0A7", 0, "", ""},
      {At(2009, 12, 31, 0, 0, 0), "0A7", 36, "", ""},
      {At(2009, 12, 31, 0, 0, 0), "0A", 1, "", ""},
      {At(2009, 12, 31, 0, 0, 0), "0A/", 1, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IgcLongFileName(c.time, c.serial, c.flight), c.longName);
    EXPECT_EQ(IgcShortFileName(c.time, c.serial, c.flight), c.shortName);
  }
}

TEST(IgcNames, ProposedNamesFollowTheMaskAndNeedAFirstPoint) {
  EXPECT_EQ(IgcNameStyleFromMask(5), IgcNameStyle::kShort);
  EXPECT_EQ(IgcNameStyleFromMask(7), IgcNameStyle::kLong);
  EXPECT_EQ(IgcNameStyleFromMask(1), IgcNameStyle::kNone);
  for (auto style : {IgcNameStyle::kNone, IgcNameStyle::kLong, IgcNameStyle::kShort})
    for (bool g : {false, true}) {
      EXPECT_EQ(IgcNameStyleFromMask(IgcSaveMask(g, style)), style);
      EXPECT_EQ((IgcSaveMask(g, style) & kIgcMaskGRecord) != 0, g);
    }
  const std::vector<TrackPoint> pts = {{1, At(2009, 12, 31, 23, 0, 0), 0, 0, 0, 0, 0},
                                       {0, At(2010, 1, 1, 1, 0, 0), 0, 0, 0, 0, 0}};
  EXPECT_EQ(ProposeIgcFileName(IgcNameStyle::kLong, pts, "0A7", 2), "2009-12-31-XKL-0A7-02.igc");
  EXPECT_EQ(ProposeIgcFileName(IgcNameStyle::kShort, pts, "0A7", 2), "9CVX0A72.igc");
  EXPECT_EQ(ProposeIgcFileName(IgcNameStyle::kNone, pts, "0A7", 2), "");
  EXPECT_EQ(ProposeIgcFileName(IgcNameStyle::kLong, {}, "0A7", 2), "");

  RawIgcBuffer raw;
  EXPECT_EQ(ProposeRawIgcFileName(IgcNameStyle::kLong, raw, 3), "");
  raw.text = "AFLY123\r\n";
  raw.flightTime = At(2008, 11, 3, 14, 0, 0);
  raw.manufacturer = "FLY";
  raw.loggerSerial = "123";
  EXPECT_EQ(ProposeRawIgcFileName(IgcNameStyle::kLong, raw, 3), "2008-11-03-FLY-123-03.igc");
  EXPECT_EQ(ProposeRawIgcFileName(IgcNameStyle::kShort, raw, 12), "8B3X123C.igc");
  EXPECT_EQ(ProposeRawIgcFileName(IgcNameStyle::kNone, raw, 3), "");
}

}  // namespace
}  // namespace skylode
