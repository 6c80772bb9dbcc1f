// Reading a flight: the instrument's list of flights, the person's choice,
// and the block stream of the chosen flight.
#pragma once

#include <vector>

#include "access/transfer_context.h"
#include "protocols/flymaster/blocks.h"
#include "protocols/flymaster/link.h"
#include "protocols/flymaster/track_list.h"

namespace skylode::flymaster {

inline constexpr std::string_view kCaptionTrackList = "Read GPS track data";
inline constexpr std::string_view kCaptionTrackLog = "Read GPS track log";

Step ReadTrackList(TransferContext& ctx, const FlymasterTiming& timing, std::vector<ListedFlight>& list);

// Downloads the listed flight into `decoder`; every error after the request
// went out cancels the stream first.
Step DownloadFlight(TransferContext& ctx, const FlymasterTiming& timing, const ProductData& product,
                    const ListedFlight& flight, FlightDecoder& decoder);

// The whole track-log operation.
TransferResult FlymasterReadTrackLog(TransferContext& ctx, const FlymasterTiming& timing);

}  // namespace skylode::flymaster
