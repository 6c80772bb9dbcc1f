// A UI for tests: answers come from queues the test fills, everything shown is
// recorded. An empty queue gives the default answer (a message box) or cancel.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "shell/interface/ui_interface.h"

namespace skylode {

class ScriptedUi : public UiInterface {
 public:
  // Answers, consumed in order.
  std::deque<MessageAnswer> messageAnswers;
  std::deque<std::optional<FileAnswer>> openAnswers;
  std::deque<std::optional<FileAnswer>> saveAnswers;
  std::deque<std::optional<std::vector<int>>> trackAnswers;
  std::deque<std::optional<std::vector<int>>> splitAnswers;
  std::deque<std::optional<std::string>> textAnswers;
  std::deque<std::optional<Waypoint>> waypointAnswers;
  std::deque<std::optional<IgcSaveForm>> igcAnswers;
  std::deque<std::optional<RotateTrackForm>> rotateAnswers;
  // Each OK the person presses, in order: a refused one is followed by the
  // next, as typed again into the open form; nothing is Cancel.
  std::deque<std::optional<std::vector<std::string>>> formAnswers;
  std::deque<ExistingFileAnswer> existingFileAnswers;
  std::deque<ModifyIdAnswer> modifyIdAnswers;
  // Play the person at the competition dialogs; unset cancels them.
  std::function<std::optional<bool>(const CompetitionModeRequest&)> competitionModeScript;
  std::deque<std::optional<CompetitionTimesForm>> competitionTimesAnswers;
  std::function<std::optional<IdentifyPilotForm>(const IdentifyPilotRequest&)> identifyPilotScript;
  // Each form is typed and "OK" pressed until one is accepted; nothing (or
  // an empty queue) is "Cancel".
  std::deque<std::optional<CtrEditForm>> ctrEditAnswers;
  std::deque<bool> ctrNotifyAnswers;  // "Skip further notifications" ticked
  std::deque<bool> skipAnswers;       // the same, for the other notices
  // Plays the person at the open Flight statistics dialog; unset closes it at once.
  std::function<void(FlightStatisticsSession&)> statisticsScript;

  // What was shown.
  std::vector<MessageRequest> messages;
  std::vector<FileQuestion> fileQuestions;
  std::vector<TrackListRequest> trackRequests;
  std::vector<SplitLogRequest> splitRequests;
  std::vector<TextQuestion> textQuestions;
  std::vector<Waypoint> waypointDialogs;  // the record each dialog opened with
  std::vector<IgcSaveRequest> igcRequests;
  std::vector<RotateTrackForm> rotateRequests;
  std::vector<std::string> formTitles;  // each form shown
  std::vector<std::string> existingFileQuestions;
  std::vector<std::string> modifyIdQuestions;
  std::vector<CtrEditForm> ctrEditDialogs;  // what each Edit CTR dialog opened with
  std::vector<std::string> ctrNotifications;
  std::vector<std::pair<std::string, std::string>> skippableNotices;  // title and text
  int statisticsDialogs = 0;
  std::vector<CompetitionTimesForm> competitionTimesRequests;
  std::vector<std::string> identifyPilotTitles;
  std::vector<ListSize> listSizes;
  std::vector<std::string> statusLines;
  std::vector<std::string> productLines;
  std::vector<std::string> titles;
  std::vector<ViewMode> shownViews;
  int refreshCount = 0;
  std::map<int, bool> checks;
  std::map<ViewMode, std::vector<int32_t>> selection;

  MessageAnswer ShowMessageBox(const MessageRequest& request) override;
  std::optional<FileAnswer> AskOpenFileName(const FileQuestion& question) override;
  std::optional<FileAnswer> AskSaveFileName(const FileQuestion& question) override;
  std::optional<std::vector<int>> ChooseTracks(const TrackListRequest& request) override;
  std::optional<std::vector<int>> ChooseSplitParts(const SplitLogRequest& request) override;
  std::optional<std::string> AskText(const TextQuestion& question) override;
  std::optional<Waypoint> EditWaypoint(const Waypoint& initial, bool isNew) override;
  std::optional<IgcSaveForm> AskIgcSave(const IgcSaveRequest& request) override;
  std::optional<RotateTrackForm> AskRotateTrack(const RotateTrackForm& initial) override;
  std::optional<std::vector<std::string>> AskForm(
      const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) override;
  void ShowFlightStatistics(FlightStatisticsSession& session) override;
  ExistingFileAnswer AskExistingFile(std::string_view path) override;
  ModifyIdAnswer AskModifyWaypointId(std::string_view id) override;
  std::optional<bool> AskCompetitionMode(const CompetitionModeRequest& request) override;
  std::optional<CompetitionTimesForm> AskCompetitionTimes(const CompetitionTimesForm& initial) override;
  std::optional<IdentifyPilotForm> AskIdentifyPilot(const IdentifyPilotRequest& request) override;
  bool EditCtr(const CtrEditRequest& request) override;
  bool NotifyCtr(std::string_view text) override;
  bool NotifySkippable(std::string_view title, std::string_view text) override;

  void SetStatusLine(std::string_view text) override;
  void SetProductLine(std::string_view text) override;
  void SetTitle(std::string_view text) override;
  void RefreshList(ViewMode view, int32_t rowCount) override;
  void ShowView(ViewMode view, bool utm, int32_t rowCount) override;
  std::vector<int32_t> SelectedRows(ViewMode view) override;
  void SelectRows(ViewMode view, const std::vector<int32_t>& rows) override;
  void SetListSize(ListSize size) override;
  void SetChecked(int commandId, bool checked) override;

  void Post(std::function<void()> task) override;
  // Runs the posted tasks (and what they post) on the calling thread.
  size_t RunPosted();
  size_t PendingPosts();

  // Texts of the message boxes shown so far, for compact assertions.
  std::vector<std::string> MessageTexts() const;

 private:
  std::mutex lock_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace skylode
