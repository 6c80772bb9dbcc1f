#include "sim/garmin/virtual_garmin.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>

#include "access/virtual_line.h"

namespace skylode::sim {
namespace {

constexpr uint8_t kDle = 0x10, kEtx = 0x03;
constexpr uint8_t kAck = 6, kNak = 21, kCommand = 10, kComplete = 12, kRecords = 27, kTrackData = 34,
                  kWaypointData = 35, kTrackHeader = 99, kProtocolArray = 253, kProductRequest = 254,
                  kProductData = 255;
constexpr uint16_t kCmdAbort = 0, kCmdTrack = 6, kCmdWaypoints = 7, kCmdPowerOff = 8;

void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
void PutFloat(std::vector<uint8_t>& v, size_t at, float f) { Put32(v, at, std::bit_cast<uint32_t>(f)); }
void PutText(std::vector<uint8_t>& v, size_t at, std::string_view s, size_t len) {
  for (size_t i = 0; i < len; ++i) v[at + i] = i < s.size() ? static_cast<uint8_t>(s[i]) : ' ';
}
uint16_t Get16(const std::vector<uint8_t>& v, size_t at) {
  return at + 1 < v.size() ? static_cast<uint16_t>(v[at] | (v[at + 1] << 8)) : 0;
}

std::vector<uint8_t> Frame(uint8_t id, const std::vector<uint8_t>& data, bool badChecksum) {
  std::vector<uint8_t> out{kDle, id};
  uint8_t sum = id;
  auto put = [&out](uint8_t b) {
    out.push_back(b);
    if (b == kDle) out.push_back(kDle);
  };
  put(static_cast<uint8_t>(data.size()));
  sum = static_cast<uint8_t>(sum + data.size());
  for (uint8_t b : data) {
    put(b);
    sum = static_cast<uint8_t>(sum + b);
  }
  uint8_t check = static_cast<uint8_t>(-sum);
  if (badChecksum) check = static_cast<uint8_t>(check + 1);
  put(check);
  out.push_back(kDle);
  out.push_back(kEtx);
  return out;
}

std::vector<uint8_t> Word(uint16_t w) {
  std::vector<uint8_t> d(2);
  Put16(d, 0, w);
  return d;
}

}  // namespace

std::vector<uint8_t> GarminProtocolArrayOf(const VirtualGarminProfile& p) {
  if (!p.rawProtocolArray.empty()) return p.rawProtocolArray;
  std::vector<uint8_t> out;
  auto entry = [&out](char tag, uint16_t n) {
    out.push_back(static_cast<uint8_t>(tag));
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
  };
  entry('P', 0);
  entry('L', 1);
  entry('A', 10);
  entry('A', 100);
  entry('D', p.waypointType);
  entry('A', 201);
  entry('D', 202);
  entry('D', p.waypointType);
  entry('D', 210);
  if (p.trackProtocol) {
    entry('A', p.trackProtocol);
    if (p.trackHeaderType) entry('D', p.trackHeaderType);
    entry('D', p.trackPointType);
  }
  entry('A', 500);
  entry('D', 501);
  entry('A', 600);
  entry('D', 600);
  return out;
}

std::vector<uint8_t> GarminWaypointRecordData(uint16_t type, std::string_view ident, std::string_view comment,
                                              int32_t latitude, int32_t longitude, float altitude, uint16_t symbol,
                                              uint32_t time) {
  std::vector<uint8_t> d;
  const auto lat = static_cast<uint32_t>(latitude), lon = static_cast<uint32_t>(longitude);
  const auto alt16 = static_cast<uint16_t>(static_cast<int16_t>(altitude));
  switch (type) {
    case 100: case 101: case 102: case 103: case 104: case 107: {
      static constexpr size_t kSizes[] = {58, 63, 64, 60, 65, 0, 0, 65};
      d.assign(kSizes[type - 100], 0);
      PutText(d, 0, ident, 6);
      Put32(d, 6, lat);
      Put32(d, 10, lon);
      PutText(d, 18, comment, 40);
      if (type == 101) d[62] = static_cast<uint8_t>(symbol);
      if (type == 102 || type == 104) Put16(d, 62, symbol);
      if (type == 103 || type == 107) d[58] = static_cast<uint8_t>(symbol);
      break;
    }
    case 108: case 109: case 110: {
      const size_t fixed = type == 108 ? 48 : type == 109 ? 52 : 62;
      d.assign(fixed, 0);
      if (type == 108) {
        d[1] = 0xFF;
        d[3] = 0x60;
      } else {
        d[0] = 1;
        d[2] = 0x1F;
        d[3] = type == 109 ? 0x70 : 0x80;
      }
      Put16(d, 4, symbol);
      std::fill(d.begin() + 6, d.begin() + 24, 0xFF);  // subclass: none
      Put32(d, 24, lat);
      Put32(d, 28, lon);
      PutFloat(d, 32, altitude);
      PutFloat(d, 36, 1.0e25f);
      PutFloat(d, 40, 1.0e25f);
      if (type == 110) Put32(d, 56, time);
      d.insert(d.end(), ident.begin(), ident.end());
      d.push_back(0);
      d.insert(d.end(), comment.begin(), comment.end());
      d.push_back(0);
      // facility, city, addr, cross_road: empty
      for (int i = 0; i < 4; ++i) d.push_back(0);
      break;
    }
    case 150:
      d.assign(115, 0);
      PutText(d, 0, ident, 6);
      Put32(d, 9, lat);
      Put32(d, 13, lon);
      Put16(d, 17, alt16);
      PutText(d, 75, comment, 40);
      break;
    case 151: case 152: case 154: case 155:
      d.assign(type == 154 ? 126 : type == 155 ? 127 : 124, 0);
      PutText(d, 0, ident, 6);
      Put32(d, 6, lat);
      Put32(d, 10, lon);
      PutText(d, 18, comment, 40);
      Put16(d, 118, alt16);
      if (type >= 154) Put16(d, 124, symbol);
      break;
    default:
      break;
  }
  return d;
}

std::vector<uint8_t> GarminTrackPointRecordData(uint16_t type, int32_t latitude, int32_t longitude, uint32_t time,
                                                float altitude, float depth, bool newTrack) {
  static constexpr size_t kSizes[] = {13, 21, 25, 17, 23};
  if (type < 300 || type > 304) return {};
  std::vector<uint8_t> d(kSizes[type - 300], 0);
  Put32(d, 0, static_cast<uint32_t>(latitude));
  Put32(d, 4, static_cast<uint32_t>(longitude));
  Put32(d, 8, time);
  if (type != 300) PutFloat(d, 12, altitude);
  if (type == 301 || type == 302) PutFloat(d, 16, depth);
  if (type == 302) PutFloat(d, 20, 1.0e25f);  // temperature: none
  if (type == 304) PutFloat(d, 16, 1.0e25f);  // distance: none
  if (type == 300) d[12] = newTrack;
  if (type == 301) d[20] = newTrack;
  if (type == 302) d[24] = newTrack;
  return d;
}

std::vector<uint8_t> GarminTrackHeaderRecordData(std::string_view name) {
  std::vector<uint8_t> d{1, 0};
  d.insert(d.end(), name.begin(), name.end());
  d.push_back(0);
  return d;
}

std::optional<VirtualGarminProfile> FindVirtualGarminProfile(std::string_view name) {
  auto modern = [](std::string n, uint16_t wpt, uint16_t trk, uint16_t hdr, uint16_t pt) {
    VirtualGarminProfile p;
    p.name = n;
    p.productId = 999;
    p.version = 330;
    p.description = "Virtual GPS " + n + " Software Version 3.30";
    p.waypointType = wpt;
    p.trackProtocol = trk;
    p.trackHeaderType = hdr;
    p.trackPointType = pt;
    return p;
  };
  auto old = [](std::string n, uint16_t product, uint16_t version, uint16_t wpt) {
    VirtualGarminProfile p;
    p.name = n;
    p.productId = product;
    p.version = version;
    p.description = "Virtual GPS " + n;
    p.sendsProtocolArray = false;
    p.waypointType = wpt;
    p.trackProtocol = 300;
    p.trackPointType = 300;
    p.acksProductRequest = true;
    return p;
  };
  if (name.empty() || name == "d109") return modern("d109", 109, 301, 310, 301);
  if (name == "d108") return modern("d108", 108, 302, 312, 302);
  if (name == "d110") return modern("d110", 110, 302, 312, 304);
  if (name == "p29-399") return old("p29-399", 29, 399, 101);
  if (name == "p29-400") return old("p29-400", 29, 400, 102);
  if (name == "p77-300") return old("p77-300", 77, 300, 100);
  if (name == "p77-349") return old("p77-349", 77, 349, 103);
  if (name == "p77-355") return old("p77-355", 77, 355, 103);
  if (name == "p77-400") return old("p77-400", 77, 400, 103);
  if (name == "unknown") return old("unknown", 9999, 100, 100);
  return std::nullopt;
}

std::vector<std::string> VirtualGarminProfileNames() {
  return {"d109", "d108", "d110", "p29-399", "p29-400", "p77-300", "p77-349", "p77-355", "p77-400", "unknown"};
}

VirtualGarminOptions DefaultVirtualGarminOptions(const VirtualGarminProfile& profile, int trackPoints) {
  VirtualGarminOptions o;
  o.profile = profile;
  const char* idents[] = {"LAUNCH", "GOAL", "TP01", "TP02", "LZ"};
  for (int i = 0; i < 5; ++i) {
    o.waypoints.push_back({kWaypointData, GarminWaypointRecordData(profile.waypointType, idents[i], "VIRTUAL WAYPOINT",
                                                                   560000000 + i * 100000, 90000000 - i * 50000,
                                                                   static_cast<float>(1000 + 100 * i), 18, 0)});
  }
  if (profile.trackProtocol) {
    if (profile.trackHeaderType) o.track.push_back({kTrackHeader, GarminTrackHeaderRecordData("ACTIVE LOG")});
    for (int i = 0; i < trackPoints; ++i) {
      o.track.push_back({kTrackData, GarminTrackPointRecordData(profile.trackPointType, 560000000 + i * 2000,
                                                                90000000 + i * 1000, 1000000000u + i,
                                                                static_cast<float>(800 + i), 1.0e25f, i == 0)});
    }
  }
  return o;
}

struct VirtualGarmin::State {
  VirtualGarminOptions options;

