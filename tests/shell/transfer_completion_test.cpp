#include <gtest/gtest.h>

#include "app_fixture.h"
#include "shell/commands/command_ids.h"

namespace skylode {
namespace {

using test::AppFixture;

class TransferCompletionTest : public AppFixture {
 protected:
  void SetUp() override { app.Initialise(); }
};

struct SourceCase {
  TrackLogSource source;
  int32_t code;
  bool sourceClass;
  bool gRecord;
  bool baroKept;
  bool rawKept;
  bool extraKept;
};

TEST_F(TransferCompletionTest, AcceptTrackLogSetsFlagsBySource) {
  const SourceCase cases[] = {
      {TrackLogSource::kGarmin, 0, true, true, true, false, false},
      {TrackLogSource::kMtk, 0, true, true, true, false, false},
      {TrackLogSource::kXcTrainer, 0, false, true, true, false, true},
      {TrackLogSource::kMagellan, 0, false, true, true, false, false},
      {TrackLogSource::kFlytec, 0, true, false, true, true, false},
      {TrackLogSource::kFlytec, 1, true, true, true, true, false},
      {TrackLogSource::kDsx, 2, true, true, true, true, false},
      {TrackLogSource::kIqBasic, 0, true, false, true, true, false},
      {TrackLogSource::kFile, 0, false, false, false, false, false},
      {static_cast<TrackLogSource>(12), 1, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.source) * 10 + c.code);
    ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
    EXPECT_TRUE(app.transferBusy());
    Deliver(TrackResult({Point(100), Point(110)}, c.source, c.code));
    EXPECT_FALSE(app.transferBusy());
    EXPECT_FALSE(app.transferFailed());
    ASSERT_EQ(app.trackLog.count(), 2);
    EXPECT_EQ(app.trackLog.source, c.source);
    EXPECT_EQ(app.trackLog.sourceClassFlag, c.sourceClass);
    EXPECT_EQ(app.trackLog.gRecordValid, c.gRecord);
    EXPECT_EQ(app.trackLog.hasBaroHeight, c.baroKept);
    EXPECT_EQ(!app.rawIgc.empty(), c.rawKept);
    EXPECT_EQ(!app.trackLog.extraData.empty(), c.extraKept);
    EXPECT_FALSE(app.trackLog.saved);
    EXPECT_GE(app.trackLog.downloadTime.year, 2020);
    app.trackLog.saved = true;  // no question before the next download
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TransferCompletionTest, BackwardsTimeWarnsWithFirstPositionAndInstallsLogUnchanged) {
  ui.RunPosted();
  app.SetViewMode(ViewMode::kWaypoints, false);
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  Deliver(TrackResult({Point(10), Point(30), Point(20), Point(25)}, TrackLogSource::kFlytec));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "One or more points (the first at pos. 3) go backwards in time");
  EXPECT_EQ(ui.messages[0].caption, "Analyze track");
  EXPECT_EQ(ui.messages[0].icon, BoxIcon::kWarning);
  ASSERT_EQ(app.trackLog.count(), 4);
  EXPECT_EQ(app.trackLog.points[2].time, 20u);
  EXPECT_EQ(app.viewMode(), ViewMode::kTrackLog);
}

TEST_F(TransferCompletionTest, ResultOfAnAbortedTransferIsDropped) {
  app.trackLog.points = {Point(1)};
  app.trackLog.saved = true;
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  EXPECT_TRUE(app.trackLog.empty());  // cleared before the worker starts
  app.AbortButton();
  EXPECT_EQ(transfers.aborts, 1);
  EXPECT_FALSE(app.transferBusy());
  EXPECT_TRUE(app.transferFailed());
  // The abort gives the pilot the previous log back.
  ASSERT_EQ(app.trackLog.count(), 1);
  EXPECT_EQ(app.trackLog.points[0].time, 1u);
  const size_t viewsBefore = ui.shownViews.size();
  Deliver(TrackResult({Point(100), Point(200)}, TrackLogSource::kGarmin));
  ASSERT_EQ(app.trackLog.count(), 1);
  EXPECT_EQ(app.trackLog.points[0].time, 1u);
  EXPECT_EQ(ui.shownViews.size(), viewsBefore);

  // A late result of the aborted transfer cannot land in the next one either.
  app.SetViewMode(ViewMode::kWaypoints, false);
  ASSERT_EQ(app.transfers().DownloadWaypoints(ProtocolType::kGarminSerial), 0);
  WaypointList stale;
  stale.items = {Wpt("OLD")};
  Deliver(TransferResult::Waypoints(stale), 0);
  EXPECT_TRUE(app.transferBusy());
  EXPECT_TRUE(app.waypoints.empty());
  WaypointList fresh;
  fresh.items = {Wpt("NEW"), Wpt("NEW2")};
  Deliver(TransferResult::Waypoints(fresh), 1);
  EXPECT_FALSE(app.transferBusy());
  EXPECT_EQ(app.waypoints.count(), 2);
  EXPECT_EQ(app.viewMode(), ViewMode::kWaypoints);
}

TEST_F(TransferCompletionTest, FailureSetsExitCodeAndKeepsThePreviousLog) {
  app.trackLog.points = {Point(7), Point(8), Point(9)};
  app.trackLog.saved = true;
  app.rawIgc.text = "AFLY001\r\n";
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  EXPECT_TRUE(app.trackLog.empty());
  Deliver(TransferResult::Failure());
  EXPECT_FALSE(app.transferBusy());
  EXPECT_TRUE(app.transferFailed());
  EXPECT_EQ(app.trackLog.count(), 3);
  EXPECT_EQ(app.rawIgc.text, "AFLY001\r\n");
  EXPECT_EQ(app.exitCode(), 1);
  // A later success replaces it and nothing old comes back afterwards.
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  Deliver(TrackResult({Point(100)}, TrackLogSource::kGarmin));
  EXPECT_EQ(app.trackLog.count(), 1);
  app.AbortButton();  // nothing running: changes nothing
  EXPECT_EQ(app.trackLog.count(), 1);
  // The next successful transfer clears it.
  ASSERT_EQ(app.transfers().DownloadCtr(ProtocolType::kFlytec), 0);
  CtrList list;
  list.areas.resize(3);
  Deliver(TransferResult::Airspaces(list));
  EXPECT_EQ(app.ctrs.count(), 3);
  EXPECT_EQ(app.viewMode(), ViewMode::kCtr);
  EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(TransferCompletionTest, UnsavedLogIsAskedForAndKeptOnCancelOrRefusedStart) {
  app.trackLog.points = {Point(5), Point(6)};
  ui.messageAnswers = {MessageAnswer::kCancel};
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), -1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Continue without saving current track log ?");
  EXPECT_EQ(ui.messages[0].caption, "Unsaved track log");
  EXPECT_EQ(ui.messages[0].defaultAnswer, MessageAnswer::kCancel);
  EXPECT_TRUE(transfers.started.empty());
  EXPECT_EQ(app.trackLog.count(), 2);

  transfers.startResult = -1;
  ui.messageAnswers = {MessageAnswer::kOk};
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), -1);
  EXPECT_EQ(app.trackLog.count(), 2);
  EXPECT_FALSE(app.transferBusy());

  transfers.startResult = 0;
  ui.messageAnswers = {MessageAnswer::kOk};
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  EXPECT_TRUE(app.trackLog.empty());

  // A saved log is replaced without a question.
  Deliver(TrackResult({Point(1), Point(2)}, TrackLogSource::kGarmin));
  app.trackLog.saved = true;
  const size_t asked = ui.messages.size();
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  EXPECT_EQ(ui.messages.size(), asked);
}

