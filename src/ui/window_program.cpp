#include "ui/window_program.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include "access/dispatcher.h"
#include "shell/app_state.h"
#include "shell/command_line/window_placement.h"
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
  if (options.beforeInitialise) options.beforeInitialise(*app_);
  app_->Initialise();
  window_->UpdateCommands();
}

WindowProgram::~WindowProgram() {
  if (!app_->exited()) app_->Exit();
  ui_->SetWindow(nullptr);
  window_.reset();
}

void WindowProgram::ShowForCommandLine(const CmdRun& run) {
  QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->geometry();
    const QSize size = window_->size().expandedTo(window_->sizeHint());
    WindowGeometry geometry{size.width(), size.height(), window_->style()->pixelMetric(QStyle::PM_TitleBarHeight)};
    WindowPosition at;
    if (PlaceWindow(run.posX, run.posY, geometry, {area.width(), area.height()}, at))
      window_->move(area.x() + at.x, area.y() + at.y);
  }
  if (run.showState == WindowShow::kMinimised) {
    window_->showMinimized();
  } else {
    window_->show();
  }
}

void ShowStartupError(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
  box.exec();
}

int WindowProgram::Run() {
  // A command-line run may have shown it already, minimised or placed.
  if (!window_->isVisible()) window_->show();
  QApplication::exec();
  if (!app_->exited()) app_->Exit();
  return app_->exitCode();
}

}  // namespace skylode
