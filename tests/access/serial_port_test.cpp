// The serial code against a real pseudo-terminal with an instrument behind it.
#include "access/serial_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "access/debug_trace.h"
#include "access/port_names.h"
#include "access/transfer_context.h"
#include "access/transfer_test_support.h"
#include "access/virtual_line.h"
#include "sim/echo_instrument.h"
#include "sim/virtual_instrument.h"

namespace skylode {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using sim::InstrumentLink;
using sim::InstrumentOptions;
using sim::VirtualInstrument;

// Answers every byte with the speed and flow control the program set.
class LineProbe final : public sim::InstrumentBehaviour {
 public:
  void OnReceive(std::span<const uint8_t>, InstrumentLink& link) override {
    link.Send(std::to_string(link.LineSpeed()) + (link.SoftwareFlow() ? " xon\n" : " raw\n"));
  }
};

std::unique_ptr<VirtualInstrument> Start(std::unique_ptr<sim::InstrumentBehaviour> b, InstrumentOptions o = {}) {
  std::string error;
  auto instrument = sim::StartInstrument(std::move(b), o, error);
  EXPECT_TRUE(instrument) << error;
  return instrument;
}

std::unique_ptr<Port> OpenLine(const VirtualInstrument& instrument, uint32_t baud = 57600, bool flow = false) {
  auto r = SerialPort::Open(instrument.SlavePath(), "test line", baud, flow);
  EXPECT_TRUE(r.port) << r.error;
  return std::move(r.port);
}

std::string ReadLine(Port& port) {
  Bytes line;
  EXPECT_TRUE(ReadUntilByte(port, line, '\n', 2s, {}).ok());
  return std::string(line.begin(), line.end());
}

TEST(SerialPort, EchoRoundTripAndReadSlices) {
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  auto port = OpenLine(*instrument);
  ASSERT_TRUE(port);
  EXPECT_EQ(port->Name(), "test line");
  ASSERT_TRUE(port->WriteText("$PBRSNP,*21\r\n", {}).ok());
  Bytes back(13);
  ASSERT_TRUE(ReadExactly(*port, back, 2s, {}).ok());
  EXPECT_EQ(std::string(back.begin(), back.end()), "$PBRSNP,*21\r\n");

  // With nothing on the line each read gives up within its slice.
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    Bytes buf(64);
    const IoResult r = port->ReadAvailable(buf);
    const auto took = Clock::now() - start;
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.count, 0u);
    EXPECT_GE(took, 40ms);
    EXPECT_LT(took, 250ms);
  }
}

TEST(SerialPort, EveryProtocolSpeedCanBeSetAndOthersAreRefused) {
  auto instrument = Start(std::make_unique<LineProbe>());
  auto port = OpenLine(*instrument, 9600);
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->WriteText("?", {}).ok());
  EXPECT_EQ(ReadLine(*port), "9600 raw\n");
  for (const uint32_t baud : kSupportedSpeeds) {
    const bool flow = baud == 57600;
    ASSERT_TRUE(port->SetSpeed(baud, flow)) << baud << port->LastError();
    EXPECT_EQ(port->Speed(), baud);
    ASSERT_TRUE(port->WriteText("?", {}).ok());
    EXPECT_EQ(ReadLine(*port), std::to_string(baud) + (flow ? " xon\n" : " raw\n"));
  }
  EXPECT_FALSE(port->SetSpeed(12345, false));
  EXPECT_FALSE(port->LastError().empty());
  EXPECT_EQ(port->Speed(), 230400u);
  EXPECT_FALSE(SerialPort::Open(instrument->SlavePath(), "x", 300, false).port);
}

