// Competition mode in the shell: the IDs an instrument's waypoints give, the
// reset before every download, the check-in save after a person's download,
// and the pilot list read and saved.
#include "shell/commands/competition_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app_fixture.h"
#include "family_commands.h"
#include "formats/file_io.h"
#include "formats/pilot_list_file.h"
#include "shell/command_line/command_line_run.h"
#include "shell/commands/command_ids.h"
#include "shell/program_setup.h"

namespace skylode::test {
namespace {

class CompetitionCommandsTest : public AppFixture {
 protected:
  CompetitionCommandsTest() {
    RegisterFileCommands(app);
    app.Initialise();
    app.competition.competitionMode = true;
  }
  // What the worker of a competition download does with the unit's waypoints.
  void Scan(const std::vector<Waypoint>& waypoints) {
    ASSERT_FALSE(transfers.started.empty());
    for (const Waypoint& w : waypoints) transfers.started.back().callbacks.identifyPilot(w);
  }
};

TEST_F(CompetitionCommandsTest, InstrumentIdsAreFoundAndResetBeforeTheNextDownload) {
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  Scan({Wpt("LAUNCH"), *MakePilotIdWaypoint(kCompIdWord, 17, 0), *MakePilotIdWaypoint(kCivlIdWord, 12345, 0)});
  EXPECT_EQ(app.instrumentPilotIds.compId, 17);
  EXPECT_EQ(app.instrumentPilotIds.civlId, 12345);
  EXPECT_EQ(ui.statusLines.back(), "Comp ID = 17, CIVL ID = 12345");
  app.checkInPilot = {"Anna", 17, 12345};
  Deliver(TransferResult::Failure());

  // The next pilot's instrument has no IDs: nothing of the last one is left.
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  EXPECT_FALSE(app.instrumentPilotIds.any());
  EXPECT_FALSE(app.checkInPilot.identified());
  Scan({Wpt("LAUNCH")});
  EXPECT_FALSE(app.instrumentPilotIds.any());

  // The special variant reads "-NNN" and nothing else.
  Deliver(TransferResult::Failure());
  app.competition.compSpecial = true;
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kFlytec), 0);
  Scan({*MakePilotIdWaypoint(kCompIdWord, 17, 0), Wpt("-42")});
  EXPECT_EQ(app.instrumentPilotIds.compId, 42);
  EXPECT_EQ(app.instrumentPilotIds.civlId, -1);
}

TEST_F(CompetitionCommandsTest, PilotListReadShownAndSaved) {
  const std::string csv = dir / "pilots.csv";
  WriteText(csv, "Name,CompId,CivlId\r\n\"Öz, Anna\",17,12345\r\nJo Lee,101,\r\n");
  ASSERT_EQ(ReadPilotListInto(app, csv, true), 0);
  ASSERT_EQ(app.pilots.items.size(), 2u);
  EXPECT_EQ(app.competition.pilotListFile, csv);
  EXPECT_EQ(app.CellText(ViewMode::kPilots, 0, 0), "Öz, Anna");

  // Replacing a list asks first; Cancel keeps it.
  const std::string other = dir / "other.csv";
  WriteText(other, "X,1\r\n");
  ui.messageAnswers.push_back(MessageAnswer::kCancel);
  EXPECT_EQ(ReadPilotListInto(app, other, true), -1);
  EXPECT_EQ(app.pilots.items.size(), 2u);

  const std::string saved = dir / "saved.csv";
  ui.saveAnswers.push_back(FileAnswer{saved, 1});
  app.RunCommand(cmd::kSavePilotListCsv);
  const Result<std::string> text = ReadWholeFile(saved);
  ASSERT_TRUE(text.ok());
  const Result<PilotList> back = ReadPilotListText(*text);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->items, app.pilots.items);

  // Files that are no list say why, and the list stays.
  const std::string bad = dir / "bad.csv";
  WriteText(bad, "A,x\r\n");
  EXPECT_EQ(ReadPilotListInto(app, bad, false), -1);
  EXPECT_EQ(app.pilots.items.size(), 2u);
  EXPECT_EQ(ReadPilotListInto(app, dir / "none.fsdb", false), -1);
  app.pilots = {};
  app.RunCommand(cmd::kSavePilotListCsv);
  EXPECT_FALSE(ui.messages.empty());
}

