#include "protocols/xctrainer/mxp.h"

#include <gtest/gtest.h>

#include "records/calendar.h"
#include "sim/xctrainer/xctrainer_instrument.h"

namespace skylode::xctrainer {
namespace {

using sim::WithChecksum;

// "@xc" firmware 1234, S/N 0x1234, 2026-08-02 11:30:00, datum 1, 3 points,
// interval 1, both heights.
std::string Header(const std::string& body = "@xc1234123400260802113000010003012" "00") {
  return WithChecksum(body);
}

TEST(MxpHeader, Fields) {
  MxpHeader h;
  ASSERT_EQ(DecodeMxpHeader(Header(), "@xc", h), kMxpOk);
  EXPECT_EQ(h.serial, 0x1234u);
  EXPECT_EQ(h.positions, 3u);
  EXPECT_EQ(h.variant, HeightVariant::kBoth);
  EXPECT_EQ(h.startTime, *CalendarToTime({2026, 8, 2, 11, 30, 0, 0}));
  EXPECT_EQ(MxpInstrumentText(h), "XC Trainer V1.2-34, S/N 4660");
  ASSERT_EQ(DecodeMxpHeader(Header("@tn1234123400260802113000010003011" "00"), "@tn", h), kMxpOk);
  EXPECT_EQ(MxpInstrumentText(h), "Top Navigator V12.34, S/N 4660");
  EXPECT_EQ(h.variant, HeightVariant::kGpsOnly);
  // Hour 24 is the next midnight.
  ASSERT_EQ(DecodeMxpHeader(Header("@xc1234123400260802240000010003010" "00"), "@xc", h), kMxpOk);
  EXPECT_EQ(h.startTime, *CalendarToTime({2026, 8, 3, 0, 0, 0, 0}));
  EXPECT_EQ(h.variant, HeightVariant::kBaroOnly);
}

TEST(MxpHeader, EachFieldItsOwnError) {
  struct Case {
    std::string line;
    int error;
  };
  const std::string good = "@xc123412340026080211300001000301200";
  auto with = [&](size_t at, const std::string& text) { return Header(good.substr(0, at) + text + good.substr(at + text.size())); };
  const Case cases[] = {
      {Header().substr(0, 37), kMxpTooShort},
      {good + "0G", kMxpBadChecksumFormat},
      {good + "00", kMxpBadChecksum},
      {std::string(100, 'A'), kMxpTooLong},
      {Header("@tn123412340026080211300001000301200"), kMxpBadIdentifier},
      {with(7, "12G4"), kMxpBadSerialEntry},
      {with(13, "2x"), kMxpBadStartTimeEntry},
      {with(15, "13"), kMxpBadStartTimeValue},
      {with(17, "00"), kMxpBadStartTimeValue},
      {with(15, "0231"), kMxpBadStartTimeValue},  // 31 February
      {with(19, "25"), kMxpBadStartTimeValue},
      {with(21, "60"), kMxpBadStartTimeValue},
      {with(25, "02"), kMxpBadGeodeticId},
      {with(27, "00G3"), kMxpBadPositionsEntry},
      {with(31, "0Z"), kMxpBadIntervalEntry},
  };
  for (const Case& c : cases) {
    MxpHeader h;
    EXPECT_EQ(DecodeMxpHeader(c.line, "@xc", h), c.error) << c.line;
  }
  EXPECT_EQ(MxpErrorText(kMxpBadGpsValidEntry), "E202 Bad GPS pos. valid entry");
  EXPECT_EQ(MxpErrorText(19), "E202 Unknown error");
}

// A position line of the header above: record, time, valid flag, latitude,
// longitude, heights.
std::string Position(int record, int time, const std::string& lat = "10C6F6", const std::string& lon = "0249AE",
                     const std::string& heights = "04D804E4") {
  char head[16];
  std::snprintf(head, sizeof head, "%04X%04X01", record, time);
  return WithChecksum(head + lat + lon + heights);
}

TEST(MxpPositions, PointsOfTheLog) {
  MxpDecoder d("@xc");
  ASSERT_EQ(d.Feed(Header()), kMxpOk);
  EXPECT_FALSE(d.complete());
  ASSERT_EQ(d.Feed(Position(1, 0xFFFE)), kMxpOk);
  ASSERT_EQ(d.Feed(Position(2, 0xFFFF, "EF390A", "FDB652", "FFFF0000")), kMxpOk);
  // The time field wrapping back is the next day.
  ASSERT_EQ(d.Feed(Position(3, 5)), kMxpOk);
  EXPECT_TRUE(d.complete());
  const auto& p = d.points();
  ASSERT_EQ(p.size(), 3u);
  const uint32_t start = *CalendarToTime({2026, 8, 2, 11, 30, 0, 0});
  EXPECT_EQ(p[0].time, start + 0xFFFE);
  EXPECT_EQ(p[1].time, start + 0xFFFF);
  EXPECT_EQ(p[2].time, start + 86400 + 5);
  EXPECT_EQ(p[0].flags, 1u);
  EXPECT_EQ(p[1].flags, 0u);
  // 0x10C6F6 = 1099510 units of 1/24000 degree.
  EXPECT_EQ(p[0].latitude, 546569386);
  EXPECT_EQ(p[1].latitude, -546569386);
  EXPECT_EQ(p[0].baroHeight, 1240);
  EXPECT_EQ(p[0].gpsHeight, 12520);
  EXPECT_EQ(p[1].baroHeight, -1);
  EXPECT_EQ(p[1].gpsHeight, 0);
}

TEST(MxpPositions, EachFieldItsOwnError) {
  struct Case {
    std::vector<std::string> lines;
    int error;
  };
  const Case cases[] = {
      {{Position(2, 0)}, kMxpBadRecordSequence},
      {{Position(0, 0), Position(2, 1)}, kMxpBadRecordSequence},
      {{Position(1, 0), Position(1, 1)}, kMxpBadRecordSequence},
      {{Position(1, 0).substr(0, 31)}, kMxpTooShort},
      {{WithChecksum("000G000001" "10C6F6" "0249AE" "04D804E4")}, kMxpBadRecordNumberEntry},
      {{WithChecksum("00010x0001" "10C6F6" "0249AE" "04D804E4")}, kMxpBadPositionTimeEntry},
      {{WithChecksum("000100000G" "10C6F6" "0249AE" "04D804E4")}, kMxpBadGpsValidEntry},
      {{Position(1, 0, "10C6FX")}, kMxpBadPositionValue},
      // Just beyond the pole and beyond the date line, either way.
      {{Position(1, 0, "20F581")}, kMxpBadPositionValue},
      {{Position(1, 0, "DF0A7F")}, kMxpBadPositionValue},
      {{Position(1, 0, "10C6F6", "41EB01")}, kMxpBadPositionValue},
      {{Position(1, 0, "10C6F6", "BE14FF")}, kMxpBadPositionValue},
      {{Position(1, 0, "7FFFFF", "7FFFFF")}, kMxpBadPositionValue},
      {{Position(1, 0, "10C6F6", "0249AE", "04D8 4E4")}, kMxpBadHeightEntry},
  };
  for (const Case& c : cases) {
    MxpDecoder d("@xc");
    ASSERT_EQ(d.Feed(Header()), kMxpOk);
    int error = kMxpOk;
    for (const std::string& l : c.lines)
      if ((error = d.Feed(l)) != kMxpOk) break;
    EXPECT_EQ(error, c.error) << c.lines.back();
  }
  // The poles and the date line themselves are places.
  MxpDecoder d("@xc");
  ASSERT_EQ(d.Feed(Header()), kMxpOk);
  EXPECT_EQ(d.Feed(Position(0, 0, "20F580", "41EB00")), kMxpOk);
  EXPECT_EQ(d.Feed(Position(1, 1, "DF0A80", "BE1500")), kMxpOk);
}

TEST(MxpPositions, ShortLinesOfOneHeightAndAHeaderOfNone) {
  MxpDecoder gps("@xc");
  ASSERT_EQ(gps.Feed(Header("@xc123412340026080211300001000101100")), kMxpOk);
  ASSERT_EQ(gps.Feed(WithChecksum("000000000110C6F60249AE04E4")), kMxpOk);
  EXPECT_EQ(gps.points()[0].gpsHeight, 12520);
  EXPECT_EQ(gps.points()[0].baroHeight, 0);

  MxpDecoder none("@xc");
  ASSERT_EQ(none.Feed(Header("@xc123412340026080211300001000001200")), kMxpOk);
  EXPECT_TRUE(none.complete());
}

}  // namespace
}  // namespace skylode::xctrainer
