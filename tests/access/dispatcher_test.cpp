#include "access/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "access/transfer_test_support.h"

namespace skylode {
namespace {

using namespace std::chrono_literals;
using testing::FakeHost;
using testing::RecordingCallbacks;
using Clock = std::chrono::steady_clock;

// A door a worker waits at until the test opens it.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  // Waits for Open; with a context, also gives up on abort.
  bool Wait(TransferContext* ctx = nullptr, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    const auto deadline = Clock::now() + limit;
    while (!open_) {
      if (ctx && ctx->aborted()) return false;
      if (cv_.wait_until(lock, std::min(deadline, Clock::now() + 10ms)) == std::cv_status::timeout &&
          Clock::now() >= deadline)
        return false;
    }
    return true;
  }
  bool IsOpen() {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

Waypoint WaypointNamed(std::string id) {
  Waypoint w;
  w.id = std::move(id);
  return w;
}

TransferRequest Request(AccessType access, ProtocolType protocol, std::string port = "/dev/ttyUSB7") {
  TransferRequest r;
  r.access = access;
  r.protocol = protocol;
  r.portName = std::move(port);
  return r;
}

struct DispatcherTest : ::testing::Test {
  FakeHost host;
  RecordingCallbacks calls;
  std::optional<Dispatcher> dispatcher{std::in_place, host};

  // Runs the posted tasks until the transfer has been delivered.
  bool Settle() {
    return host.PumpUntil([&] { return !dispatcher->transferBusy() && !dispatcher->hasActiveTransfer(); });
  }
};

// --- FormatProgress ---------------------------------------------------------

TEST(FormatProgressTest, FillsPlaceholdersInOrder) {
  struct Case {
    const char* templ;
    int64_t a, b, c, d;
    const char* expected;
  };
  const Case cases[] = {
      {"Track position % of % (%m %s)", 12, 300, 4, 5, "Track position 12 of 300 (4m 5s)"},
      {"Transfer aborted", 1, 2, 3, 4, "Transfer aborted"},
      {"% % % % %", 1, 2, 3, 4, "1 2 3 4 4"},
      {"Connecting to GPS (%)", 0, 9, 9, 9, "Connecting to GPS (0)"},
      {"%%", 7, 1000000, 0, 0, "71000000"},
      {"Progress %/?", 4294967295LL, 0, 0, 0, "Progress 4294967295/?"},
      {"", 1, 2, 3, 4, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatProgress(c.templ, c.a, c.b, c.c, c.d), c.expected) << c.templ;
  }
}

// --- Table and refusals -----------------------------------------------------

TEST_F(DispatcherTest, RefusesBadNumbersAndEmptyCellsWithTheirMessages) {
  std::atomic<int> ran{0};
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kLogIt, [&](TransferContext&) {
    ++ran;
    return TransferResult::Done();
  });
  struct Case {
    int access, protocol;
    std::string_view text;
  };
  const Case cases[] = {
      {9, 0, kTextBadAccessType},
      {-1, 0, kTextBadAccessType},
      {1, 17, kTextBadProtocolType},
      {1, -3, kTextBadProtocolType},
      {0, 3, kTextUnsupportedFunction},  // read waypoints from a LogIt
      {1, 4, kTextUnsupportedFunction},  // a family that registered nothing
  };
  for (const auto& c : cases) {
    host.messages.clear();
    EXPECT_EQ(dispatcher->StartTransfer(c.access, c.protocol, Request(AccessType::kReadTrackLog, ProtocolType::kLogIt),
                                        calls.Make(), nullptr),
              -1);
    ASSERT_EQ(host.messages.size(), 1u) << c.access << "/" << c.protocol;
    EXPECT_EQ(host.messages[0].text, c.text);
    EXPECT_EQ(host.messages[0].caption, kCaptionGpsAccess);
    EXPECT_FALSE(dispatcher->transferBusy());
    EXPECT_FALSE(dispatcher->hasActiveTransfer());
  }
  EXPECT_EQ(ran.load(), 0);
}

TEST(DeviceAccessTableTest, RegistrationFillsOnlyItsCell) {
  DeviceAccessTable table;
  RegisterWorker(table, AccessType::kReadAirspaces, ProtocolType::kFlytec,
                 [](TransferContext&) { return TransferResult::Done(7); });
  for (int a = 0; a < kAccessTypeCount; ++a) {
    for (int p = 0; p < kProtocolTypeCount; ++p) {
      EXPECT_EQ(table.Find(a, p) != nullptr, a == 8 && p == 4) << a << "/" << p;
    }
  }
  EXPECT_EQ(table.Find(9, 4), nullptr);
  EXPECT_EQ(table.Find(8, 17), nullptr);
  // A second registration replaces the first.
  RegisterWorker(table, AccessType::kReadAirspaces, ProtocolType::kFlytec,
                 [](TransferContext&) { return TransferResult::Done(9); });
  TransferContext ctx(Request(AccessType::kReadAirspaces, ProtocolType::kFlytec), {});
  EXPECT_EQ((*table.Find(8, 4))(ctx).code, 9);
}

// --- A transfer's life ------------------------------------------------------

TEST_F(DispatcherTest, DeliversTheResultOnTheUiThreadAndWorksOnACopy) {
  Gate release;
  std::thread::id workerThread;
  dispatcher->RegisterWorker(AccessType::kReadWaypoints, ProtocolType::kGarminSerial, [&](TransferContext& ctx) {
    workerThread = std::this_thread::get_id();
    ctx.Status("Requesting waypoints");
    ctx.Product("Garmin eTrex");
    release.Wait(&ctx);
    auto list = std::get<WaypointList>(ctx.input());
    list.items.push_back(WaypointNamed("NEW"));
    return TransferResult::Waypoints(std::move(list));
  });

  WaypointList mine;
  mine.items.push_back(WaypointNamed("A1"));
  auto request = Request(AccessType::kReadWaypoints, ProtocolType::kGarminSerial);
  request.input = mine;
  std::optional<TransferResult> got;
  std::thread::id completionThread;
  ASSERT_EQ(dispatcher->StartTransfer(request, calls.Make(),
                                      [&](TransferResult&& r) {
                                        completionThread = std::this_thread::get_id();
                                        got = std::move(r);
                                      }),
            0);
  // Busy before the worker could have finished, and the caller's list untouched.
  EXPECT_TRUE(dispatcher->transferBusy());
  EXPECT_TRUE(dispatcher->hasActiveTransfer());
  EXPECT_EQ(dispatcher->generation(), 1u);
  release.Open();
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(got->succeeded());
  EXPECT_EQ(completionThread, std::this_thread::get_id());
  EXPECT_NE(workerThread, std::this_thread::get_id());
  const auto& list = std::get<WaypointList>(got->payload);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.items[1].id, "NEW");
  EXPECT_EQ(mine.count(), 1);
  EXPECT_EQ(calls.statuses(), std::vector<std::string>{"Requesting waypoints"});
  EXPECT_EQ(calls.products(), std::vector<std::string>{"Garmin eTrex"});
  EXPECT_FALSE(dispatcher->transferFailed());
}

TEST_F(DispatcherTest, AWorkerThatFailsAtOnceStillDeliversAndClearsBusy) {
  struct Case {
    std::function<TransferResult(TransferContext&)> worker;
    TransferOutcome outcome;
    size_t messages;
  };
  const Case cases[] = {
      {[](TransferContext&) { return TransferResult::Failure(); }, TransferOutcome::kFailure, 0},
      {[](TransferContext&) { return TransferResult::Cancelled(); }, TransferOutcome::kCancelled, 0},
      {[](TransferContext&) -> TransferResult { throw std::runtime_error("E999 broken"); }, TransferOutcome::kFailure,
       1},
  };
  for (const auto& c : cases) {
    RecordingCallbacks local;
    dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kDsx, c.worker);
    std::optional<TransferResult> got;
    ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kDsx), local.Make(),
                                        [&](TransferResult&& r) { got = std::move(r); }),
              0);
    ASSERT_TRUE(Settle());
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->outcome, c.outcome);
    EXPECT_TRUE(dispatcher->transferFailed());
    EXPECT_EQ(local.messages().size(), c.messages);
  }
  // The next start clears the failure flag.
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kDsx,
                             [](TransferContext&) { return TransferResult::Done(); });
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kDsx), calls.Make(), nullptr), 0);
  EXPECT_FALSE(dispatcher->transferFailed());
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(dispatcher->transferFailed());
}

