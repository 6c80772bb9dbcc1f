// The other track files: CSV, OziExplorer, Magellan logs, the old .dat file
// and MapSource. Each writer's file reads back to the same points; each
// reader's faults are messages with the line (or offset) they are about.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/track_files.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

TrackPoint Point(double lat, double lon, int32_t decimetres, uint32_t time) {
  TrackPoint p;
  p.latitude = *DegreesToLatitude(lat);
  p.longitude = *DegreesToLongitude(lon);
  p.gpsHeight = decimetres;
  p.time = time;
  return p;
}

// North and south, east and west, a negative height, a new segment.
std::vector<TrackPoint> Track() {
  const uint32_t t0 = At(2010, 5, 5, 12, 0, 0);
  std::vector<TrackPoint> points = {Point(46.5, 7.25, 15000, t0), Point(46.501, 7.251, -123, t0 + 5),
                                    Point(-33.5, -70.25, 8000, t0 + 10), Point(0.000001, 179.999, 10, t0 + 3600)};
  points[0].flags = kTrackPointStartsSegment;
  points[2].flags = kTrackPointStartsSegment;
  return points;
}

void ExpectSamePoints(const std::vector<TrackPoint>& got, const std::vector<TrackPoint>& want, int32_t heightStep) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].time, want[i].time);
    EXPECT_NEAR(SemicirclesToDegrees(got[i].latitude), SemicirclesToDegrees(want[i].latitude), 6e-7);
    EXPECT_NEAR(SemicirclesToDegrees(got[i].longitude), SemicirclesToDegrees(want[i].longitude), 6e-7);
    EXPECT_NEAR(got[i].gpsHeight, want[i].gpsHeight, heightStep);
  }
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

// --- CSV -------------------------------------------------------------------------------

TEST(CsvTrack, WrittenLinesAndReadBack) {
  std::vector<TrackPoint> points = Track();
  points[1].gpsHeight = -15;  // -1.5 m rounds away from zero
  const std::string text = BuildCsvTrack(points, false);
  EXPECT_EQ(text.substr(0, text.find("\r\n", 50) + 2),
            "Date/time,Latitude,Longitude,H-GPS,H-Baro\r\n"
            "2010-05-05T12:00:00Z,46.500000,7.250000,1500,\r\n");
  EXPECT_NE(text.find("2010-05-05T12:00:05Z,46.501000,7.251000,-2,\r\n"), std::string::npos);
  EXPECT_NE(text.find("-33.500000,-70.250000,800,\r\n"), std::string::npos);

  Result<CsvTrack> r = ReadCsvTrack(text);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  EXPECT_FALSE(r->hasBaroHeight);
  ExpectSamePoints(r->points, points, 5);
  EXPECT_EQ(r->points[0].flags, kTrackPointStartsSegment);
}

TEST(CsvTrack, BarometricColumnOnlyWhenTheLogHasOne) {
  std::vector<TrackPoint> points = Track();
  points[0].baroHeight = 1480;
  EXPECT_NE(BuildCsvTrack(points, true).find(",1500,1480\r\n"), std::string::npos);
  // No made-up zeros in a log without barometric heights.
  EXPECT_NE(BuildCsvTrack(points, false).find(",1500,\r\n"), std::string::npos);
  Result<CsvTrack> r = ReadCsvTrack(BuildCsvTrack(points, true));
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->hasBaroHeight);
  EXPECT_EQ(r->points[0].baroHeight, 1480);
  // A point without a measured height keeps its column empty and its flag.
  points[1].flags |= kTrackPointNoGpsHeight;
  const std::string text = BuildCsvTrack(points, false);
  EXPECT_NE(text.find("7.251000,,\r\n"), std::string::npos);
  r = ReadCsvTrack(text);
  ASSERT_TRUE(r.ok());
  EXPECT_NE(r->points[1].flags & kTrackPointNoGpsHeight, 0u);
}

