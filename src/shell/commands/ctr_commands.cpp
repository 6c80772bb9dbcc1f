#include "shell/commands/ctr_commands.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "formats/ctr_outline.h"
#include "formats/file_io.h"
#include "formats/openair.h"
#include "records/calendar.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"

namespace skylode {
namespace {

constexpr char kWriteCtrCaption[] = "Write CTR";
constexpr char kShowCtrCaption[] = "Show CTR";
constexpr char kNoCtrSelected[] = "No CTR selected";
constexpr char kNoCtrsSelected[] = "No CTR(s) selected";

bool Busy(AppState& app, std::string_view caption) {
  if (!app.transferBusy()) return false;
  app.ShowMessage(Caption{caption}, kTextBusy);
  return true;
}

std::vector<size_t> SelectedAreas(AppState& app) {
  std::vector<size_t> rows;
  for (int32_t r : app.ui().SelectedRows(ViewMode::kCtr))
    if (r >= 0 && r < app.ctrs.count()) rows.push_back(static_cast<size_t>(r));
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void ShowCtrList(AppState& app) {
  app.SetViewMode(ViewMode::kCtr, true);
  app.ui().RefreshList(ViewMode::kCtr, app.ctrs.count());
}

OpenAirReadOptions ReadOptions(AppState& app) {
  OpenAirReadOptions options;
  // A hidden run leaves such areas out without a word per area.
  if (!app.hiddenRun()) {
    options.notifyDy = [&app](int line) {
      return !app.ui().NotifyCtr("CTR at line " + std::to_string(line) + ":  DY record (not implemented)");
    };
  }
  return options;
}

// Parses the text, with the parser's message on failure.
std::optional<OpenAirText> Parse(AppState& app, std::string_view text) {
  Result<OpenAirText> r = ParseOpenAirText(text, ReadOptions(app));
  if (!r.ok()) {
    app.ShowMessage(Caption{kParseCtrCaption}, r.error().text);
    return std::nullopt;
  }
  return std::move(*r);
}

void ReportSkipped(AppState& app, const std::vector<std::string>& warnings) {
  if (warnings.empty()) return;
  std::string text = std::to_string(warnings.size()) + " record(s) of unknown type skipped";
  for (size_t k = 0; k < warnings.size() && k < 5; ++k) text += "\n" + warnings[k];
  if (warnings.size() > 5) text += "\n...";
  app.ShowMessage(Caption{kReadCtrCaption}, text, BoxIcon::kWarning);
}

void FixNames(AppState& app) {
  FixEqualCtrNames(app.ctrs, [&app] {
    return app.ShowMessage(Caption{"Equal CTR name(s)"}, "Fix name by appending number ?", BoxIcon::kQuestion,
                           MessageButtons::kYesNo, MessageAnswer::kYes) == MessageAnswer::kYes;
  });
}

// The Edit CTR dialog for `initial`; the first area of the accepted text,
// with its warning distance.
std::optional<CtrArea> AskArea(AppState& app, const CtrEditForm& initial) {
  std::optional<CtrArea> accepted;
  CtrEditRequest request;
  request.initial = initial;
  request.accept = [&app, &accepted](const CtrEditForm& form) {
    const auto say = [&app](const char* text) {
      app.ShowMessage(Caption{kEditCtrCaption}, text);
      return false;
    };
    const std::string_view typed = form.warningDistance;
    const size_t b = typed.find_first_not_of(" \t");
    if (b == std::string_view::npos) return say("Missing warning distance input");
    const std::string_view digits = typed.substr(b, typed.find_last_not_of(" \t") + 1 - b);
    int distance = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), distance);
    // The instruments keep four digits.
    if (ec != std::errc() || end != digits.data() + digits.size() || distance < 0 || distance > 9999)
      return say("Bad warning distance format");
    if (form.text.find_first_not_of(" \t\r\n") == std::string::npos) return say("Missing text");
    std::optional<OpenAirText> parsed = Parse(app, form.text);
    if (!parsed) return false;
    if (parsed->list.empty()) {
      app.ShowMessage(Caption{kParseCtrCaption}, "Missing airspace name");
      return false;
    }
    accepted = std::move(parsed->list.areas.front());
    accepted->warningDistance = distance;
    accepted->selected = false;
    return true;
  };
  if (!app.ui().EditCtr(request)) return std::nullopt;
  return accepted;
}

}  // namespace

