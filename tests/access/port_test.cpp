#include "access/port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <optional>
#include <thread>

#include "access/port_names.h"

namespace skylode {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Hands out scripted chunks, one per read; an empty chunk is a read that
// finds nothing (and waits a little, as a real line would).
class ScriptedPort final : public Port {
 public:
  explicit ScriptedPort(std::vector<std::string> chunks) {
    for (auto& c : chunks) chunks_.push_back(B(c));
  }
  IoResult Write(std::span<const uint8_t> bytes, const CancelToken&) override {
    written.insert(written.end(), bytes.begin(), bytes.end());
    return {IoStatus::kOk, bytes.size()};
  }
  bool SetSpeed(uint32_t, bool) override { return true; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  const std::string& Name() const override { return name_; }
  uint32_t Speed() const override { return 57600; }
  std::string LastError() const override { return {}; }

  Bytes written;
  int reads = 0;

 protected:
  IoResult ReadSome(std::span<uint8_t> buffer) override {
    ++reads;
    if (chunks_.empty()) {
      std::this_thread::sleep_for(2ms);
      return {IoStatus::kOk, 0};
    }
    Bytes& c = chunks_.front();
    const size_t n = std::min(buffer.size(), c.size());
    std::copy_n(c.begin(), n, buffer.begin());
    c.erase(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(n));
    if (c.empty()) chunks_.pop_front();
    if (n == 0) std::this_thread::sleep_for(2ms);
    return {IoStatus::kOk, n};
  }
  bool PurgeDevice() override {
    chunks_.clear();
    return true;
  }

 private:
  std::deque<Bytes> chunks_;
  std::string name_ = "scripted";
};

TEST(PortHelpers, ReadUntilByteKeepsWhatFollowsForTheNextRead) {
  ScriptedPort port({"$PBR", "SNP*21\r\n$PB", "", "RTL\r\n"});
  Bytes line;
  ASSERT_TRUE(ReadUntilByte(port, line, '\n', 1s, {}).ok());
  EXPECT_EQ(S(line), "$PBRSNP*21\r\n");
  line.clear();
  ASSERT_TRUE(ReadUntilByte(port, line, '\n', 1s, {}).ok());
  EXPECT_EQ(S(line), "$PBRTL\r\n");
}

TEST(PortHelpers, ExpectBytesFindsAMatchAcrossReadsAndFalseStarts) {
  struct Case {
    std::vector<std::string> chunks;
    std::string expected;
    IoStatus status;
    std::string rest;
  };
  const Case cases[] = {
      {{"xxaa", "ab", "cd"}, "aab", IoStatus::kOk, "cd"},
      {{"garbage>", "\r\n> ok"}, "\r\n> ", IoStatus::kOk, "ok"},
      {{"abab", "ac"}, "abac", IoStatus::kOk, ""},
      {{"nothing useful"}, "Done", IoStatus::kTimeout, ""},
  };
  for (const auto& c : cases) {
    ScriptedPort port(c.chunks);
    EXPECT_EQ(ExpectBytes(port, c.expected, 100ms, {}).status, c.status) << c.expected;
    Bytes rest(16);
    const auto r = port.ReadAvailable(rest);
    rest.resize(r.count);
    EXPECT_EQ(S(rest), c.rest) << c.expected;
  }
}

TEST(PortHelpers, ReadExactlyStopsAtItsDeadlineWithWhatCame) {
  ScriptedPort port({"ab", "c"});
  Bytes out(5);
  const auto start = std::chrono::steady_clock::now();
  const IoResult r = ReadExactly(port, out, 100ms, {});
  EXPECT_EQ(r.status, IoStatus::kTimeout);
  EXPECT_EQ(r.count, 3u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

  ScriptedPort exact({"abc", "defg"});
  Bytes four(4);
  ASSERT_TRUE(ReadExactly(exact, four, 1s, {}).ok());
  EXPECT_EQ(S(four), "abcd");
}

TEST(PortHelpers, ReadUntilSilenceFeedsEveryByteAndEndsOnSilenceOrSink) {
  ScriptedPort port({"one", "", "two"});
  std::string got;
  const IoResult r = ReadUntilSilence(port, [&](uint8_t b) { got.push_back(static_cast<char>(b)); return true; },
                                      60ms, {});
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(got, "onetwo");
  EXPECT_EQ(r.count, 6u);

  // A sink that has seen enough stops the read; the rest stays unread.
  ScriptedPort early({"12345"});
  got.clear();
  ASSERT_TRUE(ReadUntilSilence(early, [&](uint8_t b) { got.push_back(static_cast<char>(b)); return b != '3'; },
                               60ms, {})
                  .ok());
  EXPECT_EQ(got, "123");
  Bytes rest(8);
  rest.resize(early.ReadAvailable(rest).count);
  EXPECT_EQ(S(rest), "45");
}

TEST(PortHelpers, AnAbortEndsEveryWaitAsCancelled) {
  std::atomic<bool> flag{true};
  const CancelToken cancel(&flag);
  ScriptedPort port({"abc"});
  Bytes out(8);
  EXPECT_EQ(ReadExactly(port, out, 1s, cancel).status, IoStatus::kCancelled);
  Bytes line;
  EXPECT_EQ(ReadUntilByte(port, line, '\n', 1s, cancel).status, IoStatus::kCancelled);
  EXPECT_EQ(ExpectBytes(port, "x", 1s, cancel).status, IoStatus::kCancelled);
  EXPECT_EQ(ReadUntilSilence(port, [](uint8_t) { return true; }, 1s, cancel).status, IoStatus::kCancelled);
}

TEST(PortHelpers, ExpectReplySendsTheRequestFirst) {
  ScriptedPort port({"V1\r", "\r\n> "});
  EXPECT_TRUE(ExpectReply(port, "V1\r", "> ", 200ms, {}).ok());
  EXPECT_EQ(S(port.written), "V1\r");
}

TEST(PortHelpers, PurgeDropsBytesPutBack) {
  ScriptedPort port({});
  const Bytes back = B("left");
  port.Unread(back);
  ASSERT_TRUE(port.Purge());
  Bytes out(8);
  EXPECT_EQ(port.ReadAvailable(out).count, 0u);
}

// --- Port names -----------------------------------------------------------------

TEST(PortNames, ComNamesAndTheirDevices) {
  struct Case {
    const char* name;
    std::optional<int> number;
    const char* device;
  };
  const Case cases[] = {
      {"COM1", 1, "/dev/ttyS0"},
      {"COM9", 9, "/dev/ttyS8"},
      {"\\\\.\\COM10", 10, "/dev/ttyS9"},
      {"com3", 3, "/dev/ttyS2"},
      {"COM0", std::nullopt, "COM0"},
      {"COM", std::nullopt, "COM"},
      {"COM4x", std::nullopt, "COM4x"},
      {"/dev/ttyUSB0", std::nullopt, "/dev/ttyUSB0"},
      {"sim:flytec", std::nullopt, "sim:flytec"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseComName(c.name), c.number) << c.name;
    EXPECT_EQ(ResolvePortDevice(c.name), c.device) << c.name;
  }
  EXPECT_EQ(FormatComName(9), "COM9");
  EXPECT_EQ(FormatComName(10), "\\\\.\\COM10");
  EXPECT_EQ(FormatComName(20), "\\\\.\\COM20");
}

TEST(PortNames, VirtualFamilies) {
  EXPECT_EQ(VirtualFamily("sim:flytec"), "flytec");
  EXPECT_EQ(VirtualFamily("sim:"), std::nullopt);
  EXPECT_EQ(VirtualFamily("COM1"), std::nullopt);
  EXPECT_EQ(VirtualFamily("/dev/sim:x"), std::nullopt);
}

TEST(PortNames, ListedPortsExist) {
  for (const auto& path : ListSerialPorts()) {
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
  }
}

}  // namespace
}  // namespace skylode
