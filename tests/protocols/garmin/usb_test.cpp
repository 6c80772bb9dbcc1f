// Garmin on USB: the packet header, both session orders, both ways the unit
// delivers its packets, transfers of whole packets, packets that are too long
// or claim more than they carry, unplugging, an abort while the program
// waits on the bulk pipe, and a sweep of the unit's faults over every packet.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <future>
#include <string>
#include <thread>

#include "garmin_rig.h"
#include "protocols/garmin/records.h"
#include "protocols/garmin/usb_link.h"

namespace skylode::garmin {
namespace {

using namespace testing;
using std::chrono::milliseconds;

constexpr Transport kUsbTransports[] = {Transport::kUsbInterrupt, Transport::kUsbBulk};

std::vector<uint8_t> Header(uint8_t type, uint16_t id, uint32_t size) {
  std::vector<uint8_t> h(kUsbHeaderSize, 0);
  h[0] = type;
  PutU16(h.data() + 4, id);
  PutU32(h.data() + 8, size);
  return h;
}

TEST(GarminUsbPacket, UsesTheSmallerOfTheHeadersSizeAndWhatCame) {
  struct Case {
    const char* name;
    uint32_t declared;
    size_t dataBytes;  // bytes behind the header that came
    size_t keptLimit;  // bytes of the transfer kept by the reader
    UsbPacketCheck check;
    size_t dataKept;
  } cases[] = {
      {"exact", 3, 3, kUsbPacketKept, UsbPacketCheck::kOk, 3},
      {"trailing bytes ignored", 2, 5, kUsbPacketKept, UsbPacketCheck::kOk, 2},
      {"claims more than came", 20, 3, kUsbPacketKept, UsbPacketCheck::kClaimsMore, 0},
      {"claims four gigabytes", 0xFFFFFFFFu, 4, kUsbPacketKept, UsbPacketCheck::kClaimsMore, 0},
      {"longer than any record is cut", 300, 300, kUsbPacketKept, UsbPacketCheck::kOk, kMaxPacketData},
      {"no data", 0, 0, kUsbPacketKept, UsbPacketCheck::kOk, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = Header(kUsbApplicationLayer, 0x1234, c.declared);
    for (size_t i = 0; i < c.dataBytes; ++i) bytes.push_back(static_cast<uint8_t>(i + 1));
    const size_t received = bytes.size();
    bytes.resize(std::min(bytes.size(), c.keptLimit));
    GarminUsbPacket p;
    EXPECT_EQ(DecodeGarminUsbPacket(bytes, received, p), c.check);
    if (c.check != UsbPacketCheck::kOk) continue;
    EXPECT_EQ(p.type, kUsbApplicationLayer);
    EXPECT_EQ(p.id, 0x1234);
    ASSERT_EQ(p.data.size(), c.dataKept);
    for (size_t i = 0; i < p.data.size(); ++i) EXPECT_EQ(p.data[i], static_cast<uint8_t>(i + 1));
  }
  GarminUsbPacket p;
  const std::vector<uint8_t> shortOne(11, 0);
  EXPECT_EQ(DecodeGarminUsbPacket(shortOne, shortOne.size(), p), UsbPacketCheck::kShort);
  const uint8_t data[] = {7, 8, 9};
  const std::vector<uint8_t> encoded = EncodeGarminUsbPacket(kUsbApplicationLayer, 254, data);
  std::vector<uint8_t> want = Header(kUsbApplicationLayer, 254, 3);
  want.insert(want.end(), {7, 8, 9});
  EXPECT_EQ(encoded, want);
}

TEST(GarminUsbSession, EitherOrderAndEitherDeliveryReadsTheTrack) {
  struct Case {
    sim::UsbSessionOrder order;
    Transport delivery;
  } cases[] = {
      {sim::UsbSessionOrder::kStartedFirst, Transport::kUsbInterrupt},
      {sim::UsbSessionOrder::kStartedFirst, Transport::kUsbBulk},
      {sim::UsbSessionOrder::kDataAvailableFirst, Transport::kUsbInterrupt},
      {sim::UsbSessionOrder::kDataAvailableFirst, Transport::kUsbBulk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.order) * 10 + static_cast<int>(c.delivery));
    UsbSetup setup;
    setup.sessionOrder = c.order;
    Rig rig(c.delivery, ProfileOptions("d109", 5), setup);
    Recorder rec;
    TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    const TrackLog& log = std::get<TrackLogPayload>(r.payload).log;
    ASSERT_EQ(log.count(), 5);
    EXPECT_EQ(log.points[4].time, 1000000004u);
    EXPECT_EQ(log.identification, "Garmin USB: 3456789012");
    EXPECT_EQ(rig.usbUnit().SessionsStarted(), 1);
    EXPECT_NE(std::find(rec.statuses.begin(), rec.statuses.end(), "Receiving track positions"), rec.statuses.end());
    EXPECT_EQ(rec.statuses.back(), "5 track positions read");
  }
}

TEST(GarminUsbSession, AUnitThatFailsTheSessionStartIsNamed) {
  struct Case {
    sim::UsbSessionFault fault;
    const char* text;
  } cases[] = {
      {sim::UsbSessionFault::kNoAnswer, "E007 Start session error"},
      {sim::UsbSessionFault::kShortAnswer, "E004 Start session error"},
      {sim::UsbSessionFault::kWrongPacket, "E006 Start session error"},
  };
  for (const Transport t : kUsbTransports) {
    for (const auto& c : cases) {
      SCOPED_TRACE(TransportName(t) + ": " + c.text);
      UsbSetup setup;
      setup.faults.session = c.fault;
      Rig rig(t, ProfileOptions("d109", 3), setup);
      Recorder rec;
      TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
      EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
      ASSERT_EQ(rec.messages.size(), 1u);
      EXPECT_EQ(rec.messages[0].caption, "Read GPS product data");
      EXPECT_EQ(rec.messages[0].text, c.text);
    }
  }
}

// A packet that fills its last USB packet exactly: 12 header bytes and 52
// data bytes.
TEST(GarminUsb, PacketsOfWholeUsbPacketsArriveAndGoOut) {
  for (const Transport t : kUsbTransports) {
    SCOPED_TRACE(TransportName(t));
    // Going out: a D108 waypoint of 48 bytes, "A" and "B" with terminators.
    {
      Rig rig(t, ProfileOptions("d108"));
      Recorder rec;
      WaypointList list;
      list.items.push_back({1000, 2000, 0, "A", "B", 0, 0});
      ASSERT_EQ(GarminWaypointToPacket(108, list.items[0]).size + kUsbHeaderSize, 64u);
      TransferResult r = rig.Run(GarminSendWaypoints, rig.Request(AccessType::kSendWaypoints, list), rec);
      ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
      EXPECT_EQ(rig.usbUnit().ZeroLengthPacketsReceived(), 1);
      EXPECT_FALSE(rig.usbUnit().WaitingForEndOfTransfer());
      const auto stored = rig.unit().Waypoints();
      ASSERT_EQ(stored.size(), 1u);
      const GarminPacket sent = GarminWaypointToPacket(108, list.items[0]);
      EXPECT_EQ(stored[0].data, std::vector<uint8_t>(sent.payload().begin(), sent.payload().end()));
    }
    // Coming in: product data with a 47-character description.
    {
      sim::VirtualGarminOptions o = ProfileOptions("d109", 2);
      o.profile.description = std::string(47, 'X');
      Rig rig(t, o);
      Recorder rec;
      TransferResult r = rig.Run(GarminReadWaypoints, rig.Request(AccessType::kReadWaypoints), rec);
      ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
      EXPECT_EQ(rec.products.back(), o.profile.description);
      EXPECT_EQ(std::get<WaypointList>(r.payload).count(), 5);
      EXPECT_EQ(rig.usbUnit().ZeroLengthPacketsReceived(), 0);
    }
  }
}

TEST(GarminUsb, OverlongPacketsAreCutAndOverclaimingOnesRefused) {
  // The unit sends: product data 0, extended product data 1, protocol array
  // 2, records 3, header 4, points 5 to 7, transfer complete 8.
  struct Case {
    const char* name;
    std::optional<size_t> oversized;
    std::optional<size_t> claimsMore;
    int base;           // 0: the download succeeds
    int interruptRead;  // which read fails, by delivery
    int bulkRead;
  } cases[] = {
      {"a long track point", 6, std::nullopt, 0, 0, 0},
      {"a long records packet", 3, std::nullopt, 0, 0, 0},
      {"product data claims more", std::nullopt, 0, 104, 6, 5},
      {"a track point claims more", std::nullopt, 6, 214, 6, 9},
      {"transfer complete claims more", std::nullopt, 8, 226, 6, 9},
  };
  for (const Transport t : kUsbTransports) {
    for (const auto& c : cases) {
      SCOPED_TRACE(TransportName(t) + ": " + c.name);
      UsbSetup setup;
      setup.faults.oversizedAtPacket = c.oversized;
      setup.faults.claimsMoreAtPacket = c.claimsMore;
      Rig rig(t, ProfileOptions("d109", 3), setup);
      Recorder rec;
      TransferResult r = rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), rec);
      if (c.base == 0) {
        ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
        const auto& pts = std::get<TrackLogPayload>(r.payload).log.points;
        ASSERT_EQ(pts.size(), 3u);
        for (size_t k = 0; k < 3; ++k) EXPECT_EQ(pts[k].time, 1000000000u + k);
        continue;
      }
      EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
      EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
      EXPECT_EQ(rec.LastMessage(), UsbReadError(c.base, t == Transport::kUsbBulk ? c.bulkRead : c.interruptRead));
    }
  }
}

