// Start-up and exit: what is loaded, restored and written back.
#include <gtest/gtest.h>

#include <filesystem>

#include "app_fixture.h"
#include "shell/commands/command_ids.h"
#include "shell/settings/ini_file.h"
#include "family_commands.h"

namespace skylode {
namespace {

using test::AppFixture;
using test::ReadText;
using test::WriteText;

class LifecycleTest : public AppFixture {
 protected:
  std::optional<std::string> Stored(std::string_view key) {
    auto doc = IniDocument::Parse(ReadText(Paths().userFile));
    if (!doc) return std::nullopt;
    return doc->Get(kSettingsSection, key);
  }
};

TEST_F(LifecycleTest, InteractiveExitWritesChangedValuesOnce) {
  WriteText(Paths().userFile, "[Skylode]\nCompMode=1\nCompDir=/srv/comp\nLogFilter=1\n");
  std::vector<std::string> pilotListsRead;
  app.readPilotList = [&](const std::string& f) { pilotListsRead.push_back(f); };
  app.Initialise();
  EXPECT_TRUE(app.competition.competitionMode);
  EXPECT_EQ(app.competition.trackLogFolder, "/srv/comp");
  EXPECT_TRUE(pilotListsRead.empty());  // no pilot list named
  EXPECT_EQ(app.Title(), "Skylode 4.49, COM1, Competition mode");

  app.RunCommand(cmd::kLogFilter);
  app.RunCommand(cmd::kAddIgcToCompOut);
  app.competition.compStop = 123456;
  app.RunCommand(cmd::kExit);
  EXPECT_TRUE(app.exited());
  EXPECT_EQ(transfers.ends, 1);
  EXPECT_EQ(Stored("LogFilter"), "0");
  EXPECT_EQ(Stored("CompTimeStop"), "123456");
  EXPECT_EQ(Stored("AddIgcToCompOut"), "1");
  EXPECT_EQ(Stored("CompMode"), "1");
  EXPECT_FALSE(Stored("PortName"));  // unchanged values are not written
  EXPECT_EQ(app.Exit(), 0);          // runs once
  EXPECT_EQ(transfers.ends, 1);
}

TEST_F(LifecycleTest, PilotListIsReadAtStartInCompetitionMode) {
  WriteText(Paths().userFile, "[Skylode]\nCompMode=1\nPilotListName=/srv/pilots.csv\n");
  std::vector<std::string> read;
  app.readPilotList = [&](const std::string& f) { read.push_back(f); };
  app.Initialise();
  EXPECT_EQ(read, std::vector<std::string>{"/srv/pilots.csv"});
}

TEST_F(LifecycleTest, CommandLineRunWritesNothing) {
  CommandLineRun run;
  run.hidden = true;
  run.exitWhenDone = true;
  app.BeginCommandLineRun(run);
  app.Initialise();
  ASSERT_TRUE(settings.SetText(SettingId::kPortName, "/dev/ttyUSB1"));  // COM= of the run
  app.competition.competitionMode = true;
  ASSERT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kGarminSerial), 0);
  Deliver(TransferResult::Failure());
  EXPECT_EQ(app.Exit(), 1);
  EXPECT_FALSE(std::filesystem::exists(Paths().userFile));
}

TEST_F(LifecycleTest, RunThatHandsOverTheWindowSavesOnlyRestoredCompetitionState) {
  WriteText(Paths().userFile, "[Skylode]\nCompMode=0\nCompSpecial=0\nCompDir=/srv/comp\n");
  CommandLineRun run;
  app.BeginCommandLineRun(run);
  app.Initialise();
  // What the run set up for itself: never restored from the settings.
  EXPECT_TRUE(app.competition.trackLogFolder.empty());
  app.competition.competitionMode = true;
  app.competition.compSpecial = true;
  app.competition.trackLogFolder = "/tmp/run-output";
  app.EndCommandLineRun();
  EXPECT_FALSE(app.commandLineRunActive());
  EXPECT_FALSE(app.competition.competitionMode);
  EXPECT_EQ(app.competition.trackLogFolder, "/srv/comp");
  EXPECT_EQ(ui.titles.back(), "Skylode 4.49, COM1");

  app.competition.compStart = 1000;  // changed interactively afterwards
  app.Exit();
  EXPECT_EQ(Stored("CompMode"), "0");
  EXPECT_EQ(Stored("CompSpecial"), "0");
  EXPECT_EQ(Stored("CompDir"), "/srv/comp");
  EXPECT_EQ(Stored("CompTimeStart"), "1000");
}

TEST_F(LifecycleTest, DamagedSettingsGiveOneMessageAndAreLeftAlone) {
  const std::string damaged = "[Skylode\nPortName=COM3\n";
  WriteText(Paths().userFile, damaged);
  app.Initialise();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Registry access error");
  EXPECT_EQ(settings.Text(SettingId::kPortName), "COM1");
  app.RunCommand(cmd::kLogFilter);
  app.Exit();
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ReadText(Paths().userFile), damaged);
}

TEST_F(LifecycleTest, ExitAbortsARunningTransferAndReportsFailure) {
  app.Initialise();
  app.waypoints.items.resize(3);
  ASSERT_EQ(app.transfers().DownloadCtr(ProtocolType::kFlytec), 0);
  EXPECT_EQ(app.Exit(), 1);
  EXPECT_EQ(transfers.aborts, 1);
  EXPECT_TRUE(app.waypoints.empty());
  // The worker's late result changes nothing.
  CtrList late;
  late.areas.resize(2);
  Deliver(TransferResult::Airspaces(late));
  EXPECT_TRUE(app.ctrs.empty());
  // And commands after Exit do nothing.
  app.RunCommand(cmd::kReadGarmin);
  EXPECT_EQ(transfers.started.size(), 1u);
}

}  // namespace
}  // namespace skylode
