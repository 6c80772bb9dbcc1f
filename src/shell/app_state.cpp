#include "shell/app_state.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "shell/commands/command_ids.h"
#include "records/calendar.h"
#include "shell/interface/row_text.h"

namespace skylode {

AppState::AppState(UiInterface& ui, SettingsStore& settings, TransferService& transfers)
    : hiddenLog([](std::string_view caption, std::string_view text) {
        std::cerr << caption << ": " << text << '\n';
      }),
      ui_(ui),
      settings_(settings),
      transfers_(*this, transfers) {
  RegisterBuiltInCommands();
  RegisterFamilyCommands();
}

// --- Start and end -----------------------------------------------------------

void AppState::LoadSettings() {
  if (settings_.loaded()) return;
  if (auto error = settings_.Load()) ShowSettingsError(*error);
}

void AppState::SaveSettings() {
  if (cmdRun_) return;
  SettingsStore::SaveResult saved = settings_.Save();
  if (saved.error) ShowSettingsError(*saved.error);
}

void AppState::Initialise() {
  LoadSettings();
  options.addIgcToCompOut = settings_.Number(SettingId::kAddIgcToCompOut) != 0;
  commands_.ForEach([this](int id, const Command&) {
    if (commands_.Checkable(id)) ui_.SetChecked(id, commands_.Checked(id));
  });
  utm_ = false;
  SetViewMode(ViewMode::kTrackLog, true);
  if (cmdRun_) {
    settings_.SetReadOnly(true);
  } else {
    RestoreCompetitionState();
  }
  RefreshTitle();
}

void AppState::BeginCommandLineRun(CommandLineRun run) {
  cmdRun_ = std::move(run);
  settings_.SetReadOnly(true);
}

void AppState::EndCommandLineRun() {
  if (!cmdRun_) return;
  cmdRun_.reset();
  settings_.DiscardChanges();
  settings_.SetReadOnly(false);
  // Whatever the run set (competition window, output folder, special
  // variant) was for the run only.
  RestoreCompetitionState();
  RefreshTitle();
}

int AppState::Exit() {
  if (exited_) return exitCode();
  exited_ = true;
  transfers_.EndAtExit();
  ClearTrackLog(trackLog, rawIgc);
  waypoints = {};
  ctrs = {};
  pilots = {};
  if (!cmdRun_) {
    // Only competition values that were restored from the settings go back:
    // a run that never restored them must not overwrite them with its own.
    if (competitionRestored_) SaveCompetitionState();
    SaveSettings();
  }
  cmdRun_.reset();
  return exitCode();
}

void AppState::ShowSettingsError(const std::string& text) {
  if (settingsErrorShown_) return;
  settingsErrorShown_ = true;
  ShowMessage(Caption{kSettingsErrorCaption}, text, BoxIcon::kError);
}

void AppState::RestoreCompetitionState() {
  competition.trackLogFolder = settings_.Text(SettingId::kCompDir);
  competition.pilotListBrowseFolder = settings_.Text(SettingId::kPilotListDir);
  competition.compStop = static_cast<uint32_t>(settings_.Number(SettingId::kCompTimeStop));
  competition.pilotListFile = settings_.Text(SettingId::kPilotListName);
  competition.uploadDashId = settings_.Number(SettingId::kCompWptNNN) != 0;
  competition.compStart = static_cast<uint32_t>(settings_.Number(SettingId::kCompTimeStart));
  competition.competitionMode = settings_.Number(SettingId::kCompMode) != 0;
  competition.compSpecial = settings_.Number(SettingId::kCompSpecial) != 0;
  competitionRestored_ = true;
  if (competition.competitionMode && !competition.pilotListFile.empty() && readPilotList)
    readPilotList(competition.pilotListFile);
}

void AppState::SaveCompetitionState() {
  // A value that no longer fits its field keeps the stored one.
  settings_.SetText(SettingId::kCompDir, competition.trackLogFolder);
  settings_.SetText(SettingId::kPilotListDir, competition.pilotListBrowseFolder);
  settings_.SetNumber(SettingId::kCompTimeStop, competition.compStop);
  settings_.SetText(SettingId::kPilotListName, competition.pilotListFile);
  settings_.SetNumber(SettingId::kCompWptNNN, competition.uploadDashId ? 1 : 0);
  settings_.SetNumber(SettingId::kCompTimeStart, competition.compStart);
  settings_.SetNumber(SettingId::kCompMode, competition.competitionMode ? 1 : 0);
  settings_.SetNumber(SettingId::kCompSpecial, competition.compSpecial ? 1 : 0);
  settings_.SetNumber(SettingId::kAddIgcToCompOut, options.addIgcToCompOut ? 1 : 0);
}

// --- Views -------------------------------------------------------------------

void AppState::SetViewMode(ViewMode view, bool force) {
  if (transferBusy()) {
    ShowMessage(Caption{"Change view mode"}, kTextBusy);
    return;
  }
  if (view == view_ && !force) return;
  view_ = view;
  ui_.ShowView(view, utm_, RowCount(view));
}

bool AppState::SetUtmDisplay(bool utm) {
  const bool shown = view_ == ViewMode::kWaypoints || view_ == ViewMode::kTrackLog;
  // Cells and headers change together or not at all.
  if (shown && transferBusy()) {
    ShowMessage(Caption{"Change view mode"}, kTextBusy);
    return false;
  }
  utm_ = utm;
  if (shown) SetViewMode(view_, true);
  return true;
}

int32_t AppState::RowCount(ViewMode view) const {
  switch (view) {
    case ViewMode::kWaypoints: return waypoints.count();
    case ViewMode::kTrackLog: return trackLog.count();
    case ViewMode::kCtr: return ctrs.count();
    case ViewMode::kPilots: return pilots.count();
  }
  return 0;
}

std::string AppState::CellText(ViewMode view, int32_t row, int32_t column) const {
  switch (view) {
    case ViewMode::kWaypoints: return WaypointRowText(waypoints, row, column, utm_);
    case ViewMode::kTrackLog: return TrackRowText(trackLog, row, column, utm_);
    case ViewMode::kCtr: return CtrRowText(ctrs, row, column);
    case ViewMode::kPilots: return PilotRowText(pilots, row, column);
  }
  return {};
}

void AppState::SelectAll() {
  if (transferBusy()) {
    ShowMessage(Caption{"Select all items"}, kTextBusy);
    return;
  }
  if (view_ == ViewMode::kPilots) return;
  std::vector<int32_t> rows(static_cast<size_t>(RowCount(view_)));
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int32_t>(i);
  ui_.SelectRows(view_, rows);
}

bool AppState::SetListSize(ListSize size) {
  if (transferBusy()) {
    ShowMessage(Caption{"Set list size"}, kTextBusy);
    return false;
  }
  if (size == listSize_) return false;
  listSize_ = size;
  ui_.SetListSize(size);
  return true;
}

std::string AppState::Title() const {
  char buf[160];
  const char* suffix = !competition.competitionMode ? ""
                       : competition.compSpecial   ? ", Comp. mode"
                                                   : ", Competition mode";
  std::snprintf(buf, sizeof buf, "Skylode %d.%02d, %s%s", kProgramVersion / 100, kProgramVersion % 100,
                settings_.Text(SettingId::kPortName).c_str(), suffix);
  return buf;
}

void AppState::RefreshTitle() { ui_.SetTitle(Title()); }

// --- Guards and messages -------------------------------------------------------

int AppState::IsBusyOrWrongView(std::string_view caption, ViewMode view) {
  if (transferBusy()) {
    ShowMessage(Caption{caption}, kTextBusy);
    return -1;
  }
  if (view_ != view) {
    ShowMessage(Caption{caption}, kTextWrongView);
    return -1;
  }
  return 0;
}

MessageAnswer AppState::ShowMessage(Caption caption, std::string_view text, BoxIcon icon, MessageButtons buttons,
                                    MessageAnswer defaultAnswer) {
  if (hiddenRun()) {
    if (hiddenLog) hiddenLog(caption.text, text);
    return defaultAnswer;
  }
  return ui_.ShowMessageBox(
      MessageRequest{std::string(caption.text), std::string(text), icon, buttons, defaultAnswer});
}

void AppState::AbortButton() { transfers_.Abort(); }

void AppState::RefreshIfShown(ViewMode view) {
  if (view_ == view) ui_.RefreshList(view_, RowCount(view_));
}

}  // namespace skylode