TEST_F(TransferCompletionTest, EntryPointsRefuseWhileBusyAndOutsideTheirFamilies) {
  ASSERT_EQ(app.transfers().DownloadWaypoints(ProtocolType::kGarminSerial), 0);
  EXPECT_EQ(app.transfers().UploadCtr(ProtocolType::kFlytec), -1);
  EXPECT_EQ(ui.MessageTexts().back(), "Busy GPS driver");
  EXPECT_EQ(ui.messages.back().caption, "Upload CTR");
  Deliver(TransferResult::Waypoints({}));

  // A family does what it registered workers for, nothing else.
  struct Refused {
    int (TransferController::*start)(ProtocolType);
    AccessType access;
    ProtocolType protocol;
    const char* caption;
  } cases[] = {
      {&TransferController::DownloadWaypoints, AccessType::kReadWaypoints, ProtocolType::kLogIt, "Download waypoints"},
      {&TransferController::DownloadCtr, AccessType::kReadAirspaces, ProtocolType::kGarminSerial, "Download CTR"},
      {&TransferController::UploadCtr, AccessType::kUploadAirspaces, ProtocolType::kMagellan, "Upload CTR"},
      {&TransferController::EraseTrackLog, AccessType::kEraseTrackLog, ProtocolType::kGarminSerial,
       "Erase track log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    transfers.missing.insert({c.access, c.protocol});
    ui.messageAnswers = {MessageAnswer::kYes};
    EXPECT_EQ((app.transfers().*c.start)(c.protocol), -1);
    EXPECT_EQ(ui.messages.back().caption, c.caption);
    EXPECT_EQ(ui.messages.back().text, "Unsupported access function");
    EXPECT_FALSE(app.transferBusy());
  }
  transfers.missing.insert({AccessType::kReadTrackLog, ProtocolType::kMlrFast});
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kMlrFast), -1);
  EXPECT_EQ(transfers.started.size(), 1u);
}

