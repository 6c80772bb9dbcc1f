#include "shell/transfers/transfer_controller.h"

#include <cstdio>

#include "protocols/family.h"
#include "records/calendar.h"
#include "shell/app_state.h"
#include "shell/transfers/shell_dispatcher_host.h"

namespace skylode {

std::string_view OperationCaption(AccessType access) {
  switch (access) {
    case AccessType::kReadWaypoints: return "Download waypoints";
    case AccessType::kReadTrackLog: return "Download track log";
    case AccessType::kReadLoggerData: return "Read logger data";
    case AccessType::kSendWaypoints: return "Upload waypoints";
    case AccessType::kEraseTrackLog: return "Erase track log";
    case AccessType::kWriteSettings: return "Write owner name";
    case AccessType::kUploadTrackLog: return "Upload track log";
    case AccessType::kUploadAirspaces: return "Upload CTR";
    case AccessType::kReadAirspaces: return "Download CTR";
  }
  return "GPS access";
}

TransferController::TransferController(AppState& app, TransferService& service) : app_(app), service_(service) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyToggle& toggle : family->toggles) toggles_[toggle.id] = toggle.initial;
  }
}

bool TransferController::ToggleOn(int id) const {
  const auto it = toggles_.find(id);
  return it != toggles_.end() && it->second;
}

void TransferController::SetToggle(int id, bool on) {
  if (auto it = toggles_.find(id); it != toggles_.end()) it->second = on;
}

TransferSettings TransferController::MakeTransferSettings(ProtocolType protocol) const {
  TransferSettings s;
  const CommandLineRun* run = app_.commandLineRun();
  s.commandLineRun = run != nullptr;
  s.connectAttempts = run ? run->timeout : 0;
  s.competitionMode = app_.competition.competitionMode;
  // The family's own check marks, for its own columns.
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyToggle& toggle : family->toggles) {
      bool applies = false;
      for (ProtocolType p : toggle.protocols) applies = applies || p == protocol;
      if (!applies) continue;
      const bool on = ToggleOn(toggle.id);
      switch (toggle.effect) {
        case ToggleEffect::kPowerOffAfterTransfer: s.powerOffAfterTransfer = on; break;
        case ToggleEffect::kCompetitionCheckWaypoints: s.usbCompetitionCheckWaypoints = on; break;
      }
    }
  }
  // PWROFF says it for the whole run.
  if (run) s.powerOffAfterTransfer = run->powerOff;
  return s;
}

TransferCallbacks TransferController::MakeCallbacks() {
  TransferCallbacks c;
  UiInterface& ui = app_.ui();
  c.onStatus = [&ui](std::string_view text) { ui.SetStatusLine(text); };
  c.onProduct = [&ui](std::string_view text) { ui.SetProductLine(text); };
  if (const CommandLineRun* run = app_.commandLineRun()) {
    c.notify = run->notify;
    c.notifyPosition = run->notifyPosition;
    c.notifyWaypointCount = run->notifyWaypointCount;
    c.notifyByteCount = run->notifyByteCount;
  }
  AppState* app = &app_;
  c.showMessage = [app](std::string_view caption, std::string_view text, MessageIcon icon, const CancelToken&) {
    app->ShowMessage(Caption{caption}, text, BoxIconOf(icon));
  };
  c.askYesNo = [app](std::string_view caption, std::string_view question, const CancelToken&) {
    return app->ShowMessage(Caption{caption}, question, BoxIcon::kQuestion, MessageButtons::kYesNo, MessageAnswer::kNo) ==
           MessageAnswer::kYes;
  };
  const InstrumentFamily* family = lastProtocol_ ? FamilyOfProtocol(*lastProtocol_) : nullptr;
  const bool offerAll = family && family->trackListOffersAll;
  const bool multiple = !(family && family->trackListChoosesOne);
  c.chooseTracks = [app, offerAll, multiple](std::string_view title, const std::vector<TrackListEntry>& entries,
                                   const CancelToken&) -> std::optional<std::vector<int32_t>> {
    if (entries.empty()) return std::nullopt;
    // No one to ask: the dialog's initial choice, the first flight.
    if (app->hiddenRun()) return std::vector<int32_t>{entries.front().flightNumber};
    TrackListRequest request;
    request.title = std::string(title);
    for (const auto& e : entries) request.entries.push_back(e.text);
    request.offerAll = offerAll;
    request.multiple = multiple;
    auto chosen = app->ui().ChooseTracks(request);
    if (!chosen) return std::nullopt;
    std::vector<int32_t> flights;
    for (int pos : *chosen) {
      if (pos >= 0 && static_cast<size_t>(pos) < entries.size())
        flights.push_back(entries[static_cast<size_t>(pos)].flightNumber);
    }
    if (flights.empty()) return std::nullopt;
    return flights;
  };
  c.notifySkippable = [app](std::string_view title, std::string_view text, const CancelToken&) {
    // A hidden run shows nothing, so there is nothing more to skip.
    if (app->hiddenRun()) return true;
    return app->ui().NotifySkippable(title, text);
  };
  c.identifyPilot = [app](const Waypoint& w) {
    if (app->identifyPilot) app->identifyPilot(w);
  };
  return c;
}