  // Receiving what the program sends.
  enum class Rx { kDle, kId, kSize, kData, kCheck, kEndDle, kEtx } rx = Rx::kDle;
  bool escaped = false;
  uint8_t id = 0, size = 0, sum = 0;
  std::vector<uint8_t> data;

  // Packets waiting to go out; the front one waits for its acknowledgement.
  std::deque<GarminRecord> queue;
  bool awaitingAck = false;
  int resends = 0;
  std::chrono::steady_clock::time_point sentAt;
  size_t packetsSent = 0;
  size_t packetsReceived = 0;


  GarminUnitLog* log = nullptr;
  mutable std::mutex mutex;  // guards badPackets
  int badPackets = 0;

  bool Silent() const {
    return options.faults.silentAfterPackets && packetsSent >= *options.faults.silentAfterPackets;
  }

  void Emit(InstrumentLink& link, uint8_t pid, const std::vector<uint8_t>& d, bool bad = false) {
    if (Silent()) return;
    ++packetsSent;
    link.Send(Frame(pid, d, bad));
  }

  void SendFront(InstrumentLink& link, bool firstTime) {
    if (queue.empty()) return;
    const bool bad = firstTime && options.faults.badChecksumOnPacket && *options.faults.badChecksumOnPacket == packetsSent;
    Emit(link, queue.front().id, queue.front().data, bad);
    awaitingAck = true;
    sentAt = std::chrono::steady_clock::now();
  }

