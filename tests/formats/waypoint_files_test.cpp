// The waypoint file formats: recognition by content, each reader on real
// looking files and on the lines that must be refused, and every writer
// read back by our own reader.
#include "formats/waypoint_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formats/track_files.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

constexpr uint32_t kNow = 700000000;

WaypointReadOptions Options(std::vector<std::string>* asked = nullptr,
                            ModifyIdAnswer answer = ModifyIdAnswer::kYes) {
  WaypointReadOptions o;
  o.now = kNow;
  if (asked) {
    o.askModifyId = [asked, answer](std::string_view id) {
      asked->emplace_back(id);
      return answer;
    };
  }
  return o;
}

double Lat(const Waypoint& w) { return SemicirclesToDegrees(w.latitude); }
double Lon(const Waypoint& w) { return SemicirclesToDegrees(w.longitude); }

TEST(WaypointFileRecognition, ByFirstBytesNotByName) {
  const struct {
    const char* text;
    WaypointFileKind kind;
  } cases[] = {
      {"OziExplorer Waypoint File Version 1.1\r\n", WaypointFileKind::kOzi},
      {"\xEF\xBB\xBFOziExplorer Waypoint File Version 1.1\r\n", WaypointFileKind::kOzi},
      {"$FormatGEO\r\n", WaypointFileKind::kGeographical},
      {"$FormatUTM\r\n", WaypointFileKind::kUtm},
      {"Title,Code,Country,Latitude,Longitude,Elevation\r\n", WaypointFileKind::kSeeYou},
      {"\xEF\xBB\xBFname,code,country,lat,lon,elev,style,rwdir\r\n", WaypointFileKind::kSeeYou},
      {"MsRcd\0", WaypointFileKind::kMapSource},
      {"1,45:30.000N,006:10.000E,1200M,T,PEAK,Summit\r\n", WaypointFileKind::kWinPilot},
      {"<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<gpx version=\"1.1\"></gpx>", WaypointFileKind::kGpx},
      {"<?xml version=\"1.0\"?><kml><Document/></kml>", WaypointFileKind::kKml},
      {"<?xml version=\"1.0\"?><html></html>", WaypointFileKind::kUnknown},
      {"<gpx></gpx>", WaypointFileKind::kUnknown},
      {"\xFF\xFE<\0?\0x\0m\0l\0", WaypointFileKind::kUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RecogniseWaypointFile(c.text), c.kind);
  }
}

TEST(OziWaypoints, RealFileWithAltitudesDatesAndSymbols) {
  const std::string file =
      "OziExplorer Waypoint File Version 1.1\r\n"
      "WGS 84\r\n"
      "Reserved 2\r\n"
      "garmin\r\n"
      "   1,LAUNCH        ,  46.500000,   8.250000,32873.5000000, 0, 1, 3, 0, 65535,Take off west, 0, 0, 0,    1000, 6, 0,17\r\n"
      "\r\n"
      "   2,lz            , -33.750000, -70.500000,0, 7, 1, 3, 0, 65535,Landing, 0, 0, 0, -777\r\n"
      "   3,OLD           ,   1.000000,   2.000000,12.0, 3, 1, 3, 0, 65535,Before the epoch\r\n"
      "   4,FAR           ,   1.000000,   2.000000,99999999.0, 3, 1, 3, 0, 65535,After the end, 0, 0, 0, -30\r\n";
  Result<WaypointList> r = ReadWaypointText(file, Options());
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 4u);
  const Waypoint& a = r->items[0];
  EXPECT_EQ(a.id, "LAUNCH");
  EXPECT_EQ(a.name, "Take off west");
  EXPECT_NEAR(Lat(a), 46.5, 1e-7);
  EXPECT_NEAR(Lon(a), 8.25, 1e-7);
  EXPECT_EQ(a.time, 43200u);
  EXPECT_EQ(a.height, 305);  // 1000 ft
  EXPECT_EQ(a.symbol, 0);
  const Waypoint& b = r->items[1];
  EXPECT_EQ(b.id, "LZ");
  EXPECT_EQ(b.time, kNow);  // day 0 is the time of reading
  EXPECT_EQ(b.height, 0);   // -777: no altitude
  EXPECT_EQ(b.symbol, 7);
  EXPECT_EQ(r->items[2].time, 0u);  // clamped to the epoch
  EXPECT_EQ(r->items[2].height, 0);  // no altitude field
  EXPECT_EQ(r->items[3].time, UINT32_MAX);  // clamped, not wrapped
  EXPECT_EQ(r->items[3].height, 0);         // below sea level is kept at 0
}

