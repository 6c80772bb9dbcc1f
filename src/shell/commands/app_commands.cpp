// The command table of the main window and the commands the shell carries
// out itself: views, waypoint list, option marks, gap settings, track point
// selection and the file questions every save and open uses.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "analysis/analysis_settings.h"
#include "analysis/track_split.h"
#include "formats/file_io.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/menu_table.h"
#include "records/calendar.h"

namespace skylode {

namespace {

std::string FormatUnsigned(uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Rows that exist, ascending, each once: the view may still report a
// selection of a list that has just been replaced.
std::vector<int32_t> ValidRows(std::vector<int32_t> rows, int32_t count) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [count](int32_t r) { return r < 0 || r >= count; }),
             rows.end());
  return rows;
}

}  // namespace

void AppState::RegisterCommand(int id, std::function<void()> handler) { commands_.Replace(id, std::move(handler)); }

bool AppState::IsCommandAvailable(int id) const { return commands_.Enabled(id); }

bool AppState::IsCommandChecked(int id) const { return commands_.Checked(id); }

void AppState::RunCommand(int id) {
  if (exited_) return;
  commands_.Run(id);
}

void AppState::RegisterBuiltInCommands() {
  auto add = [this](int id, std::function<void()> run) { commands_.Add(id, Command{std::move(run), {}, {}}); };
  add(cmd::kExit, [this] { Exit(); });
  commands_.Add(cmd::kSaveLogButton, Command{[this] { RunCommand(cmd::kSaveLog); },
                                             [this] { return commands_.Enabled(cmd::kSaveLog); }, {}});
  add(cmd::kNewWaypoint, [this] { NewWaypoint(); });
  add(cmd::kEditWaypoint, [this] { EditWaypoint(); });
  add(cmd::kDeleteWaypoints, [this] { DeleteWaypoints(); });
  add(cmd::kSelectAll, [this] { SelectAll(); });
  add(cmd::kViewTrackLog, [this] { SetViewMode(ViewMode::kTrackLog, false); });
  add(cmd::kViewWaypoints, [this] { SetViewMode(ViewMode::kWaypoints, false); });
  add(cmd::kViewPilots, [this] { SetViewMode(ViewMode::kPilots, false); });
  add(cmd::kViewCtr, [this] { SetViewMode(ViewMode::kCtr, false); });
  add(cmd::kListSmall, [this] { SetListSize(ListSize::kSmall); });
  add(cmd::kListDefault, [this] { SetListSize(ListSize::kDefault); });
  add(cmd::kListLarge, [this] { SetListSize(ListSize::kLarge); });
  add(cmd::kToggleCompSpecial, [this] {
    competition.compSpecial = !competition.compSpecial;
    RefreshTitle();
  });
  add(cmd::kSetLoopFlightGap, [this] { SetLoopFlightGapCommand(); });
  add(cmd::kSetTrackGapTime, [this] { SetTrackGapTimeCommand(); });
  auto toggle = [this](int id, std::function<bool()> checked, std::function<void()> flip) {
    commands_.Add(id, Command{[this, id, checked, flip] {
                                flip();
                                ui_.SetChecked(id, checked());
                              },
                              {}, checked});
  };
  toggle(
      cmd::kLogFilter, [this] { return settings_.Number(SettingId::kLogFilter) != 0; },
      [this] { settings_.SetNumber(SettingId::kLogFilter, settings_.Number(SettingId::kLogFilter) ? 0 : 1); });
  toggle(
      cmd::kAddIgcToCompOut, [this] { return options.addIgcToCompOut; },
      [this] { options.addIgcToCompOut = !options.addIgcToCompOut; });
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyToggle& t : family->toggles) {
      const int id = t.id;
      toggle(
          id, [this, id] { return transfers_.ToggleOn(id); },
          [this, id] { transfers_.SetToggle(id, !transfers_.ToggleOn(id)); });
    }
  }
}

