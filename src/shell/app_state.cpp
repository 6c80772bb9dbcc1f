#include "shell/app_state.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "shell/commands/command_ids.h"
#include "records/calendar.h"
#include "shell/interface/row_text.h"
#include "shell/transfers/shell_dispatcher_host.h"

namespace skylode {

namespace {

using P = ProtocolType;

const TransferOperation kOperations[kAccessTypeCount] = {
    {"Download waypoints", AccessType::kReadWaypoints,
     {P::kGarminSerial, P::kMlrNmea, P::kTopNavigatorTncm, P::kFlytec, P::kMagellan, P::kXcTrainer,
      P::kGarminUsb, P::kTopNavigatorMxp, P::kXcTrainerMxp, P::kMlrFast, P::kIqBasic}},
    {"Download track log", AccessType::kReadTrackLog,
     {P::kGarminSerial, P::kMlrNmea, P::kTopNavigatorTncm, P::kLogIt, P::kFlytec, P::kDigiflyGraviter,
      P::kMagellan, P::kXcTrainer, P::kGarminUsb, P::kTopNavigatorMxp, P::kXcTrainerMxp,
      P::kFlytecAllTracks, P::kFlymaster, P::kDsx, P::kMtk, P::kIqBasic}},
    {"Read logger data", AccessType::kReadLoggerData, {P::kLogIt}},
    {"Upload waypoints", AccessType::kSendWaypoints, {}},
    {"Erase track log", AccessType::kEraseTrackLog, {P::kLogIt, P::kMtk}},
    {"Write owner name", AccessType::kWriteSettings, {P::kLogIt, P::kDigiflyGraviter, P::kFlymaster, P::kDsx}},
    {"Upload track log", AccessType::kUploadTrackLog, {P::kGarminSerial, P::kGarminUsb}},
    {"Upload CTR", AccessType::kUploadAirspaces, {P::kGarminSerial, P::kFlytec, P::kGarminUsb}},
    {"Download CTR", AccessType::kReadAirspaces, {P::kFlytec}},
};

}  // namespace

const TransferOperation& OperationFor(AccessType access) {
  return kOperations[static_cast<int>(access)];
}

AppState::AppState(UiInterface& ui, SettingsStore& settings, TransferService& transfers)
    : hiddenLog([](std::string_view caption, std::string_view text) {
        std::cerr << caption << ": " << text << '\n';
      }),
      ui_(ui),
      settings_(settings),
      transfers_(transfers) {}

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
  for (int id : {cmd::kLogFilter, cmd::kAddIgcToCompOut, cmd::kUsbCompCheckWaypoints, cmd::kPowerOffGarmin,
                 cmd::kPowerOffFlymaster}) {
    ui_.SetChecked(id, IsCommandChecked(id));
  }
  transferBusy_ = false;
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
  settings_.SetReadOnly(false);
  // Whatever the run set (competition window, output folder, special
  // variant) was for the run only.
  RestoreCompetitionState();
  RefreshTitle();
}

int AppState::Exit() {
  if (exited_) return exitCode();
  exited_ = true;
  if (transferBusy_) {
    transferBusy_ = false;
    transfers_.Abort();
    transferFailed_ = true;
  }
  ClearTrackLog(trackLog, rawIgc);
  waypoints = {};
  ctrs = {};
  pilots = {};
  transfers_.End();
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
  ShowMessage(text, kSettingsErrorCaption, BoxIcon::kError);
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
  if (transferBusy_) {
    ShowMessage(kTextBusy, "Change view mode");
    return;
  }
  if (view == view_ && !force) return;
  view_ = view;
  ui_.ShowView(view, utm_, RowCount(view));
}

void AppState::SetUtmDisplay(bool utm) {
  utm_ = utm;
  if (view_ == ViewMode::kWaypoints || view_ == ViewMode::kTrackLog) SetViewMode(view_, true);
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
  if (transferBusy_) {
    ShowMessage(kTextBusy, "Select all items");
    return;
  }
  if (view_ == ViewMode::kPilots) return;
  std::vector<int32_t> rows(static_cast<size_t>(RowCount(view_)));
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int32_t>(i);
  ui_.SelectRows(view_, rows);
}

