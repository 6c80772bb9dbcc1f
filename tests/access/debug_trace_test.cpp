#include "access/debug_trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace skylode {
namespace {

std::string AsText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::vector<uint8_t> Sequence(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

// Brings a trace to `n` bytes of filler.
void FillTo(DebugTrace& trace, int32_t n) {
  trace.Clear();
  std::vector<uint8_t> filler(static_cast<size_t>(n), '.');
  trace.Bytes(filler);
  ASSERT_EQ(trace.Size(), n);
}

// The tail written after the filler.
std::string Tail(const DebugTrace& trace, int32_t from) {
  const auto all = trace.Snapshot();
  return {all.begin() + from, all.end()};
}

class DebugTraceTest : public ::testing::Test {
 protected:
  std::unique_ptr<DebugTrace> trace = std::make_unique<DebugTrace>();
};

TEST_F(DebugTraceTest, BytesAndTextAreRecordedRawInOrder) {
  trace->Byte(0x11);
  trace->Text("$PBRSNP,*21\r\n");
  const uint8_t reply[] = {0x00, 0xFF, '$'};
  trace->Bytes(reply);
  EXPECT_EQ(AsText(trace->Snapshot()), std::string("\x11$PBRSNP,*21\r\n", 14) + std::string("\x00\xFF$", 3));
}

TEST_F(DebugTraceTest, TextStopsAtNul) {
  trace->Text(std::string_view("ab\0cd", 5));
  EXPECT_EQ(AsText(trace->Snapshot()), "ab");
}

TEST_F(DebugTraceTest, ClearEmptiesAndRecordingStartsOver) {
  trace->Text("old transfer");
  trace->Clear();
  EXPECT_TRUE(trace->Empty());
  EXPECT_TRUE(trace->Snapshot().empty());
  trace->Text("new");
  EXPECT_EQ(AsText(trace->Snapshot()), "new");
}

TEST_F(DebugTraceTest, HexLayout) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  const std::string row0 = " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n";
  const std::string row1 = " 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\n";
  const Case cases[] = {
      {{}, ""},
      {{0xAB}, " AB\r\n"},
      {{0x00, 0x1F, 0xA5, 0xFF}, " 00 1F A5 FF\r\n"},
      {Sequence(16), row0},
      {Sequence(17), row0 + " 10\r\n"},
      {Sequence(32), row0 + row1},
  };
  for (const auto& c : cases) {
    trace->Clear();
    trace->Hex(c.bytes);
    EXPECT_EQ(AsText(trace->Snapshot()), c.expected) << c.bytes.size() << " bytes";
  }
}

TEST_F(DebugTraceTest, HexWordIsEightUpperCaseDigits) {
  const std::pair<uint32_t, std::string> cases[] = {
      {0, "00000000"}, {0x0123ABCDu, "0123ABCD"}, {0xFFFFFFFFu, "FFFFFFFF"}, {0x80000001u, "80000001"}};
  for (const auto& [word, text] : cases) {
    trace->Clear();
    trace->HexWord(word);
    EXPECT_EQ(AsText(trace->Snapshot()), text);
  }
}

// What each operation writes when the buffer is nearly full. Nothing may ever
// be written past the last byte, and a hex entry or word is whole or absent.
TEST_F(DebugTraceTest, NearlyFullBuffer) {
  struct Case {
    const char* name;
    int32_t filled;
    void (*op)(DebugTrace&);
    std::string tail;
  };
  const Case cases[] = {
      // The word fits whenever the position is below 99,992, 99,990 included.
      {"word at 99990", 99990, [](DebugTrace& t) { t.HexWord(0xDEADBEEF); }, "DEADBEEF"},
      {"word at 99991", 99991, [](DebugTrace& t) { t.HexWord(0xDEADBEEF); }, "DEADBEEF"},
      {"word at 99992", 99992, [](DebugTrace& t) { t.HexWord(0xDEADBEEF); }, ""},
      {"byte at 99999", 99999, [](DebugTrace& t) { t.Byte('x'); }, "x"},
      {"byte when full", 100000, [](DebugTrace& t) { t.Byte('x'); }, ""},
      {"text cut at the end", 99998, [](DebugTrace& t) { t.Text("abc"); }, "ab"},
      {"bytes cut at the end", 99998, [](DebugTrace& t) { t.Bytes(Sequence(5)); }, std::string("\0\1", 2)},
      {"hex entry and line end fit", 99994, [](DebugTrace& t) { t.Hex(Sequence(1)); }, " 00\r\n"},
      {"hex entry fits, line end does not", 99996, [](DebugTrace& t) { t.Hex(Sequence(1)); }, " 00"},
      {"hex stops at the first entry that does not fit", 99994, [](DebugTrace& t) { t.Hex(Sequence(3)); },
       " 00"},
      {"hex entry does not fit", 99997, [](DebugTrace& t) { t.Hex(Sequence(1)); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FillTo(*trace, c.filled);
    c.op(*trace);
    EXPECT_EQ(Tail(*trace, c.filled), c.tail);
    EXPECT_LE(trace->Size(), DebugTrace::kCapacity);
  }
}

TEST_F(DebugTraceTest, FillsToCapacityAndDropsTheRest) {
  const auto block = Sequence(256);
  for (int i = 0; i < 500; ++i) trace->Bytes(block);  // 128,000 bytes offered
  const auto all = trace->Snapshot();
  ASSERT_EQ(all.size(), static_cast<size_t>(DebugTrace::kCapacity));
  // The start of the exchange is what is kept.
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<uint8_t>(i)) << i;
  trace->Byte(0x42);
  trace->Text("more");
  trace->Hex(block);
  trace->HexWord(1);
  EXPECT_EQ(trace->Snapshot(), all);
}

// A reply reader and a worker write at once while the window takes copies.
// Each hex call must land whole, and every copy must be a prefix of the final
// record, since nothing but appending happens meanwhile.
TEST_F(DebugTraceTest, ConcurrentWritersAndReader) {
  constexpr int kRowsPerWriter = 600;
  std::atomic<bool> done{false};
  std::vector<std::vector<uint8_t>> copies;
  std::thread reader([&] {
    // Bounded, so a slow machine does not pile up copies.
    while (!done.load() && copies.size() < 400) {
      copies.push_back(trace->Snapshot());
      std::this_thread::yield();
    }
  });
  auto writer = [&](uint8_t value) {
    const std::vector<uint8_t> row(16, value);
    for (int i = 0; i < kRowsPerWriter; ++i) trace->Hex(row);
  };
  std::thread a(writer, 0xAA), b(writer, 0x55);
  a.join();
  b.join();
  done = true;
  reader.join();

  const std::string all = AsText(trace->Snapshot());
  constexpr size_t kRowLength = 16 * 3 + 2;
  // 1,200 rows of 50 bytes would be 60,000: everything fits.
  ASSERT_EQ(all.size(), 2 * kRowsPerWriter * kRowLength);
  int rowsA = 0, rowsB = 0;
  for (size_t pos = 0; pos < all.size(); pos += kRowLength) {
    const std::string row = all.substr(pos, kRowLength);
    std::string expectA, expectB;
    for (int i = 0; i < 16; ++i) expectA += " AA", expectB += " 55";
    if (row == expectA + "\r\n") ++rowsA;
    else if (row == expectB + "\r\n") ++rowsB;
    else FAIL() << "interleaved row at " << pos << ": " << row;
  }
  EXPECT_EQ(rowsA, kRowsPerWriter);
  EXPECT_EQ(rowsB, kRowsPerWriter);
  for (const auto& copy : copies) {
    ASSERT_LE(copy.size(), all.size());
    ASSERT_EQ(AsText(copy), all.substr(0, copy.size()));
  }
}

TEST(FormatHexDump, RowsWithOffsetHexAndPrintableText) {
  EXPECT_EQ(FormatHexDump({}), "");

  const std::string text = "$PBR\r\n";
  const std::vector<uint8_t> shortRow(text.begin(), text.end());
  EXPECT_EQ(FormatHexDump(shortRow),
            "00000000  24 50 42 52 0D 0A                                 |$PBR..|\n");

  std::vector<uint8_t> bytes = Sequence(17);
  bytes[1] = 'A';
  bytes[16] = 0x7F;
  EXPECT_EQ(FormatHexDump(bytes),
            "00000000  00 41 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  |.A..............|\n"
            "00000010  7F                                                |.|\n");
}

}  // namespace
}  // namespace skylode
