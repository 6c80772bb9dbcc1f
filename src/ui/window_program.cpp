#include "ui/window_program.h"

#include <QApplication>

#include "access/dispatcher.h"
#include "shell/app_state.h"
#include "shell/program_setup.h"
#include "shell/transfers/transfer_service.h"
#include "sim/register.h"
#include "ui/main_window.h"
#include "ui/qt_ui.h"
#include "ui/window_commands.h"

namespace skylode {

WindowProgram::WindowProgram(WindowProgramOptions options)
    : settings_(std::make_unique<SettingsStore>(options.settingsPaths)), ui_(std::make_unique<QtUi>()) {
  if (options.registerVirtualInstruments) sim::RegisterVirtualInstruments();
  dispatcher_ = std::make_unique<Dispatcher>(*ui_);
  transfers_ = std::make_unique<DispatcherTransferService>(*dispatcher_);
  app_ = std::make_unique<AppState>(*ui_, *settings_, *transfers_);
  RegisterInstrumentWorkers(*dispatcher_, options.tuning);
  window_ = std::make_unique<MainWindow>(*app_);
  ui_->SetWindow(window_.get());
  AppState* app = app_.get();
  ui_->SetTransferRunning([app] { return app->transferBusy(); });
  RegisterWindowCommands(*app_, *window_, *dispatcher_);
  RegisterFileCommands(*app_);
  app_->Initialise();
  window_->UpdateCommands();
}

WindowProgram::~WindowProgram() {
  if (!app_->exited()) app_->Exit();
  ui_->SetWindow(nullptr);
  window_.reset();
}

int WindowProgram::Run() {
  window_->show();
  QApplication::exec();
  if (!app_->exited()) app_->Exit();
  return app_->exitCode();
}

}  // namespace skylode