TEST(SerialPort, AWriteThatCannotFinishFailsWithItsCount) {
  InstrumentOptions options;
  options.stallInput = true;
  auto instrument = Start(std::make_unique<sim::EchoInstrument>(), options);
  auto r = SerialPort::Open(instrument->SlavePath(), "stalled", 115200, false);
  ASSERT_TRUE(r.port) << r.error;
  auto& port = static_cast<SerialPort&>(*r.port);
  port.SetWriteTiming(1us, 100ms);
  const Bytes big(256 << 10, 'x');
  const auto start = Clock::now();
  const IoResult w = port.Write(big, {});
  EXPECT_EQ(w.status, IoStatus::kTimeout);
  EXPECT_LT(w.count, big.size());
  EXPECT_LT(Clock::now() - start, 3s);
  EXPECT_FALSE(port.LastError().empty());

  // An abort ends a write that waits for room.
  std::atomic<bool> flag{true};
  EXPECT_EQ(port.Write(big, CancelToken(&flag)).status, IoStatus::kCancelled);
}

TEST(SerialPort, WriteBoundFollowsTheSpeed) {
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  auto r = SerialPort::Open(instrument->SlavePath(), "x", 4800, false);
  ASSERT_TRUE(r.port);
  auto& port = static_cast<SerialPort&>(*r.port);
  // 3 ms a byte at 4800 baud, 2 ms above, and a fixed margin for adapters.
  EXPECT_EQ(port.WriteBound(100), 300ms + 100ms);
  ASSERT_TRUE(port.SetSpeed(9600, false));
  EXPECT_EQ(port.WriteBound(100), 200ms + 100ms);
  EXPECT_GE(port.WriteBound(0), 50ms);
}

TEST(SerialPort, AHangUpIsReportedToReadsAndWrites) {
  InstrumentOptions options;
  options.faults.hangUpAt = 3;
  auto instrument = Start(std::make_unique<sim::EchoInstrument>(), options);
  auto port = OpenLine(*instrument);
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->WriteText("abcdef", {}).ok());
  Bytes got;
  IoResult r;
  const auto deadline = Clock::now() + 2s;
  do {
    Bytes buf(16);
    r = port->ReadAvailable(buf);
    got.insert(got.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(r.count));
  } while (r.ok() && Clock::now() < deadline);
  EXPECT_EQ(r.status, IoStatus::kHangUp);
  EXPECT_EQ(std::string(got.begin(), got.end()), "abc");
  EXPECT_TRUE(instrument->HungUp());
  EXPECT_FALSE(port->WriteText("more", {}).ok());
}

TEST(SerialPort, ALineIsOpenedOnlyOnce) {
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  auto first = OpenLine(*instrument);
  ASSERT_TRUE(first);
  auto second = SerialPort::Open(instrument->SlavePath(), "again", 57600, false);
  EXPECT_FALSE(second.port);
  EXPECT_EQ(second.failure, OpenFailure::kBusy);
  ASSERT_TRUE(second.holder.has_value());
  EXPECT_EQ(second.holder->pid, ::getpid());
  first->Close();
  EXPECT_FALSE(first->IsOpen());
  EXPECT_TRUE(SerialPort::Open(instrument->SlavePath(), "again", 57600, false).port);
}

TEST(SerialPort, EveryCloseClearsTheExclusiveFlag) {
  // Root passes the flag by; everyone else finds the line closed to them for
  // as long as it stays set, so it is read back directly.
  auto exclusive = [](const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == EBUSY ? 1 : -1;
    int flag = -1;
    if (::ioctl(fd, TIOCGEXCL, &flag) != 0) flag = -1;
    ::close(fd);
    return flag;
  };
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  const std::string path = instrument->SlavePath();
  {
    auto port = OpenLine(*instrument);
    ASSERT_TRUE(port);
    EXPECT_EQ(exclusive(path), 1);
    port->Close();  // closed on purpose
    EXPECT_EQ(exclusive(path), 0);
  }
  {
    auto port = OpenLine(*instrument);
    ASSERT_TRUE(port);
  }  // closed by its end
  EXPECT_EQ(exclusive(path), 0);
  // A line that opened but refused its settings is closed on the way out.
  EXPECT_FALSE(SerialPort::Open(path, "odd speed", 12345, false).port);
  EXPECT_EQ(exclusive(path), 0);
}

// --- Opening through the transfer context ----------------------------------------

TransferRequest RequestFor(std::string port, int32_t attempts) {
  TransferRequest r;
  r.access = AccessType::kReadTrackLog;
  r.protocol = ProtocolType::kFlytec;
  r.portName = std::move(port);
  r.settings.connectAttempts = attempts;
  return r;
}

