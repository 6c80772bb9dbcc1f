// The application: the one instance of every list, the view, the option
// flags, the settings and the transfer state, and every command of the main
// window. Everything here runs on the UI thread; workers reach it only through
// completions the dispatcher posts.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "access/transfer_context.h"
#include "competition/check_in.h"
#include "records/caption.h"
#include "protocols/family.h"
#include "records/ctr_list.h"
#include "records/pilot_list.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"
#include "records/waypoint.h"
#include "shell/settings/settings.h"
#include "shell/transfers/transfer_controller.h"
#include "shell/transfers/transfer_service.h"
#include "shell/commands/command_table.h"
#include "shell/interface/ui_interface.h"
#include "shell/interface/view_mode.h"

namespace skylode {

inline constexpr int kProgramVersion = 449;  // shown as 4.49

inline constexpr std::string_view kTextWrongView = "Incorrect view mode";

// The competition values that live in the settings between runs.
struct CompetitionState {
  bool competitionMode = false;
  bool compSpecial = false;
  bool uploadDashId = false;  // CompWptNNN
  uint32_t compStart = 555674400;
  uint32_t compStop = 0;
  std::string pilotListFile;
  std::string trackLogFolder;         // CompDir
  std::string pilotListBrowseFolder;  // PilotListDir
};

// Check marks that are not settings: they start the same way in every run.
struct OptionFlags {
  bool addIgcToCompOut = false;
};

// What the rest of the program needs to know about a command-line run. The
// command-line code fills it in BeginCommandLineRun and is called back when a
// transfer ends.
struct CommandLineRun {
  bool hidden = false;        // WIN=0: no person is watching
  bool exitWhenDone = false;  // EXIT
  bool overwrite = false;     // OVERWRITE: replace output files without asking
  bool noSplit = false;       // NOSPLIT
  bool powerOff = false;      // PWROFF
  int32_t timeout = 0;        // TIMEOUT: connection attempts, 0 for the default
  // The transfer-finished message: runs on the UI thread after the
  // completion that ended the transfer, with its success.
  std::function<void(bool success)> transferFinished;
  // Texts for the calling program's notify window (any may be empty).
  std::function<void(std::string_view text)> notify;
  std::function<void(const TrackPoint& point)> notifyPosition;
  std::function<void(int32_t count)> notifyWaypointCount;
  std::function<void(int32_t count)> notifyByteCount;
};

// A format offered in a file dialog.
struct FileFormatChoice {
  std::string name;       // "Ozi"
  std::string extension;  // ".plt"
};

// The filter list is every format with its own pattern ("<name> (*<ext>)"),
// then the all-files rows: either one row named `allFilesName`, or each
// format again ("<name> (*.*)") choosing the same format without enforcing
// its extension.
enum class AllFilesRows { kOne, kPerFormat };

// What `filterSetting` remembers: the filter index as shown, or the format's
// row (1..formats) whichever of its two filters was used.
enum class StoredFilter { kFilterIndex, kFormatRow };

struct FileDialogSpec {
  std::string title;
  std::vector<FileFormatChoice> formats;
  SettingId folderSetting = SettingId::kTrackLogDir;
  // The setting that remembers the chosen filter, if any.
  std::optional<SettingId> filterSetting;
  std::string defaultName;
  AllFilesRows allFiles = AllFilesRows::kOne;
  std::string allFilesName = "All Files";
  StoredFilter stored = StoredFilter::kFilterIndex;
};

struct ChosenFile {
  std::string path;
  int format = 0;  // index into FileDialogSpec::formats
  // False when the single all-files row was chosen in a dialog of several
  // formats: no format was named and `format` is only the first row.
  bool formatNamed = true;
};

// How a 1-based filter index of `spec`'s dialog reads: the format row it
// chooses, whether a name without extension gets that row's extension, and
// whether a format was named at all. Out-of-range indices read as 1.
struct FilterChoice {
  int format = 0;
  bool enforceExtension = true;
  bool formatNamed = true;
};
FilterChoice ReadFilterIndex(const FileDialogSpec& spec, int filterIndex);

class AppState {
 public:
  AppState(UiInterface& ui, SettingsStore& settings, TransferService& transfers);