TEST(GarminUsb, UnpluggingEndsTheTransferWithTheStepsMessage) {
  struct Case {
    const char* name;
    AccessType access;
    std::optional<size_t> atSent;      // the unit's packet that never comes
    std::optional<size_t> atReceived;  // the program's packet that is lost
    std::string interruptText;
    std::string bulkText;
  } cases[] = {
      {"mid-download", AccessType::kReadTrackLog, 6, std::nullopt, UsbReadError(214, 1), UsbReadError(214, 7)},
      {"before the record count", AccessType::kReadTrackLog, 3, std::nullopt, UsbReadError(203, 1),
       UsbReadError(203, 1)},
      {"with the track command", AccessType::kReadTrackLog, std::nullopt, 1, "E203 Bulk OUT error",
       "E203 Bulk OUT error"},
      {"mid-upload", AccessType::kSendWaypoints, std::nullopt, 3, "E404 Bulk OUT error", "E404 Bulk OUT error"},
      {"with the end of the upload", AccessType::kSendWaypoints, std::nullopt, 5, "E405 Bulk OUT error",
       "E405 Bulk OUT error"},
  };
  WaypointList list;
  for (int i = 0; i < 3; ++i) list.items.push_back({i, i, 0, "W" + std::to_string(i), "", 0, 0});
  for (const Transport t : kUsbTransports) {
    for (const auto& c : cases) {
      SCOPED_TRACE(TransportName(t) + ": " + c.name);
      UsbSetup setup;
      setup.faults.unplugAtPacket = c.atSent;
      setup.faults.unplugAtReceivedPacket = c.atReceived;
      Rig rig(t, ProfileOptions("d109", 3), setup);
      Recorder rec;
      const bool upload = c.access == AccessType::kSendWaypoints;
      TransferResult r = upload ? rig.Run(GarminSendWaypoints, rig.Request(c.access, list), rec)
                                : rig.Run(GarminReadTrackLog, rig.Request(c.access), rec);
      EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
      EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
      ASSERT_EQ(rec.messages.size(), 1u);
      EXPECT_EQ(rec.messages[0].text, t == Transport::kUsbBulk ? c.bulkText : c.interruptText);
      EXPECT_EQ(rec.messages[0].caption, upload ? "Upload waypoints" : "Read track log");
    }
  }
  // Pulled out by hand while points are coming in.
  for (const Transport t : kUsbTransports) {
    SCOPED_TRACE(TransportName(t));
    UsbSetup slow;
    slow.packetInterval = milliseconds(2);
    Rig rig(t, ProfileOptions("d109", 2000), slow);
    Recorder rec;
    auto request = rig.Request(AccessType::kReadTrackLog);
    auto result = std::async(std::launch::async, [&] {
      return rig.Run(GarminReadTrackLog, request, rec, nullptr, GarminTimeouts{});
    });
    for (int i = 0; i < 500 && rec.positions < 20; ++i) std::this_thread::sleep_for(milliseconds(10));
    ASSERT_GE(rec.positions, 20);
    rig.usbUnit().Unplug();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    TransferResult r = result.get();
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
    EXPECT_EQ(rec.LastMessage(), UsbReadError(214, t == Transport::kUsbBulk ? 7 : 1));
  }
}

