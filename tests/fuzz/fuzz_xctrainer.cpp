// Bytes from an XC Trainer or a Top Navigator: MXP track logs line by line,
// the XC Trainer's binary waypoint records and the Top Navigator's
// waypoint lines. No input may crash a decoder, and what they give keeps to
// the globe and to the header's promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "protocols/xctrainer/lines.h"
#include "protocols/xctrainer/mxp.h"
#include "protocols/xctrainer/waypoints.h"

using namespace skylode;
using namespace skylode::xctrainer;

namespace {

char Hex(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

// Every line's check digits made right: a header covers 36 characters, a
// position line 26 or (with both heights) 30.
std::string WithLineChecks(std::string s) {
  for (size_t start = 0; start < s.size();) {
    size_t end = s.find_first_of("\r\n", start);
    if (end == std::string::npos) end = s.size();
    const size_t length = end - start;
    const size_t covered = s[start] == '@' ? 36 : length >= 32 ? 30 : 26;
    if (length >= covered + 2) {
      unsigned x = 0;
      for (size_t i = start; i < start + covered; ++i) x ^= static_cast<uint8_t>(s[i]);
      s[start + covered] = Hex(x >> 4);
      s[start + covered + 1] = Hex(x);
    }
    start = end + 1;
  }
  return s;
}

std::string WithRecordChecks(std::string s) {
  for (size_t at = 0; at + kXcTrainerRecordSize <= s.size(); at += kXcTrainerRecordSize) {
    uint8_t x = 0;
    for (size_t i = 2; i < 28; ++i) x ^= static_cast<uint8_t>(s[at + i]);
    s[at + 28] = static_cast<char>(x);
  }
  return s;
}

void Mxp(std::string_view bytes, std::string_view identifier) {
  MxpDecoder decoder(identifier);
  LineAssembler line;
  for (char c : bytes) {
    const LineAssembler::Feed f = line.Add(static_cast<uint8_t>(c));
    if (f == LineAssembler::Feed::kTooLong) break;
    if (f == LineAssembler::Feed::kMore) continue;
    if (line.line().size() >= kMaxLineLength) abort();
    const MxpError e = decoder.Feed(line.line());
    if (e != kMxpOk) {
      if (MxpErrorText(e).empty()) abort();
      break;
    }
    if (decoder.headerSeen() && MxpInstrumentText(decoder.header()).empty()) abort();
    if (decoder.complete()) break;
  }
  if (decoder.points().size() != decoder.received() || decoder.received() > decoder.header().positions) abort();
  for (const TrackPoint& p : decoder.points()) fuzz::CheckPoint(p);
}

void XcTrainerWaypoints(std::string_view bytes) {
  for (size_t at = 0; at + kXcTrainerRecordSize <= bytes.size(); at += kXcTrainerRecordSize) {
    Waypoint w;
    const int e = DecodeXcTrainerWaypoint(bytes.substr(at, kXcTrainerRecordSize), 0, w);
    if (e < 0 || e > 7) abort();
    if (e != 0) break;
    fuzz::CheckWaypoint(w);
    if (BuildUploadRecord(w).size() != kUploadRecordSize) abort();
  }
}

void TopNavWaypoints(std::string_view bytes) {
  LineAssembler line;
  for (char c : bytes) {
    if (line.Add(static_cast<uint8_t>(c)) != LineAssembler::Feed::kComplete) continue;
    if (std::optional<Waypoint> w = DecodeTopNavWaypoint(line.line(), 0)) {
      fuzz::CheckWaypoint(*w);
      if (BuildUploadRecord(*w).size() != kUploadRecordSize) abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool fix = data[0] & 1;
  const std::string lines = fix ? WithLineChecks(std::string(rest)) : std::string(rest);
  Mxp(lines, "@xc");
  Mxp(lines, "@tn");
  XcTrainerWaypoints(fix ? WithRecordChecks(std::string(rest)) : std::string(rest));
  TopNavWaypoints(rest);
  return 0;
}