int TransferController::StartOperation(AccessType access, ProtocolType protocol, uint32_t baudRate,
                                       int32_t parameter, TransferInput input, Completion completion,
                                       std::string_view captionOverride) {
  return StartOperation(
      access, protocol, baudRate, parameter, std::move(input),
      [this, completion](uint64_t generation, TransferResult&& result) {
        (this->*completion)(generation, std::move(result));
      },
      captionOverride);
}

int TransferController::StartOperation(AccessType access, ProtocolType protocol, uint32_t baudRate,
                                       int32_t parameter, TransferInput input,
                                       std::function<void(uint64_t, TransferResult&&)> completion,
                                       std::string_view captionOverride) {
  const std::string_view caption = captionOverride.empty() ? OperationCaption(access) : captionOverride;
  if (busy_) {
    app_.ShowMessage(Caption{caption}, kTextBusy);
    return -1;
  }
  // What a family can do is what it registered.
  if (!service_.Has(access, protocol)) {
    app_.ShowMessage(Caption{caption}, "Unsupported access function");
    return -1;
  }
  TransferRequest request;
  request.access = access;
  request.protocol = protocol;
  request.portName = app_.settings().Text(SettingId::kPortName);
  request.baudRate = baudRate;
  request.parameter = parameter;
  request.settings = MakeTransferSettings(protocol);
  request.input = std::move(input);

  // Pending before the start: a service may deliver at once.
  const uint64_t generation = ++generation_;
  busy_ = true;
  failed_ = false;
  lastProtocol_ = protocol;
  CompletionFn done = [generation, completion = std::move(completion)](TransferResult&& result) {
    completion(generation, std::move(result));
  };
  if (service_.Start(std::move(request), MakeCallbacks(), std::move(done)) != 0) {
    if (generation_ == generation) busy_ = false;
    return -1;
  }
  return 0;
}

int TransferController::Start(AccessType access, ProtocolType protocol, TransferInput input,
                              std::function<bool(TransferResult&&)> onResult, std::string_view caption) {
  return StartOperation(
      access, protocol, 0, 0, std::move(input),
      [this, onResult = std::move(onResult)](uint64_t generation, TransferResult&& result) {
        if (!BeginCompletion(generation)) return;
        FinishCompletion(onResult(std::move(result)));
      },
      caption);
}