TEST(GarminUsb, AbortWhileWaitingOnTheBulkPipeEndsPromptly) {
  // Two points come, then the burst stalls: the program sits in a bulk read
  // with the real time-outs.
  UsbSetup setup;
  setup.faults.silentFromPacket = 7;
  Rig rig(Transport::kUsbBulk, ProfileOptions("d109", 5), setup);
  Recorder rec;
  auto abort = std::make_shared<AbortSignal>();
  auto request = rig.Request(AccessType::kReadTrackLog);
  auto result = std::async(std::launch::async, [&] {
    return rig.Run(GarminReadTrackLog, request, rec, abort, GarminTimeouts{});
  });
  for (int i = 0; i < 500 && rec.positions < 2; ++i) std::this_thread::sleep_for(milliseconds(10));
  ASSERT_EQ(rec.positions, 2);
  std::this_thread::sleep_for(milliseconds(200));
  const auto asked = std::chrono::steady_clock::now();
  abort->Request();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, milliseconds(1000));
  TransferResult r = result.get();
  EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
  EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
  // The unit was told to drop the transfer by a new session start.
  EXPECT_EQ(rig.usbUnit().SessionsStarted(), 2);
  EXPECT_EQ(rig.unit().AbortCommands(), 1);
}

TEST(GarminUsb, AnUnknownVirtualUnitIsNamed) {
  Recorder rec;
  TransferRequest request;
  request.access = AccessType::kReadTrackLog;
  request.protocol = ProtocolType::kGarminUsb;
  request.portName = "sim:garmin-usb-none";
  request.settings.connectAttempts = 1;
  TransferContext ctx(request, rec.Callbacks());
  ctx.SetTrace(nullptr);
  EXPECT_EQ(GarminReadTrackLog(ctx, FastTimeouts()).outcome, TransferOutcome::kFailure);
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].caption, "Connecting to GPS");
  EXPECT_EQ(rec.messages[0].text, "No virtual USB unit \"garmin-usb-none\"");
}

