// The pruned contest searches on real flights against the plain loops. The
// flights are thinned to a few hundred fixes so that the cubic loops stay
// quick; the geometry is still the pilot's.
#include <gtest/gtest.h>

#include <string>

#include "analysis/olc_search.h"
#include "analysis/olc_search_reference.cpp"
#include "analysis/trip_search_reference.cpp"
#include "formats/file_io.h"
#include "formats/igc_reader.h"

namespace skylode {
namespace {

TEST(OlcRealFlights, PrunedSearchesMatchThePlainLoops) {
  for (const char* name : {"trifai-xcontest-189.65.igc", "flat-xcontest-100.59.igc",
                           "freeflight-xcontest-66.46.igc", "flat-ffvl-26.37.igc"}) {
    SCOPED_TRACE(name);
    std::string path = SKYLODE_TEST_DATA;
    path.append("/flights/").append(name);
    Result<std::string> text = ReadWholeFile(path);
    ASSERT_TRUE(text.ok());
    Result<IgcParse> parsed = ParseIgcText(*text);
    ASSERT_TRUE(parsed.ok());
    std::vector<TrackPoint> thin;
    const size_t step = parsed->points.size() / 450 + 1;
    for (size_t i = 0; i < parsed->points.size(); i += step) thin.push_back(parsed->points[i]);

    TripSearchWork w;
    SampleAndProject(thin, w);
    ASSERT_TRUE(BuildDistanceMatrix(w, nullptr, 2));
    ASSERT_TRUE(BuildGapMatrix(w));
    reference::ReferenceWork r = reference::BuildReference(w);
    EXPECT_EQ(CoarseOlcOutAndReturn(w), reference::OlcOutAndReturn(r));
    const CoarseTriangles expected = reference::OlcTriangles(r);
    ASSERT_TRUE(expected.flat.found);
    for (int threads : {1, 2}) {
      const CoarseTriangles got = CoarseOlcTriangles(w, nullptr, threads);
      EXPECT_EQ(got.flat, expected.flat);
      EXPECT_EQ(got.fai, expected.fai);
    }
  }
}

}  // namespace
}  // namespace skylode