  void Enqueue(InstrumentLink& link, GarminRecord r) {
    queue.push_back(std::move(r));
    if (!awaitingAck) {
      resends = 0;
      SendFront(link, true);
    }
  }

  void Advance(InstrumentLink& link) {
    queue.pop_front();
    awaitingAck = false;
    resends = 0;
    SendFront(link, true);
  }

  void Ack(InstrumentLink& link, uint8_t pid) { Emit(link, kAck, {pid, 0}); }

  void OnPacket(InstrumentLink& link) {
    if (id == kAck) {
      if (awaitingAck && !queue.empty() && data.size() >= 1 && data[0] == queue.front().id) Advance(link);
      return;
    }
    if (id == kNak) {
      if (awaitingAck) SendFront(link, false);
      return;
    }
    const size_t n = packetsReceived++;
    const bool withhold = options.faults.withholdAckOfPacket && *options.faults.withholdAckOfPacket == n;
    if (!withhold && id != kProductRequest) Ack(link, id);
    switch (id) {
      case kProductRequest: {
        queue.clear();
        awaitingAck = false;
        if (withhold) break;
        if (options.profile.acksProductRequest) Ack(link, id);
        std::vector<uint8_t> d(4);
        Put16(d, 0, options.profile.productId);
        Put16(d, 2, options.profile.version);
        d.insert(d.end(), options.profile.description.begin(), options.profile.description.end());
        d.push_back(0);
        Enqueue(link, {kProductData, d});
        if (options.profile.sendsProtocolArray) Enqueue(link, {kProtocolArray, GarminProtocolArrayOf(options.profile)});
        break;
      }
      case kCommand: {
        const uint16_t cmd = Get16(data, 0);
        if (cmd == kCmdAbort) {
          queue.clear();
          awaitingAck = false;
          log->CountAbort();
        } else if (cmd == kCmdPowerOff) {
          log->CountPowerOff();
        } else if (cmd == kCmdWaypoints || cmd == kCmdTrack) {
          std::vector<GarminRecord> records = cmd == kCmdWaypoints ? log->Waypoints() : options.track;
          if (cmd == kCmdTrack && options.profile.trackProtocol == 0) break;
          Enqueue(link, {kRecords, Word(static_cast<uint16_t>(records.size()))});
          for (auto& r : records) Enqueue(link, std::move(r));
          Enqueue(link, {kComplete, Word(cmd)});
        }
        break;
      }
      default:
        log->TakeUploadPacket(id, data);
        break;
    }
  }

