#include <gtest/gtest.h>

#include <string>

#include "protocols/flytec/igc_receiver.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::flytec {
namespace {

uint32_t Day(int y, int m, int d) { return *CalendarToTime({uint16_t(y), uint16_t(m), uint16_t(d), 0, 0, 0, 0}); }

IgcByteResult FeedText(IgcFlightReceiver& r, std::string_view text) {
  for (char c : text) {
    const IgcByteResult res = r.Feed(static_cast<uint8_t>(c));
    if (!res.ok()) return res;
  }
  return {};
}

constexpr std::string_view kHeader = "AFLY07Q\r\nHFDTE150726\r\n";

TEST(FlytecIgc, FixFieldsBecomeATrackPoint) {
  IgcFlightReceiver r;
  ASSERT_TRUE(FeedText(r, kHeader).ok());
  ASSERT_TRUE(FeedText(r, "B1012404548774N00614754EA0125001312\r\n"
                          "B1012414548774S00614754WA-0012 -004\r\n"
                          "LFLY some comment\r\nGABCDEF\r\nG0123\r\n")
                  .ok());
  ASSERT_EQ(r.points().size(), 2u);
  const TrackPoint& p = r.points()[0];
  EXPECT_EQ(p.time, Day(2026, 7, 15) + 10 * 3600 + 12 * 60 + 40);
  EXPECT_EQ(p.flags, kTrackPointStartsSegment);
  // 45 deg 48.774 min and 6 deg 14.754 min.
  EXPECT_NEAR(SemicirclesToDegrees(p.latitude), 45 + 48.774 / 60, 1e-6);
  EXPECT_NEAR(SemicirclesToDegrees(p.longitude), 6 + 14.754 / 60, 1e-6);
  EXPECT_EQ(p.baroHeight, 1250);
  EXPECT_EQ(p.gpsHeight, 13120);
  const TrackPoint& q = r.points()[1];
  EXPECT_EQ(q.flags, 0u);
  EXPECT_EQ(q.latitude, -p.latitude);
  EXPECT_EQ(q.longitude, -p.longitude);
  EXPECT_EQ(q.baroHeight, -12);
  EXPECT_EQ(q.gpsHeight, -40);
  EXPECT_EQ(r.gRecords(), 2);
  EXPECT_EQ(r.manufacturer(), "FLY");
  EXPECT_EQ(r.loggerId(), "07Q");
  EXPECT_EQ(r.startTime(), p.time);
}

TEST(FlytecIgc, FixWithoutA3DPositionIsMarked) {
  IgcFlightReceiver r;
  ASSERT_TRUE(FeedText(r, kHeader).ok());
  ASSERT_TRUE(FeedText(r, "B1012404548774N00614754EA0125001312\r\n"
                          "B1012414548774N00614754EV0125100000\r\n"
                          "B1012424548774N00614754EV0125200000\r\n")
                  .ok());
  ASSERT_EQ(r.points().size(), 3u);
  EXPECT_EQ(r.points()[0].flags, kTrackPointStartsSegment);
  // The fix keeps what the instrument said; the mark says it was not measured.
  EXPECT_EQ(r.points()[1].flags, kTrackPointNoGpsHeight);
  EXPECT_EQ(r.points()[1].gpsHeight, 0);
  EXPECT_EQ(r.points()[2].flags, kTrackPointNoGpsHeight);

  // A flight that starts without a 3-D fix.
  IgcFlightReceiver first;
  ASSERT_TRUE(FeedText(first, kHeader).ok());
  ASSERT_TRUE(FeedText(first, "B1012404548774N00614754EV0125000000\r\n").ok());
  EXPECT_EQ(first.points()[0].flags, kTrackPointStartsSegment | kTrackPointNoGpsHeight);
}

TEST(FlytecIgc, MidnightCrossing) {
  const struct {
    std::vector<std::string_view> times;  // hhmmss of consecutive fixes
    std::vector<int> dayOf;               // day offset of each fix
  } cases[] = {
      {{"235959", "000001", "000002"}, {0, 1, 1}},
      {{"120000", "113000", "110001"}, {0, 0, 0}},  // a step back of less than an hour
      {{"120000", "110000"}, {0, 1}},                // exactly an hour back counts
      {{"230000", "000000", "230000", "000000"}, {0, 1, 1, 2}},
  };
  for (const auto& c : cases) {
    IgcFlightReceiver r;
    ASSERT_TRUE(FeedText(r, kHeader).ok());
    for (auto t : c.times)
      ASSERT_TRUE(FeedText(r, "B" + std::string(t) + "4548774N00614754EA0125001312\r\n").ok());
    ASSERT_EQ(r.points().size(), c.times.size());
    for (size_t i = 0; i < c.times.size(); ++i) {
      const auto t = c.times[i];
      const uint32_t tod = std::stoi(std::string(t.substr(0, 2))) * 3600 +
                           std::stoi(std::string(t.substr(2, 2))) * 60 + std::stoi(std::string(t.substr(4, 2)));
      EXPECT_EQ(r.points()[i].time, Day(2026, 7, 15) + c.dayOf[i] * 86400u + tod) << t;
    }
  }
}

TEST(FlytecIgc, LineErrors) {
  const std::string fix = "B1012404548774N00614754EA0125001312";
  auto with = [&](size_t at, std::string_view s) { return std::string(fix).replace(at, s.size(), s); };
  const struct {
    std::string header;
    std::string line;
    int error;
  } cases[] = {
      {"", fix, -25},  // no date yet
      {"HFDTE150726\r\n", fix.substr(0, 34), -24},
      {"HFDTE150726\r\n", with(25, "12x50"), -7},
      {"HFDTE150726\r\n", with(30, "0-312"), -7},
      {"HFDTE150726\r\n", with(20, "7x4"), -8},
      {"HFDTE150726\r\n", with(18, "1x"), -9},
      {"HFDTE150726\r\n", with(15, "0x6"), -10},
      {"HFDTE150726\r\n", with(15, "180"), -11},
      {"HFDTE150726\r\n", with(23, "X"), -12},
      {"HFDTE150726\r\n", with(11, "77x"), -13},
      {"HFDTE150726\r\n", with(9, "4x"), -14},
      {"HFDTE150726\r\n", with(7, "x5"), -15},
      {"HFDTE150726\r\n", with(7, "90"), -16},
      {"HFDTE150726\r\n", with(14, "E"), -17},
      {"HFDTE150726\r\n", with(5, "4x"), -18},
      {"HFDTE150726\r\n", with(5, "60"), -19},
      {"HFDTE150726\r\n", with(3, "x2"), -20},
      {"HFDTE150726\r\n", with(3, "60"), -21},
      {"HFDTE150726\r\n", with(1, "1x"), -22},
      {"HFDTE150726\r\n", with(1, "24"), -23},
      {"", "HFDTE1507xx", -1},
      {"", "HFDTE15xx26", -2},
      {"", "HFDTE151326", -3},
      {"", "HFDTE150026", -3},
      {"", "HFDTExx0726", -4},
      {"", "HFDTE320726", -5},
      {"", "HFDTE000726", -5},
      {"", "HFDTE310426", -5},  // 31 April does not exist
      {"", "AFLY07", -28},
      {"", "AFL-07Q", -29},
  };
  for (const auto& c : cases) {
    IgcFlightReceiver r;
    ASSERT_TRUE(FeedText(r, c.header).ok());
    // LF alone: a CR would count as one more character of the line.
    const IgcByteResult res = FeedText(r, c.line + "\n");
    EXPECT_EQ(res.kind, IgcByteResult::kFormatError) << c.line;
    EXPECT_EQ(res.value, -c.error) << c.line;
  }
}

TEST(FlytecIgc, BlankFieldsAndShortDateLinesAreNoErrors) {
  IgcFlightReceiver r;
  // A short HFDTE line is not a date line; the blank-padded one is.
  ASSERT_TRUE(FeedText(r, "HFDTE1507\r\nHFDTE 10726\r\nB1012404548774N00614754EA     -   5\r\n").ok());
  ASSERT_EQ(r.points().size(), 1u);
  EXPECT_EQ(r.points()[0].baroHeight, 0);
  EXPECT_EQ(r.points()[0].gpsHeight, -50);
  EXPECT_EQ(r.points()[0].time, Day(2026, 7, 1) + 36760u);
}

TEST(FlytecIgc, RecordTypeAndLineLength) {
  IgcFlightReceiver r;
  IgcByteResult res = FeedText(r, "AFLY07Q\r\nx");
  EXPECT_EQ(res.kind, IgcByteResult::kBadRecordType);
  EXPECT_EQ(res.Message(), "E205 Bad record type (78)");
  EXPECT_EQ(IgcByteResult({IgcByteResult::kFormatError, 25}).Message(), "E206 Format error 25");

  // 80 characters and CR fit; one more character does not.
  IgcFlightReceiver ok;
  EXPECT_TRUE(FeedText(ok, "L" + std::string(79, 'x') + "\r\n").ok());
  IgcFlightReceiver tooLong;
  res = FeedText(tooLong, "L" + std::string(80, 'x') + "\r\n");
  EXPECT_EQ(res.kind, IgcByteResult::kTooLongSentence);
  EXPECT_EQ(res.Message(), "E207 Too long sentence");
  IgcFlightReceiver runaway;
  EXPECT_EQ(FeedText(runaway, "L" + std::string(500, 'x')).kind, IgcByteResult::kTooLongSentence);
}

TEST(FlytecIgc, ResetStartsAFreshFlight) {
  IgcFlightReceiver r;
  ASSERT_TRUE(FeedText(r, std::string(kHeader) + "GX\r\nB1012404548774N00614754EA0125001312\r\n").ok());
  r.Reset();
  EXPECT_TRUE(r.points().empty());
  EXPECT_EQ(r.gRecords(), 0);
  EXPECT_TRUE(r.loggerId().empty());
  const IgcByteResult res = FeedText(r, "B1012404548774N00614754EA0125001312\r\n");
  EXPECT_EQ(res.value, 25);
}

std::vector<TrackPoint> Flight(std::initializer_list<uint32_t> times) {
  std::vector<TrackPoint> pts;
  for (uint32_t t : times) pts.push_back({pts.empty() ? 1u : 0u, t, 0, 0, 0, 0, 0});
  return pts;
}

TEST(FlytecIgc, MergingFlights) {
  const struct {
    std::vector<TrackPoint> collected, flight;
    bool ok;
    std::vector<uint32_t> times;
  } cases[] = {
      {{}, Flight({5, 6}), true, {5, 6}},
      {Flight({1, 2}), Flight({3, 4}), true, {1, 2, 3, 4}},
      {Flight({10, 20}), Flight({3, 4}), true, {3, 4, 10, 20}},  // newest first
      {Flight({10, 20}), Flight({15, 30}), false, {10, 20}},
      {Flight({10, 20}), Flight({20, 30}), false, {10, 20}},     // touching is overlapping
      {Flight({10, 20}), Flight({1, 10}), false, {10, 20}},
  };
  for (auto c : cases) {
    EXPECT_EQ(MergeFlight(c.collected, std::move(c.flight)), c.ok);
    std::vector<uint32_t> times;
    for (const auto& p : c.collected) times.push_back(p.time);
    EXPECT_EQ(times, c.times);
    // The merged log is one segment.
    for (size_t i = 0; i < c.collected.size(); ++i) EXPECT_EQ(c.collected[i].flags, i == 0 ? 1u : 0u);
  }
}

TEST(FlytecIgc, MergingKeepsUnmeasuredHeightsMarked) {
  // Either flight may begin with a fix whose height was not measured; the
  // one that ends up second loses its segment start, not that mark.
  for (const bool newestFirst : {false, true}) {
    std::vector<TrackPoint> early = Flight({1, 2});
    std::vector<TrackPoint> late = Flight({10, 20});
    early.front().flags |= kTrackPointNoGpsHeight;
    late.front().flags |= kTrackPointNoGpsHeight;
    std::vector<TrackPoint> collected = newestFirst ? late : early;
    ASSERT_TRUE(MergeFlight(collected, newestFirst ? std::move(early) : std::move(late)));
    ASSERT_EQ(collected.size(), 4u);
    EXPECT_EQ(collected[0].flags, kTrackPointStartsSegment | kTrackPointNoGpsHeight) << newestFirst;
    EXPECT_EQ(collected[2].flags, kTrackPointNoGpsHeight) << newestFirst;
  }
}

TEST(FlytecIgc, RemainingTime) {
  const struct {
    int64_t elapsedMs;
    uint32_t first, last;
    int64_t duration;
    int32_t seconds;
  } cases[] = {
      {10'000, 1000, 1100, 1000, 90},     // 100 of 1000 s in 10 s: 900 s of flight left, 90 s
      {10'000, 1000, 1000, 1000, 5999},   // nothing done yet
      {10'000, 1000, 2100, 1000, 0},      // past the listed duration
      {1'000'000, 1000, 1001, 1000, 5999},
      // 32-bit products would overflow here.
      {4'000'000, 0, 3'000'000, 3'600'000, 800},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RemainingTimeEstimate(c.elapsedMs, c.first, c.last, c.duration), c.seconds) << c.elapsedMs;
}

}  // namespace
}  // namespace skylode::flytec