TEST_F(DispatcherTest, SettingsTransfersEndOnTheirFinalReportOnly) {
  Gate release;
  dispatcher->RegisterWorker(AccessType::kEraseTrackLog, ProtocolType::kMtk, [&](TransferContext& ctx) {
    ctx.Status("Erasing");
    ctx.Status("Still erasing");
    release.Wait(&ctx);
    ctx.Status("Log erased");
    return TransferResult::Done();
  });
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kEraseTrackLog, ProtocolType::kMtk), calls.Make(), nullptr),
            0);
  ASSERT_TRUE(host.PumpUntil([&] { return calls.statuses().size() == 2; }));
  EXPECT_TRUE(dispatcher->transferBusy());
  release.Open();
  ASSERT_TRUE(Settle());
  EXPECT_EQ(calls.statuses().back(), "Log erased");
  EXPECT_FALSE(dispatcher->transferFailed());
}

TEST_F(DispatcherTest, ASecondStartIsRefusedAndLeavesTheFirstAlone) {
  Gate release;
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kFlytec, [&](TransferContext& ctx) {
    release.Wait(&ctx);
    return TransferResult::Done(1);
  });
  std::optional<TransferResult> first;
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kFlytec), calls.Make(),
                                      [&](TransferResult&& r) { first = std::move(r); }),
            0);
  bool secondCompleted = false;
  EXPECT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kFlytec, "/dev/ttyUSB9"),
                                      calls.Make(), [&](TransferResult&&) { secondCompleted = true; }),
            -1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, kTextPortInUse);
  EXPECT_EQ(host.messages[0].caption, kCaptionGpsAccess);
  EXPECT_TRUE(dispatcher->transferBusy());
  EXPECT_EQ(dispatcher->generation(), 1u);
  release.Open();
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->code, 1);
  EXPECT_FALSE(secondCompleted);
}