  // --- The lists (replaced whole; read them only on the UI thread) ---
  TrackLog trackLog;
  RawIgcBuffer rawIgc;
  WaypointList waypoints;
  CtrList ctrs;
  PilotList pilots;

  CompetitionState competition;
  OptionFlags options;
  // The pilot being checked in and the IDs the instrument's waypoints gave;
  // both start empty with every track download, so one pilot's identity
  // never reaches the next pilot's file.
  CheckInPilot checkInPilot;
  PilotIds instrumentPilotIds;

  // --- Start and end ---
  // Loads the settings (the one message when that fails), sets the check
  // marks and shows the track log. Without a command-line run the
  // competition state is restored from the settings.
  void Initialise();
  // A command-line run starts (before Initialise, as the command line is
  // read before the window): settings become read-only for its duration.
  void BeginCommandLineRun(CommandLineRun run);
  // The run is over and the window stays: the interactive values come back
  // from the settings, so that Exit saves nothing the run changed.
  void EndCommandLineRun();
  bool commandLineRunActive() const { return cmdRun_.has_value(); }
  const CommandLineRun* commandLineRun() const { return cmdRun_ ? &*cmdRun_ : nullptr; }
  bool hiddenRun() const { return cmdRun_ && cmdRun_->hidden; }
  // Runs once: aborts a running transfer, frees the lists, ends device
  // access, saves the settings outside a command-line run. The exit code:
  // 1 when the last transfer failed, 0 otherwise.
  int Exit();
  bool exited() const { return exited_; }
  int exitCode() const { return transfers_.failed() ? 1 : 0; }

  // --- Commands ---
  // Dispatches a menu, accelerator or button command.
  void RunCommand(int id);
  // False for commands whose handler is not there (yet): the window shows
  // them disabled.
  bool IsCommandAvailable(int id) const;
  bool IsCommandChecked(int id) const;
  // Commands implemented elsewhere (file formats, dialogs of the window,
  // competition mode) register here; a registered handler replaces the
  // built-in one.
  void RegisterCommand(int id, std::function<void()> handler);
  // The "Abort transfer" button.
  void AbortButton();

  // --- Views ---
  ViewMode viewMode() const { return view_; }
  bool utmDisplay() const { return utm_; }
  // "Busy GPS driver" (caption "Change view mode") during a transfer.
  void SetViewMode(ViewMode view, bool force);
  // False, after "Busy GPS driver", while a transfer runs and the view shows
  // positions: nothing changed and the box must be set back.
  bool SetUtmDisplay(bool utm);
  int32_t RowCount(ViewMode view) const;
  // The cell text, or "" for a row or column that does not exist (the view
  // may ask for a row of a list that was just cleared).
  std::string CellText(ViewMode view, int32_t row, int32_t column) const;
  void SelectAll();
  ListSize listSize() const { return listSize_; }
  // False when nothing changed (busy, or the size already in use).
  bool SetListSize(ListSize size);
  std::string Title() const;
  void RefreshTitle();

  // --- Guards and messages ---
  // 0, or -1 after "Busy GPS driver" / "Incorrect view mode" with the caption.
  int IsBusyOrWrongView(std::string_view caption, ViewMode view);
  // A box; in a hidden run nothing is shown (the text goes to the log) and
  // the default answer is taken.
  MessageAnswer ShowMessage(Caption caption, std::string_view text,
                            BoxIcon icon = BoxIcon::kError, MessageButtons buttons = MessageButtons::kOk,
                            MessageAnswer defaultAnswer = MessageAnswer::kOk);
  // The system's text for an errno value in an information box captioned
  // with the operation.
  void ShowSystemError(Caption caption, int errorCode);
  // Where a hidden run's messages go (stderr unless a test catches them).
  std::function<void(std::string_view caption, std::string_view text)> hiddenLog;