  void Feed(uint8_t b, InstrumentLink& link) {
    if (rx == Rx::kSize || rx == Rx::kData || rx == Rx::kCheck) {
      if (escaped) {
        escaped = false;
        if (b != kDle) {
          Bad();
          return;
        }
      } else if (b == kDle) {
        escaped = true;
        return;
      }
    }
    switch (rx) {
      case Rx::kDle:
        if (b == kDle) rx = Rx::kId;
        break;
      case Rx::kId:
        if (b == kDle || b == kEtx) {
          rx = Rx::kDle;
          break;
        }
        id = sum = b;
        rx = Rx::kSize;
        break;
      case Rx::kSize:
        size = b;
        sum = static_cast<uint8_t>(sum + b);
        data.clear();
        rx = size ? Rx::kData : Rx::kCheck;
        break;
      case Rx::kData:
        data.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
        if (data.size() == size) rx = Rx::kCheck;
        break;
      case Rx::kCheck:
        if (static_cast<uint8_t>(sum + b) != 0) {
          Bad();
          break;
        }
        rx = Rx::kEndDle;
        break;
      case Rx::kEndDle:
        if (b != kDle) {
          Bad();
          break;
        }
        rx = Rx::kEtx;
        break;
      case Rx::kEtx:
        rx = Rx::kDle;
        if (b != kEtx) {
          Bad();
          break;
        }
        OnPacket(link);
        break;
    }
  }