TEST(OziWaypoints, BadLinesAreNumberedFromTheFirstLine) {
  const std::string head = "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
  const struct {
    const char* line;
  } cases[] = {
      {"   1,A,  90.000000,   8.250000,0, 0, 1, 3, 0, 65535,x, 0, 0, 0, 0"},
      {"   1,A,  46.000000, 180.000000,0, 0, 1, 3, 0, 65535,x, 0, 0, 0, 0"},
      {"   1,A,  north,   8.250000,0, 0, 1, 3, 0, 65535,x, 0, 0, 0, 0"},
      {"   1,A,  46.000000,   8.250000,0, 0, 1, 3, 0, 65535"},
      {"   1,A,  46.000000,   8.250000,0, sym, 1, 3, 0, 65535,x"},
      {"   1,,  46.000000,   8.250000,0, 0, 1, 3, 0, 65535,x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Result<WaypointList> r = ReadWaypointText(head + "   1,OK,1.0,2.0,0,0,1,3,0,65535,fine\r\n" + c.line + "\r\n", Options());
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, "Bad line 6");
    EXPECT_EQ(r.error().line, 6);
  }
}

TEST(WaypointIds, TheModifyQuestionDecidesEachBadId) {
  const std::string file =
      "$FormatGEO\r\n"
      "TOOLONGID N 46 30 00.00    E 008 15 00.00  1000  First\r\n"
      "A.B       N 46 30 00.00    E 008 15 00.00  1000  Second\r\n"
      "GOOD      N 46 30 00.00    E 008 15 00.00  1000  Third\r\n";
  const struct {
    ModifyIdAnswer answer;
    bool ok;
    std::vector<std::string> ids;
    size_t questions;
  } cases[] = {
      {ModifyIdAnswer::kYes, true, {"TOOLON", "A-B", "GOOD"}, 2},
      {ModifyIdAnswer::kYesToAll, true, {"TOOLON", "A-B", "GOOD"}, 1},
      {ModifyIdAnswer::kSkip, true, {"GOOD"}, 2},
      {ModifyIdAnswer::kCancel, false, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    std::vector<std::string> asked;
    Result<WaypointList> r = ReadWaypointText(file, Options(&asked, c.answer));
    EXPECT_EQ(asked.size(), c.questions);
    ASSERT_EQ(r.ok(), c.ok);
    if (!c.ok) {
      EXPECT_EQ(r.error().text, "Bad line 2");
      continue;
    }
    std::vector<std::string> ids;
    for (const auto& w : r->items) ids.push_back(w.id);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST(GeographicalWaypoints, LongRestOfLineIsBoundedAndHeightsRounded) {
  const std::string file = "$FormatGEO\r\n"
                           "PEAK      N 46 30 15.50    E 008 15 30.25  1234  " +
                           std::string(300, 'x') +
                           "\r\n"
                           "SEA       S 33 45 00.00    W 070 30 00.00   -12\r\n";
  Result<WaypointList> r = ReadWaypointText(file, Options());
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 2u);
  EXPECT_EQ(r->items[0].name, std::string(40, 'x'));
  EXPECT_NEAR(Lat(r->items[0]), 46 + 30 / 60.0 + 15.5 / 3600, 1e-7);
  EXPECT_NEAR(Lon(r->items[0]), 8 + 15 / 60.0 + 30.25 / 3600, 1e-7);
  EXPECT_EQ(r->items[0].height, 1234);
  EXPECT_EQ(r->items[0].symbol, 18);
  EXPECT_EQ(r->items[0].time, kNow);
  EXPECT_NEAR(Lat(r->items[1]), -33.75, 1e-7);
  EXPECT_NEAR(Lon(r->items[1]), -70.5, 1e-7);
  EXPECT_EQ(r->items[1].height, 0);
  EXPECT_EQ(r->items[1].name, "");
}

TEST(UtmWaypoints, ReadUnderAnyNameAndPaddedOnWrite) {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.5), *DegreesToLongitude(8.25), 1500, "ABC", "Summit", 0, 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), 20, "SOUTH6", "Valley", 0, 18});
  const std::string text = BuildUtmWaypointFile(list);
  EXPECT_EQ(text.substr(0, 12), "$FormatUTM\r\n");
  EXPECT_EQ(text.substr(12, 15), "ABC      32T   ");  // six blanks after a three-letter ID
  Result<WaypointList> r = ReadWaypointText(text, Options());
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    // Whole metres of easting and northing.
    EXPECT_NEAR(Lat(r->items[i]), Lat(list.items[i]), 1e-5);
    EXPECT_NEAR(Lon(r->items[i]), Lon(list.items[i]), 1e-5);
    EXPECT_EQ(r->items[i].id, list.items[i].id);
    EXPECT_EQ(r->items[i].name, list.items[i].name);
    EXPECT_EQ(r->items[i].height, list.items[i].height);
  }
}