TEST(CsvTrack, OtherProgramsColumns) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"semicolons with decimal commas",
       Lines({"Date;Latitude;Longitude;Altitude", "2010-05-05T12:00:00Z;46,5;7,25;1500,0", "",
              "2010-05-05T12:00:05Z;46,501;7,251;-12,3"})},
      {"date and time columns, quoted names, other columns between",
       Lines({"No,\"Latitude\",Longitude,Altitude,Name,Date,Time", "1,46.5,7.25,1500.0,A,2010/05/05,12:00:00",
              "   ", "2,46.501,7.251,-12.3,B,2010/05/05,12:00:05"})},
      {"time column before the date column",
       Lines({"Time;Date;Latitude;Longitude;Altitude", "12:00:00;2010-05-05;46,5;7,25;1500",
              "12:00:05;2010-05-05;46,501;7,251;-12,3"})},
      {"byte-order mark, LF lines, height in a 'Height' column",
       "\xEF\xBB\xBFtime,LATITUDE,longitude,height\n2010-05-05T14:00:00+02:00,46.5,7.25,1500\n\n"
       "2010-05-05T12:00:05,46.501,7.251,-12.3\n"},
  };
  const uint32_t t0 = At(2010, 5, 5, 12, 0, 0);
  const std::vector<TrackPoint> want = {Point(46.5, 7.25, 15000, t0), Point(46.501, 7.251, -123, t0 + 5)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result<CsvTrack> r = ReadCsvTrack(c.text);
    ASSERT_TRUE(r.ok()) << r.error().Describe();
    ExpectSamePoints(r->points, want, 0);
  }
}

TEST(CsvTrack, BadFilesNameTheLine) {
  const std::string header = "Date/time,Latitude,Longitude,Altitude\r\n";
  const std::string good = "2010-05-05T12:00:00Z,46.5,7.25,100\r\n";
  struct Case {
    std::string text;
    const char* message;
    int line;
  };
  const Case cases[] = {
      {"Date,Longitude,Altitude\r\n" + good, "Could not determine items from header", 1},
      {"Date;Latitude\r\n", "Could not determine items from header", 1},
      {"\r\n\r\n", "Could not determine items from header", 1},
      {header + good + "\r\n2010-05-05T12:00:00Z,46.5\r\n", "Error parsing line 4", 4},
      {header + "2010-13-05T12:00:00Z,46.5,7.25,100\r\n", "Error decoding time on line 2", 2},
      {header + good + "2010-05-05T12:00:00Z,x,7.25,100\r\n", "Error decoding latitude on line 3", 3},
      {header + "2010-05-05T12:00:00Z,90.5,7.25,100\r\n", "Latitude out of range on line 2", 2},
      {header + "2010-05-05T12:00:00Z,46.5,7.25e1,100\r\n", "Error decoding longitude on line 2", 2},
      {header + "2010-05-05T12:00:00Z,46.5,-180.01,100\r\n", "Longitude out of range on line 2", 2},
      {header + "2010-05-05T12:00:00Z,46.5,7.25,1OO\r\n", "Bad height data on line 2", 2},
      {header + "\r\n", "No track positions found", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Result<CsvTrack> r = ReadCsvTrack(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, c.message);
    EXPECT_EQ(r.error().line, c.line);
  }
}

// --- OziExplorer -------------------------------------------------------------------------

TEST(OziTrack, WrittenLinesAndReadBack) {
  const std::vector<TrackPoint> points = Track();
  const std::string text = BuildOziTrack(points);
  EXPECT_EQ(text.substr(0, text.find("\r\n", 160) + 2),
            "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n"
            "0,2,255,05.05.10 12:00:00                  ,0,0,2,8421376\r\n"
            "4\r\n"
            "  46.500000,  7.250000,1,   4921,40303.5000000, 05-may-10, 12:00:00\r\n");
  // -12.3 m is -40.35 ft: rounded away from zero, not towards it.
  EXPECT_NE(text.find("  46.501000,  7.251000,0,    -40,40303.5000579, 05-may-10, 12:00:05\r\n"),
            std::string::npos);
  Result<std::vector<TrackPoint>> r = ReadOziTrack(text);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  // Whole feet: within 1.6 dm.
  ExpectSamePoints(*r, points, 2);
  for (size_t i = 0; i < points.size(); ++i) EXPECT_EQ((*r)[i].flags, points[i].flags) << i;
}

TEST(OziTrack, NoHeightIsMinus777) {
  std::vector<TrackPoint> points = Track();
  points[1].flags |= kTrackPointNoGpsHeight;
  const std::string text = BuildOziTrack(points);
  EXPECT_NE(text.find(",0,   -777,"), std::string::npos);
  Result<std::vector<TrackPoint>> r = ReadOziTrack(text);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ((*r)[1].flags, kTrackPointNoGpsHeight);
  // Not 237 m below the sea.
  EXPECT_EQ((*r)[1].gpsHeight, 0);
}

TEST(OziTrack, BadFiles) {
  const std::string header = "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
                             "Reserved 3\r\n0,2,255,x,0,0,2,8421376\r\n1\r\n";
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"", "Missing format line (1)"},
      {"OziExplorer Waypoint File Version 1.1\r\n", "Bad format line (1)"},
      {"OziExplorer Track Point File Version 2.1\r\n", "Missing map datum line (2)"},
      {"OziExplorer Track Point File Version 2.1\r\nPotsdam Rauenberg DHDN\r\n", "Bad map datum line (2)"},
      {"OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n", "Missing line(s)"},
      {header + "46.5,7.25,1,100\r\n", "Bad line 7"},
      {header + "\r\n46.5,7.25,1,100,x\r\n", "Bad line 8"},
      {header + "95.5,7.25,1,100,40303.5\r\n", "Bad line 7"},
      // 1989-12-30, the day before the program's epoch: no wrap to 2126.
      {header + "46.5,7.25,1,100,32872.5\r\n", "Bad line 7"},
      {header + "46.5,7.25,1,100,0\r\n", "Bad line 7"},
      {header, "No track positions found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Result<std::vector<TrackPoint>> r = ReadOziTrack(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, c.message);
  }
  // Empty lines between points are passed over; decimals in the height too.
  Result<std::vector<TrackPoint>> r = ReadOziTrack(header + "\r\n46.5,7.25,1,4921.3,40303.5,,\r\n\r\n");
  ASSERT_TRUE(r.ok()) << r.error().text;
  ASSERT_EQ(r->size(), 1u);
  EXPECT_EQ((*r)[0].gpsHeight, 15000);
  EXPECT_EQ((*r)[0].time, At(2010, 5, 5, 12, 0, 0));
}

