#include <gtest/gtest.h>

#include <string>

#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "igc_test_support.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

using igc_test::At;

constexpr char kB[] = "B1000004703501N00800000WA0123401300";

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\r\n") {
  std::string s;
  for (const auto& l : lines) s += l + end;
  return s;
}

TEST(IgcReader, ErrorsNameTheRecordAndLine) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "No A-record found"},
      {Lines({"AXYZ", "HFDTE010709"}), "No positions found"},
      {Lines({"HFDTE010709", kB}), "No A-record found"},
      {Lines({"AXYZ", kB}), "Missing date line"},
      {Lines({"AXYZ", "HFDTE010709", "HFDTE020709"}), "Multiple date lines"},
      {Lines({"AXYZ", "AXYZ"}), "Multiple A-records"},
      {Lines({"AXY"}), "Too short A-record"},
      {Lines({"AX_Z"}), "Bad IGC manufacturer found in the A-record"},
      {Lines({"AXYZ1_3"}), "Bad serial number found in the A-record"},
      {Lines({"AXYZ12"}), "Bad serial number found in the A-record"},
      // Date checks, with the number of the offending line.
      {Lines({"AXYZ", "HFDTE320709"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE011309"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE000709"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE310409"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE01070"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE0107091"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HPPLTPILOT: x", "HFDTEDATE:0107"}), "Date error 1 on line 3"},
      {Lines({"AXYZ", "HFDTEDATE:010709,1"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTEDATE:010709,01x"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTEDATE:010709;01"}), "Date error 1 on line 2"},
      {Lines({"AXYZ", "HFDTE:010709"}), "Date error 1 on line 2"},
      // A B record error comes with its field number.
      {Lines({"AXYZ", "HFDTE010709", "LXXX", "B2400004703501N00800000WA0123401300"}), "Pos. error 2 on line 4"},
      {Lines({"AXYZ", "HFDTE010709", "B100000470350"}), "Pos. error 9 on line 3"},
  };
  for (const auto& c : cases) {
    const Result<IgcParse> r = ParseIgcText(c.text);
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.error().kind, ErrorKind::kBadContent);
    EXPECT_EQ(r.error().text, c.error) << c.text;
    // The line named in the text is the error's line.
    const std::string error = c.error;
    if (const size_t at = error.find(" on line "); at != std::string::npos) {
      EXPECT_EQ(r.error().line, std::stoi(error.substr(at + 9))) << c.text;
    }
  }
}

TEST(IgcReader, BRecordFieldErrors) {
  struct Case {
    const char* record;  // after the 'B'
    int error;
  } cases[] = {
      {"1000004703501N00800000WA0123401300", 0},
      {"X000004703501N00800000WA0123401300", 1},
      {"2400004703501N00800000WA0123401300", 2},
      {"10X0004703501N00800000WA0123401300", 3},
      {"1060004703501N00800000WA0123401300", 4},
      {"1000X04703501N00800000WA0123401300", 5},
      {"1000604703501N00800000WA0123401300", 6},
      {"1000004X03501N00800000WA0123401300", 7},
      {"1000009003501N00800000WA0123401300", 8},
      {"10000047035X1N00800000WA0123401300", 9},
      {"1000004760000N00800000WA0123401300", 0},
      {"1000004760001N00800000WA0123401300", 10},
      {"1000004703501X00800000WA0123401300", 11},
      {"1000004703501N0080000", 14},
      {"1000004703501N18000001WA0123401300", 13},
      {"1000004703501N18100000WA0123401300", 13},
      {"1000004703501N18000000WA0123401300", 0},  // the date line
      {"1000009000000N00800000WA0123401300", 0},  // the pole
      {"1000009000001S00800000WA0123401300", 8},
      {"1000009100000N00800000WA0123401300", 8},
      {"1000004703501N0X800000WA0123401300", 12},
      {"1000004703501N17960000EA0123401300", 0},
      {"1000004703501N17960001EA0123401300", 15},
      {"1000004703501N00800000XA0123401300", 16},
      {"1000004703501N00800000W", 17},
      {"1000004703501N00800000WV0123401300", 0},  // any validity letter
      {"1000004703501N00800000WA01234", 18},
      {"1000004703501N00800000WA0123X01300", 18},
      {"1000004703501N00800000WA-123401300", 0},
      {"1000004703501N00800000WA-12X401300", 18},
      {"1000004703501N00800000WA01234-0013", 0},
      {"1000004703501N00800000WA0123401300123 trailing extensions", 0},
      {"", 1},
  };
  for (const auto& c : cases) {
    const Result<IgcBRecord> b = ParseIgcBRecord(c.record);
    EXPECT_EQ(b.ok(), c.error == 0) << c.record;
    if (!b.ok()) {
      EXPECT_EQ(b.error().text, "Pos. error " + std::to_string(c.error)) << c.record;
    }
  }
}

