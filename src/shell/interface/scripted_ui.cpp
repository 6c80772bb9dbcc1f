#include "shell/interface/scripted_ui.h"

namespace skylode {

namespace {
template <typename T>
T Next(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  // A copy: moving out of an optional<vector> trips a false GCC 12 warning.
  T value = queue.front();
  queue.pop_front();
  return value;
}
}  // namespace

MessageAnswer ScriptedUi::ShowMessageBox(const MessageRequest& request) {
  std::lock_guard lock(lock_);
  messages.push_back(request);
  return Next(messageAnswers, request.defaultAnswer);
}

std::optional<FileAnswer> ScriptedUi::AskOpenFileName(const FileQuestion& question) {
  std::lock_guard lock(lock_);
  fileQuestions.push_back(question);
  return Next(openAnswers, std::optional<FileAnswer>{});
}

std::optional<FileAnswer> ScriptedUi::AskSaveFileName(const FileQuestion& question) {
  std::lock_guard lock(lock_);
  fileQuestions.push_back(question);
  return Next(saveAnswers, std::optional<FileAnswer>{});
}

std::optional<std::vector<int>> ScriptedUi::ChooseTracks(const TrackListRequest& request) {
  std::lock_guard lock(lock_);
  trackRequests.push_back(request);
  return Next(trackAnswers, std::optional<std::vector<int>>{});
}

std::optional<std::vector<int>> ScriptedUi::ChooseSplitParts(const SplitLogRequest& request) {
  std::lock_guard lock(lock_);
  splitRequests.push_back(request);
  return Next(splitAnswers, std::optional<std::vector<int>>{});
}

std::optional<std::string> ScriptedUi::AskText(const TextQuestion& question) {
  std::lock_guard lock(lock_);
  textQuestions.push_back(question);
  return Next(textAnswers, std::optional<std::string>{});
}

std::optional<Waypoint> ScriptedUi::EditWaypoint(const Waypoint& initial, bool) {
  std::lock_guard lock(lock_);
  waypointDialogs.push_back(initial);
  return Next(waypointAnswers, std::optional<Waypoint>{});
}

std::optional<IgcSaveForm> ScriptedUi::AskIgcSave(const IgcSaveRequest& request) {
  std::lock_guard lock(lock_);
  igcRequests.push_back(request);
  return Next(igcAnswers, std::optional<IgcSaveForm>{});
}

std::optional<RotateTrackForm> ScriptedUi::AskRotateTrack(const RotateTrackForm& initial) {
  std::lock_guard lock(lock_);
  rotateRequests.push_back(initial);
  return Next(rotateAnswers, std::optional<RotateTrackForm>{});
}

std::optional<std::vector<std::string>> ScriptedUi::AskForm(
    const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept) {
  {
    std::lock_guard lock(lock_);
    formTitles.emplace_back(form.title);
  }
  for (;;) {
    std::optional<std::vector<std::string>> answer;
    {
      std::lock_guard lock(lock_);
      answer = Next(formAnswers, std::optional<std::vector<std::string>>{});
    }
    // Outside the lock: a refusal shows its message through this UI.
    if (!answer) return std::nullopt;
    if (accept(*answer)) return answer;
  }
}

std::optional<bool> ScriptedUi::AskCompetitionMode(const CompetitionModeRequest& request) {
  // The script may press the dialog's buttons, which ask again: no lock held.
  return competitionModeScript ? competitionModeScript(request) : std::nullopt;
}

std::optional<CompetitionTimesForm> ScriptedUi::AskCompetitionTimes(const CompetitionTimesForm& initial) {
  std::lock_guard lock(lock_);
  competitionTimesRequests.push_back(initial);
  return Next(competitionTimesAnswers, std::optional<CompetitionTimesForm>{});
}

std::optional<IdentifyPilotForm> ScriptedUi::AskIdentifyPilot(const IdentifyPilotRequest& request) {
  {
    std::lock_guard lock(lock_);
    identifyPilotTitles.push_back(request.title);
  }
  return identifyPilotScript ? identifyPilotScript(request) : std::nullopt;
}

void ScriptedUi::ShowFlightStatistics(FlightStatisticsSession& session) {
  std::function<void(FlightStatisticsSession&)> script;
  {
    std::lock_guard lock(lock_);
    ++statisticsDialogs;
    script = statisticsScript;
  }
  // Outside the lock: the script shows messages through this UI.
  if (script) script(session);
}

ExistingFileAnswer ScriptedUi::AskExistingFile(std::string_view path) {
  std::lock_guard lock(lock_);
  existingFileQuestions.emplace_back(path);
  return Next(existingFileAnswers, ExistingFileAnswer::kCancel);
}

ModifyIdAnswer ScriptedUi::AskModifyWaypointId(std::string_view id) {
  std::lock_guard lock(lock_);
  modifyIdQuestions.emplace_back(id);
  return Next(modifyIdAnswers, ModifyIdAnswer::kYes);
}

bool ScriptedUi::EditCtr(const CtrEditRequest& request) {
  {
    std::lock_guard lock(lock_);
    ctrEditDialogs.push_back(request.initial);
  }
  for (;;) {
    std::optional<CtrEditForm> form;
    {
      std::lock_guard lock(lock_);
      form = Next(ctrEditAnswers, std::optional<CtrEditForm>{});
    }
    if (!form) return false;
    // Unlocked: the check shows its messages through this UI.
    if (request.accept && request.accept(*form)) return true;
  }
}

bool ScriptedUi::NotifyCtr(std::string_view text) {
  std::lock_guard lock(lock_);
  ctrNotifications.emplace_back(text);
  return Next(ctrNotifyAnswers, false);
}

bool ScriptedUi::NotifySkippable(std::string_view title, std::string_view text) {
  std::lock_guard lock(lock_);
  skippableNotices.emplace_back(title, text);
  return Next(skipAnswers, false);
}

void ScriptedUi::SetListSize(ListSize size) {
  std::lock_guard lock(lock_);
  listSizes.push_back(size);
}

void ScriptedUi::SetStatusLine(std::string_view text) {
  std::lock_guard lock(lock_);
  statusLines.emplace_back(text);
}

void ScriptedUi::SetProductLine(std::string_view text) {
  std::lock_guard lock(lock_);
  productLines.emplace_back(text);
}

void ScriptedUi::SetTitle(std::string_view text) {
  std::lock_guard lock(lock_);
  titles.emplace_back(text);
}

void ScriptedUi::RefreshList(ViewMode, int32_t) {
  std::lock_guard lock(lock_);
  ++refreshCount;
}

void ScriptedUi::ShowView(ViewMode view, bool, int32_t) {
  std::lock_guard lock(lock_);
  shownViews.push_back(view);
}

std::vector<int32_t> ScriptedUi::SelectedRows(ViewMode view) {
  std::lock_guard lock(lock_);
  auto it = selection.find(view);
  return it == selection.end() ? std::vector<int32_t>{} : it->second;
}

void ScriptedUi::SelectRows(ViewMode view, const std::vector<int32_t>& rows) {
  std::lock_guard lock(lock_);
  selection[view] = rows;
}

void ScriptedUi::SetChecked(int commandId, bool checked) {
  std::lock_guard lock(lock_);
  checks[commandId] = checked;
}

void ScriptedUi::Post(std::function<void()> task) {
  std::lock_guard lock(lock_);
  tasks_.push_back(std::move(task));
}

size_t ScriptedUi::RunPosted() {
  size_t ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(lock_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

size_t ScriptedUi::PendingPosts() {
  std::lock_guard lock(lock_);
  return tasks_.size();
}

std::vector<std::string> ScriptedUi::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : messages) texts.push_back(m.text);
  return texts;
}

}  // namespace skylode
