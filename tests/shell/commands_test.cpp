#include <gtest/gtest.h>

#include "app_fixture.h"
#include "shell/commands/command_ids.h"
#include "formats/file_io.h"
#include "records/calendar.h"
#include "family_commands.h"

namespace skylode {
namespace {

using test::AppFixture;

class CommandsTest : public AppFixture {
 protected:
  void SetUp() override {
    app.Initialise();
    ui.messages.clear();
  }
  void StartBusy() {
    ASSERT_EQ(app.transfers().DownloadWaypoints(ProtocolType::kGarminSerial), 0);
    ASSERT_TRUE(app.transferBusy());
  }
};

TEST_F(CommandsTest, GuardsRefuseWithTheCommandsCaption) {
  struct Case {
    int id;
    bool busy;
    ViewMode view;
    const char* text;
    const char* caption;
  } cases[] = {
      {cmd::kViewCtr, true, ViewMode::kTrackLog, "Busy GPS driver", "Change view mode"},
      {cmd::kSelectAll, true, ViewMode::kTrackLog, "Busy GPS driver", "Select all items"},
      {cmd::kListSmall, true, ViewMode::kTrackLog, "Busy GPS driver", "Set list size"},
      {cmd::kDeleteWaypoints, true, ViewMode::kWaypoints, "Busy GPS driver", "Delete waypoint(s)"},
      {cmd::kEditWaypoint, false, ViewMode::kTrackLog, "Incorrect view mode", "Edit waypoint"},
      {cmd::kNewWaypoint, false, ViewMode::kCtr, "Incorrect view mode", "New waypoint"},
      {cmd::kReadGarmin, true, ViewMode::kTrackLog, "Busy GPS driver", "Download track log"},
      {cmd::kReadWptFlytec, true, ViewMode::kTrackLog, "Busy GPS driver", "Download waypoints"},
      {cmd::kSendWptGarmin, true, ViewMode::kTrackLog, "Busy GPS driver", "Upload waypoints"},
      {cmd::kSendCtrFlytec, true, ViewMode::kTrackLog, "Busy GPS driver", "Upload CTR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    app.SetViewMode(c.view, false);
    if (c.busy) StartBusy();
    const ViewMode before = app.viewMode();
    const size_t starts = transfers.started.size();
    ui.messages.clear();
    app.RunCommand(c.id);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.text);
    EXPECT_EQ(ui.messages[0].caption, c.caption);
    EXPECT_EQ(app.viewMode(), before);
    EXPECT_EQ(transfers.started.size(), starts);
    EXPECT_TRUE(ui.listSizes.empty());
    if (c.busy) Deliver(TransferResult::Failure());
  }
}

TEST_F(CommandsTest, UtmDuringATransferChangesNothing) {
  app.trackLog.points = {Point(1), Point(2)};
  for (const ViewMode view : {ViewMode::kTrackLog, ViewMode::kWaypoints}) {
    SCOPED_TRACE(static_cast<int>(view));
    app.SetViewMode(view, true);
    const std::string cell = app.CellText(view, 0, 2);
    StartBusy();
    ui.messages.clear();
    const size_t shown = ui.shownViews.size();
    EXPECT_FALSE(app.SetUtmDisplay(true));
    // Cells and column headers stay as they were: the same form.
    EXPECT_FALSE(app.utmDisplay());
    EXPECT_EQ(app.CellText(view, 0, 2), cell);
    EXPECT_EQ(ui.shownViews.size(), shown);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Busy GPS driver");
    EXPECT_EQ(ui.messages[0].caption, "Change view mode");
    Deliver(TransferResult::Failure());
  }
  // Once the transfer is over the box works again.
  app.SetViewMode(ViewMode::kTrackLog, true);
  EXPECT_TRUE(app.SetUtmDisplay(true));
  EXPECT_TRUE(app.utmDisplay());
}

TEST_F(CommandsTest, InstrumentCommandsStartTheirTransfer) {
  struct Case {
    int id;
    AccessType access;
    ProtocolType protocol;
    uint32_t baud;
    int32_t parameter;
  } cases[] = {
      {cmd::kReadGarmin, AccessType::kReadTrackLog, ProtocolType::kGarminSerial, 0, 0},
      {cmd::kReadXcTrainerMxp, AccessType::kReadTrackLog, ProtocolType::kXcTrainerMxp, 57600, 0},
      {cmd::kReadTracklogger, AccessType::kReadTrackLog, ProtocolType::kLogIt, 115200, 0},
      {cmd::kReadLogIt19200, AccessType::kReadTrackLog, ProtocolType::kLogIt, 19200, 0},
      {cmd::kReadLeonardo, AccessType::kReadTrackLog, ProtocolType::kMlrNmea, 0, 0},
      {cmd::kReadWptMlrFast, AccessType::kReadWaypoints, ProtocolType::kMlrFast, 0, 0},
      {cmd::kReadWptIqBasic, AccessType::kReadWaypoints, ProtocolType::kIqBasic, 0, 0},
      {cmd::kSendWptCompeoId, AccessType::kSendWaypoints, ProtocolType::kFlytec, 0, 3},
      {cmd::kSendWptFlymasterName, AccessType::kSendWaypoints, ProtocolType::kFlymaster, 0, 1},
      {cmd::kSendWptIqBasicIdName, AccessType::kSendWaypoints, ProtocolType::kIqBasic, 0, 2},
      {cmd::kSendCtrGarmin, AccessType::kUploadAirspaces, ProtocolType::kGarminSerial, 0, 0},
      {cmd::kReadCtrFlytec, AccessType::kReadAirspaces, ProtocolType::kFlytec, 0, 0},
      {cmd::kSendWptAsGarminLogUsb, AccessType::kUploadTrackLog, ProtocolType::kGarminUsb, 0, 0},
      {cmd::kReadLogItData, AccessType::kReadLoggerData, ProtocolType::kLogIt, 0, 0},
  };
  ASSERT_TRUE(settings.SetText(SettingId::kPortName, "/dev/ttyUSB3"));
  app.waypoints.items = {Wpt("A1"), Wpt("B2")};
  // Many flights at once go into a file: without the file commands there is
  // nowhere for them to go, so the command is not offered.
  EXPECT_FALSE(app.IsCommandAvailable(cmd::kReadAllIqTracks));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    app.RunCommand(c.id);
    ASSERT_TRUE(app.transferBusy());
    const TransferRequest& r = transfers.started.back().request;
    EXPECT_EQ(r.access, c.access);
    EXPECT_EQ(r.protocol, c.protocol);
    EXPECT_EQ(r.baudRate, c.baud);
    EXPECT_EQ(r.parameter, c.parameter);
    EXPECT_EQ(r.portName, "/dev/ttyUSB3");
    if (c.access == AccessType::kSendWaypoints) {
      const auto* sent = std::get_if<WaypointList>(&r.input);
      ASSERT_NE(sent, nullptr);
      EXPECT_EQ(sent->count(), 2);
    }
    Deliver(TransferResult::Failure());
  }
  EXPECT_EQ(transfers.started.size(), std::size(cases));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CommandsTest, EraseAsksFirstAndCtrUploadSendsTheSelection) {
  ui.messageAnswers = {MessageAnswer::kNo};
  app.RunCommand(cmd::kEraseMtk);
  EXPECT_TRUE(transfers.started.empty());
  EXPECT_EQ(ui.messages.back().text, "Are you sure ?");
  ui.messageAnswers = {MessageAnswer::kYes};
  app.RunCommand(cmd::kEraseMtk);
  ASSERT_EQ(transfers.started.size(), 1u);
  EXPECT_EQ(transfers.started[0].request.access, AccessType::kEraseTrackLog);
  Deliver(TransferResult::Done());
  EXPECT_FALSE(app.transferBusy());

  app.ctrs.areas.resize(3);
  ui.selection[ViewMode::kCtr] = {2, 7, 0};
  app.RunCommand(cmd::kSendCtrCompeo);
  ASSERT_EQ(transfers.started.size(), 2u);
  const auto* sent = std::get_if<CtrList>(&transfers.started[1].request.input);
  ASSERT_NE(sent, nullptr);
  ASSERT_EQ(sent->count(), 3);
  EXPECT_TRUE(sent->areas[0].selected);
  EXPECT_FALSE(sent->areas[1].selected);
  EXPECT_TRUE(sent->areas[2].selected);
}

TEST_F(CommandsTest, LogItNameIsAskedThenWritten) {
  // Cancel, a refused name (the form stays open), an empty one, then a name.
  ui.formAnswers = {std::nullopt, std::vector<std::string>{"Hans,M"}, std::vector<std::string>{""},
                    std::vector<std::string>{"Hans M"}};
  app.RunCommand(cmd::kWriteLogItName);
  EXPECT_TRUE(transfers.started.empty());
  app.RunCommand(cmd::kWriteLogItName);
  EXPECT_TRUE(transfers.started.empty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Sending name");
  app.RunCommand(cmd::kWriteLogItName);
  ASSERT_EQ(transfers.started.size(), 1u);
  EXPECT_EQ(ui.formTitles, (std::vector<std::string>{"Write GPS name", "Write GPS name", "Write GPS name"}));
  EXPECT_EQ(transfers.started[0].request.access, AccessType::kWriteSettings);
  EXPECT_EQ(transfers.started[0].request.protocol, ProtocolType::kLogIt);
  const auto* owner = std::get_if<FormAnswers>(&transfers.started[0].request.input);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(owner->values, std::vector<std::string>{"Hans M"});
}

TEST_F(CommandsTest, AvailabilityFollowsHandlersAndWorkers) {
  EXPECT_TRUE(app.IsCommandAvailable(cmd::kReadGarmin));
  transfers.missing.insert({AccessType::kReadTrackLog, ProtocolType::kGarminSerial});
  EXPECT_FALSE(app.IsCommandAvailable(cmd::kReadGarmin));
  app.RunCommand(cmd::kReadGarmin);
  EXPECT_TRUE(transfers.started.empty());

  EXPECT_FALSE(app.IsCommandAvailable(cmd::kReadGraviterLast));  // always shown disabled
  EXPECT_TRUE(app.IsCommandAvailable(cmd::kWriteDsxPilotData));   // its form comes with the row
  EXPECT_TRUE(app.IsCommandAvailable(cmd::kWriteFlymasterName));   // its form comes with the row
  EXPECT_FALSE(app.IsCommandAvailable(cmd::kSaveLogAs));
  EXPECT_FALSE(app.IsCommandAvailable(cmd::kSaveLogButton));
  EXPECT_TRUE(app.IsCommandAvailable(cmd::kViewCtr));
  EXPECT_FALSE(app.IsCommandAvailable(12345));

  int saves = 0;
  app.RegisterCommand(cmd::kSaveLog, [&] { ++saves; });
  EXPECT_TRUE(app.IsCommandAvailable(cmd::kSaveLogButton));
  app.RunCommand(cmd::kSaveLogButton);
  app.RunCommand(cmd::kSaveLog);
  EXPECT_EQ(saves, 2);
}

TEST_F(CommandsTest, OptionsToggleTheirCheckMarks) {
  EXPECT_TRUE(ui.checks[cmd::kLogFilter]);
  EXPECT_TRUE(ui.checks[cmd::kUsbCompCheckWaypoints]);
  EXPECT_FALSE(ui.checks[cmd::kPowerOffGarmin]);
  app.RunCommand(cmd::kLogFilter);
  app.RunCommand(cmd::kPowerOffFlymaster);
  EXPECT_FALSE(ui.checks[cmd::kLogFilter]);
  EXPECT_EQ(settings.Number(SettingId::kLogFilter), 0);
  EXPECT_TRUE(ui.checks[cmd::kPowerOffFlymaster]);
  app.RunCommand(cmd::kReadFlymaster);
  EXPECT_TRUE(transfers.started.back().request.settings.powerOffAfterTransfer);
  Deliver(TransferResult::Failure());
  app.RunCommand(cmd::kReadGarmin);
  EXPECT_FALSE(transfers.started.back().request.settings.powerOffAfterTransfer);
}

TEST_F(CommandsTest, TitleShowsPortAndCompetitionVariant) {
  EXPECT_EQ(app.Title(), "Skylode 4.49, COM1");
  app.competition.competitionMode = true;
  EXPECT_EQ(app.Title(), "Skylode 4.49, COM1, Competition mode");
  app.RunCommand(cmd::kToggleCompSpecial);
  EXPECT_EQ(ui.titles.back(), "Skylode 4.49, COM1, Comp. mode");
  app.RunCommand(cmd::kToggleCompSpecial);
  EXPECT_EQ(ui.titles.back(), "Skylode 4.49, COM1, Competition mode");
}

TEST_F(CommandsTest, ListSizeRebuildsOnlyOnChange) {
  app.RunCommand(cmd::kListDefault);
  EXPECT_TRUE(ui.listSizes.empty());
  app.RunCommand(cmd::kListLarge);
  app.RunCommand(cmd::kListLarge);
  EXPECT_EQ(ui.listSizes, std::vector<ListSize>{ListSize::kLarge});
}

TEST_F(CommandsTest, ViewSwitchAndSelectAll) {
  app.trackLog.points = {Point(1), Point(2), Point(3)};
  app.RunCommand(cmd::kSelectAll);
  EXPECT_EQ(ui.selection[ViewMode::kTrackLog], (std::vector<int32_t>{0, 1, 2}));
  const size_t shown = ui.shownViews.size();
  app.RunCommand(cmd::kViewTrackLog);  // already shown
  EXPECT_EQ(ui.shownViews.size(), shown);
  app.RunCommand(cmd::kViewPilots);
  EXPECT_EQ(app.viewMode(), ViewMode::kPilots);
  app.RunCommand(cmd::kSelectAll);  // the pilot view has no selection command
  EXPECT_FALSE(ui.selection.count(ViewMode::kPilots));
  app.SetUtmDisplay(true);  // redraws only waypoints and track log
  EXPECT_EQ(ui.shownViews.size(), shown + 1);
  app.RunCommand(cmd::kViewTrackLog);
  EXPECT_EQ(ui.shownViews.size(), shown + 2);
}

// --- Waypoint list ---

class WaypointCommandsTest : public CommandsTest {
 protected:
  void SetUp() override {
    CommandsTest::SetUp();
    app.SetViewMode(ViewMode::kWaypoints, false);
  }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const auto& w : app.waypoints.items) ids.push_back(w.id);
    return ids;
  }
};