TEST(SeeYouWaypoints, RealTaskFileWithQuotedCommasAndFeet) {
  const std::string file =
      "\xEF\xBB\xBFname,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
      "\"Monte Grappa, north\",\"GRAPPA\",IT,4552.000N,01142.500E,1700.0m,7,,,,\"Launch, west\"\r\n"
      "\"Bassano LZ\",BASS,IT,4545.500N,01144.000E,1200ft,3,,,,\r\n"
      "\"  Summit\",,IT,4600.000N,01100.000E,1200.6m,1,,,,\r\n"
      "\r\n"
      "\"No height\",NOH,IT,4600.000S,01100.000W,,1,,,,\r\n"
      "-----Related Tasks-----\r\n"
      "\"Task 1\",\"GRAPPA\",\"BASS\",\"GRAPPA\"\r\n"
      "Options,NoStart=12:00:00,TaskTime=02:00:00\r\n"
      "ObsZone=0,Style=2,R1=400m\r\n";
  Result<WaypointList> r = ReadWaypointText(file, Options());
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 4u);
  EXPECT_EQ(r->items[0].name, "Monte Grappa, north");
  EXPECT_EQ(r->items[0].id, "GRAPPA");
  EXPECT_NEAR(Lat(r->items[0]), 45 + 52 / 60.0, 1e-7);
  EXPECT_NEAR(Lon(r->items[0]), 11 + 42.5 / 60.0, 1e-7);
  EXPECT_EQ(r->items[0].height, 1700);
  EXPECT_EQ(r->items[1].height, 366);  // 1200 ft
  EXPECT_EQ(r->items[2].name, "Summit");
  EXPECT_EQ(r->items[2].height, 1201);
  EXPECT_EQ(r->items[3].height, 0);
  EXPECT_NEAR(Lat(r->items[3]), -46, 1e-7);
  EXPECT_NEAR(Lon(r->items[3]), -11, 1e-7);
}

TEST(SeeYouWaypoints, AnEmptyCodeTakesTheTitleThroughTheIdCheck) {
  std::vector<std::string> asked;
  Result<WaypointList> r = ReadWaypointText(
      "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,Description\r\n"
      "\"Summit\",,IT,4600.000N,01100.000E,100m,1,,,,\r\n",
      Options(&asked));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->items[0].id, "SUMMIT");
  EXPECT_TRUE(asked.empty());

  r = ReadWaypointText(
      "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,Description\r\n"
      "\"Summit\",X,IT,4600.000N,01100.000E\r\n",
      Options());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text, "Bad line 2");
}