// --- Abort --------------------------------------------------------------------

TEST_F(DispatcherTest, AbortWithoutTransferSaysPortNotInUse) {
  EXPECT_EQ(dispatcher->AbortTransfer(), -1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, kTextPortNotInUse);
  EXPECT_EQ(host.messages[0].caption, kCaptionAbortGpsAccess);
}

// Counts how often a worker's belongings are released.
struct Belonging {
  std::atomic<int>* released;
  ~Belonging() { ++*released; }
};

TEST_F(DispatcherTest, AbortOfAWorkerThatStopsFreesItOnceAndDropsItsResult) {
  std::atomic<int> released{0};
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kFlymaster, [&](TransferContext& ctx) {
    Belonging mine{&released};
    ctx.Status("Receiving track log");
    // A worker pausing between packets wakes at once on abort.
    while (ctx.Pause(5000)) {
    }
    ctx.Status("late status");
    TrackLogPayload track;
    track.log.points.resize(3);
    return TransferResult::Track(std::move(track));
  });
  bool completed = false;
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kFlymaster), calls.Make(),
                                      [&](TransferResult&&) { completed = true; }),
            0);
  ASSERT_TRUE(host.PumpUntil([&] { return !calls.statuses().empty(); }));
  const auto start = Clock::now();
  EXPECT_EQ(dispatcher->AbortTransfer(), 0);
  EXPECT_LT(Clock::now() - start, 900ms);  // it did not need the grace second
  EXPECT_FALSE(dispatcher->transferBusy());
  EXPECT_TRUE(dispatcher->transferFailed());
  EXPECT_FALSE(dispatcher->hasActiveTransfer());
  EXPECT_EQ(dispatcher->abandonedWorkers(), 0);
  EXPECT_EQ(released.load(), 1);
  host.PumpFor(100ms);
  EXPECT_FALSE(completed);
  EXPECT_EQ(calls.statuses(), (std::vector<std::string>{"Receiving track log", "Transfer aborted"}));
}

