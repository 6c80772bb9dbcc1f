// Another program reads our CSV and OziExplorer tracks with the same points,
// and we read its OziExplorer, CSV and Magellan tracks: Debian's gpsbabel,
// compared through its neutral CSV form.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/track_files.h"
#include "interop_support.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;
using interop::RunCommand;

struct Fix {
  double lat = 0, lon = 0;
  std::string altitude;  // metres as written, empty when there is none
  std::string date, time;
};

// gpsbabel's unicsv, columns found by their names.
std::vector<Fix> ParseUnicsv(const std::string& csv) {
  std::vector<Fix> fixes;
  std::istringstream in(csv);
  std::string line;
  std::vector<std::string> names;
  const auto split = [](const std::string& l) {
    std::vector<std::string> f;
    std::stringstream ls(l);
    std::string cell;
    while (std::getline(ls, cell, ',')) f.push_back(cell);
    if (!l.empty() && l.back() == ',') f.emplace_back();
    return f;
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (names.empty()) {
      names = split(line);
      continue;
    }
    const std::vector<std::string> f = split(line);
    Fix fix;
    for (size_t i = 0; i < names.size() && i < f.size(); ++i) {
      if (names[i] == "Latitude") fix.lat = std::strtod(f[i].c_str(), nullptr);
      if (names[i] == "Longitude") fix.lon = std::strtod(f[i].c_str(), nullptr);
      if (names[i] == "Altitude") fix.altitude = f[i];
      if (names[i] == "Date") fix.date = f[i];
      if (names[i] == "Time") fix.time = f[i];
    }
    fixes.push_back(fix);
  }
  return fixes;
}

uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

std::vector<TrackPoint> Track() {
  std::vector<TrackPoint> points;
  const double where[][3] = {{46.5, 7.25, 1500}, {46.501, 7.251, -12}, {-33.5, -70.25, 800}, {60.125, -0.5, 3}};
  for (size_t i = 0; i < std::size(where); ++i) {
    TrackPoint p;
    p.latitude = *DegreesToLatitude(where[i][0]);
    p.longitude = *DegreesToLongitude(where[i][1]);
    p.gpsHeight = static_cast<int32_t>(where[i][2] * 10);
    p.time = At(2010, 5, 5, 12, 0, 0) + static_cast<uint32_t>(i * 65);
    points.push_back(p);
  }
  points[0].flags = kTrackPointStartsSegment;
  return points;
}

// Seconds of the day from "hh:mm:ss[.fff]".
double DaySeconds(const std::string& time) {
  int h = 0, m = 0;
  double s = 0;
  if (std::sscanf(time.c_str(), "%d:%d:%lf", &h, &m, &s) != 3) return -1;
  return h * 3600 + m * 60 + s;
}

class TrackInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL("gpsbabel");
    std::string tmpl = (fs::path(::testing::TempDir()) / "track_babel_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(TrackInterop, GpsbabelReadsOurFiles) {
  std::vector<TrackPoint> points = Track();
  points[3].flags |= kTrackPointNoGpsHeight;
  struct Case {
    const char* format;  // gpsbabel's input option
    std::string bytes;
    double heightStep;  // metres; < 0: gpsbabel takes no height from this file
  };
  // Our CSV names its height column "H-GPS", which gpsbabel does not know.
  const Case cases[] = {{"ozi", BuildOziTrack(points), 0.35}, {"unicsv", BuildCsvTrack(points, false), -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string path = Write(std::string("ours.") + c.format, c.bytes);
    int status = 0;
    const std::string csv = RunCommand(std::string("gpsbabel ") + (std::string(c.format) == "ozi" ? "-t " : "") +
                                           "-i " + c.format + " -f '" + path + "' -o unicsv,utc=0 -F - 2>&1",
                                       &status);
    ASSERT_EQ(status, 0) << csv;
    const std::vector<Fix> fixes = ParseUnicsv(csv);
    ASSERT_EQ(fixes.size(), points.size()) << csv;
    for (size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(fixes[i].lat, SemicirclesToDegrees(points[i].latitude), 1e-6);
      EXPECT_NEAR(fixes[i].lon, SemicirclesToDegrees(points[i].longitude), 1e-6);
      const CalendarTime t = SecondsToDateTime(points[i].time);
      char date[32];
      std::snprintf(date, sizeof date, "%04d/%02d/%02d", t.year, t.month, t.day);
      EXPECT_EQ(fixes[i].date, date);
      // gpsbabel puts an Ozi day fraction half a second late.
      EXPECT_NEAR(DaySeconds(fixes[i].time), t.hour * 3600 + t.minute * 60 + t.second, 0.51);
      if (c.heightStep < 0) continue;
      if ((points[i].flags & kTrackPointNoGpsHeight) != 0) {
        EXPECT_EQ(fixes[i].altitude, "");
      } else {
        ASSERT_FALSE(fixes[i].altitude.empty());
        EXPECT_NEAR(std::strtod(fixes[i].altitude.c_str(), nullptr), points[i].gpsHeight / 10.0, c.heightStep);
      }
    }
  }
}

TEST_F(TrackInterop, WeReadGpsbabelsFiles) {
  const std::vector<TrackPoint> points = Track();
  // The track in gpsbabel's own CSV form, which it turns into the others.
  std::string source = "No,Latitude,Longitude,Altitude,Date,Time\n";
  for (size_t i = 0; i < points.size(); ++i) {
    const CalendarTime t = SecondsToDateTime(points[i].time);
    char line[160];
    std::snprintf(line, sizeof line, "%zu,%.6f,%.6f,%.1f,%04d/%02d/%02d,%02d:%02d:%02d\n", i + 1,
                  SemicirclesToDegrees(points[i].latitude), SemicirclesToDegrees(points[i].longitude),
                  points[i].gpsHeight / 10.0, t.year, t.month, t.day, t.hour, t.minute, t.second);
    source += line;
  }
  const std::string input = Write("source.csv", source);
  struct Case {
    const char* format;  // gpsbabel's output option
    const char* extension;
    double degrees;      // what the format keeps of a position
    int32_t decimetres;  // and of a height
  };
  const Case cases[] = {{"ozi", ".plt", 1e-6, 2}, {"unicsv,utc=0", ".csv", 1e-6, 0}, {"magellan", ".log", 1e-5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string path = (dir_ / (std::string("theirs") + c.extension)).string();
    int status = 0;
    const std::string out = RunCommand("gpsbabel -t -i unicsv,utc=0 -f '" + input + "' -o " + c.format + " -F '" +
                                           path + "' 2>&1",
                                       &status);
    ASSERT_EQ(status, 0) << out;
    const std::string text = Slurp(path);
    Result<std::vector<TrackPoint>> read = Error::Content("no reader");
    if (std::string(c.format) == "ozi") read = ReadOziTrack(text);
    if (std::string(c.format) == "magellan") read = ReadMagellanLog(text);
    if (std::string(c.format).starts_with("unicsv")) {
      Result<CsvTrack> csv = ReadCsvTrack(text);
      read = csv.ok() ? Result<std::vector<TrackPoint>>(csv->points) : Result<std::vector<TrackPoint>>(csv.error());
    }
    ASSERT_TRUE(read.ok()) << read.error().Describe() << "\n" << text;
    ASSERT_EQ(read->size(), points.size()) << text;
    for (size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE(i);
      const TrackPoint& got = (*read)[i];
      EXPECT_NEAR(SemicirclesToDegrees(got.latitude), SemicirclesToDegrees(points[i].latitude), c.degrees);
      EXPECT_NEAR(SemicirclesToDegrees(got.longitude), SemicirclesToDegrees(points[i].longitude), c.degrees);
      EXPECT_NEAR(got.gpsHeight, points[i].gpsHeight, c.decimetres);
      EXPECT_NEAR(static_cast<double>(got.time), static_cast<double>(points[i].time), 1.0);
    }
    EXPECT_NE((*read)[0].flags & kTrackPointStartsSegment, 0u);
  }
}

}  // namespace
}  // namespace skylode
