// Everything the window run of the program owns, wired together: settings,
// the Qt side of the UI interface, the dispatcher with every instrument
// family, the application state and the main window. The executable makes
// one; the window tests make their own with a private settings file.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "protocols/family.h"
#include "shell/command_line/command_line.h"
#include "shell/settings/settings.h"

namespace skylode {

class AppState;
class Dispatcher;
class DispatcherTransferService;
class MainWindow;
class QtUi;

struct WindowProgramOptions {
  SettingsPaths settingsPaths = SettingsPaths::FromEnvironment();
  // The instruments' waits; tests shorten them.
  WorkerTuning tuning{};
  // Start-up registers the virtual instruments under "sim:"; tests that put
  // their own instrument there say no.
  bool registerVirtualInstruments = true;
  // Runs before the application state is initialised: a command-line run
  // begins here, so that start-up knows it is one (it must not take on the
  // person's competition state).
  std::function<void(AppState& app)> beforeInitialise;
};

class WindowProgram {
 public:
  // Needs a QApplication. Loads the settings and shows nothing yet.
  explicit WindowProgram(WindowProgramOptions options = {});
  ~WindowProgram();
  WindowProgram(const WindowProgram&) = delete;
  WindowProgram& operator=(const WindowProgram&) = delete;

  // Shows the window and runs the event loop until Exit. The exit code: 1
  // when the last transfer failed, 0 otherwise.
  int Run();
  // Shows the window as a visible command-line run asks: minimised for
  // WIN=1, at POSX and POSY (kept on the screen) when both are given.
  void ShowForCommandLine(const CmdRun& run);

  AppState& app() { return *app_; }
  MainWindow& window() { return *window_; }
  QtUi& ui() { return *ui_; }
  SettingsStore& settings() { return *settings_; }
  Dispatcher& dispatcher() { return *dispatcher_; }

 private:
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<QtUi> ui_;
  std::unique_ptr<Dispatcher> dispatcher_;
  std::unique_ptr<DispatcherTransferService> transfers_;
  std::unique_ptr<AppState> app_;
  std::unique_ptr<MainWindow> window_;
};

// A message for the person before there is a window (a command line that
// cannot be read): a box of its own.
void ShowStartupError(std::string_view caption, std::string_view text);

}  // namespace skylode