TEST_F(DispatcherTest, AbortOfAStuckWorkerReturnsAndItsLateResultIsDropped) {
  // Shared with the worker, which outlives what the test waits for.
  auto release = std::make_shared<Gate>();
  auto finished = std::make_shared<Gate>();
  std::atomic<int> released{0};
  dispatcher->RegisterWorker(AccessType::kReadWaypoints, ProtocolType::kMagellan, [&, release, finished](TransferContext& ctx) {
    Belonging mine{&released};
    ctx.Status("Requesting waypoints");
    release->Wait();  // deaf to the abort flag, as a worker stuck in a system call
    ctx.trace()->Text("late bytes");
    ctx.Status("late status");
    ctx.Product("late product");
    ctx.ShowMessage("Read GPS waypoints", "late box");
    WaypointList list;
    list.items.push_back(WaypointNamed("LATE"));
    finished->Open();
    return TransferResult::Waypoints(std::move(list));
  });
  bool completed = false;
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kMagellan, "/dev/ttyUSB3"),
                                      calls.Make(), [&](TransferResult&&) { completed = true; }),
            0);
  ASSERT_TRUE(host.PumpUntil([&] { return !calls.statuses().empty(); }));

  const auto start = Clock::now();
  EXPECT_EQ(dispatcher->AbortTransfer(), 0);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 900ms);
  EXPECT_LT(took, 2s);
  EXPECT_FALSE(dispatcher->transferBusy());
  EXPECT_FALSE(dispatcher->hasActiveTransfer());
  EXPECT_EQ(dispatcher->abandonedWorkers(), 1);

  // The abandoned worker still holds its port; another port is free.
  dispatcher->RegisterWorker(AccessType::kReadWaypoints, ProtocolType::kGarminSerial,
                             [](TransferContext&) { return TransferResult::Waypoints({}); });
  EXPECT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kGarminSerial, "/dev/ttyUSB3"),
                                      calls.Make(), nullptr),
            -1);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().text, kTextPortInUse);
  std::optional<TransferResult> other;
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kGarminSerial, "/dev/ttyUSB4"),
                                      calls.Make(), [&](TransferResult&& r) { other = std::move(r); }),
            0);
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(std::get<WaypointList>(other->payload).count(), 0);

  // Now the stuck worker comes back: nothing of it reaches the program.
  release->Open();
  ASSERT_TRUE(finished->Wait());
  ASSERT_TRUE(host.PumpUntil([&] { return dispatcher->abandonedWorkers() == 0; }));
  host.PumpFor(100ms);
  EXPECT_FALSE(completed);
  EXPECT_EQ(released.load(), 1);
  for (const auto& s : calls.statuses()) EXPECT_NE(s, "late status");
  EXPECT_TRUE(calls.products().empty());
  EXPECT_TRUE(calls.messages().empty());
  // Nor of its bytes: the trace the person would save is the newer transfer's.
  EXPECT_TRUE(dispatcher->lastTrace()->Empty());
  // Its port is free again.
  EXPECT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kGarminSerial, "/dev/ttyUSB3"),
                                      calls.Make(), nullptr),
            0);
  ASSERT_TRUE(Settle());
}

TEST_F(DispatcherTest, EachTransferRecordsInATraceOfItsOwn) {
  ASSERT_NE(dispatcher->lastTrace(), nullptr);
  EXPECT_TRUE(dispatcher->lastTrace()->Empty());
  std::string note;
  dispatcher->RegisterWorker(AccessType::kReadWaypoints, ProtocolType::kGarminSerial, [&](TransferContext& ctx) {
    ctx.trace()->Text(note);
    return TransferResult::Waypoints({});
  });
  std::vector<std::shared_ptr<DebugTrace>> traces;
  for (const std::string text : {"first\r\n", "second\r\n"}) {
    note = text;
    ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kGarminSerial), calls.Make(),
                                        nullptr),
              0);
    ASSERT_TRUE(Settle());
    traces.push_back(dispatcher->lastTrace());
    const auto bytes = traces.back()->Snapshot();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
  }
  // The earlier trace is untouched by the later transfer, and a refused
  // start leaves the last one in place.
  const auto first = traces[0]->Snapshot();
  EXPECT_EQ(std::string(first.begin(), first.end()), "first\r\n");
  EXPECT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadWaypoints, ProtocolType::kMagellan), calls.Make(), nullptr),
            -1);
  EXPECT_EQ(dispatcher->lastTrace(), traces[1]);
}

