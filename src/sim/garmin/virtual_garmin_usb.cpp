#include "sim/garmin/virtual_garmin_usb.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace skylode::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kUsbLayer = 0, kApplication = 20;
constexpr uint16_t kDataAvailable = 2, kStartSession = 5, kSessionStarted = 6;
constexpr uint16_t kCommand = 10, kComplete = 12, kRecords = 27, kExtendedProductData = 248, kProtocolArray = 253,
                   kProductRequest = 254, kProductData = 255;
constexpr uint16_t kCmdAbort = 0, kCmdTrack = 6, kCmdWaypoints = 7, kCmdPowerOff = 8;
constexpr size_t kHeader = 12;

void Put16(uint8_t* at, uint16_t x) {
  at[0] = static_cast<uint8_t>(x);
  at[1] = static_cast<uint8_t>(x >> 8);
}
void Put32(uint8_t* at, uint32_t x) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(x >> (8 * i));
}
uint16_t Get16(const std::vector<uint8_t>& v, size_t at) {
  return at + 1 < v.size() ? static_cast<uint16_t>(v[at] | (v[at + 1] << 8)) : 0;
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return at + 3 < v.size() ? static_cast<uint32_t>(Get16(v, at) | (Get16(v, at + 2) << 16)) : 0;
}

std::vector<uint8_t> Packet(uint8_t type, uint16_t id, const std::vector<uint8_t>& data, uint32_t declared) {
  std::vector<uint8_t> out(kHeader + data.size(), 0);
  out[0] = type;
  Put16(out.data() + 4, id);
  Put32(out.data() + 8, declared);
  std::copy(data.begin(), data.end(), out.begin() + kHeader);
  return out;
}

struct Outgoing {
  uint8_t type;
  uint16_t id;
  std::vector<uint8_t> data;
};

// One USB packet on an IN pipe, sent no earlier than readyAt; or the moment
// the unit is pulled out.
struct Frame {
  std::vector<uint8_t> bytes;
  Clock::time_point readyAt;
  bool unplug = false;
};

}  // namespace

struct VirtualGarminUsb::State {
  VirtualGarminUsbOptions o;

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::deque<Frame> interrupt, bulk;
  std::vector<uint8_t> outTransfer;  // an OUT transfer still waiting for its end
  bool unplugged = false;
  bool silent = false;
  size_t packetsSent = 0;
  size_t packetsReceived = 0;
  Clock::time_point nextReady{};

  GarminUnitLog* log = nullptr;
  int sessions = 0, zeroLength = 0;
  size_t bytesMoved = 0;

