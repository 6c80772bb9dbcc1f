// Everything the window run of the program owns, wired together: settings,
// the Qt side of the UI interface, the dispatcher with every instrument
// family, the application state and the main window. The executable makes
// one; the window tests make their own with a private settings file.
#pragma once

#include <memory>

#include "protocols/family.h"
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

}  // namespace skylode
