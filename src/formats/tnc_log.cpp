#include "formats/tnc_log.h"

#include <array>
#include <cmath>
#include <new>

#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {
namespace {

constexpr std::array<uint8_t, 256> MakeDigitTable() {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = 99;
  for (int c = '0'; c <= '9'; ++c) t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
  return t;
}
constexpr std::array<uint8_t, 256> kDigits = MakeDigitTable();

std::optional<uint32_t> Field(std::string_view field, uint32_t base) {
  if (field.empty() || field.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : field) {
    const uint32_t d = static_cast<uint32_t>(HexDigitValue(c));
    if (d >= base) return std::nullopt;
    v = v * base + d;
  }
  return v;
}

bool AllHex(std::string_view s) {
  for (char c : s)
    if (HexDigitValue(c) > 15) return false;
  return true;
}

constexpr double kCentiMinuteToSemicircles = 1988.410785185;
constexpr int32_t kMaxLatitude = 540000;   // 90 degrees in 1/100 minute
constexpr int32_t kMaxLongitude = 1080000;  // 180 degrees

int32_t ToSemicircles(int32_t value) {
  auto r = static_cast<int64_t>(RoundHalfAway(static_cast<double>(value) * kCentiMinuteToSemicircles));
  // 180 degrees east is the meridian of 180 west.
  if (r >= (int64_t{1} << 31)) r -= int64_t{1} << 32;
  return static_cast<int32_t>(r);
}

constexpr size_t kRecordsPerBlock = 40;
constexpr uint32_t kBlockSeconds = 30;

}  // namespace

int HexDigitValue(char c) { return kDigits[static_cast<uint8_t>(c)]; }
std::optional<uint32_t> HexField(std::string_view field) { return Field(field, 16); }
std::optional<uint32_t> DecimalField(std::string_view field) { return Field(field, 10); }

std::optional<int32_t> SignedHexField(std::string_view field) {
  const auto v = HexField(field);
  if (!v) return std::nullopt;
  const unsigned bits = static_cast<unsigned>(field.size()) * 4;
  if (bits >= 32) return static_cast<int32_t>(*v);
  const int64_t full = int64_t{1} << bits;
  const int64_t s = *v >= static_cast<uint64_t>(full / 2) ? static_cast<int64_t>(*v) - full : static_cast<int64_t>(*v);
  return static_cast<int32_t>(s);
}

std::optional<TncDecoder::Record> TncDecoder::ParsePosition(std::string_view line) const {
  const char variant = xcTrainer_ ? variant_ : '1';
  if (line.size() != (variant == '2' ? 34u : 30u) || !AllHex(line)) return std::nullopt;
  const auto lat = SignedHexField(line.substr(0, 6));
  const auto lon = SignedHexField(line.substr(6, 6));
  const auto h1 = SignedHexField(line.substr(12, 4));
  const auto h2 = SignedHexField(line.substr(16, 4));
  if (!lat || !lon || !h1 || !h2) return std::nullopt;
  if (std::abs(*lat) > kMaxLatitude || std::abs(*lon) > kMaxLongitude) return std::nullopt;
  Record r;
  r.valid = true;
  r.point.latitude = ToSemicircles(*lat);
  r.point.longitude = ToSemicircles(*lon);
  if (variant == '0') {
    r.point.baroHeight = *h1;
  } else if (variant == '2') {
    r.point.baroHeight = *h1;
    r.point.gpsHeight = *h2 * 10;
  } else {
    r.point.gpsHeight = *h1 * 10;
  }
  return r;
}

int TncDecoder::Flush(bool finalBlock) {
  const size_t n = block_.size();
  if (n == 0) return 0;
  const bool endAligned = !block_[0].valid;
  if (endAligned) ++errorBlocks_;
  bool seenValid = false;
  for (size_t r = 0; r < n; ++r) {
    const Record& rec = block_[r];
    if (endAligned) {
      if (!rec.valid && seenValid) return 11;
      if (finalBlock && r == 1 && rec.valid) return 10;
    }
    if (!rec.valid) continue;
    seenValid = true;
    uint32_t offset;
    if (!endAligned) {
      if (r >= kBlockSeconds) return 13;
      offset = static_cast<uint32_t>(r);
    } else {
      if (n > kBlockSeconds + r) return 14;
      offset = static_cast<uint32_t>(r + kBlockSeconds - n);
    }
    TrackPoint p = rec.point;
    p.time = dateBase_ + dayOffset_ + blockTime_ + offset;
    p.flags = points_.empty() ? kTrackPointStartsSegment : 0;
    try {
      points_.push_back(p);
    } catch (const std::bad_alloc&) {
      return 12;
    }
  }
  block_.clear();
  return 0;
}

