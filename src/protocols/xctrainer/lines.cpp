#include "protocols/xctrainer/lines.h"

#include <cmath>

#include "records/numeric.h"

namespace skylode::xctrainer {
namespace {

std::optional<int32_t> ToSemicircles(int32_t value, double perDegree, double limitDegrees,
                                     double semicirclesPerUnit) {
  if (std::fabs(static_cast<double>(value)) > limitDegrees * perDegree) return std::nullopt;
  auto r = static_cast<int64_t>(RoundHalfAway(static_cast<double>(value) * semicirclesPerUnit));
  if (r >= (int64_t{1} << 31)) r -= int64_t{1} << 32;
  if (r < -(int64_t{1} << 31)) r = -(int64_t{1} << 31);
  return static_cast<int32_t>(r);
}

}  // namespace

ChecksumCheck CheckLineChecksum(std::string_view covered, std::string_view digits) {
  const auto want = HexField(digits);
  if (!want || digits.size() != 2) return ChecksumCheck::kBadFormat;
  uint8_t x = 0;
  for (char c : covered) x ^= static_cast<uint8_t>(c);
  return x == *want ? ChecksumCheck::kOk : ChecksumCheck::kMismatch;
}

LineAssembler::Feed LineAssembler::Add(uint8_t byte) {
  if (done_) {
    text_.clear();
    crSeen_ = false;
    done_ = false;
  }
  if (byte == '\n') {
    done_ = true;
    return Feed::kComplete;
  }
  if (byte == '\r') {
    crSeen_ = true;
    return Feed::kMore;
  }
  if (crSeen_) return Feed::kMore;
  text_.push_back(static_cast<char>(byte));
  if (text_.size() >= kMaxLineLength) {
    done_ = true;
    return Feed::kTooLong;
  }
  return Feed::kMore;
}

std::optional<int32_t> UnitsToLatitude(int32_t value, double perDegree, double semicirclesPerUnit) {
  return ToSemicircles(value, perDegree, 90.0, semicirclesPerUnit);
}

std::optional<int32_t> UnitsToLongitude(int32_t value, double perDegree, double semicirclesPerUnit) {
  return ToSemicircles(value, perDegree, 180.0, semicirclesPerUnit);
}

int32_t CountRemainingTime(int64_t elapsedMs, int64_t expected, int64_t received) {
  constexpr int64_t kMax = 5999;
  if (received <= 0) return static_cast<int32_t>(kMax);
  const int64_t left = expected > received ? expected - received : 0;
  if (elapsedMs < 0) elapsedMs = 0;
  // elapsed x left fits 64 bits for any count the 16-bit header field gives
  // and any elapsed time below 2^47 ms.
  const int64_t estimate = elapsedMs * left / received / 1000;
  if (estimate > kMax) return static_cast<int32_t>(kMax);
  return static_cast<int32_t>(estimate < 0 ? 0 : estimate);
}

}  // namespace skylode::xctrainer
