// The KML of the command line's IGC-to-KML conversion against the same file
// built from the first definitions of the analysis: the statistics walked
// leg by leg for every window and the coarse trip searches as plain loops
// over a packed matrix. Every byte must agree, the statistics lines, each
// distance placemark and the hashed track alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/contest_score.h"
#include "analysis/flight_statistics.h"
#include "analysis/flight_statistics_reference.cpp"
#include "analysis/track_fixtures.h"
#include "analysis/trip_search.h"
#include "analysis/trip_search_reference.cpp"
#include "formats/kml_writer.h"
#include "formats/text_output_buffer.h"
#include "formats/kml_test_support.h"
#include "records/calendar.h"
#include "shell/command_line/command_line_run.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kGap = 800;

// The trip results with the coarse choices of the plain loops; the
// refinement on the full track is shared.
TripDistances ReferenceTrips(std::span<const TrackPoint> points) {
  TripSearchWork w;
  SampleAndProject(points, w);
  reference::ReferenceWork r = reference::BuildReference(w);
  TripDistances t;
  t.open = RefineDistance(points, w, reference::Distance2(r), 2);
  t.three = RefineDistance(points, w, reference::Distance3(r), 3);
  t.four = RefineDistance(points, w, reference::Distance4(r), 4);
  t.five = RefineDistance(points, w, reference::Distance5(r), 5);
  t.outAndReturn = RefineOutAndReturn(points, w, reference::OutAndReturn(r, kGap), kGap);
  const CoarseTriangles tri = reference::Triangles(r, kGap);
  t.flatTriangle = RefineTriangle(points, w, tri.flat, kGap, false);
  t.faiTriangle = RefineTriangle(points, w, tri.fai, kGap, true);
  return t;
}

// What the conversion writes, from the reference analysis.
std::string ReferenceFile(const std::vector<TrackPoint>& points) {
  FlightStatistics stats;
  stats.points = points;
  stats.analysisTimeValid = true;
  stats.utcFlag = true;
  stats.pressureFlag = true;
  reference::ComputeFlightStatistics(stats);
  stats.trips = ReferenceTrips(points);
  const CalendarTime day = SecondsToDateTime(points.front().time);
  TextOutputBuffer description;
  description.Int(day.year).Append('-').Int(day.month, 2).Append('-').Int(day.day, 2);
  TextOutputBuffer folder;
  // The exact contest scores have their own reference; here they only take
  // their place in the description.
  const ContestScores contest = ScoreContests(points);
  EXPECT_TRUE(BuildKmlTrackFolder(folder, stats, description.text(), {"", kGap, &contest}).ok());
  return WrapKmlDocument(folder.text());
}

// The loop tests are the slow part of the plain loops, so the flights are
// kept short: a small triangle closed at 1 Hz, searched on every position,
// and an open flight at 5 Hz, sampled down to 2000 positions, whose loops
// are the thermals.
TEST(KmlAnalysisIdentity, ConversionMatchesTheFirstDefinitionsByteForByte) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
  };
  const Case cases[] = {
      {"1 Hz, closed", fixtures::Roughened(fixtures::LoggedFlight(1000, 1, 31, 0.03))},
      {"5 Hz", fixtures::Roughened(fixtures::LoggedFlight(4000, 5, 32))},
  };
  const fs::path dir = fs::path(testing::TempDir()) / "kml_analysis_identity";
  fs::create_directories(dir);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "track.kml";
    GoogleEarthTrackRequest request;
    request.hashWanted = true;
    request.utcFlag = true;
    request.pressureFlag = true;
    request.overwrite = true;
    request.loopFlightGap = kGap;
    const auto failure = WriteGoogleEarthTrack(file.string(), c.points, request);
    ASSERT_FALSE(failure) << failure->caption << ": " << failure->text;
    const std::string written = kml_test::ReadFile(file.string());
    const std::string expected = ReferenceFile(c.points);
    // A statistics line or placemark that differs is easier to read than
    // the first differing byte of a whole file.
    size_t at = 0;
    while (at < written.size() && at < expected.size() && written[at] == expected[at]) ++at;
    const size_t from = at < 300 ? 0 : at - 300;
    EXPECT_EQ(written.substr(from, 600), expected.substr(from, 600)) << "first difference at byte " << at;
    EXPECT_EQ(written.size(), expected.size());
    // The placemarks hold real results, not the zeros of a search that found nothing.
    EXPECT_NE(written.find("<name>Flat triangle</name>"), std::string::npos);
    EXPECT_EQ(written.find("<FsInfo track_idx=\"0 0 0 0 0\""), std::string::npos);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace skylode
