// Running the Flytec workers against the virtual Flytec: through the
// dispatcher with a host that pumps its own UI queue, or directly on a line
// the test opens itself.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "access/dispatcher.h"
#include "access/serial_port.h"
#include "protocols/flytec/register.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "sim/flytec/flytec_instrument.h"

namespace skylode::flytec::testing {

using namespace std::chrono_literals;

// Short waits: the virtual instrument answers at once.
inline FlytecTiming FastTiming() {
  FlytecTiming t;
  t.productReplyWindow = 300ms;
  t.afterProductData = 0ms;
  t.listSilence = 150ms;
  t.beforeFlightRequest = 0ms;
  t.flightSilence = 200ms;
  t.waypointSilence = 150ms;
  return t;
}

struct Shown {
  std::string caption, text;
  MessageIcon icon;
};

// What a transfer showed and asked, recorded on the UI thread.
struct Screen {
  std::mutex mutex;
  std::vector<std::string> statuses, products;
  std::vector<Shown> messages;
  std::vector<Waypoint> identified;  // competition mode's pilot identification
  std::vector<std::string> dialogTitles;
  std::vector<std::vector<TrackListEntry>> dialogEntries;
  std::optional<std::vector<int32_t>> selection;  // what the Track List dialog answers
  std::vector<Shown> notices;          // the skippable notices (caption: their title)
  std::deque<bool> skipAnswers;        // "Skip further notifications" ticked; none: not ticked

  void Reset() {
    std::lock_guard l(mutex);
    statuses.clear();
    products.clear();
    messages.clear();
    identified.clear();
    dialogTitles.clear();
    dialogEntries.clear();
    selection.reset();
    notices.clear();
    skipAnswers.clear();
  }

  std::vector<Shown> Messages() {
    std::lock_guard l(mutex);
    return messages;
  }
  std::vector<Shown> Notices() {
    std::lock_guard l(mutex);
    return notices;
  }
  std::vector<std::string> Statuses() {
    std::lock_guard l(mutex);
    return statuses;
  }
  bool SawStatus(std::string_view s) {
    std::lock_guard l(mutex);
    return std::find(statuses.begin(), statuses.end(), s) != statuses.end();
  }

