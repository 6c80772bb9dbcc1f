// Test doubles for code that runs transfers: a host with its own task queue
// standing in for the window thread, and callbacks that record what a worker
// showed and answer its questions from a script. Header-only so that the
// protocol tests can use them too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "access/dispatcher.h"
#include "access/transfer_context.h"

namespace skylode::testing {

struct ShownMessage {
  std::string caption;
  std::string text;
  MessageIcon icon = MessageIcon::kError;
};

// Queues posted tasks; the test thread plays the UI thread by pumping them.
class FakeHost final : public DispatcherHost {
 public:
  void Post(std::function<void()> task) override {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
  }
  void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) override {
    messages.push_back({std::string(caption.text), std::string(text), icon});
  }

  // Runs queued tasks until `done` holds or `timeout` passes. True when done.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      RunPending();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (std::chrono::steady_clock::now() >= deadline) return false;
      wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !tasks_.empty(); });
    }
  }
  // Runs whatever arrives within `period`.
  void PumpFor(std::chrono::milliseconds period) {
    PumpUntil([] { return false; }, period);
  }
  size_t RunPending() {
    size_t n = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return n;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++n;
    }
  }

  std::vector<ShownMessage> messages;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
};

// What a worker showed, and scripted answers to its questions. Thread-safe,
// so it also serves a worker run directly on a test's own thread.
class RecordingCallbacks {
 public:
  TransferCallbacks Make() {
    TransferCallbacks cb;
    cb.onStatus = [this](std::string_view t) { Add(statuses_, t); };
    cb.onProduct = [this](std::string_view t) { Add(products_, t); };
    cb.notify = [this](std::string_view t) { Add(notifications_, t); };
    cb.notifyPosition = [this](const TrackPoint& p) {
      std::lock_guard lock(mutex_);
      positions_.push_back(p);
    };
    cb.notifyWaypointCount = [this](int32_t n) { Add(notifications_, "Waypoint count " + std::to_string(n)); };
    cb.notifyByteCount = [this](int32_t n) { Add(notifications_, "Byte count " + std::to_string(n)); };
    cb.showMessage = [this](std::string_view caption, std::string_view text, MessageIcon icon, const CancelToken&) {
      std::lock_guard lock(mutex_);
      messages_.push_back({std::string(caption), std::string(text), icon});
    };
    cb.askYesNo = [this](std::string_view, std::string_view question, const CancelToken&) {
      std::lock_guard lock(mutex_);
      questions_.emplace_back(question);
      if (yesNoAnswers_.empty()) return false;
      const bool a = yesNoAnswers_.front();
      yesNoAnswers_.pop_front();
      return a;
    };
    cb.chooseTracks = [this](std::string_view title, const std::vector<TrackListEntry>& entries,
                             const CancelToken&) -> std::optional<std::vector<int32_t>> {
      std::lock_guard lock(mutex_);
      trackListTitles_.emplace_back(title);
      trackListEntries_ = entries;
      if (trackChoices_.empty()) return std::nullopt;
      const TrackChoice choice = std::move(trackChoices_.front());
      trackChoices_.pop_front();
      if (choice.cancel) return std::nullopt;
      return choice.flights;
    };
    cb.identifyPilot = [this](const Waypoint& w) {
      std::lock_guard lock(mutex_);
      pilotWaypoints_.push_back(w);
    };
    return cb;
  }

  void AnswerYesNo(bool answer) {
    std::lock_guard lock(mutex_);
    yesNoAnswers_.push_back(answer);
  }
  // nullopt answers Cancel.
  void AnswerTrackList(std::optional<std::vector<int32_t>> choice) {
    std::lock_guard lock(mutex_);
    trackChoices_.push_back(choice ? TrackChoice{false, std::move(*choice)} : TrackChoice{true, {}});
  }

  std::vector<std::string> statuses() const { return Get(statuses_); }
  std::vector<std::string> products() const { return Get(products_); }
  std::vector<std::string> notifications() const { return Get(notifications_); }
  std::vector<std::string> questions() const { return Get(questions_); }
  std::vector<std::string> trackListTitles() const { return Get(trackListTitles_); }
  std::vector<TrackListEntry> trackListEntries() const { return Get(trackListEntries_); }
  std::vector<ShownMessage> messages() const { return Get(messages_); }
  std::vector<TrackPoint> positions() const { return Get(positions_); }
  std::vector<Waypoint> pilotWaypoints() const { return Get(pilotWaypoints_); }

 private:
  void Add(std::vector<std::string>& to, std::string_view t) {
    std::lock_guard lock(mutex_);
    to.emplace_back(t);
  }
  template <typename T>
  T Get(const T& from) const {
    std::lock_guard lock(mutex_);
    return from;
  }

  mutable std::mutex mutex_;
  std::vector<std::string> statuses_, products_, notifications_, questions_, trackListTitles_;
  std::vector<TrackListEntry> trackListEntries_;
  std::vector<ShownMessage> messages_;
  std::vector<TrackPoint> positions_;
  std::vector<Waypoint> pilotWaypoints_;
  std::deque<bool> yesNoAnswers_;
  struct TrackChoice {
    bool cancel = true;
    std::vector<int32_t> flights;
  };
  std::deque<TrackChoice> trackChoices_;
};

}  // namespace skylode::testing