TEST(OpenPort, ABusyPortSaysWhoHasIt) {
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  auto first = OpenLine(*instrument);
  ASSERT_TRUE(first);
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  testing::RecordingCallbacks calls;
  TransferContext ctx(RequestFor(instrument->SlavePath(), 1), calls.Make());
  EXPECT_FALSE(ctx.OpenPort(57600, false));
  ASSERT_EQ(calls.messages().size(), 1u);
  EXPECT_EQ(calls.messages()[0].text,
            "Serial port in use by " + self + " (process " + std::to_string(::getpid()) + ")");
  EXPECT_EQ(PortInUseText(std::nullopt), "Serial port in use by another program");
}

TEST(OpenPort, AnAbsentPortIsTriedNTimesThenReported) {
  testing::RecordingCallbacks calls;
  TransferContext ctx(RequestFor("/dev/skylode-no-such-port", 2), calls.Make());
  const auto start = Clock::now();
  EXPECT_FALSE(ctx.OpenPort(57600, true));
  EXPECT_GE(Clock::now() - start, 1900ms);  // one second apart
  EXPECT_EQ(calls.statuses(), (std::vector<std::string>{"Connecting to GPS (2)", "Connecting to GPS (1)"}));
  ASSERT_EQ(calls.messages().size(), 1u);
  EXPECT_EQ(calls.messages()[0].caption, "Connecting to GPS on /dev/skylode-no-such-port");
  EXPECT_EQ(calls.messages()[0].text, "Could not open serial port (sure it's the right one ?)");
  EXPECT_FALSE(ctx.hasPort());
}

TEST(OpenPort, ADeviceThatIsNoSerialLineIsNotRetried) {
  // A plain file opens but takes no line settings.
  const std::string path = ::testing::TempDir() + "skylode-not-a-line-" + std::to_string(::getpid());
  { std::ofstream(path) << "x"; }
  testing::RecordingCallbacks calls;
  TransferContext ctx(RequestFor(path, 30), calls.Make());
  const auto start = Clock::now();
  EXPECT_FALSE(ctx.OpenPort(9600, false));
  EXPECT_LT(Clock::now() - start, 900ms);
  EXPECT_TRUE(calls.statuses().empty());
  ASSERT_EQ(calls.messages().size(), 1u);
  EXPECT_EQ(calls.messages()[0].caption, "Connecting to GPS on " + path);
  EXPECT_EQ(calls.messages()[0].text, "Error while initialising port");
  std::filesystem::remove(path);
}

TEST(OpenPort, AnAbortEndsTheRetries) {
  testing::RecordingCallbacks calls;
  auto abort = std::make_shared<AbortSignal>();
  TransferContext ctx(RequestFor("/dev/skylode-no-such-port", 30), calls.Make(), abort);
  std::thread aborter([&] {
    while (calls.statuses().empty()) std::this_thread::sleep_for(5ms);
    abort->Request();
  });
  const auto start = Clock::now();
  EXPECT_FALSE(ctx.OpenPort(57600, false));
  aborter.join();
  EXPECT_LT(Clock::now() - start, 900ms);
  EXPECT_EQ(calls.statuses(), (std::vector<std::string>{"Connecting to GPS (30)", "Transfer aborted"}));
  EXPECT_TRUE(calls.messages().empty());
}

TEST(OpenPort, RetryCounts) {
  struct Case {
    int32_t setting, attempts, half;
  };
  // The product-data retries are half the port retries, but never none.
  const Case cases[] = {{0, 30, 15}, {-5, 30, 15}, {1, 1, 1}, {2, 2, 1}, {3, 3, 1}, {7, 7, 3}, {86400, 86400, 43200}};
  for (const auto& c : cases) {
    TransferContext ctx(RequestFor("COM1", c.setting), {});
    EXPECT_EQ(ctx.ConnectAttempts(), c.attempts) << c.setting;
    EXPECT_EQ(ctx.HalfConnectAttempts(), c.half) << c.setting;
  }
}

