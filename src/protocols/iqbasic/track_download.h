// Reading flights: the list, the person's choice, and the IGC download of
// each chosen flight.
#pragma once

#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/flytec/track_download.h"
#include "protocols/iqbasic/link.h"
#include "protocols/iqbasic/track_list.h"

namespace skylode::iqbasic {

// How the IGC download asks for a flight and words its failures here.
const flytec::IgcDialect& IqIgcDialect();

// Offers the listed flights ("Track List (port, model)") and gives the chosen
// flights with their durations. Cancelling fails without a message.
Step ChooseFlights(TransferContext& ctx, const std::vector<TrackListEntry>& list, const std::string& model,
                   std::vector<flytec::ChosenFlight>& chosen);

TransferResult IqReadTrackLog(TransferContext& ctx, const IqTiming& timing);

}  // namespace skylode::iqbasic
