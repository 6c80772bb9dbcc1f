// The Flight statistics dialog's session and Rotate Track through the
// scripted UI.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app_fixture.h"
#include "shell/commands/analysis_commands.h"
#include "shell/commands/command_ids.h"
#include "records/calendar.h"

namespace skylode::test {
namespace {

const uint32_t kNoon = *CalendarToTime(CalendarTime{2009, 12, 31, 12, 0, 0, 0});
constexpr auto kSearchWait = std::chrono::seconds(30);

// A straight glide east, one fix every 10 s, about 100 m apart.
std::vector<TrackPoint> Glide(int count) {
  std::vector<TrackPoint> points;
  for (int i = 0; i < count; ++i) {
    TrackPoint p;
    p.time = kNoon + 10u * static_cast<uint32_t>(i);
    p.latitude = 563714457;
    p.longitude = 95443718 + i * 15700;  // ~100 m at 47 degrees
    p.gpsHeight = 15000 + 10 * i;
    points.push_back(p);
  }
  points[0].flags = kTrackPointStartsSegment;
  return points;
}

std::vector<int32_t> AllRows(size_t n) {
  std::vector<int32_t> rows(n);
  for (size_t i = 0; i < n; ++i) rows[i] = static_cast<int32_t>(i);
  return rows;
}

class AnalysisCommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    RegisterAnalysisCommands(app);
    Load(Glide(40));
  }
  void Load(std::vector<TrackPoint> points) {
    app.trackLog.points = std::move(points);
    app.trackLog.source = TrackLogSource::kGarmin;
    app.trackLog.gRecordValid = true;
    app.trackLog.hasBaroHeight = true;
    app.trackLog.instrumentText = "unit";
    ui.selection[ViewMode::kTrackLog] = AllRows(app.trackLog.points.size());
  }
};