TEST(GarminUsb, WithoutAUnitTheRealDeviceIsLookedForAndTheFailureShown) {
  // No Garmin is plugged into the machine running the tests: libusb finds
  // none (or is not available at all), the attempt counts and the worker
  // ends with its message.
  Recorder rec;
  TransferRequest request;
  request.access = AccessType::kReadTrackLog;
  request.protocol = ProtocolType::kGarminUsb;
  request.settings.connectAttempts = 1;
  TransferContext ctx(request, rec.Callbacks());
  ctx.SetTrace(nullptr);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(GarminReadTrackLog(ctx, FastTimeouts()).outcome, TransferOutcome::kFailure);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].caption, "Connecting to GPS");
  const std::string& text = rec.messages[0].text;
  EXPECT_TRUE(text == "Could not open USB port" || text.rfind("USB access is not available (", 0) == 0) << text;
  EXPECT_EQ(rec.statuses.front(), "Connecting to GPS (1)");
}

// The real device's openings, scripted: what each attempt finds.
std::vector<UsbOpenOutcome> scriptedOpenings;
size_t scriptedAt = 0;

UsbOpenOutcome ScriptedOpener(std::unique_ptr<UsbDevice>& out, std::string& error) {
  const UsbOpenOutcome o = scriptedAt < scriptedOpenings.size() ? scriptedOpenings[scriptedAt] : UsbOpenOutcome::kNoUnit;
  ++scriptedAt;
  if (o == UsbOpenOutcome::kOpened) {
    out = sim::VirtualGarminUsb::Connect(std::make_shared<sim::VirtualGarminUsb>(sim::VirtualGarminUsbOptions{}));
  }
  if (o == UsbOpenOutcome::kFailed) error = "Could not claim the USB unit (busy)";
  return o;
}