TEST_F(CompetitionCommandsTest, WaypointUploadCarriesTheGivenIds) {
  const std::string file = dir / "task.wpt";
  WriteText(file,
            "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
            "1,LAUNCH,45.800000,6.200000,40000.0,0,1,3,0,65535,,0,0,0,1500,6,0,17\r\n");
  std::ostringstream report;
  auto run = [&](std::vector<std::string> args) {
    CmdParseResult parsed = ParseCommandLine(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    CommandLineRunner runner(app, *parsed.run, report);
    runner.Begin();
    const int started = runner.RunCommandLine();
    app.EndCommandLineRun();
    return started;
  };
  ASSERT_EQ(run({"/GPS=GARMIN", "/WR_WPT=" + file, "/COMPID=17", "/CIVLID=12345", "/WIN=0"}), 0);
  ASSERT_EQ(transfers.started.size(), 1u);
  const auto* sent = std::get_if<WaypointList>(&transfers.started.back().request.input);
  ASSERT_NE(sent, nullptr);
  ASSERT_EQ(sent->items.size(), 3u);
  EXPECT_EQ(ReadPilotIdFromWaypoint(sent->items[1], false).compId, 17);
  EXPECT_EQ(ReadPilotIdFromWaypoint(sent->items[2], false).civlId, 12345);
  Deliver(TransferResult::Done());

  // A number no position can spell is refused before anything is sent.
  EXPECT_EQ(run({"/GPS=GARMIN", "/WR_WPT=" + file, "/COMPID=18000000", "/WIN=0"}), -1);
  EXPECT_EQ(transfers.started.size(), 1u);
  EXPECT_EQ(hiddenMessages.back(), "Upload waypoints: COMPID too large for an ID waypoint");
}

TEST_F(CompetitionCommandsTest, CompetitionModeDialogReadsTheListAndSetsTheWindow) {
  app.competition.competitionMode = false;
  const std::string csv = dir / "pilots.csv";
  WriteText(csv, "Anna,17,12345\r\nJo Lee,101,\r\n");
  ui.openAnswers.push_back(FileAnswer{csv, 2});
  ui.competitionTimesAnswers = {CompetitionTimesForm{"2026-07-05 25:00:00", ""},
                                CompetitionTimesForm{"2026-07-05 12:00:00", "2026-07-05 11:00:00"},
                                CompetitionTimesForm{" 2026-07-05 10:00:00", "2026-07-05 19:30:00"}};
  std::vector<std::string> shown;
  ui.competitionModeScript = [&](const CompetitionModeRequest& r) -> std::optional<bool> {
    shown.push_back(r.pilotsText);
    shown.push_back(r.readPilotList());
    const auto [start, stop] = r.setTimes();
    shown.push_back(start);
    shown.push_back(stop);
    return true;
  };
  app.RunCommand(cmd::kCompetitionMode);
  EXPECT_EQ(shown, (std::vector<std::string>{"", "2 pilots", "2026-07-05  10:00:00", "2026-07-05  19:30:00"}));
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Bad start time", "Stop time before start time"}));
  EXPECT_TRUE(app.competition.competitionMode);
  EXPECT_EQ(app.competition.compStop - app.competition.compStart, 9u * 3600 + 1800);
  EXPECT_NE(app.Title().find("Competition mode"), std::string::npos);
  EXPECT_EQ(app.viewMode(), ViewMode::kPilots);
  EXPECT_EQ(ui.statusLines.back(), "2 pilots registered");

  // Cancel keeps the flag as it was.
  ui.competitionModeScript = [](const CompetitionModeRequest&) -> std::optional<bool> { return std::nullopt; };
  app.RunCommand(cmd::kCompetitionMode);
  EXPECT_TRUE(app.competition.competitionMode);
  // Blank fields are no limit.
  ui.competitionTimesAnswers = {CompetitionTimesForm{"", " "}};
  EXPECT_TRUE(SetCompetitionTimes(app));
  EXPECT_EQ(app.competition.compStart, 0u);
  EXPECT_EQ(app.competition.compStop, 0u);
}

TEST_F(CompetitionCommandsTest, PersonsDownloadIdentifiedSavedAndIdsOffered) {
  const std::string out = dir / "out";
  std::filesystem::create_directories(out);
  WriteText(dir / "pilots.csv", "Anna,17,12345\r\nJo Lee,101,\r\n");
  ASSERT_EQ(ReadPilotListInto(app, dir / "pilots.csv", false), 0);
  app.competition.compStart = 0;

  // The instrument holds no IDs: the person types them, a bad one first.
  std::vector<IdentifyPilotRequest> requests;
  int answers = 0;
  ui.identifyPilotScript = [&](const IdentifyPilotRequest& r) -> std::optional<IdentifyPilotForm> {
    requests.push_back(r);
    IdentifyPilotForm f = r.initial;
    if (answers++ == 0) {
      f.pilot.compId = "1o1";
      return f;
    }
    // Typing 101 finds Jo Lee.
    f.pilot.compId = "101";
    f.pilot = *r.idEdited(f.pilot, true);
    f.folder = out;
    return f;
  };
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  std::vector<TrackPoint> points;
  for (uint32_t i = 0; i < 60; ++i) {
    TrackPoint p = Point(1000000000u + i * 5, 10000);
    p.latitude += static_cast<int32_t>(i) * 3000;
    points.push_back(p);
  }
  TransferResult result = TrackResult(points, TrackLogSource::kGarmin);
  std::get<TrackLogPayload>(result.payload).log.modelName = "eTrex";
  std::get<TrackLogPayload>(result.payload).log.sourceProtocol = ProtocolType::kGarminSerial;
  ui.messageAnswers = {MessageAnswer::kOk /* the bad ID */, MessageAnswer::kOk /* upload the IDs */};
  Deliver(std::move(result));
  ui.RunPosted();

  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].pilotRows, (std::vector<std::string>{"Anna (comp. 17, CIVL 12345)", "Jo Lee (comp. 101)"}));
  EXPECT_EQ(requests[0].initial.pilot.compId, "");
  EXPECT_EQ(requests[1].initial.pilot.compId, "1o1");  // reopened as typed
  const std::vector<std::string> texts = ui.MessageTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Bad comp. pilot ID");
  EXPECT_NE(texts.back().find("The GPS did not contain any COMPID or CIVLID."), std::string::npos);

  EXPECT_EQ(app.checkInPilot.name, "Jo Lee");
  EXPECT_EQ(app.checkInPilot.compId, 101);
  size_t kml = 0;
  for (const auto& e : std::filesystem::directory_iterator(out)) {
    const std::string name = e.path().filename().string();
    kml += name.starts_with("Jo_Lee.") && name.ends_with(".[CIVLID].101.kml");
  }
  EXPECT_EQ(kml, 1u);

  // The ID upload went to the instrument that delivered the log; once it is
  // done the instrument joins the pilot's devices.
  ASSERT_EQ(transfers.started.size(), 2u);
  EXPECT_EQ(transfers.started[1].request.access, AccessType::kSendWaypoints);
  const auto* ids = std::get_if<WaypointList>(&transfers.started[1].request.input);
  ASSERT_NE(ids, nullptr);
  ASSERT_EQ(ids->items.size(), 1u);
  EXPECT_EQ(ReadPilotIdFromWaypoint(ids->items[0], false).compId, 101);
  Deliver(TransferResult::Done());
  EXPECT_EQ(app.pilots.items[1].devices[0], "eTrex");
  AddDeviceToPilot(app, "eTrex");  // once only
  EXPECT_EQ(app.pilots.items[1].devices[1], "");
}