// --- Magellan -----------------------------------------------------------------------------

TEST(MagellanLog, SentencesUpToTheEnd) {
  const std::string text = Lines({"$PMGNFMT,%TRK,LAT,HEMI,LON,HEMI,ALT,UNIT,TIME,VALID,NAME,%META,ASCII",
                                  "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,050510*74",
                                  "", "$PMGNTRK,4630.060,N,00715.060,E,-0012,M,120005.00,A,,050510*6B",
                                  "$PMGNTRK,3330.000,S,07015.000,W,00100,F,120010,A,T1,050510",
                                  "$PMGNCMD,END*3D", "$PMGNTRK,garbage after the end"});
  Result<std::vector<TrackPoint>> r = ReadMagellanLog(text);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  const uint32_t t0 = At(2010, 5, 5, 12, 0, 0);
  ExpectSamePoints(*r, {Point(46.5, 7.25, 15000, t0), Point(46.501, 7.251, -120, t0 + 5),
                        Point(-33.5, -70.25, 305, t0 + 10)},
                   0);
  EXPECT_EQ((*r)[0].flags, kTrackPointStartsSegment);
}

TEST(MagellanLog, BadSentencesNameTheLine) {
  const char* good = "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,050510*74";
  const char* cases[] = {
      "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,050510*75",  // checksum
      "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,050510*7",
      "$PMGNTRK,9130.000,N,00715.000,E,01500,M,120000.00,A,,050510",
      "$PMGNTRK,4630.000,X,00715.000,E,01500,M,120000.00,A,,050510",
      "$PMGNTRK,4630.000,N,00715.000,E,01500,Y,120000.00,A,,050510",
      "$PMGNTRK,4630.000,N,00715.000,E,01500,M,250000.00,A,,050510",
      "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,,320510",
      "$PMGNTRK,4630.000,N,00715.000,E,01500,M,120000.00,A,",
  };
  for (const char* bad : cases) {
    SCOPED_TRACE(bad);
    Result<std::vector<TrackPoint>> r = ReadMagellanLog(Lines({good, bad}));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, "Bad line 2");
  }
  Result<std::vector<TrackPoint>> r = ReadMagellanLog(Lines({"$PMGNCMD,END", good}));
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text, "No track positions found");
}

