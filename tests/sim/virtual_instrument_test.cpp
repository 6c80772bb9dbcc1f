#include "sim/virtual_instrument.h"

#include <gtest/gtest.h>

#include <thread>

#include "access/serial_port.h"
#include "access/virtual_line.h"
#include "sim/echo_instrument.h"
#include "sim/register.h"

namespace skylode::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::unique_ptr<VirtualInstrument> Start(std::unique_ptr<InstrumentBehaviour> b, InstrumentOptions o = {}) {
  std::string error;
  auto instrument = StartInstrument(std::move(b), std::move(o), error);
  EXPECT_TRUE(instrument) << error;
  return instrument;
}

std::unique_ptr<Port> Open(const VirtualInstrument& instrument, uint32_t baud = 115200) {
  auto r = SerialPort::Open(instrument.SlavePath(), "sim test", baud, false);
  EXPECT_TRUE(r.port) << r.error;
  return std::move(r.port);
}

// Everything the line brings until it falls silent or dies.
struct Heard {
  std::string bytes;
  IoStatus end = IoStatus::kOk;
};

Heard Listen(Port& port, std::chrono::milliseconds silence = 300ms) {
  Heard h;
  const IoResult r = ReadUntilSilence(
      port, [&](uint8_t b) { h.bytes.push_back(static_cast<char>(b)); return true; }, silence, {}, 5s);
  h.end = r.status;
  return h;
}

TEST(VirtualInstrument, FaultsHitTheByteAtTheirOffset) {
  const std::string sent = "0123456789";
  struct Case {
    const char* what;
    FaultPlan faults;
    std::string heard;
    IoStatus end;
  };
  auto plan = [](auto set) {
    FaultPlan f;
    set(f);
    return f;
  };
  const Case cases[] = {
      {"none", {}, "0123456789", IoStatus::kOk},
      {"silence", plan([](FaultPlan& f) { f.silenceFrom = 4; }), "0123", IoStatus::kOk},
      {"corrupt", plan([](FaultPlan& f) { f.corruptAt = 2; f.corruptMask = 0x40; }), "01r3456789", IoStatus::kOk},
      {"drop first", plan([](FaultPlan& f) { f.dropAt = 0; }), "123456789", IoStatus::kOk},
      {"double last", plan([](FaultPlan& f) { f.doubleAt = 9; }), "01234567899", IoStatus::kOk},
      {"hang up", plan([](FaultPlan& f) { f.hangUpAt = 5; }), "01234", IoStatus::kHangUp},
      {"hang up at once", plan([](FaultPlan& f) { f.hangUpAt = 0; }), "", IoStatus::kHangUp},
  };
  for (const auto& c : cases) {
    InstrumentOptions options;
    options.faults = c.faults;
    auto instrument = Start(std::make_unique<EchoInstrument>(), options);
    auto port = Open(*instrument);
    ASSERT_TRUE(port);
    // Sent in two pieces: offsets count across everything the instrument sends.
    ASSERT_TRUE(port->WriteText(sent.substr(0, 3), {}).ok());
    std::this_thread::sleep_for(20ms);
    port->WriteText(sent.substr(3), {});
    const Heard h = Listen(*port);
    EXPECT_EQ(h.bytes, c.heard) << c.what;
    EXPECT_EQ(h.end, c.end) << c.what;
  }
}

TEST(VirtualInstrument, PacingFollowsTheLineSpeed) {
  InstrumentOptions options;
  options.pace = true;
  auto instrument = Start(std::make_unique<EchoInstrument>(), options);
  auto port = Open(*instrument, 9600);
  ASSERT_TRUE(port);
  const std::string block(192, 'p');  // 200 ms at 9600 baud, ten bits a byte
  const auto start = Clock::now();
  ASSERT_TRUE(port->WriteText(block, {}).ok());
  std::vector<uint8_t> back(block.size());
  ASSERT_TRUE(ReadExactly(*port, back, 5s, {}).ok());
  EXPECT_GE(Clock::now() - start, 180ms);
  EXPECT_EQ(std::string(back.begin(), back.end()), block);
}

// Talks on its own every tick, as instruments that stream sentences do.
class Chatty final : public InstrumentBehaviour {
 public:
  void OnReceive(std::span<const uint8_t>, InstrumentLink&) override {}
  void OnTick(InstrumentLink& link) override {
    if (ticks_++ < 3) link.Send("$GPRMC\r\n");
  }

 private:
  int ticks_ = 0;
};

TEST(VirtualInstrument, TicksLetAnInstrumentSpeakFirst) {
  auto instrument = Start(std::make_unique<Chatty>());
  auto port = Open(*instrument);
  ASSERT_TRUE(port);
  EXPECT_EQ(Listen(*port).bytes, "$GPRMC\r\n$GPRMC\r\n$GPRMC\r\n");
}

TEST(VirtualInstrument, StopsCleanlyWhetherOrNotTheLineIsOpen) {
  {
    auto unused = Start(std::make_unique<EchoInstrument>());
    ASSERT_TRUE(unused);
    EXPECT_FALSE(unused->SlavePath().empty());
  }
  auto instrument = Start(std::make_unique<EchoInstrument>());
  auto port = Open(*instrument);
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->WriteText("abc", {}).ok());
  EXPECT_EQ(Listen(*port, 100ms).bytes, "abc");
  auto& echo = static_cast<EchoInstrument&>(instrument->behaviour());
  instrument->Stop();
  EXPECT_EQ(instrument->BytesReceived(), 3u);
  EXPECT_EQ(instrument->BytesSent(), 3u);
  const auto got = echo.Received();
  EXPECT_EQ(std::string(got.begin(), got.end()), "abc");
  instrument->Stop();  // twice is harmless
  // The program sees its line die.
  EXPECT_EQ(Listen(*port, 100ms).end, IoStatus::kHangUp);
}

TEST(VirtualInstrument, TheEchoLineIsRegisteredForSimPorts) {
  RegisterVirtualInstruments();
  const auto families = VirtualInstrumentFamilies();
  for (const char* family : {"echo", "flytec", "garmin"}) {
    EXPECT_NE(std::find(families.begin(), families.end(), family), families.end()) << family;
  }
  std::string error;
  auto line = StartVirtualInstrument("echo", error);
  ASSERT_TRUE(line) << error;
  auto r = SerialPort::Open(line->SlavePath(), "sim:echo", 57600, false);
  ASSERT_TRUE(r.port) << r.error;
  ASSERT_TRUE(r.port->WriteText("hi", {}).ok());
  EXPECT_EQ(Listen(*r.port, 100ms).bytes, "hi");
  EXPECT_FALSE(StartVirtualInstrument("no-such-family", error));
  EXPECT_NE(error.find("no-such-family"), std::string::npos);
}

}  // namespace
}  // namespace skylode::sim
