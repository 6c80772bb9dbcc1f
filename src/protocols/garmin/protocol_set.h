// What a Garmin unit can do: its product identity and the protocols and data
// types it speaks, either reported by the unit or taken from the built-in table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "records/error.h"

namespace skylode::garmin {

struct GarminProtocolSet {
  uint16_t productId = 0;
  uint16_t minVersion = 0;
  uint16_t maxVersion = 0;
  uint16_t physical = 0;
  uint16_t link = 0;
  uint16_t command = 0;
  uint16_t tagT = 0;
  uint16_t waypointProtocol = 0;
  uint16_t waypointType = 0;
  uint16_t routeProtocol = 0;
  uint16_t routeHeaderType = 0;
  uint16_t routeWaypointType = 0;
  uint16_t routeLinkType = 0;
  uint16_t trackProtocol = 0;
  uint16_t trackHeaderType = 0;
  uint16_t trackPointType = 0;
  uint16_t proximityProtocol = 0;
  uint16_t proximityType = 0;
  uint16_t almanacProtocol = 0;
  uint16_t almanacType = 0;
  friend bool operator==(const GarminProtocolSet&, const GarminProtocolSet&) = default;
};
static_assert(sizeof(GarminProtocolSet) == 40, "twenty 16-bit numbers");

// The built-in rows for units that do not report their capabilities. The
// table ends at the first row with product ID 0.
std::span<const GarminProtocolSet> GarminDefaultProtocols();

// The first default row for this product whose version range holds `version`.
std::optional<GarminProtocolSet> FindGarminDefaultProtocols(int productId, uint16_t version);

// Waypoint data types we can read and write.
bool IsSupportedWaypointType(uint16_t type);

// Fills the capability slots from a protocol array packet. On failure
// (kProtocol: "Bad protocol data packet" / "Bad protocol tag character")
// `set` is left partly filled.
Status ParseGarminProtocolArray(std::span<const uint8_t> data, GarminProtocolSet& set);

// Nothing when the capabilities are usable; otherwise kUnsupported with the
// E18x message.
Status CheckGarminProtocols(const GarminProtocolSet& set);

}  // namespace skylode::garmin
