// The IGC commands of the File menu. The dialogs only collect what the person
// typed; every check, message and file operation happens here, so that the
// window, a hidden run and the tests all go through the same rules.
#include "shell/commands/igc_commands.h"

#include <charconv>
#include <cstdio>

#include "formats/file_io.h"
#include "formats/igc_names.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/track_file_questions.h"

namespace skylode {

namespace {

// Characters of the flight number the raw-log dialog reads.
constexpr size_t kRawFlightNumberChars = 7;

FileDialogSpec IgcFileSpec(std::string title, std::string defaultName) {
  FileDialogSpec spec;
  spec.title = std::move(title);
  spec.formats = {{kIgcFilterName, kIgcExtension}};
  spec.folderSetting = SettingId::kIgcDir;
  spec.defaultName = std::move(defaultName);
  return spec;
}

IgcNameStyle StyleOf(const IgcSaveForm& form) {
  if (form.longName) return IgcNameStyle::kLong;
  if (form.shortName) return IgcNameStyle::kShort;
  return IgcNameStyle::kNone;
}

void SetNameBoxes(IgcSaveForm& form, uint32_t mask) {
  const IgcNameStyle style = IgcNameStyleFromMask(mask);
  form.longName = style == IgcNameStyle::kLong;
  form.shortName = style == IgcNameStyle::kShort;
}

uint32_t StoredMask(const SettingsStore& settings) {
  return static_cast<uint32_t>(settings.Number(SettingId::kIgcSaveMask));
}

enum class SaveStep { kSaved, kBackToDialog, kStop };

// Writes through `save(mode)`, asking before an existing file is replaced.
// Declining the question goes back to the dialog, as does a file that cannot
// be opened, so the person can choose another place.
template <typename SaveFn>
SaveStep SaveWithQuestion(AppState& app, SaveFn save, bool rawLog) {
  const bool overwrite = app.commandLineRun() && app.commandLineRun()->overwrite;
  auto result = save(overwrite ? WriteMode::kReplace : WriteMode::kCreateNew);
  if (!result.ok() && result.error().kind == ErrorKind::kExists) {
    if (app.ShowMessage(Caption{kIgcFileExistsCaption}, kIgcFileExistsText, BoxIcon::kQuestion, MessageButtons::kOkCancel,
                        MessageAnswer::kCancel) != MessageAnswer::kOk)
      return SaveStep::kBackToDialog;
    result = save(WriteMode::kReplace);
  }
  if (result.ok()) return SaveStep::kSaved;
  if (result.error().kind == ErrorKind::kExists) return SaveStep::kBackToDialog;
  ShowFileMessage(app, IgcSaveFailure(result.error(), rawLog));
  // An encoding failure will not go away with another file name.
  return result.error().isFileError() ? SaveStep::kBackToDialog : SaveStep::kStop;
}

std::string FormatInt(long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

void SaveIgcTrackLogCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kIgcSaveCaption, ViewMode::kTrackLog) != 0) return;
  if (app.trackLog.empty()) return;
  const std::vector<TrackPoint> selected = app.CopySelectedTrackPoints();
  if (selected.empty()) {
    app.ShowMessage(Caption{kIgcSaveCaption}, "No position(s) selected");
    return;
  }
  if (selected.size() == 1 &&
      app.ShowMessage(Caption{kIgcSaveCaption}, kIgcOnlyOnePositionText, BoxIcon::kWarning, MessageButtons::kOkCancel,
                      MessageAnswer::kCancel) != MessageAnswer::kOk)
    return;

  SettingsStore& settings = app.settings();
  IgcSaveRequest request;
  request.form.pilot = settings.Text(SettingId::kIgcPilotName);
  request.form.flightNumber = settings.Text(SettingId::kIgcFlightNo);
  request.form.frSerial = settings.Text(SettingId::kIgcContestId);
  request.form.gliderType = settings.Text(SettingId::kIgcGliderType);
  request.form.gliderId = settings.Text(SettingId::kIgcGliderId);
  request.form.site = settings.Text(SettingId::kIgcSite);
  request.form.competitionClass = settings.Text(SettingId::kIgcClass);
  const uint32_t storedMask = StoredMask(settings);
  SetNameBoxes(request.form, storedMask);
  request.form.gRecord = (storedMask & kIgcMaskGRecord) != 0;
  request.form.addEnl = settings.Number(SettingId::kIgcAddEnl) != 0;

