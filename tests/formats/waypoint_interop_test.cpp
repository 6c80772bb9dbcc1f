// Other programs must read what we write and we must read what they write:
// Debian's gpsbabel converts our waypoint and GPX files to its neutral
// unicsv and back, and every GPX file we write is valid by the GPX 1.1
// schema.
#include <gtest/gtest.h>

#include "interop_support.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/file_io.h"
#include "formats/gpx_reader.h"
#include "formats/gpx_writer.h"
#include "formats/waypoint_files.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;
using interop::RunCommand;



// unicsv rows by column name; fields in double quotes may hold commas.
std::vector<std::map<std::string, std::string>> ParseUnicsv(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(csv);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        fields.emplace_back();
      } else {
        fields.back().push_back(c);
      }
    }
    rows.push_back(fields);
  }
  std::vector<std::map<std::string, std::string>> out;
  for (size_t r = 1; r < rows.size(); ++r) {
    std::map<std::string, std::string> row;
    for (size_t k = 0; k < rows[0].size() && k < rows[r].size(); ++k) row[rows[0][k]] = rows[r][k];
    out.push_back(row);
  }
  return out;
}

uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

WaypointList Sample() {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.512345), *DegreesToLongitude(8.254321), 1234, "TOP", "Summit west",
                        At(2024, 6, 15, 10, 0, 0), 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), 0, "LZ-2", "Valley floor",
                        At(2024, 6, 15, 11, 0, 0), 18});
  list.items.push_back({*DegreesToLatitude(0.000123), *DegreesToLongitude(-179.987654), 4321, "E1", "East end",
                        At(2024, 6, 15, 12, 0, 0), 18});
  return list;
}

struct Format {
  const char* babel;          // gpsbabel's name
  const char* extension;
  std::string (*build)(const WaypointList&);
  double degrees;             // the format's resolution
  double metres;              // height resolution
  bool names;                 // carries the description
};

std::string Gpx(const WaypointList& list) { return BuildGpxWaypoints(list, At(2024, 6, 15, 0, 0, 0)); }

const Format kFormats[] = {
    {"ozi", ".wpt", BuildOziWaypointFile, 1e-6, 0.5 * 0.3048 + 1e-9, true},
    // SeeYou's title is our name, gpsbabel's its short name: only the code
    // (our ID) means the same to both.
    {"cup", ".cup", BuildSeeYouWaypointFile, 0.0005 / 60 + 1e-9, 0.5, false},
    {"cambridge", ".dat", BuildWinPilotWaypointFile, 0.0005 / 60 + 1e-9, 0.5, true},
    {"gpx", ".gpx", Gpx, 5e-7, 0.05, true},
};

class WaypointInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::path(::testing::TempDir()) / "wpt_interop_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(WaypointInterop, GpsbabelReadsWhatWeWrite) {
  REQUIRE_TOOL("gpsbabel");
  const WaypointList list = Sample();
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.babel);
    const std::string ours = Path(std::string("ours") + f.extension);
    ASSERT_TRUE(WriteFileAtomically(ours, f.build(list)).ok());
    const std::string csv = Path(std::string(f.babel) + ".csv");
    int status = 0;
    const std::string out =
        RunCommand("gpsbabel -i " + std::string(f.babel) + " -f '" + ours + "' -o unicsv -F '" + csv + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    const auto rows = ParseUnicsv(*ReadWholeFile(csv));
    ASSERT_EQ(rows.size(), list.items.size()) << *ReadWholeFile(csv);
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(i);
      const Waypoint& w = list.items[i];
      auto row = rows[i];
      EXPECT_NEAR(std::stod(row["Latitude"]), SemicirclesToDegrees(w.latitude), f.degrees);
      EXPECT_NEAR(std::stod(row["Longitude"]), SemicirclesToDegrees(w.longitude), f.degrees);
      EXPECT_NEAR(std::stod(row["Altitude"]), w.height, f.metres);
      EXPECT_EQ(row["Name"], w.id);
      if (f.names) {
        EXPECT_EQ(row["Description"], w.name);
      }
    }
  }
}