TEST(WinPilotWaypoints, IdAndNameFromTheirOwnFields) {
  const std::string file =
      "* a comment line\r\n"
      "1,45:30.000N,006:10.000E,1200M,T,PEAK,Summit of it\r\n"
      "\r\n"
      "2,45:30:30S,006:10:15W,3937F,T,LZ1\r\n"
      "3,45:30.500n,006:10.250e,-5,L,lz2,Landing, with a comma\r\n";
  Result<WaypointList> r = ReadWaypointText(file, Options());
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 3u);
  EXPECT_EQ(r->items[0].id, "PEAK");
  EXPECT_EQ(r->items[0].name, "Summit of it");
  EXPECT_EQ(r->items[0].height, 1200);
  EXPECT_NEAR(Lat(r->items[0]), 45.5, 1e-7);
  EXPECT_NEAR(Lon(r->items[0]), 6 + 10 / 60.0, 1e-7);
  EXPECT_EQ(r->items[1].id, "LZ1");
  EXPECT_EQ(r->items[1].name, "LZ1");
  EXPECT_EQ(r->items[1].height, 1200);  // 3937 ft
  EXPECT_NEAR(Lat(r->items[1]), -(45 + 30 / 60.0 + 30 / 3600.0), 1e-7);
  EXPECT_NEAR(Lon(r->items[1]), -(6 + 10 / 60.0 + 15 / 3600.0), 1e-7);
  EXPECT_EQ(r->items[2].id, "LZ2");
  EXPECT_EQ(r->items[2].name, "Landing, with a comma");
  EXPECT_EQ(r->items[2].height, -5);

  for (const char* bad : {"1,45:30.000N,006:10.000E,1200M,T", "1,90:00.000N,006:10.000E,0,T,X,Y",
                          "1,45:60.000N,006:10.000E,0,T,X,Y", "1,45:30.000E,006:10.000E,0,T,X,Y",
                          "1,45:30.000N,006:10.000E,12x,T,X,Y", ",45:30.000N,006:10.000E,0,T,X,Y"}) {
    SCOPED_TRACE(bad);
    Result<WaypointList> b = ReadWaypointText(std::string(bad) + "\r\n", Options());
    ASSERT_FALSE(b.ok());
    EXPECT_EQ(b.error().text, "Bad line 1");
  }
}

// Every writer's file is read back to the same list, at the format's
// resolution.
TEST(WaypointWriters, OwnFilesReadBack) {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.512345), *DegreesToLongitude(8.254321), 1234, "TOP", "Summit west", 86400 * 12000, 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), 0, "LZ-2", "Valley floor", 86400 * 9000, 18});
  list.items.push_back({*DegreesToLatitude(0.0001), *DegreesToLongitude(179.99), 4000, "E", "", 5, 18});
  const struct {
    const char* name;
    std::string text;
    double tolerance;       // degrees
    int heightTolerance;    // metres
    bool names;
  } cases[] = {
      {"ozi", BuildOziWaypointFile(list), 1e-6, 1, true},
      {"geo", BuildGeographicalWaypointFile(list), 0.01 / 3600, 0, true},
      {"utm", BuildUtmWaypointFile(list), 1e-5, 0, true},
      {"seeyou", BuildSeeYouWaypointFile(list), 0.001 / 60, 0, false},
      {"winpilot", BuildWinPilotWaypointFile(list), 0.001 / 60, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Result<WaypointList> r = ReadWaypointText(c.text, Options());
    ASSERT_TRUE(r.ok()) << r.error().Describe() << "\n" << c.text;
    ASSERT_EQ(r->items.size(), list.items.size());
    for (size_t i = 0; i < list.items.size(); ++i) {
      SCOPED_TRACE(i);
      const Waypoint& a = list.items[i];
      const Waypoint& b = r->items[i];
      EXPECT_EQ(b.id, a.id);
      EXPECT_NEAR(Lat(b), Lat(a), c.tolerance);
      EXPECT_NEAR(Lon(b), Lon(a), c.tolerance);
      EXPECT_NEAR(b.height, a.height, c.heightTolerance);
      if (c.names) {
        EXPECT_EQ(b.name, a.name);
      }
    }
  }
  // SeeYou titles an unnamed waypoint with its ID; WinPilot keeps 12 characters.
  const std::string cup = BuildSeeYouWaypointFile(list);
  EXPECT_NE(cup.find("\"E\",E,,0000.006N,17959.400E,4000.0m,1,,,,\r\n"), std::string::npos) << cup;
  WaypointList longName;
  longName.items.push_back({0, 0, 0, "L", "ABCDEFGHIJKLMNOP", 0, 18});
  EXPECT_EQ(BuildWinPilotWaypointFile(longName), "1,0:00.000N,0:00.000E,0,T,L,ABCDEFGHIJKL\r\n");
}