  // The USB packets of one whole packet; one of zero length closes a
  // transfer that ended on a full packet.
  void Queue(std::deque<Frame>& pipe, const std::vector<uint8_t>& bytes, Clock::time_point at) {
    const size_t m = o.maxPacketSize;
    for (size_t i = 0; i < bytes.size(); i += m)
      pipe.push_back({std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), i + m))),
                      at});
    if (bytes.size() % m == 0) pipe.push_back({{}, at});
  }

  Clock::time_point NextSlot() {
    const auto now = Clock::now();
    nextReady = std::max(nextReady, now);
    const auto at = nextReady;
    nextReady += o.packetInterval;
    return at;
  }

  // Sends what the unit has to say in answer to one packet of the program.
  void Deliver(const std::vector<Outgoing>& reply) {
    std::vector<std::pair<std::vector<uint8_t>, Clock::time_point>> packets;
    std::optional<Clock::time_point> unplugAt;
    for (const Outgoing& p : reply) {
      std::vector<uint8_t> data = p.data;
      uint32_t declared = static_cast<uint32_t>(data.size());
      if (p.type == kApplication) {
        const size_t n = packetsSent++;
        const auto& f = o.faults;
        if (f.unplugAtPacket && *f.unplugAtPacket == n) {
          unplugAt = NextSlot();
          break;
        }
        if (f.silentFromPacket && *f.silentFromPacket == n) silent = true;
        if (silent) continue;
        if (f.oversizedAtPacket && *f.oversizedAtPacket == n) {
          data.resize(300, 0);
          declared = 300;
        }
        if (f.claimsMoreAtPacket && *f.claimsMoreAtPacket == n) declared += 100;
      }
      packets.emplace_back(Packet(p.type, p.id, data, declared), NextSlot());
    }
    const bool bulkBurst = o.delivery == UsbDelivery::kBulk && !reply.empty() && reply.front().type == kApplication;
    if (bulkBurst && !(unplugAt && packets.empty())) {
      const auto at = packets.empty() ? NextSlot() : packets.front().second;
      Queue(interrupt, Packet(kUsbLayer, kDataAvailable, {}, 0), at);
      for (const auto& [bytes, when] : packets) Queue(bulk, bytes, when);
      if (unplugAt) bulk.push_back({{}, *unplugAt, true});
      // Silence leaves the program waiting on the bulk pipe.
      else if (!silent) bulk.push_back({{}, packets.empty() ? at : packets.back().second});
    } else {
      for (const auto& [bytes, when] : packets) Queue(interrupt, bytes, when);
      if (unplugAt) interrupt.push_back({{}, *unplugAt, true});
    }
    wake.notify_all();
  }

  void StartSession() {
    if (sessions++ > 0) log->CountAbort();  // a session restarted mid-way drops the transfer
    interrupt.clear();
    bulk.clear();
    silent = false;
    nextReady = Clock::now();
    std::vector<uint8_t> id(4);
    Put32(id.data(), o.unitId);
    auto started = Packet(kUsbLayer, kSessionStarted, id, 4);
    if (o.faults.session == UsbSessionFault::kNoAnswer) return;
    if (o.faults.session == UsbSessionFault::kShortAnswer) started = Packet(kUsbLayer, kSessionStarted, {1, 2}, 2);
    if (o.faults.session == UsbSessionFault::kWrongPacket) started = Packet(kApplication, kProductData, id, 4);
    const auto at = NextSlot();
    if (o.sessionOrder == UsbSessionOrder::kDataAvailableFirst) {
      Queue(interrupt, Packet(kUsbLayer, kDataAvailable, {}, 0), at);
      Queue(bulk, started, at);
      bulk.push_back({{}, at});
    } else {
      Queue(interrupt, started, at);
    }
    wake.notify_all();
  }

  void OnPacket(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kHeader) return;
    const uint8_t type = bytes[0];
    const uint16_t id = Get16(bytes, 4);
    const size_t size = std::min<size_t>(Get32(bytes, 8), bytes.size() - kHeader);
    const std::vector<uint8_t> data(bytes.begin() + kHeader, bytes.begin() + static_cast<std::ptrdiff_t>(kHeader + size));
    if (type == kUsbLayer) {
      if (id == kStartSession) StartSession();
      return;
    }
    if (type != kApplication) return;
    const size_t received = packetsReceived++;
    if (o.faults.unplugAtReceivedPacket && *o.faults.unplugAtReceivedPacket == received) {
      unplugged = true;
      wake.notify_all();
      return;
    }
    std::vector<Outgoing> reply;
    switch (id) {
      case kProductRequest: {
        std::vector<uint8_t> d(4);
        Put16(d.data(), o.unit.profile.productId);
        Put16(d.data() + 2, o.unit.profile.version);
        d.insert(d.end(), o.unit.profile.description.begin(), o.unit.profile.description.end());
        d.push_back(0);
        reply.push_back({kApplication, kProductData, d});
        const std::string extended = "VIRTUAL EXTENDED DATA";
        std::vector<uint8_t> e(extended.begin(), extended.end());
        e.push_back(0);
        reply.push_back({kApplication, kExtendedProductData, e});
        if (o.unit.profile.sendsProtocolArray)
          reply.push_back({kApplication, kProtocolArray, GarminProtocolArrayOf(o.unit.profile)});
        break;
      }
      case kCommand: {
        const uint16_t cmd = Get16(data, 0);
        if (cmd == kCmdAbort) {
          interrupt.clear();
          bulk.clear();
          log->CountAbort();
        } else if (cmd == kCmdPowerOff) {
          log->CountPowerOff();
        } else if (cmd == kCmdWaypoints || (cmd == kCmdTrack && o.unit.profile.trackProtocol != 0)) {
          const std::vector<GarminRecord> records = cmd == kCmdWaypoints ? log->Waypoints() : o.unit.track;
          std::vector<uint8_t> count(2), done(2);
          Put16(count.data(), static_cast<uint16_t>(records.size()));
          Put16(done.data(), cmd);
          reply.push_back({kApplication, kRecords, count});
          for (const GarminRecord& r : records) reply.push_back({kApplication, r.id, r.data});
          reply.push_back({kApplication, kComplete, done});
        }
        break;
      }
      default:
        log->TakeUploadPacket(id, data);
        break;
    }
    if (!reply.empty()) Deliver(reply);
  }
};

// The program's end of the cable.
class VirtualGarminUsbPort final : public UsbDevice {
 public:
  explicit VirtualGarminUsbPort(std::shared_ptr<VirtualGarminUsb> unit) : unit_(std::move(unit)) {}