TEST_F(WaypointCommandsTest, InsertOffersEachSameIdThenAppends) {
  app.waypoints.items = {Wpt("DUP", "first"), Wpt("X"), Wpt("DUP", "second")};
  ui.messageAnswers = {MessageAnswer::kNo, MessageAnswer::kNo};
  app.InsertWaypoint(Wpt("DUP", "third"));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Waypoint DUP already exists, overwrite ?");
  EXPECT_EQ(ui.messages[0].caption, "Insert waypoint");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"DUP", "X", "DUP", "DUP"}));

  ui.messages.clear();
  ui.messageAnswers = {MessageAnswer::kNo, MessageAnswer::kYes};
  app.InsertWaypoint(Wpt("DUP", "new"));
  EXPECT_EQ(ui.messages.size(), 2u);  // the Yes ends the insert
  EXPECT_EQ(app.waypoints.count(), 4);
  EXPECT_EQ(app.waypoints.items[0].name, "first");
  EXPECT_EQ(app.waypoints.items[2].name, "new");
}

TEST_F(WaypointCommandsTest, NewWaypointStartsFromDefaultsAndInserts) {
  Waypoint typed = Wpt("TOP", "Summit");
  typed.latitude = 1000;
  ui.waypointAnswers = {typed, std::nullopt};
  app.RunCommand(cmd::kNewWaypoint);
  ASSERT_EQ(ui.waypointDialogs.size(), 1u);
  EXPECT_EQ(ui.waypointDialogs[0].symbol, kDefaultWaypointSymbol);
  EXPECT_TRUE(ui.waypointDialogs[0].id.empty());
  EXPECT_GT(ui.waypointDialogs[0].time, CalendarToTime({2020, 1, 1, 0, 0, 0}).value());
  EXPECT_EQ(Ids(), std::vector<std::string>{"TOP"});
  // The next one opens at the last position used; cancel inserts nothing.
  app.RunCommand(cmd::kNewWaypoint);
  EXPECT_EQ(ui.waypointDialogs[1].latitude, 1000);
  EXPECT_EQ(app.waypoints.count(), 1);
}

