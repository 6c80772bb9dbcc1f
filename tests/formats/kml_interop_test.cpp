// Other programs must read what we write: Debian's gpsbabel reads our track
// files, and the waypoint file is valid KML by the schema.
#include <gtest/gtest.h>

#include "interop_support.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "formats/file_io.h"
#include "formats/kml_writer.h"
#include "kml_test_support.h"
#include "records/angles.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;
using interop::RunCommand;

class KmlInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::path(::testing::TempDir()) / "kml_interop_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(KmlInterop, GpsbabelSeesTheTrackPositions) {
  REQUIRE_TOOL("gpsbabel");
  const std::vector<TrackPoint> points = kml_test::Track(13);
  TextOutputBuffer folder;
  ASSERT_TRUE(BuildKmlTrackFolder(folder, kml_test::Statistics(points), "x", {}).ok());
  const std::string path = (dir_ / "track.kml").string();
  ASSERT_TRUE(WriteFileAtomically(path, WrapKmlDocument(folder.text())).ok());

  // gpsbabel gives every line string as a track; ours is the last one.
  std::istringstream csv(RunCommand("gpsbabel -t -i kml -f '" + path + "' -o unicsv -F - 2>&1"));
  std::vector<std::array<double, 3>> rows;
  std::string line;
  std::getline(csv, line);
  ASSERT_EQ(line.rfind("No,Latitude,Longitude,Altitude", 0), 0u) << line;
  while (std::getline(csv, line)) {
    std::array<double, 3> r{};
    int no = 0;
    if (std::sscanf(line.c_str(), "%d,%lf,%lf,%lf", &no, &r[0], &r[1], &r[2]) == 4) rows.push_back(r);
  }
  ASSERT_GE(rows.size(), points.size());
  const size_t first = rows.size() - points.size();
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(rows[first + i][0], SemicirclesToDegrees(points[i].latitude), 1e-6);
    EXPECT_NEAR(rows[first + i][1], SemicirclesToDegrees(points[i].longitude), 1e-6);
    EXPECT_NEAR(rows[first + i][2], (points[i].gpsHeight + 5) / 10, 1e-9);
  }
}

TEST_F(KmlInterop, WaypointFileIsValidKml) {
  const fs::path schemas = fs::path(SKYLODE_TEST_DATA) / "schemas" / "kml22";
  ASSERT_TRUE(fs::exists(schemas / "ogckml22.xsd")) << schemas;
  REQUIRE_TOOL("xmllint");
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.5), *DegreesToLongitude(8.25), 1234, "TOP", "SUMMIT & <RIDGE>", 0, 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), -5, "LZ-2", "", 0, 18});
  list.items.push_back({0, 0, 0, "Z", "M\xFCnster", 0, 18});
  const std::string path = (dir_ / "wpt.kml").string();
  ASSERT_TRUE(WriteGoogleEarthWaypoints(path, list).ok());
  int status = 0;
  const std::string out = RunCommand("XML_CATALOG_FILES='" + (schemas / "catalog.xml").string() +
                                         "' xmllint --nonet --noout --schema '" +
                                         (schemas / "ogckml22.xsd").string() + "' '" + path + "' 2>&1",
                                     &status);
  EXPECT_EQ(status, 0) << out;
}

}  // namespace
}  // namespace skylode