TEST(WaypointWriters, OziLineLayout) {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.5), *DegreesToLongitude(-8.25), 305, "TOP", "Summit", 43200, 3});
  EXPECT_EQ(BuildOziWaypointFile(list),
            "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
            "   1,TOP           ,  46.500000,  -8.250000,32873.5000000,3, 1, 3, 0, 65535,Summit                    "
            "              , 0, 0, 0, 1001\r\n");
}

TEST(WaypointFiles, NothingReadIsAnError) {
  for (const char* text : {"OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\ngarmin\r\n",
                           "$FormatGEO\r\n", "<?xml version=\"1.0\"?><html/>", "\r\n\r\n"}) {
    SCOPED_TRACE(text);
    Result<WaypointList> r = ReadWaypointText(text, Options());
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, "No waypoints found");
  }
  Result<WaypointList> mps = ReadWaypointText(std::string("MsRcd\0D", 7), Options());
  ASSERT_FALSE(mps.ok());
  EXPECT_EQ(mps.error().text, "File format error at 00000006h");
}

TEST(WaypointNames, BoundedAndDecoded) {
  EXPECT_EQ(BoundedWaypointName("  M\xFCnster\t1 "), "M\xC3\xBCnster 1");  // Windows-1252 decoded
  EXPECT_EQ(BoundedWaypointName("M\xC3\xBCnster"), "M\xC3\xBCnster");
  const std::string umlauts = [] {
    std::string s;
    for (int i = 0; i < 50; ++i) s += "\xC3\xA4";
    return s;
  }();
  EXPECT_EQ(BoundedWaypointName(umlauts), umlauts.substr(0, 80));  // 40 characters, not 40 bytes
}

// --- MapSource -------------------------------------------------------------------------

namespace mapsource {

WaypointList TwoWaypoints() {
  WaypointList list;
  Waypoint summit;
  summit.id = "SUMMIT";
  summit.name = "Col de la Forclaz";
  summit.latitude = *DegreesToLatitude(45.8123);
  summit.longitude = *DegreesToLongitude(6.2456);
  summit.height = 1250;
  summit.symbol = 7;
  Waypoint low;
  low.id = "DEAD-1";
  low.name = "";
  low.latitude = *DegreesToLatitude(-31.5);
  low.longitude = *DegreesToLongitude(-35.5);
  low.height = -430;
  low.symbol = 18;
  list.items = {summit, low};
  return list;
}

constexpr size_t kHeaderSize = 45;
constexpr size_t kFirstBody = kHeaderSize + 5;

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace mapsource

TEST(MapSourceWaypoints, WrittenRecordsReadBack) {
  const WaypointList list = mapsource::TwoWaypoints();
  const std::vector<uint8_t> file = BuildMapSourceWaypoints(list);
  // The header the track writer also uses, then one 'W' record per waypoint.
  ASSERT_GT(file.size(), mapsource::kFirstBody);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), std::string("MsRcd\0", 6));
  EXPECT_EQ(file[mapsource::kHeaderSize + 4], 'W');
  EXPECT_EQ(std::string(file.begin() + mapsource::kFirstBody, file.begin() + mapsource::kFirstBody + 7),
            std::string("SUMMIT\0", 7));
  const size_t second = mapsource::kFirstBody + mapsource::U32At(file, mapsource::kHeaderSize);
  ASSERT_LT(second + 5, file.size());
  EXPECT_EQ(file[second + 4], 'W');

  Result<WaypointList> back = ReadMapSourceWaypoints(file, Options());
  ASSERT_TRUE(back.ok()) << back.error().text;
  ASSERT_EQ(back->items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    Waypoint want = list.items[i];
    want.time = kNow;  // the file carries no time
    EXPECT_EQ(back->items[i], want) << i;
  }
  // The recogniser hands the bytes to the same reader.
  const std::string text(file.begin(), file.end());
  EXPECT_EQ(RecogniseWaypointFile(text), WaypointFileKind::kMapSource);
  Result<WaypointList> viaText = ReadWaypointText(text, Options());
  ASSERT_TRUE(viaText.ok()) << viaText.error().text;
  EXPECT_EQ(viaText->items.size(), 2u);
  // Tracks and waypoints share the file format but not the records.
  EXPECT_EQ(ReadMapSourceTrack(file).error().text, "No track log found");
  EXPECT_EQ(ReadMapSourceWaypoints(BuildMapSourceTrack(std::vector<TrackPoint>(3)), Options()).error().text,
            "No waypoints found");
}

