// The window's side of the UI interface: Qt message boxes and file dialogs,
// the Track List and Split Log choices, and the lines and list of the main
// window. It is also the dispatcher's host, so that everything a worker
// sends reaches the window on the GUI thread.
#pragma once

#include <QObject>
#include <functional>

#include "access/dispatcher.h"
#include "shell/interface/ui_interface.h"

class QWidget;

namespace skylode {

class MainWindow;

class QtUi final : public QObject, public UiInterface, public DispatcherHost {
  Q_OBJECT

 public:
  QtUi();
  ~QtUi() override;

  // The window the lines, list and boxes belong to; set once it exists.
  void SetWindow(MainWindow* window) { window_ = window; }
  // Whether a question a worker asked is still wanted: a dialog that waits
  // for a person closes by itself once the transfer has been aborted.
  void SetTransferRunning(std::function<bool()> running) { transferRunning_ = std::move(running); }

  // UiInterface
  MessageAnswer ShowMessageBox(const MessageRequest& request) override;
  std::optional<FileAnswer> AskOpenFileName(const FileQuestion& question) override;
  std::optional<FileAnswer> AskSaveFileName(const FileQuestion& question) override;
  std::optional<std::vector<int>> ChooseTracks(const TrackListRequest& request) override;
  std::optional<std::vector<int>> ChooseSplitParts(const SplitLogRequest& request) override;
  std::optional<std::string> AskText(const TextQuestion& question) override;
  std::optional<Waypoint> EditWaypoint(const Waypoint& initial, bool isNew) override;
  void SetStatusLine(std::string_view text) override;
  void SetProductLine(std::string_view text) override;
  void SetTitle(std::string_view text) override;
  void RefreshList(ViewMode view, int32_t rowCount) override;
  void ShowView(ViewMode view, bool utm, int32_t rowCount) override;
  std::vector<int32_t> SelectedRows(ViewMode view) override;
  void SelectRows(ViewMode view, const std::vector<int32_t>& rows) override;
  void SetListSize(ListSize size) override;
  void SetChecked(int commandId, bool checked) override;
  // Also DispatcherHost::Post: queued to the GUI thread, never run at once.
  void Post(std::function<void()> task) override;
  std::optional<IgcSaveForm> AskIgcSave(const IgcSaveRequest& request) override;
  std::optional<RotateTrackForm> AskRotateTrack(const RotateTrackForm& initial) override;
  std::optional<std::vector<std::string>> AskForm(
      const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) override;
  void ShowFlightStatistics(FlightStatisticsSession& session) override;
  ExistingFileAnswer AskExistingFile(std::string_view path) override;
  std::optional<bool> AskCompetitionMode(const CompetitionModeRequest& request) override;
  std::optional<CompetitionTimesForm> AskCompetitionTimes(const CompetitionTimesForm& initial) override;
  std::optional<IdentifyPilotForm> AskIdentifyPilot(const IdentifyPilotRequest& request) override;
  ModifyIdAnswer AskModifyWaypointId(std::string_view id) override;
  bool EditCtr(const CtrEditRequest& request) override;
  bool NotifyCtr(std::string_view text) override;
  bool NotifySkippable(std::string_view title, std::string_view text) override;

  // DispatcherHost
  void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) override;

 private:
  QWidget* Owner() const;

  MainWindow* window_ = nullptr;
  std::function<bool()> transferRunning_;
};

// The file-dialog filter strings for a question, one per filter in order.
// Several "All Files" entries are told apart by the format before them, as
// the dialog can only report the text of the chosen one.
std::vector<std::string> FileDialogFilters(const FileQuestion& question);

}  // namespace skylode