TEST(OpenPort, VirtualPortsRunTheirInstrumentWhileOpenAndTraceEveryByte) {
  std::atomic<int> running{0};
  // Counts live instruments so the test sees the one behind the port stop.
  struct Counted final : VirtualLine {
    std::unique_ptr<VirtualInstrument> instrument;
    std::atomic<int>* running;
    ~Counted() override { --*running; }
    std::string SlavePath() const override { return instrument->SlavePath(); }
  };
  RegisterVirtualInstrument("loop-test", [&](std::string& error) -> std::unique_ptr<VirtualLine> {
    auto line = std::make_unique<Counted>();
    line->instrument = sim::StartInstrument(std::make_unique<sim::EchoInstrument>(), {}, error);
    if (!line->instrument) return nullptr;
    line->running = &running;
    ++running;
    return line;
  });

  testing::RecordingCallbacks calls;
  auto trace = std::make_shared<DebugTrace>();
  {
    TransferContext ctx(RequestFor("sim:loop-test", 2), calls.Make(), nullptr, trace);
    ASSERT_TRUE(ctx.OpenPort(57600, true));
    EXPECT_EQ(running.load(), 1);
    EXPECT_EQ(ctx.port().Name(), "sim:loop-test");
    ASSERT_TRUE(ctx.port().WriteText("PING\n", ctx.cancel()).ok());
    Bytes line;
    ASSERT_TRUE(ReadUntilByte(ctx.port(), line, '\n', 2s, ctx.cancel()).ok());
    EXPECT_EQ(std::string(line.begin(), line.end()), "PING\n");
    ASSERT_TRUE(ctx.SetPortSpeed(9600));
    EXPECT_EQ(ctx.port().Speed(), 9600u);
  }
  EXPECT_EQ(running.load(), 0);
  const auto recorded = trace->Snapshot();
  EXPECT_EQ(std::string(recorded.begin(), recorded.end()), "PING\nPING\n");
  EXPECT_TRUE(calls.messages().empty());

  // A family nobody registered is an absent port.
  UnregisterVirtualInstrument("loop-test");
  TransferContext missing(RequestFor("sim:loop-test", 1), calls.Make());
  EXPECT_FALSE(missing.OpenPort(57600, false));
  ASSERT_EQ(calls.messages().size(), 1u);
  EXPECT_EQ(calls.messages()[0].text, "Could not open serial port (sure it's the right one ?)");
}

TEST(OpenPort, ALongDevicePathIsUsedWhole) {
  // A by-id link is easily longer than the 80 characters a port name once
  // had room for; cutting it would open some other device or none.
  auto instrument = Start(std::make_unique<sim::EchoInstrument>());
  const std::string dir = ::testing::TempDir() + "skylode-long-port-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string link = dir + "/usb-Flight_Instrument_Serial_Adapter_0123456789ABCDEF-if00-port0-with-a-long-tail";
  ASSERT_GT(link.size(), kPortNameMax);
  std::filesystem::remove(link);
  std::filesystem::create_symlink(instrument->SlavePath(), link);
  testing::RecordingCallbacks calls;
  {
    TransferContext ctx(RequestFor(link, 1), calls.Make());
    ASSERT_TRUE(ctx.OpenPort(57600, false));
    EXPECT_EQ(ctx.port().Name(), link);
    ASSERT_TRUE(ctx.port().WriteText("x", ctx.cancel()).ok());
    std::vector<uint8_t> back(1);
    EXPECT_TRUE(ReadExactly(ctx.port(), back, 2s, ctx.cancel()).ok());
  }
  EXPECT_TRUE(calls.messages().empty());
  std::filesystem::remove_all(dir);
}

TEST(TransferContext, PauseWakesOnAbort) {
  auto abort = std::make_shared<AbortSignal>();
  TransferContext ctx(RequestFor("COM1", 0), {}, abort);
  EXPECT_TRUE(ctx.Pause(20));
  std::thread aborter([&] {
    std::this_thread::sleep_for(50ms);
    ctx.RequestAbort();
  });
  const auto start = Clock::now();
  EXPECT_FALSE(ctx.Pause(5000));
  aborter.join();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_TRUE(ctx.aborted());
  EXPECT_FALSE(ctx.Pause(10));
}

}  // namespace
}  // namespace skylode