// --- The old .dat file ----------------------------------------------------------------------

struct DatFile {
  std::vector<uint32_t> words;
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out;
    for (uint32_t w : words)
      for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(w >> shift));
    return out;
  }
};

// Zone 32T; each point: time, easting, northing (and height).
DatFile MakeDat(int count, bool withHeight, bool withValidation) {
  DatFile f;
  f.words = {0, withHeight ? 0x01000000u : 0u, static_cast<uint32_t>(count), 0x80000000u | (32u << 8) | 'T'};
  for (int k = 0; k < count; ++k) {
    f.words.push_back(At(2010, 5, 5, 12, 0, 0) + static_cast<uint32_t>(k));
    f.words.push_back(500000u + static_cast<uint32_t>(k) * 10);
    f.words.push_back(5150000u);
    if (withHeight) f.words.push_back(0xAB000000u | static_cast<uint32_t>((-150 - k) & 0xFFFFFF));
  }
  uint32_t sum = 0;
  for (uint32_t w : f.words) sum += w;
  f.words.push_back(0u - sum);
  if (withValidation) f.words.push_back(0u - DatValidationValue(f.words) - 1u);
  return f;
}

TEST(DatTrack, ReadsEveryLayout) {
  const DatFile plain = MakeDat(3, false, false);
  EXPECT_EQ(plain.Bytes().size(), 56u);
  for (const DatFile& f : {plain, MakeDat(3, true, false), MakeDat(3, false, true), MakeDat(3, true, true)}) {
    SCOPED_TRACE(f.words.size());
    Result<std::vector<TrackPoint>> r = ReadDatTrack(f.Bytes());
    ASSERT_TRUE(r.ok()) << r.error().text;
    ASSERT_EQ(r->size(), 3u);
    // 500 km east in zone 32 is its central meridian, 9 degrees east.
    // 5150 km north of the equator there is about 46.5 degrees north.
    EXPECT_NEAR(SemicirclesToDegrees((*r)[0].longitude), 9.0, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees((*r)[0].latitude), 46.5, 0.01);
    EXPECT_EQ((*r)[2].time, At(2010, 5, 5, 12, 0, 2));
    EXPECT_EQ((*r)[0].flags, kTrackPointStartsSegment);
    EXPECT_EQ((*r)[1].flags, 0u);
    EXPECT_EQ((*r)[1].gpsHeight, f.words[1] != 0 ? -151 : 0);
  }
}

TEST(DatTrack, BadFilesAreMessages) {
  const auto with = [](DatFile f, size_t word, uint32_t value) {
    f.words[word] = value;
    return f.Bytes();
  };
  std::vector<uint8_t> flipped = MakeDat(3, false, false).Bytes();
  flipped[20] ^= 0x04;
  std::vector<uint8_t> badValidation = MakeDat(3, false, true).Bytes();
  badValidation.back() ^= 1;
  std::vector<uint8_t> odd = MakeDat(3, false, false).Bytes();
  odd.push_back(0);
  // A count whose words wrap a 32-bit size check round to a 20-byte file.
  DatFile wrapping;
  wrapping.words = {0, 0x01000000u, 0x40000000u, 0x80000000u | (32u << 8) | 'T', 0};
  wrapping.words[4] = 0u - (wrapping.words[1] + wrapping.words[2] + wrapping.words[3]);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"short", std::vector<uint8_t>(12, 0x80), "File header too small"},
      {"odd size", odd, "File size not a multiple of 4"},
      {"no points", with(MakeDat(3, false, false), 2, 0), "Zero track positions"},
      {"flag clear", with(MakeDat(3, false, false), 3, (32u << 8) | 'T'), "Bad DWORD number 4"},
      {"count too large", with(MakeDat(3, false, false), 2, 4), "File size not consistent with track positions"},
      {"count wraps", wrapping.Bytes(), "File size not consistent with track positions"},
      {"flipped bit", flipped, "Checksum verification failed"},
      {"validation", badValidation, "Data validation failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result<std::vector<TrackPoint>> r = ReadDatTrack(c.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, c.message);
  }
}