TEST(GarminUsb, OpeningRetriesUntilAUnitIsAttachedAndNamesAnAccessError) {
  using O = UsbOpenOutcome;
  struct Case {
    const char* name;
    std::vector<O> openings;
    int32_t attempts;
    bool opened;
    size_t tries;
    const char* message;
  } cases[] = {
      {"plugged in on the third try", {O::kNoUnit, O::kNoUnit, O::kOpened}, 5, true, 3, nullptr},
      {"never plugged in", {}, 2, false, 2, "Could not open USB port"},
      {"no permission", {O::kNoUnit, O::kAccessDenied}, 5, false, 2, kUsbAccessDenied.data()},
      {"claimed by another program", {O::kFailed}, 5, false, 1, "Could not claim the USB unit (busy)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    scriptedOpenings = c.openings;
    scriptedAt = 0;
    Recorder rec;
    TransferRequest request;
    request.protocol = ProtocolType::kGarminUsb;
    request.settings.connectAttempts = c.attempts;
    TransferContext ctx(request, rec.Callbacks());
    ctx.SetTrace(nullptr);
    const std::unique_ptr<UsbDevice> device = OpenGarminUsb(ctx, ScriptedOpener);
    EXPECT_EQ(device != nullptr, c.opened);
    EXPECT_EQ(scriptedAt, c.tries);
    ASSERT_EQ(rec.statuses.size(), c.tries);
    EXPECT_EQ(rec.statuses.back(), "Connecting to GPS (" + std::to_string(c.attempts - static_cast<int>(c.tries) + 1) + ")");
    if (!c.message) {
      EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
      continue;
    }
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].caption, "Connecting to GPS");
    EXPECT_EQ(rec.messages[0].text, c.message);
  }
}

bool UsbFailureText(const std::string& t) {
  // "E215 Packet read error", "E404 Bulk OUT error", "E126 Bad protocol tag character", ...
  return t.size() > 5 && t[0] == 'E' && std::isdigit(static_cast<unsigned char>(t[1])) &&
         std::isdigit(static_cast<unsigned char>(t[3])) && t[4] == ' ';
}

// Every fault of the unit at every packet of a short track download, and an
// abort at every status line: each run ends with one message and nothing
// installed, or (a cut packet, a late abort) with exactly the right points.
TEST(GarminUsbFaultSweep, TrackDownloadEndsWithAMessageOrTheRightPoints) {
  enum class Fault { kUnplug, kClaimsMore, kSilent, kOversized, kAbort };
  constexpr size_t kPackets = 9;  // product 0-2, records, header, 3 points, complete
  for (const Transport t : kUsbTransports) {
    // The status lines of a clean run, to abort at each.
    Recorder clean;
    {
      Rig rig(t, ProfileOptions("d109", 3));
      ASSERT_TRUE(rig.Run(GarminReadTrackLog, rig.Request(AccessType::kReadTrackLog), clean).succeeded());
    }
    const size_t statuses = clean.statuses.size();
    ASSERT_GT(statuses, 5u);
    for (const Fault f : {Fault::kUnplug, Fault::kClaimsMore, Fault::kSilent, Fault::kOversized, Fault::kAbort}) {
      const size_t count = f == Fault::kAbort ? statuses : kPackets;
      for (size_t at = 0; at < count; ++at) {
        SCOPED_TRACE(TransportName(t) + " fault " + std::to_string(static_cast<int>(f)) + " at " + std::to_string(at));
        UsbSetup setup;
        if (f == Fault::kUnplug) setup.faults.unplugAtPacket = at;
        if (f == Fault::kClaimsMore) setup.faults.claimsMoreAtPacket = at;
        if (f == Fault::kSilent) setup.faults.silentFromPacket = at;
        if (f == Fault::kOversized) setup.faults.oversizedAtPacket = at;
        Rig rig(t, ProfileOptions("d109", 3), setup);
        Recorder rec;
        auto abort = std::make_shared<AbortSignal>();
        TransferCallbacks callbacks = rec.Callbacks();
        std::atomic<size_t> shown{0};
        if (f == Fault::kAbort) {
          auto record = callbacks.onStatus;
          callbacks.onStatus = [&, record](std::string_view s) {
            record(s);
            if (shown++ == at) abort->Request();
          };
        }
        TransferContext ctx(rig.Request(AccessType::kReadTrackLog), callbacks, abort);
        ctx.SetTrace(nullptr);
        TransferResult r = GarminReadTrackLog(ctx, FastTimeouts(400));
        if (r.succeeded()) {
          EXPECT_TRUE(f == Fault::kOversized || f == Fault::kAbort);
          EXPECT_TRUE(rec.messages.empty());
          const auto& pts = std::get<TrackLogPayload>(r.payload).log.points;
          ASSERT_EQ(pts.size(), 3u);
          for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(pts[k].time, 1000000000u + k);
            EXPECT_EQ(pts[k].latitude, 560000000 + static_cast<int32_t>(k) * 2000);
          }
          continue;
        }
        EXPECT_TRUE(std::holds_alternative<std::monostate>(r.payload));
        if (f == Fault::kAbort) {
          EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
          EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
          continue;
        }
        EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_TRUE(UsbFailureText(rec.messages[0].text)) << rec.messages[0].text;
      }
    }
  }
}