  // --- Files ---
  std::optional<ChosenFile> AskOpenFile(const FileDialogSpec& spec);
  std::optional<ChosenFile> AskSaveFile(const FileDialogSpec& spec);
  // Whether a save may go to `path`: asks "File already exists, overwrite ?"
  // (Cancel by default) for an existing file unless the command line said
  // OVERWRITE. The file itself is written atomically by the writer.
  bool ConfirmNewFile(const std::string& path);
  // ConfirmNewFile, then the bytes written through a temporary file beside
  // the target. 0, or -1 after a message (nothing is left half-written).
  int CreateNewFile(const std::string& path, std::string_view bytes);

  // --- Transfers ---
  TransferController& transfers() { return transfers_; }
  const TransferController& transfers() const { return transfers_; }
  bool transferBusy() const { return transfers_.busy(); }
  bool transferFailed() const { return transfers_.failed(); }
  // The list on show is drawn anew (after its list was replaced or cleared).
  void RefreshIfShown(ViewMode view);

  // Runs after a track download's completion in competition mode outside a command-line run
  // (the competition save of the arrived track), with its success.
  std::function<void(bool success)> competitionTrackArrived;
  // After a successful waypoint upload in competition mode: adds the
  // instrument to the current pilot's devices.
  std::function<void(ProtocolType protocol)> competitionUploadDone;
  // A waypoint upload in competition mode (`mode` as the upload's): the
  // list to send, the pilot's ID waypoints with it, or nothing to cancel.
  std::function<std::optional<WaypointList>(int32_t mode)> competitionUploadList;
  // Reads the pilot list named in the competition state at start-up.
  std::function<void(const std::string& file)> readPilotList;
  // Competition mode: each waypoint of an instrument's scan, for the pilot
  // identification.
  std::function<void(const Waypoint& waypoint)> identifyPilot;

  // --- Waypoint list ---
  // The insert rule: each waypoint with the same ID is offered for
  // overwriting in turn; with every offer declined the waypoint is appended.
  void InsertWaypoint(const Waypoint& waypoint);
  void NewWaypoint();
  void EditWaypoint();
  void DeleteWaypoints();

  // --- Track points ---
  // The selected rows of the track view in row order, cut by the split
  // selection (the user picks the flights to keep). Empty when nothing is
  // selected or nothing is kept.
  std::vector<TrackPoint> CopySelectedTrackPoints();
  // The flights of `points` the person keeps when they hold several (Split
  // Log); a hidden run and NOSPLIT keep them all without asking.
  void SelectPartsToKeep(std::vector<TrackPoint>& points);

  // --- Gap settings ---
  void SetLoopFlightGapCommand();
  void SetTrackGapTimeCommand();

  SettingsStore& settings() { return settings_; }
  const SettingsStore& settings() const { return settings_; }
  UiInterface& ui() { return ui_; }

  // Loads the settings once; a file that cannot be read or is damaged gives
  // one message and the defaults.
  void LoadSettings();
  // Writes what changed (never during a command-line run); a failure gives
  // the one message if none was given yet.
  void SaveSettings();
  void RestoreCompetitionState();
  void SaveCompetitionState();

 private:
  void RegisterBuiltInCommands();
  void RegisterFamilyCommands();
  void RunFamilyCommand(const FamilyCommand& command);
  // A command that asks for its family's form first, then writes what it says.
  void WriteFormSettings(const FamilyCommand& command);
  void ShowSettingsError(const std::string& text);

  UiInterface& ui_;
  SettingsStore& settings_;
  TransferController transfers_;
  CommandTable commands_;
  std::optional<CommandLineRun> cmdRun_;
  ViewMode view_ = ViewMode::kTrackLog;
  bool utm_ = false;
  ListSize listSize_ = ListSize::kDefault;
  bool competitionRestored_ = false;
  bool settingsErrorShown_ = false;
  bool exited_ = false;
  int32_t lastLatitude_ = 0;  // position a new waypoint starts with
  int32_t lastLongitude_ = 0;
};

}  // namespace skylode