TEST_F(WaypointCommandsTest, EditAndDeleteNeedASelection) {
  struct Case {
    int id;
    bool hasList;
    const char* text;
    const char* caption;
  } cases[] = {
      {cmd::kEditWaypoint, false, "No waypoints in list", "Edit waypoint"},
      {cmd::kEditWaypoint, true, "No waypoint selected", "Edit waypoint"},
      {cmd::kDeleteWaypoints, false, "No waypoints in list", "Delete waypoint(s)"},
      {cmd::kDeleteWaypoints, true, "No waypoint selected", "Delete waypoint(s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    app.waypoints.items.clear();
    if (c.hasList) app.waypoints.items = {Wpt("A")};
    ui.selection[ViewMode::kWaypoints] = {5};  // a row that is not there
    ui.messages.clear();
    app.RunCommand(c.id);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.text);
    EXPECT_EQ(ui.messages[0].caption, c.caption);
    EXPECT_EQ(app.waypoints.count(), c.hasList ? 1 : 0);
  }
}

TEST_F(WaypointCommandsTest, DeleteRemovesExactlyTheSelectedRows) {
  app.waypoints.items = {Wpt("A"), Wpt(""), Wpt("C"), Wpt("D"), Wpt("")};
  ui.selection[ViewMode::kWaypoints] = {3, 0, 3};
  app.RunCommand(cmd::kDeleteWaypoints);
  // Unselected waypoints without an ID stay.
  EXPECT_EQ(Ids(), (std::vector<std::string>{"", "C", ""}));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WaypointCommandsTest, EditChangesTheFirstSelectedAndKeepsTheSelection) {
  app.waypoints.items = {Wpt("A"), Wpt("B"), Wpt("C")};
  ui.selection[ViewMode::kWaypoints] = {2, 1};
  ui.waypointAnswers = {Wpt("BB", "edited")};
  app.RunCommand(cmd::kEditWaypoint);
  ASSERT_EQ(ui.waypointDialogs.size(), 1u);
  EXPECT_EQ(ui.waypointDialogs[0].id, "B");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"A", "BB", "C"}));
  EXPECT_EQ(ui.selection[ViewMode::kWaypoints], (std::vector<int32_t>{1, 2}));
}

