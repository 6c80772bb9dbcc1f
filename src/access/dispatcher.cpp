#include "access/dispatcher.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "access/port_names.h"

namespace skylode {

namespace {

// One started transfer, shared by the UI side and its worker thread.
struct Run {
  uint64_t generation = 0;
  std::shared_ptr<AbortSignal> abort = std::make_shared<AbortSignal>();
  std::string portKey;  // which port it holds while it runs
  std::function<void(std::string_view)> onStatus;  // the caller's own, UI thread only
  CompletionFn onComplete;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

// A "sim:" or COM setting and the device path it stands for name the same
// line; USB transfers all share the one USB device.
std::string PortKey(const TransferRequest& request) {
  if (request.protocol == ProtocolType::kGarminUsb) return "USB";
  return ResolvePortDevice(request.portName);
}

}  // namespace

struct Dispatcher::Core {
  std::mutex mutex;                   // guards host, active, abandoned
  DispatcherHost* host = nullptr;     // null once the dispatcher is gone
  std::shared_ptr<Run> active;        // the active block
  std::vector<std::shared_ptr<Run>> abandoned;
  // Reports of this generation are delivered; 0 = none. Changed on the UI
  // thread only; read by workers and by posted tasks.
  std::atomic<uint64_t> live{0};
  std::atomic<uint64_t> lastGeneration{0};
  std::atomic<bool> busy{false};
  std::atomic<bool> failed{false};