TEST_F(CompetitionCommandsTest, SelectPilotBeforeAWaypointUpload) {
  app.waypoints.items = {Wpt("LAUNCH", "Launch")};
  WriteText(dir / "pilots.csv", "Anna,17,12345\r\n");
  ASSERT_EQ(ReadPilotListInto(app, dir / "pilots.csv", false), 0);
  // A bad ID, one the position cannot spell, then Anna from the list with
  // the "-NNN" waypoint.
  std::vector<IdentifyPilotForm> answers(3);
  answers[0].pilot.compId = "x";
  answers[1].pilot.civlId = "18000000";
  answers[2].pilot = FieldsOfPilot(app.pilots, 0);
  answers[2].dashId = true;
  size_t asked = 0;
  ui.identifyPilotScript = [&](const IdentifyPilotRequest& r) -> std::optional<IdentifyPilotForm> {
    EXPECT_TRUE(r.selectForUpload);
    EXPECT_EQ(r.pilotRows, std::vector<std::string>{"Anna (comp. 17, CIVL 12345)"});
    return asked < answers.size() ? std::optional(answers[asked++]) : std::nullopt;
  };
  app.RunCommand(cmd::kSendWptCompeoIdName);
  EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Bad comp. ID", "Bad CIVL ID"}));
  ASSERT_EQ(transfers.started.size(), 1u);
  EXPECT_EQ(transfers.started[0].request.parameter, 2);
  const auto* sent = std::get_if<WaypointList>(&transfers.started[0].request.input);
  ASSERT_NE(sent, nullptr);
  ASSERT_EQ(sent->items.size(), 4u);
  EXPECT_EQ(ReadPilotIdFromWaypoint(sent->items[1], false).compId, 17);
  EXPECT_EQ(ReadPilotIdFromWaypoint(sent->items[2], false).civlId, 12345);
  EXPECT_EQ(sent->items[3].id, "-17");
  EXPECT_EQ(app.waypoints.items.size(), 1u);  // the list itself keeps only its own
  Deliver(TransferResult::Done());
  EXPECT_FALSE(app.pilots.items[0].devices[0].empty());

  // Both fields empty: "Exit ?" Yes sends the waypoints alone; Cancel sends nothing.
  answers = {IdentifyPilotForm{}};
  asked = 0;
  ui.messageAnswers = {MessageAnswer::kYes};
  app.RunCommand(cmd::kSendWptCompeoIdName);
  ASSERT_EQ(transfers.started.size(), 2u);
  EXPECT_EQ(std::get<WaypointList>(transfers.started[1].request.input).items.size(), 1u);
  Deliver(TransferResult::Done());
  answers.clear();
  app.RunCommand(cmd::kSendWptCompeoIdName);
  EXPECT_EQ(transfers.started.size(), 2u);
}