// The contest line per rule set arrives beside the trips: a straight glide
// is a free flight under both rule sets, as long as the open distance.
TEST_F(AnalysisCommandsTest, StatisticsShowContestScores) {
  std::optional<std::array<std::string, 2>> contest;
  std::optional<std::array<std::string, 7>> trips;
  ui.statisticsScript = [&](FlightStatisticsSession& s) {
    ASSERT_TRUE(s.WaitFinished(kSearchWait));
    trips = s.TripTexts();
    for (int i = 0; i < 500 && !contest; ++i) {
      contest = s.ContestTexts();
      if (!contest) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  app.RunCommand(cmd::kFlightStatistics);
  ASSERT_TRUE(contest && trips);
  EXPECT_EQ((*contest)[0].rfind("XContest: free flight ", 0), 0u) << (*contest)[0];
  // FFVL's free 3 km closing makes a glide this short a flat out-and-return
  // "triangle"; only its lead is certain here.
  EXPECT_EQ((*contest)[1].rfind("FFVL: ", 0), 0u) << (*contest)[1];
  const std::string& line = (*contest)[0];
  const size_t at = line.rfind(' ', line.find(" km,") - 1);
  EXPECT_NEAR(std::strtod(line.c_str() + at + 1, nullptr), std::strtod((*trips)[0].c_str(), nullptr), 0.05) << line;
}

TEST_F(AnalysisCommandsTest, StatisticsShowFiguresAndTripsAndSaveTheFlight) {
  StatisticsTexts shown;
  std::optional<std::array<std::string, 7>> trips;
  bool saved = false;
  ui.saveAnswers.push_back(FileAnswer{dir / "trip", 1});
  ui.statisticsScript = [&](FlightStatisticsSession& s) {
    shown = s.texts();
    EXPECT_EQ(s.statistics().count(), 40);
    ASSERT_TRUE(s.WaitFinished(kSearchWait));
    trips = s.TripTexts();
    saved = s.Save("A fine day");
  };
  app.RunCommand(cmd::kFlightStatistics);

  EXPECT_EQ(ui.statisticsDialogs, 1);
  EXPECT_EQ(shown.date, "2009-12-31");
  EXPECT_EQ(shown.start, "12:00:00");
  EXPECT_EQ(shown.finish, "12:06:30");
  EXPECT_EQ(shown.duration, "0 : 06 : 30");
  EXPECT_EQ(shown.maxHeight, "1539 m");
  EXPECT_EQ(shown.minHeight, "1500 m");
  ASSERT_TRUE(trips);
  // 39 steps of about 100 m: close to 3.9 km in a straight line.
  const double open = std::strtod((*trips)[0].c_str(), nullptr);
  EXPECT_GT(open, 3.5);
  EXPECT_LT(open, 4.3);
  EXPECT_TRUE(saved);
  EXPECT_TRUE(std::filesystem::exists(dir / "trip.kml"));
  EXPECT_NE(ReadText(dir / "trip.kml").find("A fine day"), std::string::npos);
  EXPECT_TRUE(app.trackLog.saved);
  ASSERT_FALSE(ui.fileQuestions.empty());
  EXPECT_EQ(ui.fileQuestions[0].title, "Save track for Aerodiary");
}

TEST_F(AnalysisCommandsTest, SelectionRefusalsCloseBeforeTheDialog) {
  struct Case {
    const char* name;
    std::vector<int32_t> rows;
    const char* message;
  };
  const Case cases[] = {
      {"none", {}, "No position(s) selected"},
      {"nine", AllRows(9), "Too few positions selected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    ui.selection[ViewMode::kTrackLog] = c.rows;
    app.RunCommand(cmd::kFlightStatistics);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
    EXPECT_EQ(ui.messages[0].caption, "Initialize track statistics dialog box");
  }
  EXPECT_EQ(ui.statisticsDialogs, 0);
}

TEST_F(AnalysisCommandsTest, SpeedFilterDropsAJumpAndSaysSo) {
  std::vector<TrackPoint> points = Glide(40);
  points[20].latitude += 50'000'000;  // hundreds of km away for ten seconds
  Load(points);
  int analysed = 0;
  ui.statisticsScript = [&](FlightStatisticsSession& s) { analysed = s.statistics().count(); };
  app.RunCommand(cmd::kFlightStatistics);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Position(s) have been removed during track speed analysis");
  EXPECT_EQ(ui.messages[0].icon, BoxIcon::kNone);
  EXPECT_EQ(analysed, 39);

  // With the filter off every position is analysed and nothing is said.
  ui.messages.clear();
  app.RunCommand(cmd::kLogFilter);
  app.RunCommand(cmd::kFlightStatistics);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(analysed, 40);
}

TEST_F(AnalysisCommandsTest, SaveBeforeTheSearchEndsIsRefused) {
  FlightStatistics stats;
  stats.points = Glide(40);
  ComputeFlightStatistics(stats);
  FlightStatisticsSession session(app, stats, {});  // never started
  EXPECT_FALSE(session.Save("x"));
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Statistics not yet finished"}));
  EXPECT_EQ(ui.messages[0].caption, "Save track log");
  EXPECT_FALSE(session.TripTexts());
  EXPECT_TRUE(ui.fileQuestions.empty());
}

TEST_F(AnalysisCommandsTest, ClosingWhileTheSearchRunsLeavesEverythingIntact) {
  // Long enough that the search is still busy when the dialog closes; the
  // sanitizer build shows whether anything it uses was freed under it.
  Load(Glide(3000));
  for (int round = 0; round < 3; ++round) {
    ui.statisticsScript = [&](FlightStatisticsSession& s) {
      if (round == 1) {
        s.Halt();
        const bool consistent = s.Finished() || s.StatusText() == "Computation halted";
        EXPECT_TRUE(consistent) << s.StatusText();
      }
    };
    app.RunCommand(cmd::kFlightStatistics);
  }
  EXPECT_EQ(ui.statisticsDialogs, 3);
  EXPECT_EQ(app.trackLog.count(), 3000);
  EXPECT_TRUE(ui.messages.empty());
}

// --- Rotate Track ----------------------------------------------------------------

TEST_F(AnalysisCommandsTest, RotationMovesTheStartToTheOriginAndTheLogLosesItsInstrument) {
  app.rawIgc.text = "AXYZ\r\n";
  const std::vector<TrackPoint> before = app.trackLog.points;
  RotationPositions wanted;
  wanted.start = {before[0].latitude, before[0].longitude};
  wanted.end = {before[39].latitude, before[39].longitude};
  ui.rotateAnswers.push_back(RotateTrackFormFor(wanted));
  app.RunCommand(cmd::kRotateTrack);

  ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
  ASSERT_EQ(app.trackLog.count(), 40);
  // The typed text carries hundredths of an arc second: some 330 semicircles.
  EXPECT_LT(std::abs(app.trackLog.points[0].latitude), 700);
  EXPECT_LT(std::abs(app.trackLog.points[0].longitude), 700);
  // The glide runs east, so it ends on the equator east of the origin.
  EXPECT_LT(std::abs(app.trackLog.points[39].latitude), 2000);
  EXPECT_GT(app.trackLog.points[39].longitude, 0);
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(app.trackLog.points[i].time, before[i].time);
    EXPECT_EQ(app.trackLog.points[i].gpsHeight, before[i].gpsHeight);
  }
  EXPECT_FALSE(app.trackLog.gRecordValid);
  EXPECT_EQ(app.trackLog.source, TrackLogSource::kFile);
  EXPECT_TRUE(app.trackLog.instrumentText.empty());
  EXPECT_TRUE(app.trackLog.hasBaroHeight);
  EXPECT_FALSE(app.trackLog.saved);
  EXPECT_TRUE(app.rawIgc.empty());

  // The dialog opens next time with the positions just used.
  app.RunCommand(cmd::kRotateTrack);
  ASSERT_EQ(ui.rotateRequests.size(), 2u);
  EXPECT_EQ(ui.rotateRequests[1].startLatitude, RotateTrackFormFor(wanted).startLatitude);
  EXPECT_EQ(ui.rotateRequests[1].endLongitude, RotateTrackFormFor(wanted).endLongitude);
}

TEST_F(AnalysisCommandsTest, RotationDialogRefusesBadFieldsAndStaysOpen) {
  const RotateTrackForm good = RotateTrackFormFor(RotationPositions{});
  struct Case {
    const char* name;
    void (*edit)(RotateTrackForm&);
    const char* message;
  };
  const Case cases[] = {
      {"start lat empty", [](RotateTrackForm& f) { f.startLatitude = "  "; }, "Missing start latitude input"},
      {"start lat bad", [](RotateTrackForm& f) { f.startLatitude = "N 91"; }, "Bad start latitude input"},
      {"start lon empty", [](RotateTrackForm& f) { f.startLongitude.clear(); }, "Missing start longitude input"},
      {"start lon bad", [](RotateTrackForm& f) { f.startLongitude = "E 8x"; }, "Bad start longitude input"},
      {"end lat empty", [](RotateTrackForm& f) { f.endLatitude.clear(); }, "Missing end latitude input"},
      {"end lat bad", [](RotateTrackForm& f) { f.endLatitude = "E 47"; }, "Bad end latitude input"},
      {"end lon empty", [](RotateTrackForm& f) { f.endLongitude.clear(); }, "Missing end longitude input"},
      {"end lon bad", [](RotateTrackForm& f) { f.endLongitude = "180"; }, "Bad end longitude input"},
      {"half a second apart",
       [](RotateTrackForm& f) {
         f.startLatitude = "N 47 00 00.00";
         f.startLongitude = "E 8 00 00.00";
         f.endLatitude = "N 47 00 00.50";
         f.endLongitude = "E 8 00 00.50";
       },
       "Positions are too close"},
  };
  const std::vector<TrackPoint> before = app.trackLog.points;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.messages.clear();
    ui.rotateRequests.clear();
    RotateTrackForm form = good;
    c.edit(form);
    ui.rotateAnswers.push_back(form);  // then Cancel
    app.RunCommand(cmd::kRotateTrack);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
    EXPECT_EQ(ui.messages[0].caption, "Decode position");
    ASSERT_EQ(ui.rotateRequests.size(), 2u);
    EXPECT_EQ(ui.rotateRequests[1].startLatitude, form.startLatitude);
    EXPECT_EQ(ui.rotateRequests[1].endLongitude, form.endLongitude);
  }
  EXPECT_EQ(app.trackLog.points, before);
  EXPECT_TRUE(app.trackLog.gRecordValid);
}

TEST_F(AnalysisCommandsTest, RotationChecksBeforeTheDialog) {
  ui.selection[ViewMode::kTrackLog] = {};
  app.RunCommand(cmd::kRotateTrack);
  ui.selection[ViewMode::kTrackLog] = {3};
  app.RunCommand(cmd::kRotateTrack);  // "Only one position selected": Cancel by default
  app.trackLog.points.clear();
  app.RunCommand(cmd::kRotateTrack);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"No position(s) selected", "Only one position selected",
                                                         "No positions loaded"}));
  for (const auto& m : ui.messages) EXPECT_EQ(m.caption, "Rotate track log");
  EXPECT_TRUE(ui.rotateRequests.empty());
}

TEST(RotateTrackForm, OppositePositionsGiveNoRotation) {
  RotationPositions out;
  const RotateTrackForm form{"N 10", "E 20", "S 10", "W 160"};
  EXPECT_EQ(CheckRotateTrackForm(form, out), "Positions are too close");
  const RotationPositions untouched;
  EXPECT_EQ(out.start, untouched.start);
}

}  // namespace
}  // namespace skylode::test