  TransferCallbacks Callbacks() {
    TransferCallbacks cb;
    cb.onStatus = [this](std::string_view t) {
      std::lock_guard l(mutex);
      statuses.emplace_back(t);
    };
    cb.onProduct = [this](std::string_view t) {
      std::lock_guard l(mutex);
      products.emplace_back(t);
    };
    cb.showMessage = [this](std::string_view c, std::string_view t, MessageIcon i, const CancelToken&) {
      std::lock_guard l(mutex);
      messages.push_back({std::string(c), std::string(t), i});
    };
    cb.notifySkippable = [this](std::string_view title, std::string_view text, const CancelToken&) {
      std::lock_guard l(mutex);
      notices.push_back({std::string(title), std::string(text), MessageIcon::kInfo});
      if (skipAnswers.empty()) return false;
      const bool skip = skipAnswers.front();
      skipAnswers.pop_front();
      return skip;
    };
    cb.identifyPilot = [this](const Waypoint& w) {
      std::lock_guard l(mutex);
      identified.push_back(w);
    };
    cb.chooseTracks = [this](std::string_view title, const std::vector<TrackListEntry>& entries,
                             const CancelToken&) {
      std::lock_guard l(mutex);
      dialogTitles.emplace_back(title);
      dialogEntries.push_back(entries);
      return selection;
    };
    return cb;
  }
};

class PumpingHost final : public DispatcherHost {
 public:
  void Post(std::function<void()> task) override {
    {
      std::lock_guard l(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
  }
  void ShowMessage(Caption caption, std::string_view text, MessageIcon icon) override {
    messages.push_back({std::string(caption.text), std::string(text), icon});
  }
  // Runs posted tasks until `done` holds or `limit` passes; false on time-out.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      if (done()) return true;
      std::function<void()> task;
      {
        std::unique_lock l(mutex_);
        if (!wake_.wait_until(l, std::min(end, std::chrono::steady_clock::now() + 10ms),
                              [&] { return !tasks_.empty(); })) {
          if (std::chrono::steady_clock::now() >= end) return done();
          continue;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }
  std::vector<Shown> messages;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
};

struct RunOutcome {
  bool delivered = false;  // the completion ran
  TransferResult result;
};

// Starts one transfer on "sim:<family>" and pumps until the dispatcher is done.
inline RunOutcome RunTransfer(Dispatcher& d, PumpingHost& host, Screen& screen, AccessType access,
                              const std::string& port, int32_t connectAttempts = 2,
                              bool competitionMode = false) {
  TransferRequest req;
  req.access = access;
  req.protocol = ProtocolType::kFlytec;
  req.portName = port;
  req.settings.connectAttempts = connectAttempts;
  req.settings.competitionMode = competitionMode;
  RunOutcome out;
  const int started = d.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&& r) {
    out.delivered = true;
    out.result = std::move(r);
  });
  EXPECT_EQ(started, 0);
  EXPECT_TRUE(host.PumpUntil([&] { return !d.transferBusy() && !d.hasActiveTransfer(); }));
  return out;
}

// A straight, steady flight with one fix every `step` seconds, heights and
// positions already at the precision the IGC text keeps.
inline sim::SimFlight LineFlight(uint32_t start, int points, uint32_t step = 1, double lat = 45.8129,
                                 double lon = 6.2459) {
  sim::SimFlight f;
  for (int i = 0; i < points; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? kTrackPointStartsSegment : 0;
    p.time = start + static_cast<uint32_t>(i) * step;
    p.latitude = *DegreesToLatitude(lat + i * 0.0001);
    p.longitude = *DegreesToLongitude(lon - i * 0.00015);
    p.gpsHeight = (1250 + i) * 10;
    p.baroHeight = 1238 + i;
    f.points.push_back(p);
  }
  return f;
}

inline uint32_t At(int y, int mo, int d, int h, int mi, int s = 0) {
  return *CalendarToTime({uint16_t(y), uint16_t(mo), uint16_t(d), uint16_t(h), uint16_t(mi), uint16_t(s), 0});
}

// A fresh virtual Flytec on a line the test opens itself, with a context on
// it: each run costs only the exchange and its short silences.
struct DirectLine {
  std::unique_ptr<sim::VirtualInstrument> instrument;
  std::unique_ptr<TransferContext> ctx;
};
inline std::optional<DirectLine> OpenDirect(const sim::FlytecSimConfig& config, const sim::InstrumentOptions& options,
                                            TransferRequest request, TransferCallbacks callbacks,
                                            std::shared_ptr<AbortSignal> abort = nullptr,
                                            std::shared_ptr<sim::FlytecSimLog> log = nullptr) {
  std::string error;
  DirectLine line;
  line.instrument = sim::StartVirtualFlytec(config, options, error, std::move(log));
  if (!line.instrument) {
    ADD_FAILURE() << error;
    return std::nullopt;
  }
  PortOpenResult opened = SerialPort::Open(line.instrument->SlavePath(), "sim:sweep", 57600, true);
  if (!opened.port) {
    ADD_FAILURE() << opened.error;
    return std::nullopt;
  }
  request.protocol = ProtocolType::kFlytec;
  request.portName = "sim:sweep";
  line.ctx = std::make_unique<TransferContext>(std::move(request), std::move(callbacks), std::move(abort));
  line.ctx->SetTrace(nullptr);
  line.ctx->AttachPort(std::move(opened.port));
  return line;
}

// The screen's callbacks, with `abort` requested as the k-th status line
// (from 0) shows.
inline TransferCallbacks AbortAtStatus(Screen& screen, size_t k, const std::shared_ptr<AbortSignal>& abort) {
  TransferCallbacks cb = screen.Callbacks();
  auto shown = std::make_shared<size_t>(0);
  cb.onStatus = [k, abort, shown, status = cb.onStatus](std::string_view t) {
    status(t);
    if ((*shown)++ == k) abort->Request();
  };
  return cb;
}

// The runs of a sweep mostly wait for silence, so several go at once.
inline void ForEachInParallel(size_t count, const std::function<void(size_t)>& run, int threads = 16) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      for (size_t i = next++; i < count; i = next++) run(i);
    });
  for (auto& t : pool) t.join();
}

// One thousandth of a minute is what the text keeps of a position.
inline constexpr int32_t kPositionTolerance = 18000;

inline void ExpectSamePoints(const std::vector<TrackPoint>& got, const std::vector<TrackPoint>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].time, want[i].time) << i;
    EXPECT_NEAR(got[i].latitude, want[i].latitude, kPositionTolerance) << i;
    EXPECT_NEAR(got[i].longitude, want[i].longitude, kPositionTolerance) << i;
    EXPECT_EQ(got[i].gpsHeight, want[i].gpsHeight) << i;
    EXPECT_EQ(got[i].baroHeight, want[i].baroHeight) << i;
    // One segment; a fix without a 3-D position stays marked.
    EXPECT_EQ(got[i].flags, (i == 0 ? kTrackPointStartsSegment : 0u) | (want[i].flags & kTrackPointNoGpsHeight))
        << i;
  }
}

}  // namespace skylode::flytec::testing