bool AppState::SetListSize(ListSize size) {
  if (transferBusy_) {
    ShowMessage(kTextBusy, "Set list size");
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
  if (transferBusy_) {
    ShowMessage(kTextBusy, caption);
    return -1;
  }
  if (view_ != view) {
    ShowMessage(kTextWrongView, caption);
    return -1;
  }
  return 0;
}

MessageAnswer AppState::ShowMessage(std::string_view text, std::string_view caption, BoxIcon icon,
                                    MessageButtons buttons, MessageAnswer defaultAnswer) {
  if (hiddenRun()) {
    if (hiddenLog) hiddenLog(caption, text);
    return defaultAnswer;
  }
  return ui_.ShowMessageBox(
      MessageRequest{std::string(caption), std::string(text), icon, buttons, defaultAnswer});
}

// --- Transfers -------------------------------------------------------------------

TransferSettings AppState::MakeTransferSettings(ProtocolType protocol) const {
  TransferSettings s;
  s.commandLineRun = cmdRun_.has_value();
  s.connectAttempts = cmdRun_ ? cmdRun_->timeout : 0;
  s.competitionMode = competition.competitionMode;
  s.usbCompetitionCheckWaypoints = options.usbCompCheckWaypoints;
  if (cmdRun_) {
    s.powerOffAfterTransfer = cmdRun_->powerOff;
  } else {
    s.powerOffAfterTransfer =
        protocol == ProtocolType::kFlymaster ? options.powerOffFlymaster : options.powerOffGarmin;
  }
  return s;
}

TransferCallbacks AppState::MakeCallbacks() {
  TransferCallbacks c;
  c.onStatus = [this](std::string_view text) { ui_.SetStatusLine(text); };
  c.onProduct = [this](std::string_view text) { ui_.SetProductLine(text); };
  if (cmdRun_) {
    c.notify = cmdRun_->notify;
    c.notifyPosition = cmdRun_->notifyPosition;
    c.notifyWaypointCount = cmdRun_->notifyWaypointCount;
    c.notifyByteCount = cmdRun_->notifyByteCount;
  }
  c.showMessage = [this](std::string_view caption, std::string_view text, MessageIcon icon,
                         const CancelToken&) { ShowMessage(text, caption, BoxIconOf(icon)); };
  c.askYesNo = [this](std::string_view caption, std::string_view question, const CancelToken&) {
    return ShowMessage(question, caption, BoxIcon::kQuestion, MessageButtons::kYesNo, MessageAnswer::kNo) ==
           MessageAnswer::kYes;
  };
  c.chooseTracks = [this](std::string_view title, const std::vector<TrackListEntry>& entries,
                          const CancelToken&) -> std::optional<std::vector<int32_t>> {
    if (entries.empty()) return std::nullopt;
    // No one to ask: the dialog's initial choice, the first flight.
    if (hiddenRun()) return std::vector<int32_t>{entries.front().flightNumber};
    TrackListRequest request;
    request.title = std::string(title);
    for (const auto& e : entries) request.entries.push_back(e.text);
    request.offerAll = lastProtocol_ == ProtocolType::kFlytec || lastProtocol_ == ProtocolType::kFlytecAllTracks;
    auto chosen = ui_.ChooseTracks(request);
    if (!chosen) return std::nullopt;
    std::vector<int32_t> flights;
    for (int pos : *chosen) {
      if (pos >= 0 && static_cast<size_t>(pos) < entries.size())
        flights.push_back(entries[static_cast<size_t>(pos)].flightNumber);
    }
    if (flights.empty()) return std::nullopt;
    return flights;
  };
  c.identifyPilot = [this](const Waypoint& w) {
    if (identifyPilot) identifyPilot(w);
  };
  return c;
}

int AppState::StartOperation(AccessType access, ProtocolType protocol, uint32_t baudRate, int32_t parameter,
                             TransferInput input, void (AppState::*completion)(uint64_t, TransferResult&&),
                             std::string_view captionOverride) {
  return StartOperationWith(
      access, protocol, baudRate, parameter, std::move(input),
      [this, completion](uint64_t generation, TransferResult&& result) {
        (this->*completion)(generation, std::move(result));
      },
      captionOverride);
}

int AppState::StartTransfer(AccessType access, ProtocolType protocol, TransferInput input,
                            std::function<bool(TransferResult&&)> onResult) {
  return StartOperationWith(
      access, protocol, 0, 0, std::move(input),
      [this, onResult = std::move(onResult)](uint64_t generation, TransferResult&& result) {
        if (!BeginCompletion(generation, result)) return;
        FinishCompletion(onResult(std::move(result)));
      },
      {});
}

int AppState::StartOperationWith(AccessType access, ProtocolType protocol, uint32_t baudRate, int32_t parameter,
                                 TransferInput input, std::function<void(uint64_t, TransferResult&&)> completion,
                                 std::string_view captionOverride) {
  const TransferOperation& op = OperationFor(access);
  const std::string_view caption = captionOverride.empty() ? op.caption : captionOverride;
  if (transferBusy_) {
    ShowMessage(kTextBusy, caption);
    return -1;
  }
  if (!op.accepted.empty() && std::find(op.accepted.begin(), op.accepted.end(), protocol) == op.accepted.end()) {
    ShowMessage("Unsupported access function", caption);
    return -1;
  }
  TransferRequest request;
  request.access = access;
  request.protocol = protocol;
  request.portName = settings_.Text(SettingId::kPortName);
  request.baudRate = baudRate;
  request.parameter = parameter;
  request.settings = MakeTransferSettings(protocol);
  request.input = std::move(input);

  // Pending before the start: a service may deliver at once.
  const uint64_t generation = ++generation_;
  transferBusy_ = true;
  transferFailed_ = false;
  lastProtocol_ = protocol;
  CompletionFn done = [generation, completion = std::move(completion)](TransferResult&& result) {
    completion(generation, std::move(result));
  };
  if (transfers_.Start(std::move(request), MakeCallbacks(), std::move(done)) != 0) {
    if (generation_ == generation) transferBusy_ = false;
    return -1;
  }
  return 0;
}

int AppState::DownloadTrackLog(ProtocolType protocol, uint32_t baudRate) {
  const std::string_view caption = OperationFor(AccessType::kReadTrackLog).caption;
  if (transferBusy_) {
    ShowMessage(kTextBusy, caption);
    return -1;
  }
  if (!trackLog.empty() && !trackLog.saved) {
    if (ShowMessage("Continue without saving current track log ?", "Unsaved track log", BoxIcon::kWarning,
                    MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
      return -1;
  }
  // Cleared before the worker starts, but kept aside: a start that is refused
  // (port in use, no such instrument) must not cost the user the log.
  TrackLog keptLog = trackLog;
  RawIgcBuffer keptRaw = rawIgc;
  ClearTrackLog(trackLog, rawIgc);
  if (view_ == ViewMode::kTrackLog) ui_.RefreshList(view_, RowCount(view_));
  keptTrack_ = KeptTrack{std::move(keptLog), std::move(keptRaw)};
  if (StartOperation(AccessType::kReadTrackLog, protocol, baudRate, 0, {}, &AppState::AcceptTrackLog) != 0) {
    RestoreKeptTrack();
    return -1;
  }
  return 0;
}

void AppState::RestoreKeptTrack() {
  if (!keptTrack_) return;
  trackLog = std::move(keptTrack_->log);
  rawIgc = std::move(keptTrack_->raw);
  keptTrack_.reset();
  if (view_ == ViewMode::kTrackLog) ui_.RefreshList(view_, RowCount(view_));
}

int AppState::DownloadWaypoints(ProtocolType protocol) {
  return StartOperation(AccessType::kReadWaypoints, protocol, 0, 0, {}, &AppState::AcceptWaypoints);
}

int AppState::UploadWaypoints(ProtocolType protocol, int32_t mode) {
  return StartOperation(AccessType::kSendWaypoints, protocol, 0, mode, waypoints, &AppState::AcceptUpload);
}

int AppState::EraseTrackLog(ProtocolType protocol) {
  const std::string_view caption = OperationFor(AccessType::kEraseTrackLog).caption;
  if (transferBusy_) {
    ShowMessage(kTextBusy, caption);
    return -1;
  }
  if (ShowMessage("Are you sure ?", caption, BoxIcon::kQuestion, MessageButtons::kYesNo, MessageAnswer::kNo) !=
      MessageAnswer::kYes)
    return -1;
  return StartOperation(AccessType::kEraseTrackLog, protocol, 0, 0, {}, &AppState::AcceptPlainEnd);
}

int AppState::WriteInstrumentSettings(ProtocolType protocol, int32_t parameter, TransferInput input,
                                      std::string_view caption) {
  return StartOperation(AccessType::kWriteSettings, protocol, 0, parameter, std::move(input),
                        &AppState::AcceptPlainEnd, caption);
}

int AppState::UploadWaypointsAsTrackLog(ProtocolType protocol) {
  return StartOperation(AccessType::kUploadTrackLog, protocol, 0, 0, waypoints, &AppState::AcceptPlainEnd);
}

int AppState::UploadCtr(ProtocolType protocol) {
  return StartOperation(AccessType::kUploadAirspaces, protocol, 0, 0, ctrs, &AppState::AcceptPlainEnd);
}

int AppState::DownloadCtr(ProtocolType protocol) {
  return StartOperation(AccessType::kReadAirspaces, protocol, 0, 0, {}, &AppState::AcceptCtrList);
}

int AppState::ReadLoggerData(ProtocolType protocol) {
  return StartOperation(AccessType::kReadLoggerData, protocol, 0, 0, {}, &AppState::AcceptPlainEnd);
}

void AppState::AbortButton() {
  if (!transferBusy_) return;
  transferBusy_ = false;
  transfers_.Abort();
  transferFailed_ = true;
  RestoreKeptTrack();
  FinishCompletion(false);
}

// --- Completions -------------------------------------------------------------------

bool AppState::BeginCompletion(uint64_t generation, const TransferResult&) {
  // Aborted (or superseded): the result is dropped and its data freed with it.
  if (!transferBusy_ || generation != generation_) return false;
  transferBusy_ = false;
  return true;
}

void AppState::FinishCompletion(bool success) {
  transferFailed_ = !success;
  if (cmdRun_ && cmdRun_->transferFinished) {
    auto finished = cmdRun_->transferFinished;
    ui_.Post([finished, success] { finished(success); });
  }
}

void AppState::AcceptTrackLog(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation, result)) return;
  auto* payload = std::get_if<TrackLogPayload>(&result.payload);
  const bool success = result.succeeded() && payload != nullptr;
  if (success) {
    TrackLog& in = payload->log;
    const int32_t source = result.kind;
    trackLog.points = std::move(in.points);
    // Only these instruments deliver their own IGC text beside the points.
    if (source == 5 || source == 9 || source == 11) {
      rawIgc = std::move(payload->raw);
    } else {
      rawIgc.clear();
    }
    if (source == 3) {
      trackLog.extraData = std::move(in.extraData);
    } else {
      trackLog.extraData.clear();
    }

    const TimeOrderResult order = CheckTimeOrder(trackLog.points);
    if (order.badPoints > 0) {
      char text[96];
      std::snprintf(text, sizeof text, "One or more points (the first at pos. %d) go backwards in time",
                    order.firstBadIndex + 1);
      ShowMessage(text, "Analyze track", BoxIcon::kWarning);
    }

    trackLog.source = static_cast<TrackLogSource>(source);
    trackLog.hasBaroHeight = in.hasBaroHeight;
    trackLog.sourceProtocol = in.sourceProtocol;
    trackLog.instrumentText = in.instrumentText.substr(0, kInstrumentTextMax);
    trackLog.saved = false;
    switch (source) {
      case 1: case 2: case 8: case 10:
        trackLog.sourceClassFlag = true;
        trackLog.gRecordValid = true;
        break;
      case 3: case 4: case 6: case 7:
        trackLog.sourceClassFlag = false;
        trackLog.gRecordValid = true;
        break;
      case 5: case 9: case 11:
        trackLog.sourceClassFlag = true;
        trackLog.gRecordValid = result.code != 0;
        break;
      default:
        trackLog.sourceClassFlag = false;
        trackLog.gRecordValid = false;
        trackLog.hasBaroHeight = false;
        break;
    }
    trackLog.downloadTime = SecondsToDateTime(CurrentTime());
    keptTrack_.reset();
    if (!(cmdRun_ && cmdRun_->exitWhenDone)) SetViewMode(ViewMode::kTrackLog, true);
  } else {
    RestoreKeptTrack();
  }
  FinishCompletion(success);
  if (!cmdRun_ && competition.competitionMode && competitionTrackArrived) {
    auto arrived = competitionTrackArrived;
    ui_.Post([arrived, success] { arrived(success); });
  }
}

void AppState::AcceptWaypoints(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation, result)) return;
  auto* list = std::get_if<WaypointList>(&result.payload);
  const bool success = result.succeeded() && list != nullptr;
  if (success) {
    waypoints = std::move(*list);
    SetViewMode(ViewMode::kWaypoints, true);
  }
  FinishCompletion(success);
}

void AppState::AcceptCtrList(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation, result)) return;
  auto* list = std::get_if<CtrList>(&result.payload);
  const bool success = result.succeeded() && list != nullptr;
  if (success) {
    ctrs = std::move(*list);
    SetViewMode(ViewMode::kCtr, true);
  }
  FinishCompletion(success);
}

void AppState::AcceptUpload(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation, result)) return;
  const bool success = result.succeeded();
  if (success && competition.competitionMode && competitionUploadDone) competitionUploadDone(lastProtocol_);
  FinishCompletion(success);
}

void AppState::AcceptPlainEnd(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation, result)) return;
  FinishCompletion(result.succeeded());
}

}  // namespace skylode