TEST(IgcReader, BRecordValues) {
  Result<IgcBRecord> parsed = ParseIgcBRecord("2359594703501S00800000WA-001201235");
  ASSERT_TRUE(parsed.ok());
  IgcBRecord b = *parsed;
  EXPECT_EQ(b.timeOfDay, 86399u);
  EXPECT_EQ(SemicirclesToMilliMinutes(b.latitude), -2823501);
  EXPECT_EQ(b.longitude, -igc_test::kLon8Degrees);
  EXPECT_EQ(b.pressureAltitude, -12);
  EXPECT_EQ(b.gnssAltitude, 1235);
  // 180 degrees east does not fit the type: pinned, not wrapped to the west.
  parsed = ParseIgcBRecord("0000000000000N17960000EA0000000000");
  ASSERT_TRUE(parsed.ok());
  b = *parsed;
  EXPECT_EQ(b.longitude, std::numeric_limits<int32_t>::max());
  parsed = ParseIgcBRecord("0000008960000S17960000WA0000000000");
  ASSERT_TRUE(parsed.ok());
  b = *parsed;
  EXPECT_EQ(b.latitude, -(1 << 30));
  EXPECT_EQ(b.longitude, std::numeric_limits<int32_t>::min());
  // The same edges written with whole degrees.
  parsed = ParseIgcBRecord("0000009000000N18000000EA0000000000");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed->latitude, 1 << 30);
  EXPECT_EQ(parsed->longitude, std::numeric_limits<int32_t>::max());
  parsed = ParseIgcBRecord("0000009000000S18000000WA0000000000");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed->latitude, -(1 << 30));
  EXPECT_EQ(parsed->longitude, std::numeric_limits<int32_t>::min());
}

TEST(IgcReader, RealWorldLayouts) {
  const uint32_t day = At(2009, 7, 1, 0, 0, 0);
  struct Case {
    const char* name;
    std::string text;
    uint32_t firstTime;
    std::string serial;
  } cases[] = {
      {"CR LF", Lines({"AXYZ", "HFDTE010709", kB}), day + 36000, "000"},
      {"LF only", Lines({"AXYZABC", "HFDTE010709", kB}, "\n"), day + 36000, "ABC"},
      {"no final line end", Lines({"AXYZ ABC", "HFDTE010709"}) + kB, day + 36000, "000"},
      {"byte-order mark", "\xEF\xBB\xBF" + Lines({"AXYZ", "HFDTE010709", kB}), day + 36000, "000"},
      {"DATE label", Lines({"AXYZ", "HFDTEDATE:010709", kB}), day + 36000, "000"},
      {"DATE label and flight", Lines({"AXYZ", "HFDTEDATE:010709,02", kB}), day + 36000, "000"},
      {"long header, I record, extensions, blank lines",
       Lines({"AXYZ001 SOME LOGGER", "HFFXA035", "HFPLTPILOTINCHARGE: Jane Doe", "HFDTEDATE:010709,01",
              "HFGTYGLIDERTYPE: Alpha", "", "I033638FXA3940SIU4143ENL", "LXYZ comment",
              std::string(kB) + "0350912", "C0107091200000000000001", "F100000010203", "E100000PEV",
              "GABCDEF"}),
       day + 36000, "001"},
      // A line is kept to 80 characters; the B record's fields come first.
      {"100-character line", Lines({"AXYZ", "HFDTE010709", std::string(kB) + std::string(65, '9')}),
       day + 36000, "000"},
      {"CR only", Lines({"AXYZ", "HFDTE010709", "LXXX", kB}, "\r"), day + 36000, "000"},
      {"CR CR LF", Lines({"AXYZ", "HFDTE010709", kB}, "\r\r\n"), day + 36000, "000"},
      // An instrument's buffer padded with NULs, inside the lines and after them.
      {"NUL padding", Lines({"AXYZ", std::string("HFDTE010709\0\0", 13), kB}) + std::string(40, '\0'),
       day + 36000, "000"},
  };
  for (const auto& c : cases) {
    const Result<IgcParse> parsed = ParseIgcText(c.text);
    ASSERT_TRUE(parsed.ok()) << c.name << ": " << parsed.error().text;
    const IgcParse& r = *parsed;
    ASSERT_EQ(r.points.size(), 1u) << c.name;
    EXPECT_EQ(r.points[0].time, c.firstTime) << c.name;
    EXPECT_EQ(r.points[0].flags, kTrackPointStartsSegment) << c.name;
    EXPECT_EQ(r.points[0].gpsHeight, 13000) << c.name;
    EXPECT_EQ(r.points[0].baroHeight, 1234) << c.name;
    EXPECT_EQ(r.manufacturer, "XYZ") << c.name;
    EXPECT_EQ(r.serial, c.serial) << c.name;
  }
}