TEST_F(DispatcherTest, ClosingWithAStuckWorkerDoesNotWaitForIt) {
  // Shared with the worker, which outlives what the test waits for.
  auto release = std::make_shared<Gate>();
  auto finished = std::make_shared<Gate>();
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kMtk, [&, release, finished](TransferContext& ctx) {
    release->Wait();
    ctx.Status("after the end");
    finished->Open();
    return TransferResult::Done();
  });
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kMtk), calls.Make(), nullptr), 0);
  const auto start = Clock::now();
  dispatcher->EndDeviceAccess(100ms);
  dispatcher.reset();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_TRUE(host.messages.empty());  // no box at exit
  release->Open();
  ASSERT_TRUE(finished->Wait());
  host.PumpFor(50ms);
  EXPECT_TRUE(calls.statuses().empty());
}

// --- Questions to a person ------------------------------------------------------

TEST_F(DispatcherTest, QuestionsAreAnsweredOnTheUiThread) {
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kFlytec, [](TransferContext& ctx) {
    std::vector<TrackListEntry> entries = {{3, "03   09.07.26   10:02:11   01:22:33"},
                                           {5, "05   10.07.26   12:00:00   00:45:00"}};
    const auto chosen = ctx.ChooseTracks("Track List (COM1, Compeo)", entries);
    if (!chosen) return TransferResult::Failure();
    ctx.IdentifyPilot(WaypointNamed("P123"));
    const bool yes = ctx.AskYesNo("Erase", "Are you sure ?");
    return TransferResult::Done(static_cast<int32_t>(chosen->size()) * 10 + (yes ? 1 : 0));
  });
  struct Case {
    std::optional<std::vector<int32_t>> choice;
    bool yes;
    TransferOutcome outcome;
    int32_t code;
  };
  const Case cases[] = {
      {std::vector<int32_t>{3, 5}, true, TransferOutcome::kSuccess, 21},
      {std::vector<int32_t>{5}, false, TransferOutcome::kSuccess, 10},
      {std::nullopt, true, TransferOutcome::kFailure, -1},
  };
  for (const auto& c : cases) {
    RecordingCallbacks local;
    local.AnswerTrackList(c.choice);
    local.AnswerYesNo(c.yes);
    std::optional<TransferResult> got;
    ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kFlytec), local.Make(),
                                        [&](TransferResult&& r) { got = std::move(r); }),
              0);
    ASSERT_TRUE(Settle());
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->outcome, c.outcome);
    EXPECT_EQ(got->code, c.code);
    EXPECT_EQ(local.trackListTitles(), std::vector<std::string>{"Track List (COM1, Compeo)"});
    ASSERT_EQ(local.trackListEntries().size(), 2u);
    EXPECT_EQ(local.trackListEntries()[1].flightNumber, 5);
    EXPECT_EQ(local.pilotWaypoints().size(), c.choice ? 1u : 0u);
  }
}

TEST_F(DispatcherTest, AnAbortEndsAQuestionNobodyAnswers) {
  std::atomic<bool> returned{false};
  std::optional<std::vector<int32_t>> answer{std::vector<int32_t>{1}};
  dispatcher->RegisterWorker(AccessType::kReadTrackLog, ProtocolType::kFlytec, [&](TransferContext& ctx) {
    answer = ctx.ChooseTracks("Track List (COM1)", {{1, "01"}});
    returned = true;
    return TransferResult::Failure();
  });
  TransferCallbacks cb;
  std::atomic<bool> asked{false};
  cb.chooseTracks = [&](std::string_view, const std::vector<TrackListEntry>&, const CancelToken& cancel)
      -> std::optional<std::vector<int32_t>> {
    // A dialog that stays open until the transfer goes away.
    asked = true;
    while (!cancel.cancelled()) std::this_thread::sleep_for(5ms);
    return std::vector<int32_t>{1};
  };
  ASSERT_EQ(dispatcher->StartTransfer(Request(AccessType::kReadTrackLog, ProtocolType::kFlytec), cb, nullptr), 0);
  // The question is queued but not yet shown: the worker waits.
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(returned.load());
  const auto start = Clock::now();
  EXPECT_EQ(dispatcher->AbortTransfer(), 0);
  EXPECT_LT(Clock::now() - start, 900ms);
  EXPECT_TRUE(returned.load());
  EXPECT_FALSE(answer.has_value());
  host.PumpFor(50ms);
  EXPECT_FALSE(asked.load());  // dropped: the transfer is gone
}

}  // namespace
}  // namespace skylode
