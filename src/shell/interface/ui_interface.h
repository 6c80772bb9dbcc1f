// The only way the program talks to a person. The window implements it with
// Qt, a hidden command-line run with HeadlessUi, tests with ScriptedUi.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/waypoint_files.h"
#include "protocols/family_form.h"
#include "records/waypoint.h"
#include "shell/interface/competition_forms.h"
#include "shell/interface/view_mode.h"

namespace skylode {

enum class BoxIcon { kNone, kInformation, kWarning, kError, kQuestion };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MessageAnswer { kOk, kCancel, kYes, kNo };

struct MessageRequest {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::kInformation;
  MessageButtons buttons = MessageButtons::kOk;
  // The answer a hidden run gives, and the button that has the focus.
  MessageAnswer defaultAnswer = MessageAnswer::kOk;
};

// One entry of a file dialog's type list: "Ozi (*.plt)" with pattern "*.plt".
struct FileFilter {
  std::string name;     // "Ozi"
  std::string pattern;  // "*.plt", or "*.*" for all files
};

struct FileQuestion {
  std::string title;
  std::vector<FileFilter> filters;
  int filterIndex = 1;      // 1-based, as the settings keep it
  std::string folder;       // where the dialog opens
  std::string defaultName;  // proposed file name (save dialogs)
};

struct FileAnswer {
  std::string path;         // as typed or chosen, before any extension is added
  int filterIndex = 1;      // 1-based filter the person left selected
};

// The Track List choice of the instruments that hold several flights.
struct TrackListRequest {
  std::string title;                 // "Track List (%s)" or "Track List (%s, %s)"
  std::vector<std::string> entries;  // one line per flight, in list order
  bool multiple = true;              // several flights may be chosen
  bool offerAll = false;             // an "All" button ends with every entry
};

// The Split Log choice: several flights in one copy of track points.
struct SplitLogRequest {
  std::string title;                 // "Split track (%s)" ...
  std::vector<std::string> entries;  // one line per part, newest first
};

// A one-line text question (gap settings, instrument name ...).
struct TextQuestion {
  std::string title;
  std::string prompt;
  std::string initial;
  size_t maxLength = 80;
};

// The IGC save dialogs: "IGC File Format" for the track log (every field)
// and "Save IGC track log from GPS" for the instrument's own text (flight
// number and the two name boxes only). The same record goes in and comes
// back: the dialog reopens with what the person typed after a refused check.
struct IgcSaveForm {
  std::string pilot;
  std::string flightNumber;
  std::string frSerial;
  std::string gliderType;
  std::string gliderId;
  std::string site;
  std::string competitionClass;
  bool longName = false;   // the two name boxes exclude each other; both may be clear
  bool shortName = false;
  bool gRecord = true;
  bool addEnl = false;
};

struct IgcSaveRequest {
  bool rawLog = false;  // dialog 106: only the flight number and the name boxes
  IgcSaveForm form;
};

// The four fields of the "Rotate Track" dialog, as typed.
struct RotateTrackForm {
  std::string startLatitude;
  std::string startLongitude;
  std::string endLatitude;
  std::string endLongitude;
};

// The Edit CTR dialog: the warning distance and the OpenAir text, as typed.
struct CtrEditForm {
  std::string warningDistance;
  std::string text;
};

// The dialog offers `initial`; on "OK" it calls `accept` with what was typed
// and closes only when that returns true (the shell checks and parses the
// text and says what is wrong meanwhile).
struct CtrEditRequest {
  std::string title = "Edit CTR";
  CtrEditForm initial;
  std::function<bool(const CtrEditForm&)> accept;
};

// An existing Aerodiary file: add the new flight to it, replace it, or neither.
enum class ExistingFileAnswer { kAppend, kOverwrite, kCancel };

// The open Flight statistics dialog's side of the analysis; defined with the
// analysis commands.
class FlightStatisticsSession;

class UiInterface {
 public:
  virtual ~UiInterface() = default;

