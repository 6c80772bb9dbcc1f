// The person-less UI of a hidden command-line run: messages go to stderr,
// every question takes its default answer and nothing ever waits for a person.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <ostream>

#include "shell/interface/ui_interface.h"

namespace skylode {

class HeadlessUi : public UiInterface {
 public:
  explicit HeadlessUi(std::ostream& log);
  HeadlessUi();  // logs to std::cerr

  MessageAnswer ShowMessageBox(const MessageRequest& request) override;
  std::optional<FileAnswer> AskOpenFileName(const FileQuestion& question) override;
  std::optional<FileAnswer> AskSaveFileName(const FileQuestion& question) override;
  std::optional<std::vector<int>> ChooseTracks(const TrackListRequest& request) override;
  std::optional<std::vector<int>> ChooseSplitParts(const SplitLogRequest& request) override;
  std::optional<std::string> AskText(const TextQuestion& question) override;
  std::optional<Waypoint> EditWaypoint(const Waypoint&, bool) override { return std::nullopt; }

  void SetStatusLine(std::string_view text) override;
  void SetProductLine(std::string_view text) override;
  void SetTitle(std::string_view) override {}
  void RefreshList(ViewMode, int32_t) override {}
  void ShowView(ViewMode, bool, int32_t) override {}
  std::vector<int32_t> SelectedRows(ViewMode view) override;
  void SelectRows(ViewMode view, const std::vector<int32_t>& rows) override;
  void SetListSize(ListSize) override {}
  void SetChecked(int, bool) override {}

  void Post(std::function<void()> task) override;

  // Runs every posted task on the calling thread, including tasks that the
  // tasks post. Returns how many ran.
  size_t RunPosted();
  // Waits up to `timeout` for a posted task, then runs what is queued.
  size_t WaitAndRunPosted(std::chrono::milliseconds timeout);

 private:
  std::ostream& log_;
  std::mutex logLock_;
  std::mutex queueLock_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> tasks_;
  std::map<ViewMode, std::vector<int32_t>> selection_;
};

}  // namespace skylode
