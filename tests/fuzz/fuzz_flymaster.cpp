// Bytes from a Flymaster instrument: the binary blocks of a flight, the
// track list lines and the product reply. No input may crash a decoder,
// and the flight it builds keeps to the globe and to its list's room.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "access/sentence.h"
#include "fuzz_input.h"
#include "protocols/flymaster/blocks.h"
#include "protocols/flymaster/link.h"
#include "protocols/flymaster/track_list.h"

using namespace skylode;
using namespace skylode::flymaster;

namespace {

// The blocks as the instrument frames them: identifier twice, length,
// payload and the XOR check made right, so mutations reach the payload.
std::string WithBlockChecks(std::string s) {
  for (size_t i = 0; i + 3 <= s.size();) {
    s[i + 1] = s[i];
    const size_t length = static_cast<uint8_t>(s[i + 2]);
    if (i + 3 + length >= s.size()) break;
    auto x = static_cast<uint8_t>(length);
    for (size_t k = 0; k < length; ++k) x ^= static_cast<uint8_t>(s[i + 3 + k]);
    s[i + 3 + length] = static_cast<char>(x);
    i += 4 + length;
  }
  return s;
}

void Flight(std::string_view bytes, bool b1Nav) {
  BlockDecoder blocks;
  FlightDecoder flight;
  size_t hooked = 0;
  flight.set_point_hook([&hooked](const TrackPoint& p, size_t) {
    fuzz::CheckPoint(p);
    ++hooked;
  });
  for (char c : bytes) {
    const BlockResult r = blocks.Feed(static_cast<uint8_t>(c));
    if (r != BlockResult::kComplete) continue;
    if (blocks.id() == kEndBlock) break;
    if (std::optional<BlockError> e = flight.Apply(blocks.id(), blocks.payload(), b1Nav)) {
      if (e->text.empty()) abort();
      break;
    }
  }
  if (hooked != flight.points().size()) abort();
  if (flight.info() && flight.info()->competitionId.size() > 7) abort();
}

void TrackList(std::string_view bytes) {
  std::vector<ListedFlight> list;
  TrackListParser parser(list);
  for (char c : bytes)
    if (parser.Feed(static_cast<uint8_t>(c)) < 0) break;
  if (list.size() > kTrackListMax) abort();
  for (const ListedFlight& f : list) {
    (void)f.Line();
    const std::string command = f.DownloadCommand();
    std::vector<std::string_view> fields;
    if (CheckAndSplitSentence(std::string_view(command).substr(0, command.size() - 2), fields, 8) < 2) abort();
  }
}

void Product(std::string_view bytes) {
  SentenceLineCollector collector;
  for (char c : bytes) {
    if (!collector.Feed(static_cast<uint8_t>(c))) continue;
    ProductData product;
    if (ParseProductReply(collector.Line(), product) && product.Identification().size() > 50) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes = fuzz::InstrumentBytes(data, size);
  const std::string blocks = (data[0] & 2) ? WithBlockChecks(bytes) : bytes;
  Flight(blocks, (data[0] & 4) != 0);
  TrackList(bytes);
  Product(bytes);
  (void)ParseIdText(std::string_view(bytes).substr(0, 16));
  return 0;
}