TEST(DatTrack, ZoneAndBandCheckedBeforeConversion) {
  for (uint32_t zoneBand : {(0u << 8) | 'T', (61u << 8) | 'T', (32u << 8) | 'I', (32u << 8) | 'Z', (32u << 8) | 0u}) {
    DatFile f = MakeDat(2, false, false);
    f.words[3] = 0x80000000u | zoneBand;
    f.words.pop_back();
    uint32_t sum = 0;
    for (uint32_t w : f.words) sum += w;
    f.words.push_back(0u - sum);
    Result<std::vector<TrackPoint>> r = ReadDatTrack(f.Bytes());
    ASSERT_FALSE(r.ok()) << zoneBand;
    EXPECT_EQ(r.error().text, "Bad UTM zone");
  }
}

// --- MapSource -----------------------------------------------------------------------------

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(MapSourceTrack, LayoutAndReadBack) {
  const std::vector<TrackPoint> points = Track();
  const std::vector<uint8_t> file = BuildMapSourceTrack(points);
  const uint8_t header[] = {'M', 's', 'R', 'c', 'd', 0, 2, 0, 0, 0, 'D', 'i', 0, 27, 0, 0, 0, 'A', 0xF8, 0x01,
                            'S', 'Q', 'A', 0};
  ASSERT_GT(file.size(), 45u);
  EXPECT_EQ(0, std::memcmp(file.data(), header, sizeof header));
  EXPECT_EQ(0, std::memcmp(file.data() + 24, "Nov  6 2003\0" "16:01:32", 21));
  EXPECT_EQ(U32At(file, 45), 31u * points.size() + 37);
  EXPECT_EQ(file[49], 'T');
  EXPECT_EQ(0, std::memcmp(file.data() + 50, "Skylode track log source   ", 28));
  EXPECT_EQ(U32At(file, 50 + 33), points.size());
  EXPECT_EQ(file.size(), 45 + 5 + 37 + 31 * points.size());
  // The first point's time in seconds since 1970.
  EXPECT_EQ(U32At(file, 87 + 18), points[0].time + 631065600u);

  Result<std::vector<TrackPoint>> r = ReadMapSourceTrack(file);
  ASSERT_TRUE(r.ok()) << r.error().text;
  ExpectSamePoints(*r, points, 0);
  EXPECT_EQ((*r)[0].flags, kTrackPointStartsSegment);
}

TEST(MapSourceTrack, CountCheckedAgainstItsOwnRecord) {
  std::vector<uint8_t> file = BuildMapSourceTrack(Track());
  // A record behind the track, then a count one larger: the points would run
  // into that record though the file is long enough.
  const uint8_t trailing[] = {40, 0, 0, 0, 'W'};
  file.insert(file.end(), trailing, trailing + sizeof trailing);
  file.insert(file.end(), 40, 0);
  file[50 + 33] += 1;
  Result<std::vector<TrackPoint>> r = ReadMapSourceTrack(file);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text, "File format error at 00000057h");
}

TEST(MapSourceTrack, BadFiles) {
  const std::vector<uint8_t> good = BuildMapSourceTrack(Track());
  const auto changed = [&good](size_t at, uint8_t value) {
    std::vector<uint8_t> b = good;
    b[at] = value;
    return b;
  };
  EXPECT_EQ(ReadMapSourceTrack(changed(0, 'm')).error().text, "Not a MapSource file");
  EXPECT_EQ(ReadMapSourceTrack(changed(10, 'T')).error().text, "Not a MapSource file");
  EXPECT_EQ(ReadMapSourceTrack(changed(11, 'j')).error().text, "Unsupported MapSource version");
  EXPECT_EQ(ReadMapSourceTrack(changed(48, 1)).error().text, "File format error at 0000002dh");
  // Cut anywhere: a message, never a read past the end.
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    Result<std::vector<TrackPoint>> r = ReadMapSourceTrack(cut);
    ASSERT_FALSE(r.ok()) << size;
    EXPECT_FALSE(r.error().text.empty()) << size;
  }
}

}  // namespace
}  // namespace skylode