// --- Gap settings ---

TEST_F(CommandsTest, LoopFlightGapKeepsAskingUntilANumber) {
  ui.textAnswers = {std::string(""), std::string("12x"), std::string("1200")};
  app.RunCommand(cmd::kSetLoopFlightGap);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Missing input", "Bad input"}));
  EXPECT_EQ(ui.messages[0].caption, "Set gap distance");
  ASSERT_EQ(ui.textQuestions.size(), 3u);
  EXPECT_EQ(ui.textQuestions[0].title, "Loop flight gap distance");
  EXPECT_EQ(ui.textQuestions[2].initial, "800");  // the old value stays shown
  EXPECT_EQ(settings.Number(SettingId::kLoopFlightGap), 1200);
}

TEST_F(CommandsTest, TrackGapTimeIsMinutesInSecondsOut) {
  ui.textAnswers = {std::string(""), std::string("ten"), std::string("30")};
  app.RunCommand(cmd::kSetTrackGapTime);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(ui.textQuestions.size(), 3u);
  EXPECT_EQ(ui.textQuestions[0].title, "Set Track Gap Time");
  EXPECT_EQ(ui.textQuestions[0].initial, "20");
  EXPECT_EQ(settings.Number(SettingId::kTrackGapTime), 1800);
  ui.textAnswers = {std::nullopt};
  app.RunCommand(cmd::kSetTrackGapTime);
  EXPECT_EQ(settings.Number(SettingId::kTrackGapTime), 1800);
}