// The unit pulled out as each of the program's packets arrives, and an abort
// at every status line, during a waypoint upload: the unit keeps its old
// waypoints unless the whole list arrived, and a failure is never reported
// as success.
TEST(GarminUsbFaultSweep, WaypointUploadEndsWithAMessageOrEveryWaypointStored) {
  WaypointList list;
  list.items.push_back({1000, 2000, 30, "A1", "FIRST", 0, 5});
  list.items.push_back({3000, 4000, 40, "B2", "SECOND", 0, 6});
  const sim::VirtualGarminOptions options = ProfileOptions("d108");
  // Product request, records, two waypoints, transfer complete.
  constexpr size_t kProgramPackets = 5;
  for (const Transport t : kUsbTransports) {
    Recorder clean;
    {
      Rig rig(t, options);
      ASSERT_TRUE(rig.Run(GarminSendWaypoints, rig.Request(AccessType::kSendWaypoints, list), clean).succeeded());
    }
    const size_t statuses = clean.statuses.size();
    for (size_t i = 0; i < kProgramPackets + statuses; ++i) {
      const bool abortRun = i >= kProgramPackets;
      const size_t at = abortRun ? i - kProgramPackets : i;
      SCOPED_TRACE(TransportName(t) + (abortRun ? " abort at status " : " unplug at packet ") + std::to_string(at));
      UsbSetup setup;
      if (!abortRun) setup.faults.unplugAtReceivedPacket = at;
      Rig rig(t, options, setup);
      Recorder rec;
      auto abort = std::make_shared<AbortSignal>();
      TransferCallbacks callbacks = rec.Callbacks();
      std::atomic<size_t> shown{0};
      if (abortRun) {
        auto record = callbacks.onStatus;
        callbacks.onStatus = [&, record](std::string_view st) {
          record(st);
          if (shown++ == at) abort->Request();
        };
      }
      TransferContext ctx(rig.Request(AccessType::kSendWaypoints, list), callbacks, abort);
      ctx.SetTrace(nullptr);
      const TransferResult r = GarminSendWaypoints(ctx, FastTimeouts(400));
      const auto stored = rig.unit().Waypoints();
      if (r.succeeded()) {
        EXPECT_TRUE(rec.messages.empty());
        ASSERT_EQ(stored.size(), 2u);
        for (size_t k = 0; k < 2; ++k) {
          const GarminPacket sent = GarminWaypointToPacket(108, list.items[k]);
          EXPECT_EQ(stored[k].data, std::vector<uint8_t>(sent.payload().begin(), sent.payload().end()));
        }
        continue;
      }
      EXPECT_EQ(stored, options.waypoints);
      if (abortRun) {
        EXPECT_EQ(r.outcome, TransferOutcome::kCancelled);
        EXPECT_TRUE(rec.messages.empty()) << rec.LastMessage();
      } else {
        EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_TRUE(UsbFailureText(rec.messages[0].text)) << rec.messages[0].text;
      }
    }
  }
}

}  // namespace
}  // namespace skylode::garmin