  for (;;) {
    auto answer = app.ui().AskIgcSave(request);
    if (!answer) return;
    request.form = *answer;
    const IgcSaveForm& form = *answer;
    if (const auto error = CheckIgcSaveParameters(form.pilot, form.flightNumber, form.frSerial)) {
      app.ShowMessage(Caption{kIgcParameterCheckCaption}, *error);
      continue;
    }
    const int flight = CheckIgcFlightNumber(form.flightNumber).flight;
    const uint32_t mask = IgcSaveMask(form.gRecord, StyleOf(form));
    // The ENL choice is kept even when the save is abandoned later.
    settings.SetNumber(SettingId::kIgcAddEnl, form.addEnl ? 1 : 0);

    const auto file = app.AskSaveFile(
        IgcFileSpec(kIgcSaveFileTitle, ProposeIgcFileName(IgcNameStyleFromMask(mask), selected, form.frSerial, flight)));
    if (!file) continue;

    IgcSaveParameters parameters;
    parameters.pilot = form.pilot;
    parameters.frSerial = form.frSerial;
    parameters.gliderType = form.gliderType;
    parameters.gliderId = form.gliderId;
    parameters.site = form.site;
    parameters.competitionClass = form.competitionClass;
    parameters.wantGRecord = form.gRecord;
    parameters.addEnl = form.addEnl;
    IgcSaved saved;
    const SaveStep step = SaveWithQuestion(
        app,
        [&](WriteMode mode) -> Status {
          Result<IgcSaved> r = SaveIgcTrackLog(selected, app.trackLog, parameters, file->path, mode);
          if (!r.ok()) return std::move(r.error());
          saved = *r;
          return {};
        },
        false);
    if (step == SaveStep::kBackToDialog) continue;
    if (step == SaveStep::kStop) return;

    if (saved.gRecordSkipped) app.ShowMessage(Caption{kIgcNoGRecordCaption}, kIgcNoGRecordText, BoxIcon::kInformation);
    settings.SetText(SettingId::kIgcPilotName, form.pilot);
    settings.SetText(SettingId::kIgcFlightNo, form.flightNumber);
    settings.SetText(SettingId::kIgcContestId, form.frSerial);
    settings.SetText(SettingId::kIgcGliderType, form.gliderType);
    settings.SetText(SettingId::kIgcGliderId, form.gliderId);
    settings.SetText(SettingId::kIgcSite, form.site);
    settings.SetText(SettingId::kIgcClass, form.competitionClass);
    settings.SetNumber(SettingId::kIgcSaveMask, mask);
    app.trackLog.saved = true;
    app.ui().SetStatusLine(IgcPositionsWrittenStatus(saved.positionsWritten));
    app.ui().SetProductLine(file->path);
    return;
  }
}