// --- Selected track points ---

TEST_F(CommandsTest, CopySelectedTrackPointsCutsAtGapsAndKeepsTheChosenParts) {
  // Two flights an hour apart.
  app.trackLog.points = {Point(1000), Point(1010), Point(1020), Point(5000), Point(5010)};
  ui.selection[ViewMode::kTrackLog] = {4, 0, 1, 3, 2, 9, 1};
  ui.splitAnswers = {std::vector<int>{0}};  // the top row: the newest part
  auto points = app.CopySelectedTrackPoints();
  ASSERT_EQ(ui.splitRequests.size(), 1u);
  EXPECT_EQ(ui.splitRequests[0].title, "Split track (COM1)");
  EXPECT_EQ(ui.splitRequests[0].entries.size(), 2u);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].time, 5000u);
  EXPECT_EQ(points[1].time, 5010u);

  ui.splitAnswers = {std::nullopt};
  EXPECT_TRUE(app.CopySelectedTrackPoints().empty());

  ui.selection[ViewMode::kTrackLog] = {0, 1};
  EXPECT_EQ(app.CopySelectedTrackPoints().size(), 2u);  // one part: no question
  EXPECT_EQ(ui.splitRequests.size(), 2u);
  ui.selection[ViewMode::kTrackLog] = {};
  EXPECT_TRUE(app.CopySelectedTrackPoints().empty());
}

