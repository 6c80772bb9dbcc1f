// Runs the Garmin workers against a virtual Garmin, with short time-outs, and
// records what the program showed: through the real serial layer to a unit
// on a pseudo-terminal, or through the USB transport to an in-process unit
// (packets on the interrupt pipe, or as bulk bursts).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "access/usb_device.h"
#include "access/virtual_line.h"
#include "protocols/garmin/transfers.h"
#include "sim/garmin/virtual_garmin.h"
#include "sim/garmin/virtual_garmin_usb.h"

namespace skylode::garmin::testing {

// Short waits, but well above what an acknowledgement takes on a loaded
// machine under the sanitizers: a unit that resends too early would deliver
// a packet twice, which no Garmin link can tell from a new one.
inline GarminTimeouts FastTimeouts(int ms = 800) {
  using std::chrono::milliseconds;
  return {milliseconds(ms), milliseconds(700), milliseconds(ms), GarminUsbTimeouts{milliseconds(1500)}};
}

enum class Transport { kSerial, kUsbInterrupt, kUsbBulk };

inline std::string TransportName(Transport t) {
  switch (t) {
    case Transport::kSerial: return "Serial";
    case Transport::kUsbInterrupt: return "UsbInterrupt";
    case Transport::kUsbBulk: return "UsbBulk";
  }
  return "";
}

inline constexpr Transport kAllTransports[] = {Transport::kSerial, Transport::kUsbInterrupt, Transport::kUsbBulk};

// How a USB unit is set up beyond its records.
struct UsbSetup {
  sim::VirtualGarminUsbFaults faults;
  std::chrono::microseconds packetInterval{0};
  std::optional<sim::UsbSessionOrder> sessionOrder;  // by the delivery when unset
};
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
  // A serial unit.
  explicit Rig(sim::VirtualGarminOptions options, sim::InstrumentOptions instrument = {},
               std::chrono::milliseconds resendAfter = kUnitResend) {
    family_ = NewName();
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

  // A unit on the transport given; a serial one with the serial defaults.
  Rig(Transport transport, sim::VirtualGarminOptions options, UsbSetup usb = {}) : transport_(transport) {
    if (transport == Transport::kSerial) {
      *this = Rig(std::move(options));
      return;
    }
    family_ = NewName();
    sim::VirtualGarminUsbOptions o;
    o.unit = std::move(options);
    const bool bulk = transport == Transport::kUsbBulk;
    o.delivery = bulk ? sim::UsbDelivery::kBulk : sim::UsbDelivery::kInterrupt;
    o.sessionOrder = usb.sessionOrder.value_or(bulk ? sim::UsbSessionOrder::kDataAvailableFirst
                                                    : sim::UsbSessionOrder::kStartedFirst);
    o.faults = usb.faults;
    o.packetInterval = usb.packetInterval;
    usbUnit_ = std::make_shared<sim::VirtualGarminUsb>(std::move(o));
    unit_ = usbUnit_.get();
    auto shared = usbUnit_;
    RegisterVirtualUsbDevice(family_, [shared](std::string&) { return sim::VirtualGarminUsb::Connect(shared); });
  }

  Rig& operator=(Rig&& other) {
    std::swap(family_, other.family_);
    std::swap(transport_, other.transport_);
    std::swap(instrument_, other.instrument_);
    std::swap(usbUnit_, other.usbUnit_);
    std::swap(unit_, other.unit_);
    return *this;
  }
  ~Rig() {
    if (family_.empty()) return;
    if (usbUnit_) UnregisterVirtualUsbDevice(family_);
    else UnregisterVirtualInstrument(family_);
  }

  bool ok() const { return unit_ != nullptr; }
  bool usb() const { return transport_ != Transport::kSerial; }
  Transport transport() const { return transport_; }
  sim::GarminUnitLog& unit() { return *unit_; }
  sim::VirtualGarminUsb& usbUnit() { return *usbUnit_; }
  sim::VirtualInstrument& instrument() { return *instrument_; }

  TransferRequest Request(AccessType access, TransferInput input = {}) const {
    TransferRequest r;
    r.access = access;
    r.protocol = usb() ? ProtocolType::kGarminUsb : ProtocolType::kGarminSerial;
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
  static std::string NewName() {
    static std::atomic<int> serial{0};
    return "garmin-test-" + std::to_string(serial++);
  }

  std::string family_;
  Transport transport_ = Transport::kSerial;
  std::shared_ptr<sim::VirtualInstrument> instrument_;
  std::shared_ptr<sim::VirtualGarminUsb> usbUnit_;
  sim::GarminUnitLog* unit_ = nullptr;
};

// The text of a failed USB read: the step's number plus which read failed.
inline std::string UsbReadError(int base, int n) { return "E" + std::to_string(base + n) + " Packet read error"; }

inline sim::VirtualGarminOptions ProfileOptions(const std::string& profile, int trackPoints = 20) {
  return sim::DefaultVirtualGarminOptions(*sim::FindVirtualGarminProfile(profile), trackPoints);
}

}  // namespace skylode::garmin::testing
