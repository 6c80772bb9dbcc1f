// Another program must read what we write: Debian's gpsbabel, when installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "formats/igc_writer.h"
#include "igc_test_support.h"
#include "records/angles.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

struct Fix {
  double lat, lon;
  std::string date, time;
};

// gpsbabel's unicsv: No,Latitude,Longitude,Altitude,Date,Time.
std::vector<Fix> ParseUnicsv(const std::string& csv) {
  std::vector<Fix> fixes;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f;
    std::stringstream ls(line);
    std::string cell;
    while (std::getline(ls, cell, ',')) f.push_back(cell);
    if (f.size() < 6) continue;
    fixes.push_back({std::strtod(f[1].c_str(), nullptr), std::strtod(f[2].c_str(), nullptr), f[4], f[5]});
  }
  return fixes;
}

std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

TEST(IgcInterop, GpsbabelSeesTheSameFixes) {
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel not installed";
  std::string tmpl = (fs::path(::testing::TempDir()) / "igc_babel_XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path dir = tmpl;

  std::vector<TrackPoint> longer = igc_test::FixtureTrack();
  for (int i = 0; i < 200; ++i) {
    TrackPoint p = longer.back();
    p.flags = 0;
    p.time += 5;
    p.latitude += 3000 - i * 40;
    p.longitude -= 2000 + i * 25;
    p.gpsHeight += 17;
    p.baroHeight = 1500 + i;
    longer.push_back(p);
  }
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    bool enl, g;
  } cases[] = {
      {"fixture", igc_test::FixtureTrack(), false, true},
      {"fixture with ENL", igc_test::FixtureTrack(), true, true},
      {"longer, no G", longer, false, false},
      {"longer, ENL and G", longer, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IgcWriteOptions o = igc_test::FixtureOptions();
    o.addEnl = c.enl;
    o.wantGRecord = c.g;
    const std::string path = (dir / "babel.igc").string();
    std::ofstream(path, std::ios::binary) << BuildIgcText(c.points, o)->text;
    const std::vector<Fix> fixes =
        ParseUnicsv(RunCommand("gpsbabel -t -i igc -f '" + path + "' -o unicsv,utc=0 -F - 2>&1"));
    // One track from the pressure altitudes, one from the GNSS altitudes:
    // both carry every fix.
    ASSERT_FALSE(fixes.empty());
    ASSERT_EQ(fixes.size() % c.points.size(), 0u) << fixes.size();
    for (size_t i = 0; i < fixes.size() && !HasFailure(); ++i) {
      const TrackPoint& p = c.points[i % c.points.size()];
      const CalendarTime t = SecondsToDateTime(p.time);
      EXPECT_NEAR(fixes[i].lat, SemicirclesToDegrees(p.latitude), 2e-5) << i;
      EXPECT_NEAR(fixes[i].lon, SemicirclesToDegrees(p.longitude), 2e-5) << i;
      EXPECT_EQ(fixes[i].date, std::to_string(t.year) + "/" + Two(t.month) + "/" + Two(t.day)) << i;
      EXPECT_EQ(fixes[i].time, Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second)) << i;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace skylode
