// The Digifly Graviter's track-log worker: its product data, then its whole
// memory in one reply, decoded track by track.
#pragma once

#include <string>

#include "access/transfer_context.h"
#include "protocols/digifly/mlr_link.h"

namespace skylode::graviter {

// "<20 product> <4> <5 serial> <8>" before CR LF; false when a field is
// longer or a separator missing.
bool ParseProductLine(const std::string& line, std::string& product, std::string& serial);

TransferResult GraviterReadTrackLog(TransferContext& ctx, const mlr::MlrTiming& timing);

}  // namespace skylode::graviter
