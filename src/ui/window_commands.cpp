#include "ui/window_commands.h"

#include <QApplication>
#include <QClipboard>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "access/dispatcher.h"
#include "access/port_names.h"
#include "access/virtual_line.h"
#include "analysis/coordinate_text.h"
#include "analysis/statistics_text.h"
#include "formats/file_io.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "shell/interface/row_text.h"
#include "ui/dialogs.h"
#include "ui/flight_view.h"
#include "ui/main_window.h"
#include "ui/port_choice.h"

namespace skylode {

namespace {

void CopyTrackPoints(AppState& app) {
  constexpr std::string_view caption = "Copy track to clip board";
  if (app.IsBusyOrWrongView(caption, ViewMode::kTrackLog) != 0) return;
  const auto points = app.CopySelectedTrackPoints();
  if (points.empty()) {
    app.ShowMessage(Caption{caption}, "No position(s) selected");
    return;
  }
  const std::string text = BuildTrackClipboardText(points);
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard) {
    app.ShowMessage(Caption{caption}, "Failed to open clipboard");
    return;
  }
  clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void ShowTrack(AppState& app, MainWindow& window) {
  constexpr std::string_view caption = "Show track";
  if (app.IsBusyOrWrongView(caption, ViewMode::kTrackLog) != 0) return;
  const auto points = app.CopySelectedTrackPoints();
  if (points.empty()) {
    app.ShowMessage(Caption{caption}, "No positions selected");
    return;
  }
  if (points.size() < 2) {
    app.ShowMessage(Caption{caption}, "Less than 2 positions selected");
    return;
  }
  auto* view = new TrackViewWindow(ProjectTrack(points), &window);
  view->setObjectName(QStringLiteral("TrackView"));
  window.ShowTrackWindow(view);
}

void SetComPort(AppState& app, MainWindow& window) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{"Set COM port"}, kTextBusy);
    return;
  }
  const std::string current = app.settings().Text(SettingId::kPortName);
  const auto ports = PortsToOffer(ListSerialPorts(), VirtualInstrumentFamilies(), current);
  if (ports.empty()) {
    app.ShowMessage(Caption{kSelectComPortCaption}, "No COM ports available");
    return;
  }
  ComPortDialog dialog(ports, current, &window);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!app.settings().SetText(SettingId::kPortName, dialog.Chosen())) {
    app.ShowMessage(Caption{kSelectComPortCaption}, "Dialog box error");
    return;
  }
  app.RefreshTitle();
}

void DumpDebugData(AppState& app, const DebugTrace& trace) {
  constexpr std::string_view caption = "Save debug buffer";
  const std::vector<uint8_t> bytes = trace.Snapshot();
  if (bytes.empty()) {
    app.ShowMessage(Caption{caption}, "Buffer is empty", BoxIcon::kInformation);
    return;
  }
  FileDialogSpec spec;
  spec.title = std::string(caption);
  spec.formats = {{"Log files", ".log"}};
  spec.folderSetting = SettingId::kTraceDir;
  const auto file = app.AskSaveFile(spec);
  if (!file || !app.ConfirmNewFile(file->path)) return;
  if (const Status written = WriteFileAtomically(file->path, std::span<const uint8_t>(bytes)); !written.ok()) {
    app.ShowMessage(Caption{"File write error"}, written.error().SystemText());
    return;
  }
  app.ShowMessage(Caption{caption}, "File written", BoxIcon::kInformation);
}

void TestStreams() {
  // The first line once went to the input stream, where it can only fail;
  // the error stream is where a console shows it.
  std::fputs("Testing stdin\n", stderr);
  std::fputs("Testing stdout\n", stdout);
  std::fflush(nullptr);
}

}  // namespace

void RegisterWindowCommands(AppState& app, MainWindow& window, Dispatcher& dispatcher) {
  AppState* a = &app;
  MainWindow* w = &window;
  app.RegisterCommand(cmd::kCopyTrackPoints, [a] { CopyTrackPoints(*a); });
  app.RegisterCommand(cmd::kShowTrack, [a, w] { ShowTrack(*a, *w); });
  app.RegisterCommand(cmd::kFlightView, [a, w] { ShowFlightView(*a, *w); });
  app.RegisterCommand(cmd::kSetComPort, [a, w] { SetComPort(*a, *w); });
  app.RegisterCommand(cmd::kAbout, [w] { ShowAboutBox(w); });
  Dispatcher* d = &dispatcher;
  app.RegisterCommand(cmd::kDumpDebug, [a, d] { DumpDebugData(*a, *d->lastTrace()); });
  app.RegisterCommand(cmd::kClearDebug, [d] { d->lastTrace()->Clear(); });
  app.RegisterCommand(cmd::kTest, [] { TestStreams(); });
  app.RegisterCommand(cmd::kCalculateDistance, [a, w] {
    // The UTM box is remembered for the program's run.
    static bool utm = false;
    DistanceDialog dialog(a->waypoints, utm, w);
    dialog.setObjectName(QStringLiteral("CalculateDistance"));
    dialog.exec();
    utm = dialog.utm();
  });
  app.RegisterCommand(cmd::kConvertPosition, [w] {
    ConversionDialog dialog(w);
    dialog.setObjectName(QStringLiteral("CoordinateConversion"));
    dialog.exec();
  });
}

}  // namespace skylode