void AppState::RegisterFamilyCommands() {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyCommand& c : family->commands) {
      const FamilyCommand* command = &c;
      commands_.Add(c.id, Command{[this, command] { RunFamilyCommand(*command); },
                                  [this, command] {
                                    // A dialog of the family's own, or the file
                                    // many flights go into, comes with its own
                                    // command, registered over this one.
                                    if (command->alwaysDisabled || command->dialog == CommandDialog::kOwn ||
                                        command->manyFlights)
                                      return false;
                                    return transfers_.Has(command->access, command->protocol);
                                  },
                                  {}});
    }
  }
}

void AppState::RunFamilyCommand(const FamilyCommand& c) {
  const ProtocolType protocol = c.protocol;
  switch (c.access) {
    case AccessType::kReadTrackLog: transfers_.DownloadTrackLog(protocol, c.baudRate); break;
    case AccessType::kReadWaypoints: transfers_.DownloadWaypoints(protocol); break;
    case AccessType::kSendWaypoints:
      if (competition.competitionMode && competitionUploadList) {
        // The pilot's IDs go along; nothing is sent when the person cancels.
        if (auto list = competitionUploadList(c.parameter)) transfers_.UploadWaypoints(protocol, c.parameter, std::move(*list));
      } else {
        transfers_.UploadWaypoints(protocol, c.parameter);
      }
      break;
    case AccessType::kEraseTrackLog: transfers_.EraseTrackLog(protocol); break;
    case AccessType::kWriteSettings: {
      if (c.dialog == CommandDialog::kForm && c.form) {
        WriteFormSettings(c);
        break;
      }
      if (transferBusy()) {
        ShowMessage(Caption{OperationCaption(AccessType::kWriteSettings)}, kTextBusy);
        break;
      }
      TextQuestion question;
      question.title = "Write GPS name";
      question.prompt = "Name";
      question.maxLength = kPilotNameMax;
      auto name = ui_.AskText(question);
      if (!name) break;
      PilotEntry owner;
      owner.name = name->substr(0, kPilotNameMax);
      transfers_.WriteInstrumentSettings(protocol, c.parameter, owner);
      break;
    }
    case AccessType::kUploadTrackLog: transfers_.UploadWaypointsAsTrackLog(protocol); break;
    case AccessType::kUploadAirspaces: {
      if (transferBusy()) {
        ShowMessage(Caption{OperationCaption(AccessType::kUploadAirspaces)}, kTextBusy);
        break;
      }
      // Only the areas selected in the CTR view go to the instrument.
      const auto rows = ValidRows(ui_.SelectedRows(ViewMode::kCtr), ctrs.count());
      for (auto& area : ctrs.areas) area.selected = false;
      for (int32_t r : rows) ctrs.areas[static_cast<size_t>(r)].selected = true;
      transfers_.UploadCtr(protocol);
      break;
    }
    case AccessType::kReadAirspaces: transfers_.DownloadCtr(protocol); break;
    case AccessType::kReadLoggerData: transfers_.ReadLoggerData(protocol); break;
  }
}

void AppState::WriteFormSettings(const FamilyCommand& c) {
  const FamilyForm& form = *c.form;
  if (transferBusy()) {
    ShowMessage(Caption{form.caption}, kTextBusy);
    return;
  }
  FormVerdict verdict;
  auto values = ui_.AskForm(form, [&](const std::vector<std::string>& typed) {
    verdict = CheckForm(form, typed);
    if (verdict.kind != FormVerdict::Kind::kRefuse) return true;
    ShowMessage(Caption{form.caption}, verdict.message);
    return false;
  });
  if (!values || verdict.kind == FormVerdict::Kind::kNothingToSend) return;
  // The answers go with the transfer: the form is gone before it runs.
  transfers_.WriteInstrumentSettings(c.protocol, c.parameter, FormAnswers{std::move(*values)}, form.caption);
}

// --- Waypoint list ----------------------------------------------------------------