  IoResult Read(UsbPipe pipe, std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                const CancelToken& cancel) override {
    VirtualGarminUsb::State& s = *unit_->s_;
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(s.mutex);
    std::deque<Frame>& q = pipe == UsbPipe::kInterruptIn ? s.interrupt : s.bulk;
    for (;;) {
      if (s.unplugged) return {IoStatus::kHangUp, 0};
      if (cancel.cancelled()) return {IoStatus::kCancelled, 0};
      const auto now = Clock::now();
      if (!q.empty() && q.front().readyAt <= now) {
        if (!q.front().unplug) break;
        s.unplugged = true;
        s.wake.notify_all();
        continue;
      }
      if (now >= deadline) return {IoStatus::kTimeout, 0};
      // Short waits: the abort flag has no way to wake us.
      auto until = std::min(deadline, now + std::chrono::milliseconds(10));
      if (!q.empty()) until = std::min(until, q.front().readyAt);
      s.wake.wait_until(lock, until);
    }
    size_t n = 0;
    while (!q.empty() && n + q.front().bytes.size() <= buffer.size()) {
      const Frame f = std::move(q.front());
      q.pop_front();
      std::copy(f.bytes.begin(), f.bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
      n += f.bytes.size();
      s.bytesMoved += f.bytes.size();
      if (f.bytes.size() < s.o.maxPacketSize || n == buffer.size()) break;
    }
    return {IoStatus::kOk, n};
  }

  IoResult Write(std::span<const uint8_t> bytes, std::chrono::milliseconds, const CancelToken& cancel) override {
    VirtualGarminUsb::State& s = *unit_->s_;
    std::lock_guard lock(s.mutex);
    if (s.unplugged) return {IoStatus::kHangUp, 0};
    if (cancel.cancelled()) return {IoStatus::kCancelled, 0};
    s.bytesMoved += bytes.size();
    if (bytes.empty()) ++s.zeroLength;
    s.outTransfer.insert(s.outTransfer.end(), bytes.begin(), bytes.end());
    // A transfer that ended on a full packet is not over for the unit.
    if (!bytes.empty() && bytes.size() % s.o.maxPacketSize == 0) return {IoStatus::kOk, bytes.size()};
    std::vector<uint8_t> packet;
    packet.swap(s.outTransfer);
    s.OnPacket(packet);
    // Pulled out while this packet went over: the host sees it fail.
    if (s.unplugged) return {IoStatus::kHangUp, 0};
    return {IoStatus::kOk, bytes.size()};
  }

  size_t MaxPacketSize() const override { return unit_->s_->o.maxPacketSize; }
  std::string LastError() const override { return unit_->s_->unplugged ? "The unit was unplugged" : ""; }

 private:
  std::shared_ptr<VirtualGarminUsb> unit_;
};

VirtualGarminUsb::VirtualGarminUsb(VirtualGarminUsbOptions options) : s_(std::make_unique<State>()) {
  s_->o = std::move(options);
  s_->log = this;
  SetWaypoints(s_->o.unit.waypoints);
}

VirtualGarminUsb::~VirtualGarminUsb() = default;

std::unique_ptr<UsbDevice> VirtualGarminUsb::Connect(std::shared_ptr<VirtualGarminUsb> unit) {
  return std::make_unique<VirtualGarminUsbPort>(std::move(unit));
}

int VirtualGarminUsb::SessionsStarted() const {
  std::lock_guard lock(s_->mutex);
  return s_->sessions;
}
int VirtualGarminUsb::ZeroLengthPacketsReceived() const {
  std::lock_guard lock(s_->mutex);
  return s_->zeroLength;
}
bool VirtualGarminUsb::WaitingForEndOfTransfer() const {
  std::lock_guard lock(s_->mutex);
  return !s_->outTransfer.empty();
}
size_t VirtualGarminUsb::BytesMoved() const {
  std::lock_guard lock(s_->mutex);
  return s_->bytesMoved;
}

void VirtualGarminUsb::Unplug() {
  std::lock_guard lock(s_->mutex);
  s_->unplugged = true;
  s_->wake.notify_all();
}

void RegisterVirtualGarminUsb() {
  auto factoryFor = [](VirtualGarminUsbOptions options) -> VirtualUsbFactory {
    return [options](std::string&) -> std::unique_ptr<UsbDevice> {
      return VirtualGarminUsb::Connect(std::make_shared<VirtualGarminUsb>(options));
    };
  };
  auto optionsFor = [](const std::string& profile, UsbSessionOrder order, UsbDelivery delivery) {
    VirtualGarminUsbOptions o;
    o.unit = DefaultVirtualGarminOptions(*FindVirtualGarminProfile(profile));
    o.sessionOrder = order;
    o.delivery = delivery;
    // About one packet per USB frame, as a unit on a full-speed bus.
    o.packetInterval = std::chrono::milliseconds(1);
    return o;
  };
  RegisterVirtualUsbDevice("garmin-usb",
                           factoryFor(optionsFor("", UsbSessionOrder::kStartedFirst, UsbDelivery::kInterrupt)));
  RegisterVirtualUsbDevice("garmin-usb/bulk",
                           factoryFor(optionsFor("", UsbSessionOrder::kDataAvailableFirst, UsbDelivery::kBulk)));
  for (const std::string& name : VirtualGarminProfileNames()) {
    if (!FindVirtualGarminProfile(name)->sendsProtocolArray) continue;
    RegisterVirtualUsbDevice("garmin-usb/" + name,
                             factoryFor(optionsFor(name, UsbSessionOrder::kStartedFirst, UsbDelivery::kInterrupt)));
  }
}

}  // namespace skylode::sim
