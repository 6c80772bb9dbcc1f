// A command-line run that shows the window: how it opens, what state it
// starts from and what the person finds after it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <fstream>
#include <optional>
#include <sstream>

#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"
#include "sim/flytec/flytec_instrument.h"
#include "access/virtual_line.h"
#include "family_commands.h"
#include "shell/commands/command_ids.h"
#include "window_fixture.h"

namespace skylode::test {
namespace {

class CommandLineWindowTest : public WindowFixture {
 protected:
  // The program as the executable makes it for a visible run, unshown.
  void Make(const std::vector<std::string>& args) {
    CmdParseResult parsed = ParseCommandLine(args);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    run_ = *parsed.run;
    WindowProgramOptions options = Options();
    options.settingsPaths.userFile = (dir_ / "config/settings.ini").string();
    options.settingsPaths.defaultsFiles.clear();
    options.settingsPaths.documentsDir = dir_.string();
    options.registerVirtualInstruments = false;
    options.beforeInitialise = [this](AppState& app) {
      runner_.emplace(app, run_, report_);
      runner_->Begin();
    };
    program_ = std::make_unique<WindowProgram>(options);
  }
  ~CommandLineWindowTest() override {
    program_.reset();
    runner_.reset();
  }

  CmdRun run_;
  std::ostringstream report_;
  std::optional<CommandLineRunner> runner_;
};

TEST_F(CommandLineWindowTest, TheRunStartsWithoutThePersonsCompetitionState) {
  std::filesystem::create_directories(dir_ / "config");
  std::ofstream(dir_ / "config/settings.ini") << "[Skylode]\r\nPortName=/dev/ttyUser\r\nCompMode=1\r\n";
  std::ofstream(dir_ / "a.igc") << "AXKL000\r\nHFDTE050510\r\nB1100004714567N00800123EA0100001200\r\n";
  Make({(dir_ / "a.igc").string()});
  ASSERT_TRUE(runner_.has_value());
  EXPECT_TRUE(app().commandLineRunActive());
  EXPECT_FALSE(app().competition.competitionMode);
  runner_->RunCommandLine();
  // Handed over: the person's own state and settings.
  EXPECT_FALSE(app().commandLineRunActive());
  EXPECT_TRUE(app().competition.competitionMode);
  EXPECT_EQ(app().trackLog.count(), 1);
}

TEST_F(CommandLineWindowTest, WindowShowAndPosition) {
  const QRect area = QGuiApplication::primaryScreen()->geometry();
  const struct {
    std::vector<std::string> args;
    bool minimised;
    std::optional<QPoint> at;
  } cases[] = {
      {{"/WIN=1", "/RD_LOG=x.igc"}, true, std::nullopt},
      {{"/WIN=2", "/RD_LOG=x.igc", "/POSX=30", "/POSY=40"}, false, QPoint(30, 40)},
      {{"/WIN=1", "/RD_LOG=x.igc", "/POSX=100000", "/POSY=40"}, true, QPoint(area.width() - 5, 40)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    Make(c.args);
    program_->ShowForCommandLine(run_);
    EXPECT_EQ(window().isMinimized(), c.minimised);
    EXPECT_TRUE(window().isVisible());
    if (c.at) {
      EXPECT_EQ(window().pos(), area.topLeft() + *c.at);
    }
    program_.reset();
    runner_.reset();
  }
}

TEST_F(CommandLineWindowTest, TheUtmBoxSpringsBackDuringATransfer) {
  sim::FlytecSimConfig config;
  sim::SimFlight flight;
  for (uint32_t i = 0; i < 20000; ++i) {
    TrackPoint p;
    p.time = 1000000000 + i;
    p.latitude = 545000000;
    p.longitude = 74000000;
    flight.points.push_back(p);
  }
  config.flights = {flight};
  sim::InstrumentOptions options;
  options.pace = true;
  sim::RegisterVirtualFlytec("flytec-utm", config, options);
  Start();
  ASSERT_TRUE(app().settings().SetText(SettingId::kPortName, "sim:flytec-utm"));
  ModalWatcher watcher;
  window().action(cmd::kReadFlytec)->trigger();
  ASSERT_TRUE(app().transferBusy());
  window().utmBox()->click();
  ASSERT_TRUE(WaitFor([&] { return !watcher.boxes.empty(); }, 3000));
  EXPECT_EQ(watcher.boxes[0].text, "Busy GPS driver");
  EXPECT_FALSE(window().utmBox()->isChecked());
  EXPECT_FALSE(app().utmDisplay());
  window().abortButton()->click();
  UnregisterVirtualInstrument("flytec-utm");
}

}  // namespace
}  // namespace skylode::test
