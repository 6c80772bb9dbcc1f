// The shell over the real dispatcher: worker threads, posted completions,
// questions from a worker and aborts.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/interface/scripted_ui.h"
#include "shell/transfers/shell_dispatcher_host.h"
#include "temp_dir.h"
#include "family_commands.h"

namespace skylode {
namespace {

class DispatcherWiringTest : public ::testing::Test {
 protected:
  DispatcherWiringTest()
      : settings(Paths()), host(ui), dispatcher(host), service(dispatcher), app(ui, settings, service) {
    host.SetMessageSink([this](Caption caption, std::string_view text, MessageIcon icon) {
      app.ShowMessage(caption, text, BoxIconOf(icon));
    });
    app.Initialise();
  }

  SettingsPaths Paths() const {
    SettingsPaths p;
    p.userFile = dir / "settings.ini";
    p.documentsDir = dir.str();
    return p;
  }

  // Runs the UI thread's queue until `done` or a generous time-out.
  template <typename Pred>
  bool PumpUntil(Pred done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      ui.RunPosted();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  test::TempDir dir;
  ScriptedUi ui;
  SettingsStore settings;
  ShellDispatcherHost host;
  Dispatcher dispatcher;
  DispatcherTransferService service;
  AppState app;
};

TransferResult TwoPoints() {
  TrackLogPayload payload;
  payload.log.source = TrackLogSource::kGarmin;
  payload.log.points.resize(2);
  payload.log.points[0].time = 100;
  payload.log.points[1].time = 101;
  payload.log.instrumentText = "eTrex";
  return TransferResult::Track(std::move(payload));
}

TEST_F(DispatcherWiringTest, DownloadRunsOnAWorkerAndInstallsOnTheUiThread) {
  const auto uiThread = std::this_thread::get_id();
  std::thread::id completionThread;
  dispatcher.RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kGarminSerial, [](TransferContext& ctx) {
    ctx.Status("Track position 1 of 2");
    auto chosen = ctx.ChooseTracks("Track List (COM1)", {{4, "four"}, {5, "five"}});
    if (!chosen || chosen->size() != 1 || (*chosen)[0] != 5) return TransferResult::Failure();
    return TwoPoints();
  });
  app.competition.competitionMode = true;
  app.competitionTrackArrived = [&](bool) { completionThread = std::this_thread::get_id(); };
  ui.trackAnswers = {std::vector<int>{1}};

  app.RunCommand(cmd::kReadGarmin);
  ASSERT_TRUE(app.transferBusy());
  ASSERT_TRUE(PumpUntil([&] { return !app.transferBusy() && !dispatcher.transferBusy(); }));
  EXPECT_EQ(app.trackLog.count(), 2);
  EXPECT_EQ(app.trackLog.instrumentText, "eTrex");
  EXPECT_TRUE(app.trackLog.gRecordValid);
  EXPECT_FALSE(app.transferFailed());
  ASSERT_TRUE(PumpUntil([&] { return completionThread != std::thread::id(); }));
  EXPECT_EQ(completionThread, uiThread);
  EXPECT_NE(std::find(ui.statusLines.begin(), ui.statusLines.end(), "Track position 1 of 2"), ui.statusLines.end());
  EXPECT_EQ(ui.trackRequests.size(), 1u);
}

TEST_F(DispatcherWiringTest, AbortedWorkerCannotInstallItsLog) {
  dispatcher.RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kGarminSerial, [](TransferContext& ctx) {
    ctx.Pause(std::chrono::milliseconds(5000));  // woken by the abort
    return TwoPoints();  // and still reports success
  });
  app.RunCommand(cmd::kReadGarmin);
  ASSERT_TRUE(app.transferBusy());
  app.AbortButton();
  EXPECT_FALSE(app.transferBusy());
  EXPECT_EQ(app.exitCode(), 1);
  ASSERT_TRUE(PumpUntil([&] { return !dispatcher.hasActiveTransfer() && dispatcher.abandonedWorkers() == 0; }));
  ui.RunPosted();
  EXPECT_TRUE(app.trackLog.empty());
  EXPECT_NE(std::find(ui.statusLines.begin(), ui.statusLines.end(), "Transfer aborted"), ui.statusLines.end());
}

TEST_F(DispatcherWiringTest, CellsWithoutAWorkerAreRefused) {
  // No worker registered for the cell: the command is not offered, and the
  // entry point called anyway is refused before any port is opened.
  EXPECT_FALSE(app.IsCommandAvailable(cmd::kReadMagellan));
  EXPECT_EQ(app.transfers().DownloadTrackLog(ProtocolType::kMagellan), -1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Unsupported access function");
  EXPECT_EQ(ui.messages[0].caption, "Download track log");
  EXPECT_FALSE(app.transferBusy());
}

}  // namespace
}  // namespace skylode