class CommandLineTransferTest : public AppFixture {
 protected:
  void Begin(bool exitWhenDone, bool hidden = true) {
    CommandLineRun run;
    run.hidden = hidden;
    run.exitWhenDone = exitWhenDone;
    run.timeout = 7;
    run.powerOff = true;
    run.transferFinished = [this](bool success) {
      finished.push_back(success);
      // Runs after the completion: the log is already in place.
      countAtFinish = app.trackLog.count();
    };
    app.BeginCommandLineRun(std::move(run));
    app.Initialise();
  }
  std::vector<bool> finished;
  int32_t countAtFinish = -1;
};

TEST_F(CommandLineTransferTest, FinishedMessageFollowsTheCompletion) {
  Begin(/*exitWhenDone=*/true);
  const size_t views = ui.shownViews.size();
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlymaster), 0);
  const TransferRequest& request = transfers.started.back().request;
  EXPECT_TRUE(request.settings.commandLineRun);
  EXPECT_EQ(request.settings.connectAttempts, 7);
  EXPECT_TRUE(request.settings.powerOffAfterTransfer);
  Deliver(TrackResult({Point(10), Point(5)}, TrackLogSource::kFlymaster));
  EXPECT_EQ(finished, std::vector<bool>{true});
  EXPECT_EQ(countAtFinish, 2);
  // With EXIT the view is left alone, and a hidden run shows no box.
  EXPECT_EQ(ui.shownViews.size(), views);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(hiddenMessages.size(), 1u);
  EXPECT_EQ(hiddenMessages[0], "Analyze track: One or more points (the first at pos. 2) go backwards in time");

  ASSERT_EQ(app.transfers().DownloadWaypoints(ProtocolType::kGarminSerial), 0);
  Deliver(TransferResult::Failure());
  EXPECT_EQ(finished, (std::vector<bool>{true, false}));
  EXPECT_EQ(app.exitCode(), 1);
}

