// Feeds arbitrary bytes to the sentence checker, the byte-driven reader, the
// line collector and the decimal readers, and checks what they promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "access/sentence.h"

namespace {

using namespace skylode;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Within(std::string_view inner, std::string_view outer) {
  return inner.data() >= outer.data() && inner.data() + inner.size() <= outer.data() + outer.size();
}

void CheckSplit(std::string_view text, int maxFields) {
  std::vector<std::string_view> fields;
  const int n = CheckAndSplitSentence(text, fields, maxFields);
  if (n < 0) {
    Require(n >= -5 && fields.empty());
    return;
  }
  Require(n == static_cast<int>(fields.size()) && n <= maxFields);
  if (n == 0) return;
  Require(fields[0].size() >= 1 && fields[0][0] == '$');
  std::string joined;
  for (size_t i = 0; i < fields.size(); ++i) {
    Require(Within(fields[i], text));
    Require(fields[i].find(',') == std::string_view::npos);
    Require(fields[i].find('*') == std::string_view::npos);
    if (i > 0) joined += ',';
    joined += fields[i];
  }
  // With room for every field the fields put back together are the body.
  const size_t star = text.find('*');
  if (static_cast<int>(fields.size()) < maxFields) Require(text.substr(0, star) == joined);
}

// A simple reference for the decimal readers: digits between blanks, one
// sign for the signed reader, the value within 32 bits.
std::optional<int32_t> Reference(std::string_view f, bool allowSign) {
  size_t i = 0;
  while (i < f.size() && f[i] == ' ') ++i;
  bool negative = false;
  if (allowSign && i < f.size() && (f[i] == '+' || f[i] == '-')) negative = f[i++] == '-';
  while (i < f.size() && f[i] == ' ') ++i;
  std::string digits;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') digits += f[i++];
  while (i < f.size() && f[i] == ' ') ++i;
  if (i != f.size()) return std::nullopt;
  const size_t nonZero = digits.find_first_not_of('0');
  if (nonZero != std::string::npos && digits.size() - nonZero > 10) return std::nullopt;
  const long long v = digits.empty() ? 0 : std::stoll(digits);
  const long long s = negative ? -v : v;
  if (s < INT32_MIN || s > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int maxFields = data[0] % 24;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  CheckSplit(text, maxFields);

  SentenceReader reader;
  SentenceLineCollector collector;
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    const int r = reader.Feed(byte);
    Require(r == 1 || (r <= 0 && r >= -6));
    if (r == 0) {
      // What the reader accepts, the whole-line checker accepts too.
      const std::string_view got = reader.Text();
      Require(!got.empty() && got[0] == '$' && got.size() < SentenceReader::kMaxStored);
      std::string line(got);
      Require(AppendChecksum(line));
      line.resize(line.size() - 2);
      std::vector<std::string_view> fields;
      Require(CheckAndSplitSentence(line, fields, 100) >= 1 || line.find('\0') != std::string::npos);
    }
    if (collector.Feed(byte)) {
      Require(collector.Line().size() <= SentenceLineCollector::kMaxLine);
      CheckSplit(collector.Line(), maxFields);
    }
  }

  if (text.size() <= 40) {
    Require(ReadDecimal(text) == Reference(text, false));
    Require(ReadSignedDecimal(text) == Reference(text, true));
  }
  return 0;
}