void AppState::InsertWaypoint(const Waypoint& waypoint) {
  for (auto& existing : waypoints.items) {
    if (existing.id != waypoint.id) continue;
    if (ShowMessage(Caption{kInsertWaypointCaption}, WaypointExistsQuestion(existing), BoxIcon::kQuestion,
                    MessageButtons::kYesNo, MessageAnswer::kNo) == MessageAnswer::kYes) {
      existing = waypoint;
      ui_.RefreshList(ViewMode::kWaypoints, waypoints.count());
      return;
    }
  }
  waypoints.items.push_back(waypoint);
  ui_.RefreshList(ViewMode::kWaypoints, waypoints.count());
}

void AppState::NewWaypoint() {
  if (IsBusyOrWrongView("New waypoint", ViewMode::kWaypoints) != 0) return;
  Waypoint initial;
  initial.symbol = kDefaultWaypointSymbol;
  initial.time = CurrentTime();
  initial.latitude = lastLatitude_;
  initial.longitude = lastLongitude_;
  auto result = ui_.EditWaypoint(initial, true);
  if (!result) return;
  lastLatitude_ = result->latitude;
  lastLongitude_ = result->longitude;
  InsertWaypoint(*result);
}

void AppState::EditWaypoint() {
  if (IsBusyOrWrongView("Edit waypoint", ViewMode::kWaypoints) != 0) return;
  if (waypoints.empty()) {
    ShowMessage(Caption{"Edit waypoint"}, "No waypoints in list");
    return;
  }
  const auto rows = ValidRows(ui_.SelectedRows(ViewMode::kWaypoints), waypoints.count());
  if (rows.empty()) {
    ShowMessage(Caption{"Edit waypoint"}, "No waypoint selected");
    return;
  }
  const auto index = static_cast<size_t>(rows.front());
  auto result = ui_.EditWaypoint(waypoints.items[index], false);
  if (!result) return;
  lastLatitude_ = result->latitude;
  lastLongitude_ = result->longitude;
  waypoints.items[index] = *result;
  ui_.RefreshList(ViewMode::kWaypoints, waypoints.count());
  ui_.SelectRows(ViewMode::kWaypoints, rows);
}

void AppState::DeleteWaypoints() {
  if (IsBusyOrWrongView("Delete waypoint(s)", ViewMode::kWaypoints) != 0) return;
  if (waypoints.empty()) {
    ShowMessage(Caption{"Delete waypoint(s)"}, "No waypoints in list");
    return;
  }
  const auto rows = ValidRows(ui_.SelectedRows(ViewMode::kWaypoints), waypoints.count());
  if (rows.empty()) {
    ShowMessage(Caption{"Delete waypoint(s)"}, "No waypoint selected");
    return;
  }
  // Exactly the selected rows go: marking them by an empty ID would also
  // take waypoints that merely had no ID.
  std::vector<Waypoint> kept;
  kept.reserve(waypoints.items.size() - rows.size());
  size_t next = 0;
  for (size_t i = 0; i < waypoints.items.size(); ++i) {
    if (next < rows.size() && static_cast<size_t>(rows[next]) == i) {
      ++next;
      continue;
    }
    kept.push_back(std::move(waypoints.items[i]));
  }
  waypoints.items = std::move(kept);
  ui_.SelectRows(ViewMode::kWaypoints, {});
  ui_.RefreshList(ViewMode::kWaypoints, waypoints.count());
}

// --- Track points -------------------------------------------------------------------

std::vector<TrackPoint> AppState::CopySelectedTrackPoints() {
  const auto rows = ValidRows(ui_.SelectedRows(ViewMode::kTrackLog), trackLog.count());
  std::vector<TrackPoint> points;
  points.reserve(rows.size());
  for (int32_t r : rows) points.push_back(trackLog.points[static_cast<size_t>(r)]);
  SelectPartsToKeep(points);
  return points;
}

