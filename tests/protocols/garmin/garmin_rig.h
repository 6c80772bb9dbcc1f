// Runs the Garmin workers through the real serial layer against a virtual
// Garmin on a pseudo-terminal, with short time-outs, and records what the
// program showed.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "access/virtual_line.h"
#include "protocols/garmin/transfers.h"
#include "sim/garmin/virtual_garmin.h"

namespace skylode::garmin::testing {

// Short waits, but well above what an acknowledgement takes on a loaded
// machine under the sanitizers: a unit that resends too early would deliver
// a packet twice, which no Garmin link can tell from a new one.
inline GarminTimeouts FastTimeouts(int ms = 800) {
  using std::chrono::milliseconds;
  return {milliseconds(ms), milliseconds(700), milliseconds(ms)};
}
inline constexpr std::chrono::milliseconds kUnitResend{300};

struct Shown {
  std::string caption;
  std::string text;
};

// What the callbacks saw; filled from the worker's thread.
struct Recorder {
  std::mutex mutex;
  std::vector<Shown> messages;
  std::vector<std::string> statuses;
  std::vector<std::string> products;
  std::vector<std::string> notes;
  std::vector<Waypoint> identified;
  std::atomic<int> positions{0};

  TransferCallbacks Callbacks() {
    TransferCallbacks c;
    c.onStatus = [this](std::string_view t) { Add(statuses, std::string(t)); };
    c.onProduct = [this](std::string_view t) { Add(products, std::string(t)); };
    c.notify = [this](std::string_view t) { Add(notes, std::string(t)); };
    c.notifyPosition = [this](const TrackPoint&) { ++positions; };
    c.showMessage = [this](std::string_view caption, std::string_view text, MessageIcon, const CancelToken&) {
      std::lock_guard lock(mutex);
      messages.push_back({std::string(caption), std::string(text)});
    };
    c.identifyPilot = [this](const Waypoint& w) {
      std::lock_guard lock(mutex);
      identified.push_back(w);
    };
    return c;
  }
  template <typename T>
  void Add(std::vector<T>& v, T x) {
    std::lock_guard lock(mutex);
    v.push_back(std::move(x));
  }
  std::string LastMessage() {
    std::lock_guard lock(mutex);
    return messages.empty() ? std::string() : messages.back().text;
  }
};

// A virtual line that shares one running unit, so a test can look at the
// unit after the program has closed its port.
class SharedLine final : public VirtualLine {
 public:
  explicit SharedLine(std::shared_ptr<sim::VirtualInstrument> unit) : unit_(std::move(unit)) {}
  std::string SlavePath() const override { return unit_->SlavePath(); }

 private:
  std::shared_ptr<sim::VirtualInstrument> unit_;
};

// One virtual unit under a port name of its own.
class Rig {
 public:
  explicit Rig(sim::VirtualGarminOptions options, sim::InstrumentOptions instrument = {},
               std::chrono::milliseconds resendAfter = kUnitResend) {
    static std::atomic<int> serial{0};
    family_ = "garmin-test-" + std::to_string(serial++);
    std::string error;
    sim::VirtualGarmin* behaviour = nullptr;
    options.resendAfter = resendAfter;
    instrument_ = sim::StartVirtualGarmin(std::move(options), instrument, error, &behaviour);
    unit_ = behaviour;
    auto shared = instrument_;
    RegisterVirtualInstrument(family_, [shared](std::string&) -> std::unique_ptr<VirtualLine> {
      return std::make_unique<SharedLine>(shared);
    });
  }
  ~Rig() { UnregisterVirtualInstrument(family_); }

  bool ok() const { return instrument_ != nullptr; }
  sim::VirtualGarmin& unit() { return *unit_; }
  sim::VirtualInstrument& instrument() { return *instrument_; }

  TransferRequest Request(AccessType access, TransferInput input = {}) const {
    TransferRequest r;
    r.access = access;
    r.protocol = ProtocolType::kGarminSerial;
    r.portName = "sim:" + family_;
    r.settings.connectAttempts = 2;  // one product request
    r.input = std::move(input);
    return r;
  }

  // Runs `worker` to its end in a fresh transfer context.
  template <typename Worker>
  TransferResult Run(Worker worker, TransferRequest request, Recorder& rec,
                     std::shared_ptr<AbortSignal> abort = nullptr, GarminTimeouts timeouts = FastTimeouts()) {
    TransferContext ctx(std::move(request), rec.Callbacks(), std::move(abort));
    ctx.SetTrace(nullptr);
    return worker(ctx, timeouts);
  }

 private:
  std::string family_;
  std::shared_ptr<sim::VirtualInstrument> instrument_;
  sim::VirtualGarmin* unit_ = nullptr;
};

inline sim::VirtualGarminOptions ProfileOptions(const std::string& profile, int trackPoints = 20) {
  return sim::DefaultVirtualGarminOptions(*sim::FindVirtualGarminProfile(profile), trackPoints);
}

}  // namespace skylode::garmin::testing