TEST(MapSourceWaypoints, IdsGoThroughTheIdCheck) {
  WaypointList list = mapsource::TwoWaypoints();
  list.items[0].id = "Toolongid";
  const std::vector<uint8_t> file = BuildMapSourceWaypoints(list);
  std::vector<std::string> asked;
  Result<WaypointList> yes = ReadMapSourceWaypoints(file, Options(&asked, ModifyIdAnswer::kYes));
  ASSERT_TRUE(yes.ok());
  EXPECT_EQ(asked, std::vector<std::string>{"Toolongid"});
  EXPECT_EQ(yes->items[0].id, "TOOLON");
  Result<WaypointList> skip = ReadMapSourceWaypoints(file, Options(&asked, ModifyIdAnswer::kSkip));
  ASSERT_TRUE(skip.ok());
  ASSERT_EQ(skip->items.size(), 1u);
  EXPECT_EQ(skip->items[0].id, "DEAD-1");
  Result<WaypointList> cancel = ReadMapSourceWaypoints(file, Options(&asked, ModifyIdAnswer::kCancel));
  ASSERT_FALSE(cancel.ok());
  EXPECT_EQ(cancel.error().text, "File format error at 00000032h");
}

TEST(MapSourceWaypoints, HostileFilesGiveTheOffset) {
  const std::vector<uint8_t> good = BuildMapSourceWaypoints(mapsource::TwoWaypoints());
  const uint32_t firstLength = mapsource::U32At(good, mapsource::kHeaderSize);
  // Offsets inside the first body: ID 7, class 4, country 1, subclass 22,
  // position 8, then the height flag and its double.
  constexpr size_t kHeightAt = mapsource::kFirstBody + 7 + 4 + 1 + 22 + 8;
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;
    const char* message;
  } cases[] = {
      {"record longer than the file", [&](auto& b) { mapsource::PutU32At(b, mapsource::kHeaderSize, 100000); },
       "File format error at 0000002dh"},
      {"ID without its NUL in the record",
       [&](auto& b) {
         mapsource::PutU32At(b, mapsource::kHeaderSize, 3);
       },
       "File format error at 00000032h"},
      {"record ends inside the height", [&](auto& b) {
         mapsource::PutU32At(b, mapsource::kHeaderSize, static_cast<uint32_t>(kHeightAt - mapsource::kFirstBody + 4));
       },
       "File format error at 0000005ch"},
      {"height not a number",
       [&](auto& b) {
         const double nan = std::nan("");
         std::memcpy(&b[kHeightAt + 1], &nan, sizeof nan);
       },
       "File format error at 0000005dh"},
      {"record length cut before the symbol",
       [&](auto& b) { mapsource::PutU32At(b, mapsource::kHeaderSize, firstLength - 20); }, nullptr},
      {"not MapSource", [](auto& b) { b[1] = 'X'; }, "Not a MapSource file"},
      {"version too new", [](auto& b) { b[11] = 'j'; }, "Unsupported MapSource version"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = good;
    c.change(bad);
    Result<WaypointList> r = ReadMapSourceWaypoints(bad, Options());
    ASSERT_FALSE(r.ok());
    if (c.message) {
      EXPECT_EQ(r.error().text, c.message);
    } else {
      EXPECT_TRUE(r.error().text.starts_with("File format error at ")) << r.error().text;
    }
  }
  // Cut anywhere: a message or the waypoints whole up to the cut, never a
  // read past the end.
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    Result<WaypointList> r = ReadMapSourceWaypoints(cut, Options());
    if (r.ok()) {
      ASSERT_EQ(r->items.size(), 1u) << size;
      EXPECT_EQ(r->items[0].name, "Col de la Forclaz");
    } else {
      EXPECT_FALSE(r.error().text.empty()) << size;
    }
  }
}

}  // namespace
}  // namespace skylode