TEST(IgcReader, LinesAreCountedOverEveryKindOfLineEnd) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    const Result<IgcParse> r = ParseIgcText(Lines({"AXYZ", "HFDTE010709", kB, "B99", kB}, end));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, "Pos. error 2 on line 4") << "line end " << int(end[0]);
  }
}

// A file cut off in its last B record keeps every complete fix; the loss is
// reported. A bad record anywhere else still refuses the file.
TEST(IgcReader, CutOffLastRecordKeepsTheCompleteOnes) {
  const std::string complete = Lines({"AXYZ", "HFDTE010709", kB, "B1000014703501N00800000WA0123401300"});
  for (const std::string& cut : {std::string("B1000024703501N008"), std::string("B1000024703501N008\r\n\r\n"),
                                 std::string("B10000")}) {
    SCOPED_TRACE(cut);
    const Result<IgcParse> r = ParseIgcText(complete + cut);
    ASSERT_TRUE(r.ok()) << r.error().text;
    EXPECT_EQ(r->points.size(), 2u);
    EXPECT_EQ(r->warningLine, 5);
    EXPECT_EQ(r->warning.rfind("Last position cut off: Pos. error ", 0), 0u) << r->warning;
    EXPECT_NE(r->warning.find(" on line 5"), std::string::npos) << r->warning;
  }
  const Result<IgcParse> whole = ParseIgcText(complete);
  ASSERT_TRUE(whole.ok());
  EXPECT_TRUE(whole->warning.empty());
  EXPECT_EQ(whole->warningLine, 0);

  const Result<IgcParse> middle = ParseIgcText(complete + "B1000024703501N008\r\n" + kB + "\r\n");
  ASSERT_FALSE(middle.ok());
  EXPECT_EQ(middle.error().text, "Pos. error 14 on line 5");
  const Result<IgcParse> onlyOne = ParseIgcText(Lines({"AXYZ", "HFDTE010709"}) + "B1000024703501N008");
  ASSERT_FALSE(onlyOne.ok());
  EXPECT_EQ(onlyOne.error().text, "Pos. error 14 on line 3");
}

TEST(IgcReader, TwoDigitYearsFromEightyAreTheLastCentury) {
  struct Case {
    const char* date;
    int year;  // 0: a date error
  } cases[] = {
      {"HFDTE311299", 1999}, {"HFDTE010190", 1990}, {"HFDTE311289", 1989},
      {"HFDTE301289", 0},  // before the first day of the program's calendar
      {"HFDTE010180", 0},    {"HFDTE010100", 2000}, {"HFDTE311279", 2079},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    const Result<IgcParse> r = ParseIgcText(Lines({"AXYZ", c.date, "B0000000000000N00000000EA0000000000"}));
    if (c.year == 0) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error().text, "Date error 1 on line 2");
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.error().text;
    EXPECT_EQ(SecondsToDateTime(r->points[0].time).year, c.year);
  }
}

// A fix without a 3-D position has no measured GPS height; the point keeps
// the record's values and says so, and writing it again keeps both.
TEST(IgcReader, FixWithoutThreeDimensionsIsMarked) {
  const std::string text = Lines({"AXYZ", "HFDTE010709", "B1000004703501N00800000WA0123401300",
                                  "B1000014703501N00800000WV0123500000", "B1000024703501N00800000WA0123601310"});
  const Result<IgcParse> r = ParseIgcText(text);
  ASSERT_TRUE(r.ok()) << r.error().text;
  ASSERT_EQ(r->points.size(), 3u);
  EXPECT_EQ(r->points[0].flags, kTrackPointStartsSegment);
  EXPECT_EQ(r->points[1].flags, kTrackPointNoGpsHeight);
  EXPECT_EQ(r->points[1].gpsHeight, 0);
  EXPECT_EQ(r->points[1].baroHeight, 1235);
  EXPECT_EQ(r->points[2].flags, 0u);
  EXPECT_EQ(FormatIgcBRecord(r->points[1], false), "B1000014703501N00800000WV0123500000\r\n");
  EXPECT_EQ(FormatIgcBRecord(r->points[2], false), "B1000024703501N00800000WA0123601310\r\n");
}

