// Bytes from a Digifly MLR or Graviter: the framed fast download of track
// points and waypoints, the waypoint sentences of the slow cycle, the
// product replies and the Graviter's memory image. No input may crash a
// decoder or make it read past what arrived, and what it gives keeps to the
// globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/graviter_image.h"
#include "protocols/digifly/mlr_frames.h"
#include "protocols/digifly/mlr_link.h"
#include "protocols/digifly/mlr_waypoints.h"

using namespace skylode;

namespace {

void Frames(std::string_view bytes, bool waypoints) {
  mlr::FrameParser parser(waypoints);
  mlr::FrameDecoder decoder(waypoints);
  for (char c : bytes) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r == 0) continue;
    if (r < 0) {
      if (mlr::FormatErrorText(waypoints, -r).empty()) abort();
      break;
    }
    if (r > 3 || parser.recordCount() < 0) abort();
    const mlr::FrameDecoder::Step step = decoder.Decode(static_cast<mlr::FrameKind>(r), parser, 0);
    if (step == mlr::FrameDecoder::Step::kError && decoder.error().empty()) abort();
    if (step != mlr::FrameDecoder::Step::kContinue) break;
  }
  for (const TrackPoint& p : decoder.points()) fuzz::CheckPoint(p);
  for (const Waypoint& w : decoder.waypoints()) fuzz::CheckWaypoint(w);
}

void WaypointSentences(std::string_view bytes) {
  mlr::WplParser parser;
  for (char c : bytes) {
    const mlr::WplParser::Feed f = parser.Add(static_cast<uint8_t>(c));
    if (f == mlr::WplParser::Feed::kError) {
      if (parser.error() < 1 || parser.error() > 17) abort();
      break;
    }
    if (f != mlr::WplParser::Feed::kComplete) continue;
    if (parser.latitude() > fuzz::kQuarterTurn || parser.latitude() < -fuzz::kQuarterTurn) abort();
    std::string error;
    const std::optional<Waypoint> w = mlr::WaypointFromName(parser.name(), error);
    if (!w) {
      if (error.empty()) abort();
      break;
    }
    fuzz::CheckWaypoint(*w);
    // What the upload writes, the cycle reads back.
    Waypoint sent = *w;
    sent.latitude = parser.latitude();
    sent.longitude = parser.longitude();
    mlr::WplParser again;
    bool complete = false;
    for (char s : mlr::WplSentence(sent)) complete = again.Add(static_cast<uint8_t>(s)) == mlr::WplParser::Feed::kComplete;
    std::string againError;
    const std::optional<Waypoint> back = complete ? mlr::WaypointFromName(again.name(), againError) : std::nullopt;
    if (!back || back->id != w->id) abort();
  }
}

void Products(std::string_view bytes) {
  mlr::ProductReplyParser reply;
  for (char c : bytes) {
    const mlr::ProductReplyParser::Feed f = reply.Add(static_cast<uint8_t>(c));
    if (f == mlr::ProductReplyParser::Feed::kError) break;
    if (f == mlr::ProductReplyParser::Feed::kComplete) {
      if (reply.product().identification.size() > 50) abort();
      break;
    }
  }
  std::string product, serial;
  const std::string line(bytes.substr(0, bytes.find('\r')));
  (void)graviter::ParseProductLine(line, product, serial);
}

void Image(std::string_view bytes) {
  const std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  const graviter::Decoded d = graviter::DecodeImage(image);
  if (d.error < 0) abort();
  if (d.error == 0)
    for (const TrackPoint& p : d.points) fuzz::CheckPoint(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = fuzz::InstrumentBytes(data, size);
  Frames(bytes, false);
  Frames(bytes, true);
  WaypointSentences(bytes);
  Products(bytes);
  if (size > 0) Image(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  return 0;
}
