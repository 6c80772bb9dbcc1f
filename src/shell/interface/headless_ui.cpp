#include "shell/interface/headless_ui.h"

#include <iostream>

namespace skylode {

HeadlessUi::HeadlessUi(std::ostream& log) : log_(log) {}
HeadlessUi::HeadlessUi() : log_(std::cerr) {}

MessageAnswer HeadlessUi::ShowMessageBox(const MessageRequest& request) {
  {
    std::lock_guard lock(logLock_);
    log_ << request.caption << ": " << request.text << '\n';
    log_.flush();
  }
  // A question whose safe answer is Cancel must not be answered OK behind the
  // user's back (an overwrite, a discarded log).
  return request.defaultAnswer;
}

std::optional<FileAnswer> HeadlessUi::AskOpenFileName(const FileQuestion&) { return std::nullopt; }
std::optional<FileAnswer> HeadlessUi::AskSaveFileName(const FileQuestion&) { return std::nullopt; }

std::optional<std::vector<int>> HeadlessUi::ChooseTracks(const TrackListRequest& request) {
  // The dialog opens with the first (most recent) flight selected.
  if (request.entries.empty()) return std::nullopt;
  return std::vector<int>{0};
}

std::optional<std::vector<int>> HeadlessUi::ChooseSplitParts(const SplitLogRequest& request) {
  std::vector<int> all;
  for (size_t i = 0; i < request.entries.size(); ++i) all.push_back(static_cast<int>(i));
  return all;
}

std::optional<std::string> HeadlessUi::AskText(const TextQuestion&) { return std::nullopt; }

void HeadlessUi::SetStatusLine(std::string_view text) {
  std::lock_guard lock(logLock_);
  log_ << "Status: " << text << '\n';
}

void HeadlessUi::SetProductLine(std::string_view text) {
  std::lock_guard lock(logLock_);
  log_ << "Product: " << text << '\n';
}

std::vector<int32_t> HeadlessUi::SelectedRows(ViewMode view) {
  auto it = selection_.find(view);
  return it == selection_.end() ? std::vector<int32_t>{} : it->second;
}

void HeadlessUi::SelectRows(ViewMode view, const std::vector<int32_t>& rows) { selection_[view] = rows; }

void HeadlessUi::Post(std::function<void()> task) {
  {
    std::lock_guard lock(queueLock_);
    tasks_.push_back(std::move(task));
  }
  queued_.notify_all();
}

size_t HeadlessUi::RunPosted() {
  size_t ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(queueLock_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

size_t HeadlessUi::WaitAndRunPosted(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(queueLock_);
    queued_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
  }
  return RunPosted();
}

}  // namespace skylode