void AppState::SelectPartsToKeep(std::vector<TrackPoint>& points) {
  if (points.empty()) return;
  TrackPartChooser chooser;
  // A hidden run, or NOSPLIT, keeps every part without asking.
  if (!hiddenRun() && !(cmdRun_ && cmdRun_->noSplit)) {
    chooser = [this, &points](std::vector<TrackPart>& parts) {
      SplitLogRequest request;
      request.title = SplitDialogTitle(settings_.Text(SettingId::kPortName), trackLog.modelName);
      // Newest first.
      for (size_t k = parts.size(); k-- > 0;) request.entries.push_back(FormatTrackPartRow(points.data(), parts[k]));
      auto chosen = ui_.ChooseSplitParts(request);
      if (!chosen) return false;
      for (int pos : *chosen) {
        if (pos >= 0 && static_cast<size_t>(pos) < parts.size()) parts[parts.size() - 1 - static_cast<size_t>(pos)].selected = true;
      }
      return true;
    };
  }
  const uint32_t gap = static_cast<uint32_t>(settings_.Number(SettingId::kTrackGapTime));
  SelectTrackParts(points, gap, chooser);
}

// --- Gap settings -------------------------------------------------------------------

void AppState::SetLoopFlightGapCommand() {
  TextQuestion question;
  question.title = "Loop flight gap distance";
  question.prompt = "Set the maximum allowable loop flight gap in meters, e.g. 2 x 400m = 800m.";
  question.maxLength = 10;
  for (;;) {
    question.initial = FormatUnsigned(static_cast<uint64_t>(settings_.Number(SettingId::kLoopFlightGap)));
    auto answer = ui_.AskText(question);
    if (!answer) return;
    const GapInput input = ParseLoopFlightGapInput(*answer);
    if (input.value && settings_.SetNumber(SettingId::kLoopFlightGap, *input.value)) return;
    // The dialog stays open with the old value.
    ShowMessage(Caption{"Set gap distance"}, input.message ? input.message : "Bad input");
  }
}

void AppState::SetTrackGapTimeCommand() {
  TextQuestion question;
  question.title = "Set Track Gap Time";
  question.prompt = "Track gap time (minutes)";
  question.maxLength = 10;
  for (;;) {
    question.initial = FormatUnsigned(
        TrackGapMinutes(static_cast<uint32_t>(settings_.Number(SettingId::kTrackGapTime))));
    auto answer = ui_.AskText(question);
    if (!answer) return;
    // Anything but a number of minutes leaves the dialog open, without a word.
    if (auto seconds = ParseTrackGapMinutes(*answer);
        seconds && settings_.SetNumber(SettingId::kTrackGapTime, *seconds))
      return;
  }
}

// --- Files ------------------------------------------------------------------------