TEST_F(WaypointInterop, WeReadWhatGpsbabelWrites) {
  REQUIRE_TOOL("gpsbabel");
  const std::string csv = Path("in.csv");
  ASSERT_TRUE(WriteFileAtomically(csv,
                                  "No,Name,Latitude,Longitude,Altitude,Description\n"
                                  "1,TOP,46.512345,8.254321,1234,Summit west\n"
                                  "2,LZ-2,-33.750000,-70.500000,0,Valley floor\n"
                                  "3,E1,0.000123,-179.987654,4321,East end\n")
                  .ok());
  const WaypointList expected = Sample();
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.babel);
    const std::string theirs = Path(std::string("theirs") + f.extension);
    int status = 0;
    const std::string out =
        RunCommand("gpsbabel -i unicsv -f '" + csv + "' -o " + f.babel + " -F '" + theirs + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    const auto text = ReadWholeFile(theirs);
    ASSERT_TRUE(text.ok());
    WaypointReadOptions options;
    options.now = 5;
    Result<WaypointList> r = ReadWaypointText(*text, options);
    ASSERT_TRUE(r.ok()) << r.error().Describe() << "\n" << *text;
    ASSERT_EQ(r->items.size(), expected.items.size()) << *text;
    for (size_t i = 0; i < expected.items.size(); ++i) {
      SCOPED_TRACE(i);
      const Waypoint& a = expected.items[i];
      const Waypoint& b = r->items[i];
      EXPECT_EQ(b.id, a.id);
      EXPECT_NEAR(SemicirclesToDegrees(b.latitude), SemicirclesToDegrees(a.latitude), f.degrees);
      EXPECT_NEAR(SemicirclesToDegrees(b.longitude), SemicirclesToDegrees(a.longitude), f.degrees);
      EXPECT_NEAR(b.height, a.height, 1);  // whole metres after the format's own unit
      if (f.names) {
        EXPECT_EQ(b.name, a.name);
      }
    }
  }
}

TEST_F(WaypointInterop, GpxTracksBothWays) {
  REQUIRE_TOOL("gpsbabel");
  std::vector<TrackPoint> points;
  for (int i = 0; i < 50; ++i) {
    TrackPoint p;
    p.time = At(2024, 6, 15, 10, 0, 0) + static_cast<uint32_t>(i * 5);
    p.latitude = *DegreesToLatitude(46.5 + i * 1e-4);
    p.longitude = *DegreesToLongitude(8.25 - i * 2e-4);
    p.gpsHeight = 15000 + i * 7;
    points.push_back(p);
  }
  const std::string ours = Path("track.gpx");
  ASSERT_TRUE(WriteFileAtomically(ours, BuildGpxTrack(points, At(2024, 6, 16, 0, 0, 0))).ok());
  // Through gpsbabel's own GPX writer and back into our reader.
  const std::string theirs = Path("theirs.gpx");
  int status = 0;
  std::string out = RunCommand("gpsbabel -t -i gpx -f '" + ours + "' -o gpx,gpxver=1.1 -F '" + theirs + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  Result<std::vector<TrackPoint>> r = ReadGpxTrack(*ReadWholeFile(theirs));
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ((*r)[i].time, points[i].time);
    EXPECT_NEAR((*r)[i].gpsHeight, points[i].gpsHeight, 1);
    EXPECT_NEAR(SemicirclesToDegrees((*r)[i].latitude), SemicirclesToDegrees(points[i].latitude), 5e-7);
    EXPECT_NEAR(SemicirclesToDegrees((*r)[i].longitude), SemicirclesToDegrees(points[i].longitude), 5e-7);
  }
  // And as gpsbabel's unicsv, with times.
  const std::string csv = Path("track.csv");
  out = RunCommand("gpsbabel -t -i gpx -f '" + ours + "' -o unicsv,utc=0 -F '" + csv + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  const auto rows = ParseUnicsv(*ReadWholeFile(csv));
  ASSERT_EQ(rows.size(), points.size());
  auto first = rows.front();
  EXPECT_EQ(first["Date"], "2024/06/15");
  EXPECT_EQ(first["Time"], "10:00:00");
  EXPECT_NEAR(std::stod(first["Altitude"]), 1500.0, 0.05);
}

TEST_F(WaypointInterop, EveryGpxWeWriteIsValid) {
  REQUIRE_TOOL("xmllint");
  const fs::path schema = fs::path(SKYLODE_TEST_DATA) / "schemas" / "gpx11" / "gpx11.xsd";
  ASSERT_TRUE(fs::exists(schema)) << schema;
  WaypointList list = Sample();
  list.items[0].name = "Summit & \"<Ridge>\" M\xC3\xBCnster";
  std::vector<TrackPoint> points(3);
  for (size_t i = 0; i < points.size(); ++i) points[i].latitude = static_cast<int32_t>(i * 1000);
  std::vector<CtrOutline> areas(1);
  areas[0] = {"CTR <Z> & \"T\"", "FL95", "GND", {{47.0, 8.0}, {47.1, 8.1}, {47.0, 8.0}}};
  const struct {
    const char* name;
    std::string text;
  } files[] = {
      {"waypoints", BuildGpxWaypoints(list, 0)},
      {"no waypoints", BuildGpxWaypoints(WaypointList{}, 0)},
      {"track", BuildGpxTrack(points, 0)},
      {"ctrs", BuildGpxCtrs(areas, 0)},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = Path("valid.gpx");
    ASSERT_TRUE(WriteFileAtomically(path, f.text).ok());
    int status = 0;
    const std::string out =
        RunCommand("xmllint --nonet --noout --schema '" + schema.string() + "' '" + path + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out << f.text;
  }
}

}  // namespace
}  // namespace skylode