int TransferController::DownloadTrackLog(ProtocolType protocol, uint32_t baudRate) {
  const std::string_view caption = OperationCaption(AccessType::kReadTrackLog);
  if (busy_) {
    app_.ShowMessage(Caption{caption}, kTextBusy);
    return -1;
  }
  TrackLog& trackLog = app_.trackLog;
  if (!trackLog.empty() && !trackLog.saved) {
    if (app_.ShowMessage(Caption{"Unsaved track log"}, "Continue without saving current track log ?", BoxIcon::kWarning,
                         MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
      return -1;
  }
  app_.checkInPilot = {};
  app_.instrumentPilotIds = {};
  // Cleared before the worker starts, but kept aside: a start that is refused
  // (port in use, no such instrument) must not cost the user the log.
  TrackLog keptLog = trackLog;
  RawIgcBuffer keptRaw = app_.rawIgc;
  ClearTrackLog(trackLog, app_.rawIgc);
  app_.RefreshIfShown(ViewMode::kTrackLog);
  keptTrack_ = KeptTrack{std::move(keptLog), std::move(keptRaw)};
  if (StartOperation(AccessType::kReadTrackLog, protocol, baudRate, 0, {}, &TransferController::AcceptTrackLog) !=
      0) {
    RestoreKeptTrack();
    return -1;
  }
  return 0;
}

void TransferController::RestoreKeptTrack() {
  if (!keptTrack_) return;
  app_.trackLog = std::move(keptTrack_->log);
  app_.rawIgc = std::move(keptTrack_->raw);
  keptTrack_.reset();
  app_.RefreshIfShown(ViewMode::kTrackLog);
}

int TransferController::DownloadWaypoints(ProtocolType protocol) {
  return StartOperation(AccessType::kReadWaypoints, protocol, 0, 0, {}, &TransferController::AcceptWaypoints);
}

int TransferController::UploadWaypoints(ProtocolType protocol, int32_t mode) {
  return StartOperation(AccessType::kSendWaypoints, protocol, 0, mode, app_.waypoints,
                        &TransferController::AcceptUpload);
}

int TransferController::UploadWaypoints(ProtocolType protocol, int32_t mode, WaypointList list) {
  return StartOperation(AccessType::kSendWaypoints, protocol, 0, mode, std::move(list), &TransferController::AcceptUpload);
}

int TransferController::EraseTrackLog(ProtocolType protocol) {
  const std::string_view caption = OperationCaption(AccessType::kEraseTrackLog);
  if (busy_) {
    app_.ShowMessage(Caption{caption}, kTextBusy);
    return -1;
  }
  if (app_.ShowMessage(Caption{caption}, "Are you sure ?", BoxIcon::kQuestion, MessageButtons::kYesNo, MessageAnswer::kNo) !=
      MessageAnswer::kYes)
    return -1;
  return StartOperation(AccessType::kEraseTrackLog, protocol, 0, 0, {}, &TransferController::AcceptPlainEnd);
}

int TransferController::WriteInstrumentSettings(ProtocolType protocol, int32_t parameter, TransferInput input,
                                                std::string_view caption) {
  return StartOperation(AccessType::kWriteSettings, protocol, 0, parameter, std::move(input),
                        &TransferController::AcceptPlainEnd, caption);
}

int TransferController::UploadWaypointsAsTrackLog(ProtocolType protocol) {
  return StartOperation(AccessType::kUploadTrackLog, protocol, 0, 0, app_.waypoints,
                        &TransferController::AcceptPlainEnd);
}

int TransferController::UploadCtr(ProtocolType protocol) {
  return StartOperation(AccessType::kUploadAirspaces, protocol, 0, 0, app_.ctrs, &TransferController::AcceptPlainEnd);
}

int TransferController::DownloadCtr(ProtocolType protocol) {
  return StartOperation(AccessType::kReadAirspaces, protocol, 0, 0, {}, &TransferController::AcceptCtrList);
}

int TransferController::ReadLoggerData(ProtocolType protocol) {
  return StartOperation(AccessType::kReadLoggerData, protocol, 0, 0, {}, &TransferController::AcceptPlainEnd);
}

void TransferController::Abort() {
  if (!busy_) return;
  busy_ = false;
  service_.Abort();
  failed_ = true;
  RestoreKeptTrack();
  FinishCompletion(false);
}

void TransferController::EndAtExit() {
  if (busy_) {
    busy_ = false;
    service_.Abort();
    failed_ = true;
  }
  service_.End();
}

// --- Completions -------------------------------------------------------------------

bool TransferController::BeginCompletion(uint64_t generation) {
  // Aborted (or superseded): the result is dropped and its data freed with it.
  if (!busy_ || generation != generation_) return false;
  busy_ = false;
  return true;
}

void TransferController::FinishCompletion(bool success) {
  failed_ = !success;
  const CommandLineRun* run = app_.commandLineRun();
  if (run && run->transferFinished) {
    auto finished = run->transferFinished;
    app_.ui().Post([finished, success] { finished(success); });
  }
}

void TransferController::AcceptTrackLog(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation)) return;
  auto* payload = std::get_if<TrackLogPayload>(&result.payload);
  const bool success = result.succeeded() && payload != nullptr;
  const CommandLineRun* run = app_.commandLineRun();
  if (success) {
    TrackLog& in = payload->log;
    TrackLog& trackLog = app_.trackLog;
    const auto source = static_cast<TrackLogSource>(result.kind);
    const TrackLogRules* rules = TrackLogRulesOf(source);
    trackLog.points = std::move(in.points);
    if (rules && rules->ownIgcText) {
      app_.rawIgc = std::move(payload->raw);
    } else {
      app_.rawIgc.clear();
    }
    if (rules && rules->extraData) {
      trackLog.extraData = std::move(in.extraData);
    } else {
      trackLog.extraData.clear();
    }

    const TimeOrderResult order = CheckTimeOrder(trackLog.points);
    if (order.badPoints > 0) {
      char text[96];
      std::snprintf(text, sizeof text, "One or more points (the first at pos. %d) go backwards in time",
                    order.firstBadIndex + 1);
      app_.ShowMessage(Caption{"Analyze track"}, text, BoxIcon::kWarning);
    }

    trackLog.source = source;
    trackLog.hasBaroHeight = in.hasBaroHeight;
    trackLog.sourceProtocol = in.sourceProtocol;
    trackLog.instrumentText = in.instrumentText.substr(0, kInstrumentTextMax);
    trackLog.modelName = std::move(in.modelName);
    trackLog.identification = std::move(in.identification);
    // IDs the flight itself carries name the pilot as surely as ID waypoints do;
    // an instrument that sent none leaves what its waypoints told.
    trackLog.flightCompId = in.flightCompId;
    trackLog.flightCivlId = in.flightCivlId;
    if (in.flightCompId >= 0) app_.instrumentPilotIds.compId = in.flightCompId;
    if (in.flightCivlId >= 0) app_.instrumentPilotIds.civlId = in.flightCivlId;
    trackLog.saved = false;
    if (rules) {
      trackLog.sourceClassFlag = rules->utcTimes;
      switch (rules->signedFiles) {
        case SignedFiles::kNever: trackLog.gRecordValid = false; break;
        case SignedFiles::kAlways: trackLog.gRecordValid = true; break;
        case SignedFiles::kWhenInstrumentSigned: trackLog.gRecordValid = result.code != 0; break;
      }
    } else {
      trackLog.sourceClassFlag = false;
      trackLog.gRecordValid = false;
      trackLog.hasBaroHeight = false;
    }
    trackLog.downloadTime = SecondsToDateTime(CurrentTime());
    keptTrack_.reset();
    if (!(run && run->exitWhenDone)) app_.SetViewMode(ViewMode::kTrackLog, true);
  } else {
    RestoreKeptTrack();
  }
  FinishCompletion(success);
  if (!run && app_.competition.competitionMode && app_.competitionTrackArrived) {
    auto arrived = app_.competitionTrackArrived;
    app_.ui().Post([arrived, success] { arrived(success); });
  }
}

void TransferController::AcceptWaypoints(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation)) return;
  auto* list = std::get_if<WaypointList>(&result.payload);
  const bool success = result.succeeded() && list != nullptr;
  if (success) {
    app_.waypoints = std::move(*list);
    app_.SetViewMode(ViewMode::kWaypoints, true);
  }
  FinishCompletion(success);
}

void TransferController::AcceptCtrList(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation)) return;
  auto* list = std::get_if<CtrList>(&result.payload);
  const bool success = result.succeeded() && list != nullptr;
  if (success) {
    app_.ctrs = std::move(*list);
    app_.SetViewMode(ViewMode::kCtr, true);
  }
  FinishCompletion(success);
}

void TransferController::AcceptUpload(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation)) return;
  const bool success = result.succeeded();
  if (success && app_.competition.competitionMode && app_.competitionUploadDone && lastProtocol_)
    app_.competitionUploadDone(*lastProtocol_);
  FinishCompletion(success);
}

void TransferController::AcceptPlainEnd(uint64_t generation, TransferResult&& result) {
  if (!BeginCompletion(generation)) return;
  FinishCompletion(result.succeeded());
}

}  // namespace skylode