  // Queues `task` for the UI thread if `generation` is still live, and runs
  // it there only if it still is then. False when it was dropped at once.
  bool Post(uint64_t generation, std::function<void()> task, const std::shared_ptr<Core>& self) {
    std::lock_guard lock(mutex);
    if (host == nullptr || live.load() != generation) return false;
    host->Post([self, generation, task = std::move(task)] {
      if (self->live.load() == generation) task();
    });
    return true;
  }
};

namespace {

// Runs `ask` on the UI thread and waits for its answer; nothing when the
// transfer is aborted or the question is dropped.
template <typename R>
std::optional<R> AskOnUiThread(const std::shared_ptr<Dispatcher::Core>& core, uint64_t generation,
                               const std::shared_ptr<AbortSignal>& abort, std::function<R()> ask) {
  struct Answer {
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<R> value;
  };
  auto answer = std::make_shared<Answer>();
  const bool posted = core->Post(
      generation,
      [answer, ask = std::move(ask)] {
        R value = ask();
        {
          std::lock_guard lock(answer->mutex);
          answer->value = std::move(value);
        }
        answer->ready.notify_all();
      },
      core);
  if (!posted) return std::nullopt;
  std::unique_lock lock(answer->mutex);
  while (!answer->value) {
    if (abort->requested()) return std::nullopt;
    answer->ready.wait_for(lock, kReadSlice);
  }
  return std::move(answer->value);
}

// The caller's callbacks as a worker sees them: each runs on the UI thread,
// and nothing gets through once the transfer has been aborted. Lines and
// notifications are queued; questions wait for their answer.
TransferCallbacks WrapCallbacks(const TransferCallbacks& cb, const std::shared_ptr<Dispatcher::Core>& core,
                                const std::shared_ptr<Run>& run) {
  TransferCallbacks w;
  const uint64_t gen = run->generation;
  auto post = [core, gen](std::function<void()> task) { core->Post(gen, std::move(task), core); };
  auto text = [post](const std::function<void(std::string_view)>& f) -> std::function<void(std::string_view)> {
    if (!f) return {};
    return [post, f](std::string_view t) { post([f, s = std::string(t)] { f(s); }); };
  };
  auto number = [post](const std::function<void(int32_t)>& f) -> std::function<void(int32_t)> {
    if (!f) return {};
    return [post, f](int32_t n) { post([f, n] { f(n); }); };
  };
  w.onStatus = text(cb.onStatus);
  w.onProduct = text(cb.onProduct);
  w.notify = text(cb.notify);
  w.notifyWaypointCount = number(cb.notifyWaypointCount);
  w.notifyByteCount = number(cb.notifyByteCount);
  if (cb.notifyPosition) {
    w.notifyPosition = [post, f = cb.notifyPosition](const TrackPoint& p) { post([f, p] { f(p); }); };
  }
  const auto abort = run->abort;
  if (cb.showMessage) {
    w.showMessage = [core, gen, abort, f = cb.showMessage](std::string_view caption, std::string_view message,
                                                           MessageIcon icon, const CancelToken&) {
      AskOnUiThread<bool>(
          core, gen, abort,
          [f, abort, c = std::string(caption), m = std::string(message), icon] {
            f(c, m, icon, abort->token());
            return true;
          });
    };
  }
  if (cb.askYesNo) {
    w.askYesNo = [core, gen, abort, f = cb.askYesNo](std::string_view caption, std::string_view question,
                                                     const CancelToken&) {
      return AskOnUiThread<bool>(
                 core, gen, abort,
                 [f, abort, c = std::string(caption), q = std::string(question)] { return f(c, q, abort->token()); })
          .value_or(false);
    };
  }
  if (cb.chooseTracks) {
    using Choice = std::optional<std::vector<int32_t>>;
    w.chooseTracks = [core, gen, abort, f = cb.chooseTracks](std::string_view title,
                                                             const std::vector<TrackListEntry>& entries,
                                                             const CancelToken&) {
      auto answer = AskOnUiThread<Choice>(core, gen, abort, [f, abort, t = std::string(title), entries] {
        return f(t, entries, abort->token());
      });
      // No answer (an abort) is a cancel.
      return answer ? std::move(*answer) : Choice{};
    };
  }
  if (cb.notifySkippable) {
    w.notifySkippable = [core, gen, abort, f = cb.notifySkippable](std::string_view title, std::string_view text,
                                                                   const CancelToken&) {
      return AskOnUiThread<bool>(
                 core, gen, abort,
                 [f, abort, t = std::string(title), m = std::string(text)] { return f(t, m, abort->token()); })
          .value_or(true);
    };
  }
  if (cb.identifyPilot) {
    // Waits, so that what the identification found is in place before the
    // worker goes on to use it.
    w.identifyPilot = [core, gen, abort, f = cb.identifyPilot](const Waypoint& wp) {
      AskOnUiThread<bool>(
          core, gen, abort,
          [f, wp] {
            f(wp);
            return true;
          });
    };
  }
  return w;
}

void RunWorker(std::shared_ptr<Dispatcher::Core> core, std::shared_ptr<Run> run, WorkerFn worker,
               TransferRequest request, TransferCallbacks callbacks, std::shared_ptr<DebugTrace> trace) {
  TransferResult result;
  {
    // The context (port, the data handed in) dies here, on this thread,
    // whether or not anyone still waits for the result.
    TransferContext context(std::move(request), std::move(callbacks), run->abort, std::move(trace));
    try {
      result = worker(context);
    } catch (const std::exception& e) {
      context.ShowMessage(kCaptionGpsAccess, e.what(), MessageIcon::kError);
      result = TransferResult::Failure();
    } catch (...) {
      result = TransferResult::Failure();
    }
    if (result.outcome == TransferOutcome::kSuccess && context.aborted()) result = TransferResult::Cancelled();
  }

  auto shared = std::make_shared<TransferResult>(std::move(result));
  std::lock_guard lock(core->mutex);
  {
    std::lock_guard runLock(run->mutex);
    run->finished = true;
  }
  run->done.notify_all();
  std::erase(core->abandoned, run);
  const uint64_t gen = run->generation;
  if (core->host == nullptr || core->live.load() != gen) {
    // Aborted, or the program is going: nobody takes the result.
    if (core->active == run) core->active.reset();
    return;
  }
  core->host->Post([core, run, shared, gen] {
    // Delivered on the UI thread; an abort in between wins.
    if (core->live.load() != gen) return;
    core->live.store(0);
    {
      std::lock_guard l(core->mutex);
      if (core->active == run) core->active.reset();
    }
    core->failed.store(!shared->succeeded());
    core->busy.store(false);
    if (run->onComplete) run->onComplete(std::move(*shared));
  });
}

}  // namespace

void DeviceAccessTable::Register(AccessType access, ProtocolType protocol, WorkerFn worker) {
  const int a = static_cast<int>(access), p = static_cast<int>(protocol);
  if (a < 0 || a >= kAccessTypeCount || p < 0 || p >= kProtocolTypeCount) return;
  cells_[a][p] = std::move(worker);
}

const WorkerFn* DeviceAccessTable::Find(int access, int protocol) const {
  if (access < 0 || access >= kAccessTypeCount || protocol < 0 || protocol >= kProtocolTypeCount) return nullptr;
  const WorkerFn& cell = cells_[access][protocol];
  return cell ? &cell : nullptr;
}

bool DeviceAccessTable::Has(AccessType access, ProtocolType protocol) const {
  return Find(static_cast<int>(access), static_cast<int>(protocol)) != nullptr;
}

Dispatcher::Dispatcher(DispatcherHost& host)
    : host_(host), core_(std::make_shared<Core>()), lastTrace_(std::make_shared<DebugTrace>()) {
  core_->host = &host;
}

Dispatcher::~Dispatcher() {
  EndDeviceAccess();
  std::lock_guard lock(core_->mutex);
  core_->host = nullptr;
}

void Dispatcher::Show(Caption caption, std::string_view text) {
  host_.ShowMessage(caption, text, MessageIcon::kError);
}

int Dispatcher::StartTransfer(TransferRequest request, TransferCallbacks callbacks, CompletionFn onComplete) {
  return StartTransfer(static_cast<int>(request.access), static_cast<int>(request.protocol), std::move(request),
                       std::move(callbacks), std::move(onComplete));
}

int Dispatcher::StartTransfer(int access, int protocol, TransferRequest request, TransferCallbacks callbacks,
                              CompletionFn onComplete) {
  core_->failed.store(false);
  if (access < 0 || access >= kAccessTypeCount) {
    Show(Caption{kCaptionGpsAccess}, kTextBadAccessType);
    return -1;
  }
  if (protocol < 0 || protocol >= kProtocolTypeCount) {
    Show(Caption{kCaptionGpsAccess}, kTextBadProtocolType);
    return -1;
  }
  const WorkerFn* worker = table_.Find(access, protocol);
  if (worker == nullptr) {
    Show(Caption{kCaptionGpsAccess}, kTextUnsupportedFunction);
    return -1;
  }
  request.access = static_cast<AccessType>(access);
  request.protocol = static_cast<ProtocolType>(protocol);
  if (request.protocol == ProtocolType::kGarminUsb) {
    request.portName.clear();
    request.baudRate = 0;
  }

  auto run = std::make_shared<Run>();
  run->portKey = PortKey(request);
  run->onStatus = callbacks.onStatus;
  run->onComplete = std::move(onComplete);
  {
    std::unique_lock lock(core_->mutex);
    // An abandoned worker may still hold its port; another port is free.
    const bool portHeld = std::any_of(core_->abandoned.begin(), core_->abandoned.end(),
                                      [&](const auto& r) { return r->portKey == run->portKey; });
    if (core_->active || portHeld) {
      lock.unlock();
      Show(Caption{kCaptionGpsAccess}, kTextPortInUse);
      return -1;
    }
    // A new trace rather than a cleared one: a worker abandoned by an abort
    // may still be writing to the old.
    auto trace = std::make_shared<DebugTrace>();
    run->generation = core_->lastGeneration.load() + 1;
    core_->lastGeneration.store(run->generation);
    // Busy and live before the worker runs: a worker that ends at once must
    // find its result wanted.
    core_->live.store(run->generation);
    core_->busy.store(true);
    core_->active = run;
    TransferCallbacks wrapped = WrapCallbacks(callbacks, core_, run);
    try {
      std::thread(RunWorker, core_, run, *worker, std::move(request), std::move(wrapped), trace).detach();
      lastTrace_ = std::move(trace);
    } catch (const std::system_error&) {
      core_->active.reset();
      core_->live.store(0);
      core_->busy.store(false);
      lock.unlock();
      host_.ShowMessage(Caption{"API32 call"}, "Could not create GPS access thread", MessageIcon::kError);
      return -1;
    }
  }
  return 0;
}

int Dispatcher::Abort(std::chrono::milliseconds grace, bool withStatus) {
  std::shared_ptr<Run> run;
  {
    std::lock_guard lock(core_->mutex);
    run = core_->active;
  }
  if (!run) {
    if (withStatus) host_.ShowMessage(Caption{kCaptionAbortGpsAccess}, kTextPortNotInUse, MessageIcon::kError);
    return -1;
  }
  if (withStatus && run->onStatus) run->onStatus(kTextTransferAborted);
  // From here on nothing the worker says reaches the program.
  core_->live.store(0);
  run->abort->Request();
  bool finished;
  {
    std::unique_lock runLock(run->mutex);
    finished = run->done.wait_for(runLock, grace, [&] { return run->finished; });
  }
  {
    std::lock_guard lock(core_->mutex);
    if (core_->active == run) core_->active.reset();
    if (!finished && !run->finished) core_->abandoned.push_back(run);
  }
  core_->busy.store(false);
  core_->failed.store(true);
  return 0;
}

int Dispatcher::AbortTransfer(std::chrono::milliseconds grace) { return Abort(grace, true); }

void Dispatcher::EndDeviceAccess(std::chrono::milliseconds grace) { Abort(grace, false); }

bool Dispatcher::transferBusy() const { return core_->busy.load(); }
bool Dispatcher::transferFailed() const { return core_->failed.load(); }
uint64_t Dispatcher::generation() const { return core_->lastGeneration.load(); }

bool Dispatcher::hasActiveTransfer() const {
  std::lock_guard lock(core_->mutex);
  return core_->active != nullptr;
}

int Dispatcher::abandonedWorkers() const {
  std::lock_guard lock(core_->mutex);
  return static_cast<int>(core_->abandoned.size());
}

}  // namespace skylode