void SaveRawIgcLogCommand(AppState& app) {
  // The raw log belongs to the track log a transfer may be replacing.
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kRawIgcSaveCaption}, kTextBusy);
    return;
  }
  if (app.rawIgc.empty()) {
    app.ShowMessage(Caption{kRawIgcSaveCaption}, "No raw IGC log stored");
    return;
  }
  SettingsStore& settings = app.settings();
  IgcSaveRequest request;
  request.rawLog = true;
  request.form.flightNumber = settings.Text(SettingId::kIgcFlightNo);
  SetNameBoxes(request.form, StoredMask(settings));
  // Only what the dialog shows; the rest of the form stays empty.
  request.form.gRecord = false;

  for (;;) {
    auto answer = app.ui().AskIgcSave(request);
    if (!answer) return;
    request.form.flightNumber = answer->flightNumber;
    request.form.longName = answer->longName;
    request.form.shortName = answer->shortName;
    const std::string typed = answer->flightNumber.substr(0, kRawFlightNumberChars);
    const IgcFlightNumberCheck check = CheckIgcFlightNumber(typed);
    if (check.error) {
      app.ShowMessage(Caption{kRawIgcParameterCheckCaption}, *check.error);
      continue;
    }
    const IgcNameStyle style = StyleOf(request.form);
    const auto file =
        app.AskSaveFile(IgcFileSpec(kIgcSaveFileTitle, ProposeRawIgcFileName(style, app.rawIgc, check.flight)));
    if (!file) continue;
    const SaveStep step = SaveWithQuestion(
        app, [&](WriteMode mode) { return SaveRawIgcLog(app.rawIgc, file->path, mode); }, true);
    if (step == SaveStep::kBackToDialog) continue;
    if (step == SaveStep::kStop) return;

    settings.SetText(SettingId::kIgcFlightNo, typed);
    // The G-record bit belongs to the other dialog.
    const uint32_t mask = (StoredMask(settings) & kIgcMaskGRecord) | IgcSaveMask(false, style);
    settings.SetNumber(SettingId::kIgcSaveMask, mask);
    app.trackLog.saved = true;
    app.ui().SetStatusLine(FormatInt(static_cast<long long>(app.rawIgc.length())) + " bytes written");
    app.ui().SetProductLine(file->path);
    return;
  }
}

void VerifyIgcLogCommand(AppState& app) {
  const auto file = app.AskOpenFile(IgcFileSpec(kIgcVerifyOpenTitle, ""));
  if (!file) return;
  ShowFileMessage(app, IgcVerifyMessage(VerifyIgcFile(file->path)));
}

int OpenIgcTrackLog(AppState& app, const std::string& path) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return -1;
  }
  const Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    ShowFileMessage(app, TrackFileReadFailure(file.error()));
    return -1;
  }
  Result<AcceptedIgc> read = AcceptInstrumentIgc(*file);
  if (!read.ok()) {
    app.ShowMessage(Caption{kIgcReadCaption}, read.error().text);
    return -1;
  }
  AcceptedIgc& accepted = *read;
  // Asked only once the file is known to be good: a bad file costs nothing.
  if (!app.trackLog.empty() && !app.trackLog.saved &&
      app.ShowMessage(Caption{"Unsaved track log"}, "Continue without saving current track log ?", BoxIcon::kWarning,
                      MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return -1;

  std::vector<TrackPoint> points = std::move(accepted.points);
  // The log is what the file holds, so leaving it needs no question, unless
  // positions are dropped below.
  bool sameAsFile = true;
  if (OfferTimeOrderRepair(app, points)) sameAsFile = false;

  ClearTrackLog(app.trackLog, app.rawIgc);
  const size_t count = points.size();
  app.trackLog = MakeIgcFileTrackLog(std::move(points));
  app.trackLog.saved = sameAsFile;
  app.rawIgc = std::move(accepted.raw);
  app.SetViewMode(ViewMode::kTrackLog, true);
  app.ui().SetStatusLine(IgcPositionsReadStatus(count));
  app.ui().SetProductLine(path);
  if (const auto warning = IgcReadWarning(accepted.warning)) ShowFileMessage(app, *warning);
  return 0;
}

void OpenIgcLogCommand(AppState& app) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return;
  }
  const auto file = app.AskOpenFile(IgcFileSpec(kIgcVerifyOpenTitle, ""));
  if (!file) return;
  OpenIgcTrackLog(app, file->path);
}

void RegisterIgcCommands(AppState& app) {
  AppState* a = &app;
  if (!app.IsCommandAvailable(cmd::kOpenLog)) app.RegisterCommand(cmd::kOpenLog, [a] { OpenIgcLogCommand(*a); });
  app.RegisterCommand(cmd::kSaveIgc, [a] { SaveIgcTrackLogCommand(*a); });
  app.RegisterCommand(cmd::kSaveRawIgc, [a] { SaveRawIgcLogCommand(*a); });
  app.RegisterCommand(cmd::kVerifyIgc, [a] { VerifyIgcLogCommand(*a); });
}

}  // namespace skylode