std::optional<CtrList> ReadCtrFile(AppState& app, const std::string& path) {
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    const Error& e = file.error();
    switch (e.kind) {
      case ErrorKind::kEmpty: app.ShowMessage(Caption{"Reading CTR file"}, "File is empty"); break;
      case ErrorKind::kCannotOpen: app.ShowMessage(Caption{"Error opening CTR file"}, e.SystemText()); break;
      case ErrorKind::kTooLarge:
      case ErrorKind::kNoMemory: app.ShowMessage(Caption{kReadCtrCaption}, "File buffer memory allocation"); break;
      default: app.ShowMessage(Caption{"CTR file read error"}, e.SystemText()); break;
    }
    return std::nullopt;
  }
  std::optional<OpenAirText> parsed = Parse(app, *file);
  if (!parsed) return std::nullopt;
  ReportSkipped(app, parsed->warnings);
  return std::move(parsed->list);
}

int OpenCtrFile(AppState& app, const std::string& path) {
  if (Busy(app, kReadCtrCaption)) return -1;
  std::optional<CtrList> list = ReadCtrFile(app, path);
  if (!list) return -1;
  app.ui().SetStatusLine(std::to_string(list->count()) + " CTRs read");
  const bool keep = !app.ctrs.empty() &&
                    app.ShowMessage(Caption{kReadCtrCaption}, "Keep current CTR list ?", BoxIcon::kQuestion,
                                    MessageButtons::kYesNo, MessageAnswer::kYes) == MessageAnswer::kYes;
  if (keep) {
    for (CtrArea& a : list->areas) app.ctrs.areas.push_back(std::move(a));
  } else {
    app.ctrs = std::move(*list);
  }
  FixNames(app);
  ShowCtrList(app);
  app.ui().SetProductLine(path);
  return 0;
}

int LoadCtrFileForUpload(AppState& app, const std::string& path, bool showView) {
  if (Busy(app, kReadCtrCaption)) return -1;
  std::optional<CtrList> list = ReadCtrFile(app, path);
  if (!list) return -1;
  app.ctrs = std::move(*list);
  FixNames(app);
  for (CtrArea& a : app.ctrs.areas) a.selected = true;
  app.ui().SetStatusLine(std::to_string(app.ctrs.count()) + " CTRs read");
  if (showView) ShowCtrList(app);
  return 0;
}

void ReadCtrFileCommand(AppState& app) {
  if (Busy(app, kReadCtrCaption)) return;
  FileDialogSpec spec;
  spec.title = "Read CTR";
  spec.formats = {{"OpenAir files", ".txt"}};
  spec.folderSetting = SettingId::kCtrDir;
  const auto file = app.AskOpenFile(spec);
  if (!file) return;
  OpenCtrFile(app, file->path);
}

void WriteCtrFileCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kWriteCtrCaption, ViewMode::kCtr) != 0) return;
  CtrList chosen = app.ctrs;
  for (CtrArea& a : chosen.areas) a.selected = false;
  const std::vector<size_t> rows = SelectedAreas(app);
  if (rows.empty()) {
    app.ShowMessage(Caption{kWriteCtrCaption}, kNoCtrsSelected);
    return;
  }
  for (size_t r : rows) chosen.areas[r].selected = true;
  FileDialogSpec spec;
  spec.title = "Save CTR(s)";
  spec.formats = {{"CTR files", ".txt"}};
  spec.folderSetting = SettingId::kCtrDir;
  const auto file = app.AskSaveFile(spec);
  if (!file) return;
  if (app.CreateNewFile(file->path, WriteOpenAirText(chosen)) != 0) return;
  app.ui().SetStatusLine(std::to_string(rows.size()) + " CTR(s) written");
  app.ui().SetProductLine(file->path);
}

void EditCtrCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kEditCtrCaption, ViewMode::kCtr) != 0) return;
  if (app.ctrs.empty()) {
    app.ShowMessage(Caption{kEditCtrCaption}, "No CTR in list");
    return;
  }
  const std::vector<size_t> rows = SelectedAreas(app);
  if (rows.size() != 1) {
    app.ShowMessage(Caption{kEditCtrCaption}, kNoCtrSelected);
    return;
  }
  const CtrArea& area = app.ctrs.areas[rows.front()];
  std::optional<CtrArea> edited = AskArea(app, {std::to_string(area.warningDistance), WriteOpenAirText(area)});
  // The list may not have changed while the dialog was open (no transfer
  // runs into it), but check rather than trust the index.
  if (!edited || rows.front() >= app.ctrs.areas.size()) return;
  app.ctrs.areas[rows.front()] = std::move(*edited);
  ShowCtrList(app);
}

void NewCtrCommand(AppState& app) {
  if (Busy(app, kEditCtrCaption)) return;
  std::optional<CtrArea> area = AskArea(app, {std::to_string(kDefaultWarningDistance), std::string(kNewCtrTemplate)});
  if (!area) return;
  app.ctrs.areas.insert(app.ctrs.areas.begin(), std::move(*area));
  ShowCtrList(app);
}

void DeleteCtrCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kEditCtrCaption, ViewMode::kCtr) != 0) return;
  const std::vector<size_t> rows = SelectedAreas(app);
  if (rows.empty()) {
    app.ShowMessage(Caption{kEditCtrCaption}, kNoCtrsSelected);
    return;
  }
  const std::set<size_t> gone(rows.begin(), rows.end());
  std::vector<CtrArea> kept;
  for (size_t k = 0; k < app.ctrs.areas.size(); ++k)
    if (!gone.count(k)) kept.push_back(std::move(app.ctrs.areas[k]));
  app.ctrs.areas = std::move(kept);
  app.ui().SelectRows(ViewMode::kCtr, {});
  ShowCtrList(app);
}

void ShowCtrAsWaypointsCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kShowCtrCaption, ViewMode::kCtr) != 0) return;
  const std::vector<size_t> rows = SelectedAreas(app);
  if (rows.size() != 1) {
    app.ShowMessage(Caption{kShowCtrCaption}, kNoCtrSelected);
    return;
  }
  Result<std::vector<Waypoint>> points =
      ExpandCtrToWaypoints(app.ctrs.areas[rows.front()], static_cast<int>(rows.front()), CurrentTime());
  if (!points.ok()) {
    app.ShowMessage(Caption{"CTR list action"}, "Program error");
    return;
  }
  bool append = false;
  if (!app.waypoints.empty()) {
    const MessageAnswer a =
        app.ShowMessage(Caption{kShowCtrCaption}, "Append CTR points to the waypoint list (No: replace the list) ?",
                        BoxIcon::kQuestion, MessageButtons::kYesNoCancel, MessageAnswer::kYes);
    if (a == MessageAnswer::kCancel) return;
    append = a == MessageAnswer::kYes;
  }
  if (append) {
    // The same area shown again replaces its earlier points.
    std::set<std::string> ids;
    for (const Waypoint& w : *points) ids.insert(w.id);
    std::erase_if(app.waypoints.items, [&ids](const Waypoint& w) { return ids.count(w.id) != 0; });
    for (Waypoint& w : *points) app.waypoints.items.push_back(std::move(w));
  } else {
    app.waypoints = {};
    app.waypoints.items = std::move(*points);
  }
  app.SetViewMode(ViewMode::kWaypoints, true);
  app.ui().RefreshList(ViewMode::kWaypoints, app.waypoints.count());
  app.ui().SetStatusLine(std::to_string(app.waypoints.count()) + " waypoints");
}

void RegisterCtrCommands(AppState& app) {
  AppState* a = &app;
  app.RegisterCommand(cmd::kReadCtrFile, [a] { ReadCtrFileCommand(*a); });
  app.RegisterCommand(cmd::kWriteCtrFile, [a] { WriteCtrFileCommand(*a); });
  app.RegisterCommand(cmd::kEditCtr, [a] { EditCtrCommand(*a); });
  app.RegisterCommand(cmd::kNewCtr, [a] { NewCtrCommand(*a); });
  app.RegisterCommand(cmd::kDeleteCtr, [a] { DeleteCtrCommand(*a); });
  app.RegisterCommand(cmd::kShowCtrAsWaypoints, [a] { ShowCtrAsWaypointsCommand(*a); });
}

}  // namespace skylode