TEST(IgcReader, MidnightAdvancesTheDate) {
  const std::string text = Lines({"AXYZ", "HFDTE311209", "B2359500000000N00000000EA0000000000",
                                  "B0000100000000N00000000EA0000000000", "B0000100000000N00000000EA0000000000",
                                  // less than an hour back: a glitch, not a new day
                                  "B2330000000000N00000000EA0000000000"});
  const Result<IgcParse> parsed = ParseIgcText(text);
  ASSERT_TRUE(parsed.ok()) << parsed.error().text;
  const IgcParse& r = *parsed;
  ASSERT_EQ(r.points.size(), 4u);
  EXPECT_EQ(r.points[0].time, At(2009, 12, 31, 23, 59, 50));
  EXPECT_EQ(r.points[1].time - r.points[0].time, 20u);
  EXPECT_EQ(r.points[2].time, At(2010, 1, 1, 0, 0, 10));
  EXPECT_EQ(r.points[3].time, At(2010, 1, 1, 23, 30, 0));
  EXPECT_EQ(r.points[1].flags, 0u);
}

TEST(IgcReader, EndlessMidnightsStopBeforeTheTimeScaleWraps) {
  std::string text = Lines({"AXYZ", "HFDTE010179"});
  for (int i = 0; i < 20000; ++i)
    text += "B2300000000000N00000000EA0000000000\r\nB0000000000000N00000000EA0000000000\r\n";
  const Result<IgcParse> r = ParseIgcText(text);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text.rfind("Date error 2 on line ", 0), 0u) << r.error().text;
  EXPECT_GT(r.error().line, 2);
}

TEST(IgcReader, AcceptInstrumentIgcKeepsTheRawLog) {
  const std::string text = Lines({"AXYZ7Q2 extra", "HFDTE020709", "B0000100000000N00000000EA0000000000"}, "\n");
  const Result<AcceptedIgc> accepted = AcceptInstrumentIgc(text);
  ASSERT_TRUE(accepted.ok()) << accepted.error().text;
  const AcceptedIgc& a = *accepted;
  EXPECT_EQ(a.raw.text, text);
  EXPECT_EQ(a.raw.flightTime, At(2009, 7, 2, 0, 0, 10));
  EXPECT_EQ(a.raw.manufacturer, "XYZ");
  EXPECT_EQ(a.raw.loggerSerial, "7Q2");
  ASSERT_EQ(a.points.size(), 1u);

  const Result<AcceptedIgc> bad = AcceptInstrumentIgc("AXYZ\r\n");
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().text, "No positions found");
  const TrackLog log = MakeIgcFileTrackLog(a.points);
  EXPECT_EQ(log.points, a.points);
  EXPECT_EQ(log.source, TrackLogSource::kFile);
  EXPECT_FALSE(log.gRecordValid || log.sourceClassFlag);
  EXPECT_TRUE(log.hasBaroHeight);
  EXPECT_TRUE(log.instrumentText.empty());
}

TEST(IgcReader, RoundTripKeepsPointsWithinTheFormatsResolution) {
  std::vector<TrackPoint> pts;
  const uint32_t start = At(2011, 8, 14, 22, 30, 0);
  for (int i = 0; i < 3000; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? 1 : 0;
    p.time = start + static_cast<uint32_t>(i) * 2;  // crosses midnight
    p.latitude = static_cast<int32_t>(-1000000000LL + i * 600000LL);  // south to north
    p.longitude = static_cast<int32_t>(2147000000LL - i * 1400000LL);  // east to west
    p.gpsHeight = i * 7 - 300;
    p.baroHeight = i - 100;
    pts.push_back(p);
  }
  IgcWriteOptions o = igc_test::FixtureOptions();
  o.frSerial = "Z9Q";
  o.addEnl = true;
  const Result<IgcText> w = BuildIgcText(pts, o);
  ASSERT_TRUE(w.ok());
  const Result<AcceptedIgc> accepted = AcceptInstrumentIgc(w->text);
  ASSERT_TRUE(accepted.ok()) << accepted.error().text;
  const AcceptedIgc& r = *accepted;
  ASSERT_EQ(r.points.size(), pts.size());
  EXPECT_EQ(r.raw.manufacturer, "XKL");
  EXPECT_EQ(r.raw.loggerSerial, "Z9Q");
  EXPECT_EQ(r.raw.flightTime, start);
  // One thousandth of a minute is about 199 semicircles.
  for (size_t i = 0; i < pts.size() && !HasFailure(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.points[i].time, pts[i].time);
    EXPECT_EQ(r.points[i].flags, pts[i].flags);
    EXPECT_NEAR(r.points[i].latitude, pts[i].latitude, 100);
    EXPECT_NEAR(r.points[i].longitude, pts[i].longitude, 100);
    EXPECT_EQ(r.points[i].baroHeight, pts[i].baroHeight);
    EXPECT_EQ(r.points[i].gpsHeight, pts[i].gpsHeight < 0 ? 0 : (pts[i].gpsHeight + 5) / 10 * 10);
  }
  // Written again, the text is the same byte for byte.
  EXPECT_EQ(BuildIgcText(r.points, o)->text, w->text);
}

}  // namespace
}  // namespace skylode
