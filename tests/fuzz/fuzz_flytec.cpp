// Bytes from a Flytec or Bräuniger instrument, through every parser its
// downloads feed them to: the IGC text of a flight, the track list, the
// waypoint and airspace sentences, the acknowledgements and the product
// reply. None may crash, and what they hand on keeps its limits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "access/sentence.h"
#include "fuzz_input.h"
#include "protocols/flytec/ctr_transfer.h"
#include "protocols/flytec/igc_receiver.h"
#include "protocols/flytec/instrument_text.h"
#include "protocols/flytec/product.h"
#include "protocols/flytec/track_list.h"
#include "protocols/flytec/waypoint_parser.h"

using namespace skylode;
using namespace skylode::flytec;

namespace {

void IgcText(std::string_view bytes) {
  IgcFlightReceiver igc;
  int lastCount = 0;
  igc.set_point_hook([&lastCount](const TrackPoint& p, int count) {
    fuzz::CheckPoint(p);
    if (count != lastCount + 1) abort();
    lastCount = count;
  });
  bool failed = false;
  for (char c : bytes) {
    const IgcByteResult r = igc.Feed(static_cast<uint8_t>(c));
    if (!r.ok()) {
      if (r.Message().empty()) abort();
      failed = true;
      break;
    }
    if (igc.pendingLength() > kIgcLineMax) abort();
  }
  if (!failed && igc.InLine()) igc.EndCutLine();
  if (static_cast<int>(igc.points().size()) != lastCount) abort();
  std::vector<TrackPoint> collected;
  const size_t n = igc.points().size();
  if (!MergeFlight(collected, igc.TakePoints()) || collected.size() != n) abort();
}

void TrackListBytes(std::string_view bytes) {
  TrackList list;
  TrackListParser parser(list);
  for (char c : bytes)
    if (parser.Feed(static_cast<uint8_t>(c)) < 0) break;
  const std::vector<int> numbers = list.FlightNumbers();
  if (static_cast<int>(numbers.size()) != list.Count()) abort();
  for (size_t i = 0; i < numbers.size(); ++i)
    if (numbers[i] < 0 || numbers[i] >= kTrackListSize || (i > 0 && numbers[i] <= numbers[i - 1])) abort();
  for (const TrackListSlot& s : list.entries)
    if (s.text.size() > kTrackListSlotMax) abort();
}

void WaypointBytes(std::string_view bytes) {
  WaypointSentenceParser parser;
  for (char c : bytes) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r < 0) break;
    if (r != 0) continue;
    const FlytecWaypoint& w = parser.waypoint();
    if (!std::isfinite(w.latitude) || !std::isfinite(w.longitude) || std::fabs(w.latitude) > 1.5707963268 ||
        std::fabs(w.longitude) > 3.1415926536 || w.shortName.size() > kShortNameMax ||
        w.longName.size() > kLongNameMax)
      abort();
    const Waypoint converted = ToWaypoint(w, 0);
    fuzz::CheckWaypoint(converted);
    if (converted.id.empty()) abort();
  }
}

void CtrBytes(std::string_view bytes) {
  CtrAckParser ack;
  for (char c : bytes)
    if (ack.Feed(static_cast<uint8_t>(c)) <= 0) break;

  // As the airspace download splits what its reader passes.
  SentenceReader reader;
  CtrListParser parser;
  for (char c : bytes) {
    const int r = reader.Feed(static_cast<uint8_t>(c));
    if (r < 0) break;
    if (r == 1) continue;
    std::vector<std::string_view> fields;
    const std::string_view text = reader.Text();
    for (size_t at = 0;;) {
      const size_t comma = text.find(',', at);
      fields.push_back(text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    if (parser.Parse(fields) <= 0) break;
  }
  const CtrList list = parser.Take();
  for (const CtrArea& a : list.areas)
    if (a.name.size() > kCtrTextMax) abort();
}

void ProductBytes(std::string_view bytes) {
  SentenceLineReader reader("", 5);
  for (char c : bytes) {
    if (!reader.Feed(static_cast<uint8_t>(c)) || reader.check() < 5) continue;
    ProductData product;
    if (ParseProductReply(reader.fields(), product) != ProductReplyStatus::kOk) continue;
    const std::string model = ModelName(product.product);
    (void)InstrumentIdentification(model, product.serialNumber);
    (void)UsesTrackList(product.product, product.softwareVersion);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = fuzz::InstrumentBytes(data, size);
  IgcText(bytes);
  TrackListBytes(bytes);
  WaypointBytes(bytes);
  CtrBytes(bytes);
  ProductBytes(bytes);
  const std::string text = DecodeInstrumentText(bytes);
  if (!fuzz::ValidUtf8(text) || UpperInstrumentText(bytes).size() != bytes.size()) abort();
  return 0;
}