namespace {

constexpr size_t kMaxFileName = 257;

int FilterCount(const FileDialogSpec& spec) {
  const int formats = static_cast<int>(spec.formats.size());
  return spec.allFiles == AllFilesRows::kPerFormat ? 2 * formats : formats + 1;
}

FileQuestion MakeQuestion(const FileDialogSpec& spec, const SettingsStore& settings) {
  FileQuestion q;
  q.title = spec.title;
  for (const auto& f : spec.formats) q.filters.push_back({f.name + " (*" + f.extension + ")", "*" + f.extension});
  if (spec.allFiles == AllFilesRows::kPerFormat) {
    for (const auto& f : spec.formats) q.filters.push_back({f.name + " (*.*)", "*.*"});
  } else {
    q.filters.push_back({spec.allFilesName, "*.*"});
  }
  // A stored value outside what the setting may hold opens on the first row.
  const int stored = spec.filterSetting ? static_cast<int>(settings.Number(*spec.filterSetting)) : 1;
  const int limit = spec.stored == StoredFilter::kFormatRow ? static_cast<int>(spec.formats.size()) : FilterCount(spec);
  q.filterIndex = stored >= 1 && stored <= limit ? stored : 1;
  q.folder = settings.Text(spec.folderSetting);
  q.defaultName = spec.defaultName;
  return q;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

static std::optional<ChosenFile> FinishFileAnswer(AppState& app, const FileDialogSpec& spec,
                                                  const std::optional<FileAnswer>& answer) {
  if (!answer || answer->path.empty() || spec.formats.empty()) return std::nullopt;  // cancelled: silent
  const int index =
      answer->filterIndex >= 1 && answer->filterIndex <= FilterCount(spec) ? answer->filterIndex : 1;
  const FilterChoice choice = ReadFilterIndex(spec, index);
  ChosenFile chosen;
  chosen.format = choice.format;
  chosen.formatNamed = choice.formatNamed;
  chosen.path = answer->path;
  if (choice.enforceExtension)
    chosen.path = WithDefaultExtension(chosen.path, spec.formats[static_cast<size_t>(choice.format)].extension);
  if (chosen.path.size() > kMaxFileName) {
    app.ShowMessage(Caption{"Error opening file"}, "Too long file name");
    return std::nullopt;
  }
  if (const std::string folder = ParentFolder(chosen.path); !folder.empty())
    app.settings().SetText(spec.folderSetting, folder);
  if (spec.filterSetting) {
    if (spec.stored == StoredFilter::kFilterIndex) {
      app.settings().SetNumber(*spec.filterSetting, index);
    } else if (choice.formatNamed) {
      // The lone all-files row names no format: the last one named stays.
      app.settings().SetNumber(*spec.filterSetting, choice.format + 1);
    }
  }
  return chosen;
}

FilterChoice ReadFilterIndex(const FileDialogSpec& spec, int filterIndex) {
  const int formats = static_cast<int>(spec.formats.size());
  FilterChoice choice;
  if (formats == 0 || filterIndex < 1 || filterIndex > FilterCount(spec)) return choice;
  if (filterIndex <= formats) {
    choice.format = filterIndex - 1;
    return choice;
  }
  choice.enforceExtension = false;
  if (spec.allFiles == AllFilesRows::kPerFormat) {
    choice.format = filterIndex - formats - 1;
  } else {
    // With one format the all-files row is still that format.
    choice.formatNamed = formats == 1;
  }
  return choice;
}

std::optional<ChosenFile> AppState::AskOpenFile(const FileDialogSpec& spec) {
  return FinishFileAnswer(*this, spec, ui_.AskOpenFileName(MakeQuestion(spec, settings_)));
}

std::optional<ChosenFile> AppState::AskSaveFile(const FileDialogSpec& spec) {
  return FinishFileAnswer(*this, spec, ui_.AskSaveFileName(MakeQuestion(spec, settings_)));
}

void AppState::ShowSystemError(Caption caption, int errorCode) {
  ShowMessage(caption, SystemErrorText(errorCode), BoxIcon::kInformation);
}

bool AppState::ConfirmNewFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ShowSystemError(Caption{"Error opening file"}, EISDIR);
      return false;
    }
    if (cmdRun_ && cmdRun_->overwrite) return true;
    return ShowMessage(Caption{"File creation"}, "File already exists, overwrite ?", BoxIcon::kQuestion,
                       MessageButtons::kOkCancel, MessageAnswer::kCancel) == MessageAnswer::kOk;
  }
  std::string folder = ParentFolder(path);
  if (folder.empty()) folder = ".";
  if (access(folder.c_str(), W_OK) != 0) {
    ShowSystemError(Caption{"Error opening file"}, errno);
    return false;
  }
  return true;
}

}  // namespace skylode

namespace skylode {

int AppState::CreateNewFile(const std::string& path, std::string_view bytes) {
  struct stat st {};
  const bool existed = stat(path.c_str(), &st) == 0;
  if (!ConfirmNewFile(path)) return -1;
  // A file that was not there when we looked is created exclusively, so one
  // that appears meanwhile is not replaced without the question.
  Status written = WriteFileAtomically(path, bytes, existed ? WriteMode::kReplace : WriteMode::kCreateNew);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    if (!ConfirmNewFile(path)) return -1;
    written = WriteFileAtomically(path, bytes, WriteMode::kReplace);
  }
  if (!written.ok()) {
    const Error& error = written.error();
    if (error.osError != 0) {
      ShowSystemError(Caption{"Error opening file"}, error.osError);
    } else {
      ShowMessage(Caption{"Error opening file"}, error.Describe());
    }
    return -1;
  }
  return 0;
}

}  // namespace skylode
