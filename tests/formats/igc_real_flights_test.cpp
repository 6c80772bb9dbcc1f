// Real flights through the reader and the analysis: what a pilot reads in the
// statistics must be heights and climbs that happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "analysis/flight_statistics.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "formats/text_output_buffer.h"

namespace skylode {
namespace {

Result<IgcParse> ReadFlight(const std::string& name) {
  Result<std::string> text = ReadWholeFile(std::string(SKYLODE_TEST_DATA) + "/flights/" + name);
  if (!text.ok()) return std::move(text.error());
  return ParseIgcText(*text);
}

TEST(RealFlights, HeightsAndClimbsAreMeasuredOnes) {
  struct Case {
    const char* file;
    size_t fixes;
    int unmeasured;  // fixes without a 3-D position
  } cases[] = {
      {"trifai-xcontest-189.65.igc", 17817, 34},
      {"flat-xcontest-100.59.igc", 12446, 0},
      {"freeflight-xcontest-66.46.igc", 5673, 0},
      {"flat-ffvl-26.37.igc", 5770, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Result<IgcParse> flight = ReadFlight(c.file);
    ASSERT_TRUE(flight.ok()) << flight.error().text;
    ASSERT_EQ(flight->points.size(), c.fixes);
    int unmeasured = 0;
    for (const TrackPoint& p : flight->points) unmeasured += (p.flags & kTrackPointNoGpsHeight) != 0;
    EXPECT_EQ(unmeasured, c.unmeasured);
    for (bool pressure : {true, false}) {
      SCOPED_TRACE(pressure ? "following the pressure height" : "holding the last height");
      FlightStatistics stats;
      stats.points = flight->points;
      stats.pressureFlag = pressure;
      ComputeFlightStatistics(stats);
      EXPECT_GT(stats.minHeight, 50);  // the lowest take-off or landing is at 76 m
      EXPECT_LT(stats.maxHeight, 5000);
      EXPECT_LE(stats.maxClimb, 20.0);
      EXPECT_GE(stats.minClimb, -20.0);
      EXPECT_GT(stats.maxClimb, 1.0);  // still a soaring flight
    }
  }
}

// The KML track of the flight with unmeasured fixes never dives to the
// ground: read back, every height is one that was flown.
TEST(RealFlights, KmlTrackKeepsToMeasuredHeights) {
  const Result<IgcParse> flight = ReadFlight("trifai-xcontest-189.65.igc");
  ASSERT_TRUE(flight.ok()) << flight.error().text;
  FlightStatistics stats;
  stats.points = flight->points;
  stats.pressureFlag = true;
  ComputeFlightStatistics(stats);
  TextOutputBuffer folder;
  ASSERT_TRUE(BuildKmlTrackFolder(folder, stats, "2019-06-03").ok());
  const Result<KmlTrack> back = ReadKmlTrack(WrapKmlDocument(folder.text()));
  ASSERT_TRUE(back.ok()) << back.error().Describe();
  ASSERT_EQ(back->points.size(), flight->points.size());
  int32_t lowest = INT32_MAX;
  for (const TrackPoint& p : back->points) lowest = std::min(lowest, p.gpsHeight);
  EXPECT_GT(lowest, 500);  // decimetres: above the 76 m of the lowest landing field of these flights
}

// The statistics see stand-in heights; a file written from the log says
// what the instrument said, fix by fix.
TEST(RealFlights, WrittenIgcKeepsTheFixesOwnValues) {
  const Result<IgcParse> flight = ReadFlight("trifai-xcontest-189.65.igc");
  ASSERT_TRUE(flight.ok()) << flight.error().text;
  size_t checked = 0;
  for (const TrackPoint& p : flight->points) {
    if ((p.flags & kTrackPointNoGpsHeight) == 0) continue;
    const std::string record = FormatIgcBRecord(p, false);
    EXPECT_EQ(record[24], 'V') << record;
    EXPECT_EQ(record.substr(30, 5), "00000") << record;
    ++checked;
  }
  EXPECT_EQ(checked, 34u);
}

}  // namespace
}  // namespace skylode