TEST_F(CompetitionCommandsTest, AVisibleCheckInAsksWhoFlew) {
  const std::string out = dir / "out";
  std::filesystem::create_directories(out);
  WriteText(dir / "pilots.csv", "Anna,17,12345\r\n");
  std::vector<TrackPoint> points;
  for (uint32_t i = 0; i < 40; ++i) {
    TrackPoint p = Point(1000000000u + i * 5, 10000);
    p.latitude += static_cast<int32_t>(i) * 3000;
    points.push_back(p);
  }
  std::vector<PilotFields> shown;
  bool confirm = false;
  ui.identifyPilotScript = [&](const IdentifyPilotRequest& r) -> std::optional<IdentifyPilotForm> {
    shown.push_back(r.initial.pilot);
    if (!confirm) return std::nullopt;
    return r.initial;
  };
  auto checkIn = [&] {
    CmdParseResult parsed = ParseCommandLine(std::vector<std::string>{
        "/GPS=GARMIN", "/COMP_LOG=KML", "/COMP_DIR=" + out, "/COMP_FS=" + (dir / "pilots.csv"), "/CIVLID=999"});
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    std::ostringstream report;
    CommandLineRunner runner(app, *parsed.run, report);
    runner.Begin();
    EXPECT_EQ(runner.RunCommandLine(), 0);
    // The instrument says 17; the command line's CIVL ID stays.
    transfers.started.back().callbacks.identifyPilot(*MakePilotIdWaypoint(kCompIdWord, 17, 0));
    Deliver(TrackResult(points, TrackLogSource::kGarmin));
    ui.RunPosted();
    return runner.exitCode();
  };
  EXPECT_EQ(checkIn(), 1);  // cancelled: nothing saved
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].compId, "17");
  EXPECT_EQ(shown[0].civlId, "999");
  EXPECT_EQ(shown[0].name, "Anna");
  EXPECT_TRUE(std::filesystem::is_empty(out));
  confirm = true;
  app.trackLog.saved = true;  // the last pilot's log is not asked about
  EXPECT_EQ(checkIn(), 0);
  ASSERT_FALSE(std::filesystem::is_empty(out));
  EXPECT_TRUE(std::filesystem::directory_iterator(out)->path().filename().string().ends_with(".999.17.kml"));
}

}  // namespace
}  // namespace skylode::test
