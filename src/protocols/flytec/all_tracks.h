// Reading every chosen flight of a Flytec or Brauniger instrument in one go.
// The flights come back whole and separate; what becomes of them (the
// analysis and the file for the online flight log) is the caller's.
#pragma once

#include "access/transfer_context.h"
#include "protocols/flytec/link.h"

namespace skylode::flytec {

// Product data, the track list, the person's choice, then each chosen flight
// in turn. Succeeds with a FlightListPayload once every flight has come.
TransferResult FlytecReadAllTracks(TransferContext& ctx, const FlytecTiming& timing);

}  // namespace skylode::flytec