TEST_F(CommandsTest, TheSplitDialogNamesTheInstrumentTheLogCameFrom) {
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec, 57600), 0);
  TransferResult result = TrackResult({Point(1000), Point(1010), Point(5000)}, TrackLogSource::kFlytec);
  auto& log = std::get<TrackLogPayload>(result.payload).log;
  log.modelName = "Compeo+";
  log.identification = "Compeo+:10342";
  Deliver(std::move(result));
  EXPECT_EQ(app.trackLog.identification, "Compeo+:10342");
  ui.selection[ViewMode::kTrackLog] = {0, 1, 2};
  ui.splitAnswers = {std::nullopt};
  app.CopySelectedTrackPoints();
  ASSERT_EQ(ui.splitRequests.size(), 1u);
  EXPECT_EQ(ui.splitRequests[0].title, "Split track (COM1, Compeo+)");
}

// --- File questions ---

TEST_F(CommandsTest, SaveFileAppendsExtensionAndStoresFolderAndFilter) {
  FileDialogSpec spec;
  spec.title = "Save log";
  spec.formats = {{"Ozi", ".plt"}, {"GPX", ".gpx"}};
  spec.folderSetting = SettingId::kTrackLogDir;
  spec.filterSetting = SettingId::kLogExportExt;
  const std::string folder = dir / "logs";
  struct Case {
    std::string typed;
    int filter;
    std::string path;
    int format;
  } cases[] = {
      {folder + "/flight", 1, folder + "/flight.plt", 0},
      {folder + "/flight", 3, folder + "/flight", 0},
      {folder + "/flight", 2, folder + "/flight.gpx", 1},
      {folder + "/flight.txt", 2, folder + "/flight.txt", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed + " " + std::to_string(c.filter));
    ui.saveAnswers = {FileAnswer{c.typed, c.filter}};
    auto chosen = app.AskSaveFile(spec);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, c.path);
    EXPECT_EQ(chosen->format, c.format);
    EXPECT_EQ(settings.Text(SettingId::kTrackLogDir), folder);
    EXPECT_EQ(settings.Number(SettingId::kLogExportExt), c.filter);
  }
  const FileQuestion& q = ui.fileQuestions.back();
  ASSERT_EQ(q.filters.size(), 3u);
  EXPECT_EQ(q.filters[0].name, "Ozi (*.plt)");
  EXPECT_EQ(q.filters[0].pattern, "*.plt");
  EXPECT_EQ(q.filters[1].pattern, "*.gpx");
  EXPECT_EQ(q.filters[2].name, "All Files");
  EXPECT_EQ(q.filters[2].pattern, "*.*");
  EXPECT_EQ(q.filterIndex, 2);  // remembered from the previous save
  EXPECT_TRUE(ui.messages.empty());

  ui.saveAnswers = {std::nullopt};
  EXPECT_FALSE(app.AskSaveFile(spec));
  EXPECT_TRUE(ui.messages.empty());  // a cancel is silent
}