TEST_F(CommandLineTransferTest, AbortTellsTheRunOfTheFailure) {
  Begin(false);
  ASSERT_EQ(app.transfers().UploadWaypoints(ProtocolType::kGarminSerial, 0), 0);
  app.AbortButton();
  ui.RunPosted();
  EXPECT_EQ(finished, std::vector<bool>{false});
  Deliver(TransferResult::Done());
  EXPECT_EQ(finished, std::vector<bool>{false});
}

TEST_F(CommandLineTransferTest, HiddenRunTakesTheFirstFlightWithoutAsking) {
  Begin(false);
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  auto& callbacks = transfers.started.back().callbacks;
  const std::vector<TrackListEntry> entries = {{7, "flight 7"}, {3, "flight 3"}};
  auto chosen = callbacks.chooseTracks("Track List (COM1)", entries, CancelToken{});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, std::vector<int32_t>{7});
  EXPECT_TRUE(ui.trackRequests.empty());
  EXPECT_FALSE(callbacks.askYesNo("Caption", "Really ?", CancelToken{}));
  // Nothing is shown, so nothing more is asked.
  EXPECT_TRUE(callbacks.notifySkippable("No log positions", "No positions", CancelToken{}));
  EXPECT_TRUE(ui.skippableNotices.empty());
}

TEST_F(TransferCompletionTest, SkippableNoticesShowTheirTitleAndTellOfTheBox) {
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kDigiflyGraviter), 0);
  auto& callbacks = transfers.started.back().callbacks;
  ui.skipAnswers = {false, true};
  EXPECT_FALSE(callbacks.notifySkippable("No log positions", "first", CancelToken{}));
  EXPECT_TRUE(callbacks.notifySkippable("No log positions", "second", CancelToken{}));
  using Notice = std::pair<std::string, std::string>;
  EXPECT_EQ(ui.skippableNotices,
            (std::vector<Notice>{{"No log positions", "first"}, {"No log positions", "second"}}));
}

TEST_F(TransferCompletionTest, TrackListChoiceMapsPositionsToFlightNumbers) {
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  auto& callbacks = transfers.started.back().callbacks;
  const std::vector<TrackListEntry> entries = {{7, "a"}, {3, "b"}, {9, "c"}};
  ui.trackAnswers = {std::vector<int>{0, 2}, std::nullopt};
  auto chosen = callbacks.chooseTracks("Track List (COM1)", entries, CancelToken{});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, (std::vector<int32_t>{7, 9}));
  ASSERT_EQ(ui.trackRequests.size(), 1u);
  EXPECT_EQ(ui.trackRequests[0].entries, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(ui.trackRequests[0].offerAll);
  EXPECT_FALSE(callbacks.chooseTracks("Track List (COM1)", entries, CancelToken{}));

  callbacks.onStatus("Track position 1 of 2");
  callbacks.onProduct("Flytec 6030, SN1234");
  EXPECT_EQ(ui.statusLines.back(), "Track position 1 of 2");
  EXPECT_EQ(ui.productLines.back(), "Flytec 6030, SN1234");
}

TEST_F(TransferCompletionTest, CompetitionModeHearsOfEachArrivedTrack) {
  std::vector<bool> arrived;
  app.competitionTrackArrived = [&](bool ok) { arrived.push_back(ok); };
  app.competition.competitionMode = true;
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  Deliver(TrackResult({Point(1), Point(2)}, TrackLogSource::kGarmin));
  EXPECT_EQ(arrived, std::vector<bool>{true});

  std::vector<ProtocolType> uploads;
  app.competitionUploadDone = [&](ProtocolType p) { uploads.push_back(p); };
  ASSERT_EQ(app.transfers().UploadWaypoints(ProtocolType::kFlymaster, 3), 0);
  Deliver(TransferResult::Done());
  ASSERT_EQ(app.transfers().UploadWaypoints(ProtocolType::kFlytec, 3), 0);
  Deliver(TransferResult::Failure());
  EXPECT_EQ(uploads, std::vector<ProtocolType>{ProtocolType::kFlymaster});
}

}  // namespace
}  // namespace skylode