  virtual MessageAnswer ShowMessageBox(const MessageRequest& request) = 0;
  // Nothing when the person cancels.
  virtual std::optional<FileAnswer> AskOpenFileName(const FileQuestion& question) = 0;
  virtual std::optional<FileAnswer> AskSaveFileName(const FileQuestion& question) = 0;
  // Positions (0-based, ascending) of the chosen entries; nothing on cancel.
  virtual std::optional<std::vector<int>> ChooseTracks(const TrackListRequest& request) = 0;
  // Positions of the parts to keep; nothing on cancel.
  virtual std::optional<std::vector<int>> ChooseSplitParts(const SplitLogRequest& request) = 0;
  // Nothing on cancel.
  virtual std::optional<std::string> AskText(const TextQuestion& question) = 0;
  // The Edit Waypoint dialog (New and Edit): the checked record on OK,
  // nothing on cancel. The dialog checks its fields with ParseWaypointFields.
  virtual std::optional<Waypoint> EditWaypoint(const Waypoint& initial, bool isNew) = 0;

  // The dialogs below are answered like a hidden run unless a UI shows them:
  // nothing is asked and nothing is saved or changed.
  // "IGC File Format" / "Save IGC track log from GPS": the form on "Save",
  // nothing on cancel.
  virtual std::optional<IgcSaveForm> AskIgcSave(const IgcSaveRequest& /*request*/) { return std::nullopt; }
  // A family's form: the values on OK, nothing on cancel. `accept` judges
  // each OK (and shows why it refuses); while it refuses the form stays
  // open with what was typed.
  virtual std::optional<std::vector<std::string>> AskForm(
      const FamilyForm& /*form*/, const std::function<bool(const std::vector<std::string>&)>& /*accept*/) {
    return std::nullopt;
  }
  // "Rotate Track": the four fields on OK, nothing on cancel.
  virtual std::optional<RotateTrackForm> AskRotateTrack(const RotateTrackForm& /*initial*/) {
    return std::nullopt;
  }
  // The Flight statistics dialog; returns when the person closes it. The
  // shell halts the search and frees the session afterwards.
  virtual void ShowFlightStatistics(FlightStatisticsSession& /*session*/) {}
  // The Edit CTR dialog: true when it closed through an accepted "OK".
  virtual bool EditCtr(const CtrEditRequest& /*request*/) { return false; }
  // The CTR notification with "OK" and "Skip further notifications": true
  // when the box was ticked. Without a dialog nothing is shown.
  virtual bool NotifyCtr(std::string_view /*text*/) { return true; }
  // The same notice for any kind, with its own title.
  virtual bool NotifySkippable(std::string_view /*title*/, std::string_view /*text*/) { return true; }
  // "File already exists" with Append, Overwrite and Cancel.
  virtual ExistingFileAnswer AskExistingFile(std::string_view /*path*/) { return ExistingFileAnswer::kCancel; }

  // The competition dialogs: "Competition Mode" (the check box on OK),
  // "Set Competition Times" and "Save competition log"; nothing on cancel.
  virtual std::optional<bool> AskCompetitionMode(const CompetitionModeRequest& /*request*/) { return std::nullopt; }
  virtual std::optional<CompetitionTimesForm> AskCompetitionTimes(const CompetitionTimesForm& /*initial*/) {
    return std::nullopt;
  }
  virtual std::optional<IdentifyPilotForm> AskIdentifyPilot(const IdentifyPilotRequest& /*request*/) {
    return std::nullopt;
  }

  // "Modify waypoint ID": a waypoint file holds an ID the strict check
  // refuses. Without a dialog of its own the answer is the default button.
  virtual ModifyIdAnswer AskModifyWaypointId(std::string_view /*id*/) { return ModifyIdAnswer::kYes; }

  virtual void SetStatusLine(std::string_view text) = 0;
  virtual void SetProductLine(std::string_view text) = 0;
  virtual void SetTitle(std::string_view text) = 0;
  // The view's row count or contents changed; ask the row-text routines again.
  virtual void RefreshList(ViewMode view, int32_t rowCount) = 0;
  // The list view now shows another list (or the UTM columns changed).
  virtual void ShowView(ViewMode view, bool utm, int32_t rowCount) = 0;
  // Rows selected in the list view, ascending. The shell never keeps them.
  virtual std::vector<int32_t> SelectedRows(ViewMode view) = 0;
  virtual void SelectRows(ViewMode view, const std::vector<int32_t>& rows) = 0;
  // The list height changed: rebuild the window around the same lists.
  virtual void SetListSize(ListSize size) = 0;
  // A check mark of an option command changed.
  virtual void SetChecked(int commandId, bool checked) = 0;

  // Runs `task` on the UI thread, after the current event. Safe from any thread.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace skylode
