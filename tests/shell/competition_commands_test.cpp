// Competition mode in the shell: the IDs an instrument's waypoints give, the
// reset before every download, the check-in save after a person's download,
// and the pilot list read and saved.
#include "shell/commands/competition_commands.h"

#include <gtest/gtest.h>

#include "app_fixture.h"
#include "formats/file_io.h"
#include "formats/pilot_list_file.h"
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

}  // namespace
}  // namespace skylode::test
