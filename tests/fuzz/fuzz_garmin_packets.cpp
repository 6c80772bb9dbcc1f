// Bytes from a Garmin unit: the receiver must never read or write outside
// its packet, and every record conversion must stay inside the data size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "protocols/garmin/link.h"
#include "protocols/garmin/protocol_set.h"
#include "protocols/garmin/records.h"

using namespace skylode::garmin;

namespace {

void Exercise(const GarminPacket& p) {
  for (uint16_t type = 100; type <= 155; ++type) (void)GarminWaypointFromPacket(type, p);
  for (uint16_t type = 300; type <= 304; ++type) (void)GarminTrackPointFromPacket(type, p);
  GarminProtocolSet set;
  (void)ParseGarminProtocolArray(p.payload(), set);
  (void)CheckGarminProtocols(set);
  // A received packet encodes and decodes to itself.
  const auto wire = EncodeGarminPacket(p);
  GarminReceiver rx;
  GarminPacket again;
  bool complete = false;
  rx.Feed(wire, again, complete);
  if (!complete || again.id != p.id || again.size != p.size || again.data != p.data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the read size, as the port hands bytes over in pieces.
  const size_t chunk = 1 + data[0] % 100;
  std::span<const uint8_t> rest(data + 1, size - 1);
  GarminReceiver rx;
  while (!rest.empty()) {
    std::span<const uint8_t> piece = rest.first(std::min(chunk, rest.size()));
    rest = rest.subspan(piece.size());
    while (!piece.empty()) {
      GarminPacket p;
      bool complete = false;
      const size_t used = rx.Feed(piece, p, complete);
      if (used == 0 || used > piece.size()) std::abort();
      if (complete) Exercise(p);
      piece = piece.subspan(used);
    }
  }
  return 0;
}