int TncDecoder::Feed(std::string_view line) {
  errorOnBlockLine_ = false;
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  if (line.empty() || state_ == State::kDone) return 0;

  if (state_ == State::kHeader) {
    if (line.size() != 78 || line.substr(0, 3) != "@TN") return 0;
    const auto serial = HexField(line.substr(5, 4));
    const auto year = DecimalField(line.substr(15, 2));
    const auto month = DecimalField(line.substr(17, 2));
    const auto day = DecimalField(line.substr(19, 2));
    if (!serial || !year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return 0;
    if (!DecimalField(line.substr(21, 8)) || !HexField(line.substr(29, 2)) || !AllHex(line.substr(42, 28)) ||
        !AllHex(line.substr(72, 6)))
      return 0;
    if (static_cast<int>(*day) > DaysInMonth(static_cast<int>(2000 + *year), static_cast<int>(*month))) return 0;
    const auto base = CalendarToTime({static_cast<uint16_t>(2000 + *year), static_cast<uint16_t>(*month),
                                      static_cast<uint16_t>(*day), 0, 0, 0, 0});
    if (!base) return 0;
    variant_ = xcTrainer_ ? line[4] : '1';
    serial_ = *serial;
    dateBase_ = *base;
    dayOffset_ = 0;
    state_ = State::kFirstBlock;
    return 0;
  }

  std::optional<uint32_t> blockTime;
  if (line.size() == 14 && line.substr(11, 2) == "AC" && HexField(line.substr(6, 4)) &&
      DecimalField(line.substr(10, 1))) {
    const auto h = DecimalField(line.substr(0, 2)), m = DecimalField(line.substr(2, 2)),
               s = DecimalField(line.substr(4, 2));
    if (h && m && s && *h <= 23 && *m <= 59 && *s <= 59) blockTime = *h * 3600 + *m * 60 + *s;
  }

  if (state_ == State::kFirstBlock) {
    if (!blockTime) return 1;
    blockTime_ = *blockTime;
    state_ = State::kBlocks;
    return 0;
  }
  if (line == "@EOF") {
    const int e = Flush(true);
    state_ = State::kDone;
    return e;
  }
  if (blockTime) {
    if (const int e = Flush(false)) {
      errorOnBlockLine_ = true;
      return e + 10;
    }
    uint32_t gap;
    if (*blockTime < blockTime_) {
      dayOffset_ += 86400;
      gap = *blockTime + 86400 - blockTime_;
    } else {
      gap = *blockTime - blockTime_;
    }
    if (gap < kBlockSeconds) {
      errorOnBlockLine_ = true;
      return 2;
    }
    blockTime_ = *blockTime;
    return 0;
  }
  if (block_.size() >= kRecordsPerBlock) return 3;
  block_.push_back(ParsePosition(line).value_or(Record{}));
  return 0;
}

Result<TncFileTrack> ReadTncLogFile(std::string_view text) {
  TncDecoder decoder(false);
  int lineNumber = 0;
  while (!text.empty() && decoder.state() != TncDecoder::State::kDone) {
    const size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    if (const size_t cr = line.find('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
    ++lineNumber;
    const int e = decoder.Feed(line);
    if (e == 12) return Error::Content("Track log memory allocation", lineNumber);
    if (e != 0)
      return Error::Content("Error " + std::to_string(e) + (decoder.errorOnBlockLine() ? " on block line " : " on line ") +
                                std::to_string(lineNumber),
                            lineNumber);
  }
  if (decoder.state() == TncDecoder::State::kHeader) return Error::Content("Missing start record");
  if (decoder.state() != TncDecoder::State::kDone) return Error::Content("Missing end-of-file record");
  return TncFileTrack{std::move(decoder.points()), decoder.hasBaroHeight()};
}

}  // namespace skylode