  void Bad() {
    rx = Rx::kDle;
    std::lock_guard lock(mutex);
    ++badPackets;
  }
};

VirtualGarmin::VirtualGarmin(VirtualGarminOptions options) : s_(std::make_unique<State>()) {
  s_->options = std::move(options);
  s_->log = this;
  SetWaypoints(s_->options.waypoints);
}

VirtualGarmin::~VirtualGarmin() = default;

void VirtualGarmin::OnReceive(std::span<const uint8_t> bytes, InstrumentLink& link) {
  for (uint8_t b : bytes) s_->Feed(b, link);
}

void VirtualGarmin::OnTick(InstrumentLink& link) {
  State& s = *s_;
  if (!s.awaitingAck || std::chrono::steady_clock::now() - s.sentAt < s.options.resendAfter) return;
  if (s.resends >= s.options.maxResends) {
    // The program has gone away: give the transfer up.
    s.queue.clear();
    s.awaitingAck = false;
    return;
  }
  ++s.resends;
  s.SendFront(link, false);
}

std::vector<GarminRecord> GarminUnitLog::Waypoints() const {
  std::lock_guard lock(mutex_);
  return waypoints_;
}

std::vector<GarminRecord> GarminUnitLog::UploadedTrack() const {
  std::lock_guard lock(mutex_);
  return uploadedTrack_;
}

std::vector<std::vector<GarminRecord>> GarminUnitLog::UploadedTracks() const {
  std::lock_guard lock(mutex_);
  return uploadedTracks_;
}

int GarminUnitLog::PowerOffCommands() const {
  std::lock_guard lock(mutex_);
  return powerOffs_;
}

int GarminUnitLog::AbortCommands() const {
  std::lock_guard lock(mutex_);
  return aborts_;
}

void GarminUnitLog::SetWaypoints(std::vector<GarminRecord> waypoints) {
  std::lock_guard lock(mutex_);
  waypoints_ = std::move(waypoints);
}

void GarminUnitLog::TakeUploadPacket(uint16_t id, const std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  switch (id) {
    case kRecords:
      incoming_.clear();
      break;
    case kWaypointData:
    case kTrackData:
    case kTrackHeader:
      incoming_.push_back({static_cast<uint8_t>(id), data});
      break;
    case kComplete:
      if (Get16(data, 0) == kCmdWaypoints) {
        waypoints_ = incoming_;
      } else {
        uploadedTrack_ = incoming_;
        uploadedTracks_.push_back(incoming_);
      }
      incoming_.clear();
      break;
    default:
      break;
  }
}

void GarminUnitLog::CountPowerOff() {
  std::lock_guard lock(mutex_);
  ++powerOffs_;
}

void GarminUnitLog::CountAbort() {
  std::lock_guard lock(mutex_);
  ++aborts_;
}

int VirtualGarmin::BadPacketsReceived() const {
  std::lock_guard lock(s_->mutex);
  return s_->badPackets;
}

std::unique_ptr<VirtualInstrument> StartVirtualGarmin(VirtualGarminOptions options, InstrumentOptions instrument,
                                                      std::string& error, VirtualGarmin** behaviour) {
  auto unit = std::make_unique<VirtualGarmin>(std::move(options));
  VirtualGarmin* raw = unit.get();
  auto started = StartInstrument(std::move(unit), instrument, error);
  if (behaviour) *behaviour = started ? raw : nullptr;
  return started;
}

void RegisterVirtualGarmin() {
  auto factoryFor = [](const VirtualGarminProfile& profile) -> VirtualInstrumentFactory {
    return [profile](std::string& error) -> std::unique_ptr<VirtualLine> {
      // Paced like a real unit at 9600 baud, so progress texts make sense.
      InstrumentOptions instrument;
      instrument.pace = true;
      return StartVirtualGarmin(DefaultVirtualGarminOptions(profile), instrument, error);
    };
  };
  RegisterVirtualInstrument("garmin", factoryFor(*FindVirtualGarminProfile("")));
  for (const std::string& name : VirtualGarminProfileNames())
    RegisterVirtualInstrument("garmin/" + name, factoryFor(*FindVirtualGarminProfile(name)));
}

}  // namespace skylode::sim