TEST_F(CommandsTest, OverlongFileNameIsRefused) {
  FileDialogSpec spec;
  spec.formats = {{"IGC", ".igc"}};
  spec.folderSetting = SettingId::kIgcDir;
  const std::string before = settings.Text(SettingId::kIgcDir);
  const std::string name253 = "/" + std::string(252, 'n');  // 257 with ".igc"
  ui.openAnswers = {FileAnswer{name253, 1}, FileAnswer{name253 + "x", 1}};
  EXPECT_TRUE(app.AskOpenFile(spec));
  EXPECT_FALSE(app.AskOpenFile(spec));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Too long file name");
  EXPECT_EQ(ui.messages[0].caption, "Error opening file");
}

TEST_F(CommandsTest, ExistingFileIsReplacedOnlyAfterOk) {
  const std::string existing = dir / "a.kml";
  test::WriteText(existing, "x");
  ui.messageAnswers = {MessageAnswer::kOk};
  EXPECT_TRUE(app.ConfirmNewFile(existing));
  EXPECT_EQ(ui.messages[0].text, "File already exists, overwrite ?");
  EXPECT_EQ(ui.messages[0].caption, "File creation");
  EXPECT_EQ(ui.messages[0].defaultAnswer, MessageAnswer::kCancel);
  ui.messageAnswers = {MessageAnswer::kCancel};
  EXPECT_FALSE(app.ConfirmNewFile(existing));
  EXPECT_TRUE(app.ConfirmNewFile(dir / "new.kml"));
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_FALSE(app.ConfirmNewFile(dir / "no/such/folder/x.kml"));
  EXPECT_EQ(ui.messages.back().caption, "Error opening file");
  EXPECT_EQ(ui.messages.back().text, SystemErrorText(ENOENT));
  EXPECT_FALSE(app.ConfirmNewFile(dir.str()));  // a folder is not a file to replace
  EXPECT_EQ(ui.messages.back().text, SystemErrorText(EISDIR));
}

TEST_F(CommandsTest, CreateNewFileWritesWholeFilesOnly) {
  const std::string path = dir / "out.plt";
  EXPECT_EQ(app.CreateNewFile(path, "first\r\n"), 0);
  EXPECT_EQ(test::ReadText(path), "first\r\n");
  EXPECT_TRUE(ui.messages.empty());

  ui.messageAnswers = {MessageAnswer::kCancel};
  EXPECT_EQ(app.CreateNewFile(path, "second\r\n"), -1);
  EXPECT_EQ(test::ReadText(path), "first\r\n");
  ui.messageAnswers = {MessageAnswer::kOk};
  EXPECT_EQ(app.CreateNewFile(path, "second\r\n"), 0);
  EXPECT_EQ(test::ReadText(path), "second\r\n");
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>(2, "File already exists, overwrite ?")));

  EXPECT_EQ(app.CreateNewFile(dir / "missing/out.plt", "x"), -1);
  EXPECT_EQ(ui.messages.back().caption, "Error opening file");
}

class HiddenRunFilesTest : public AppFixture {};

TEST_F(HiddenRunFilesTest, HiddenRunNeverOverwritesUnlessTold) {
  const std::string existing = dir / "a.kml";
  test::WriteText(existing, "x");
  CommandLineRun run;
  run.hidden = true;
  app.BeginCommandLineRun(run);
  app.Initialise();
  EXPECT_FALSE(app.ConfirmNewFile(existing));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(hiddenMessages, std::vector<std::string>{"File creation: File already exists, overwrite ?"});
  app.EndCommandLineRun();
  run.overwrite = true;
  app.BeginCommandLineRun(run);
  EXPECT_TRUE(app.ConfirmNewFile(existing));
}

}  // namespace
}  // namespace skylode
