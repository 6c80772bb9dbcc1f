// Reading one flight from the recorder as IGC text.
#pragma once

#include "access/transfer_context.h"
#include "protocols/dsx/flight_list.h"
#include "protocols/dsx/link.h"

namespace skylode::dsx {

// The line that ends a flight's text; it is not part of the flight.
inline constexpr std::string_view kEndLine = "ZZZZ";

// Requests the flight and reads its text up to the end line. On kOk `out`
// holds the points and the text from the first '#' on; `code` is 1 when the
// text carried G records, else 0.
Step DsxDownloadFlight(TransferContext& ctx, const DsxTiming& timing, const DsxFlight& flight,
                       TrackLogPayload& out, int32_t& code);

// Connect, list, choose, download.
TransferResult DsxReadTrackLog(TransferContext& ctx, const DsxTiming& timing);

}  // namespace skylode::dsx
