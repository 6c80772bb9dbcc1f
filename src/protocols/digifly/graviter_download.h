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

using mlr::Step;

// Opens the line at 38,400 baud (or the request's speed) and asks for the
// product line; sets the model name and "Graviter: <serial>". Failures are
// shown, an abort shows "Transfer aborted".
Step GraviterReadProductData(TransferContext& ctx, const mlr::MlrTiming& timing, std::string& model,
                             std::string& identification);

TransferResult GraviterReadTrackLog(TransferContext& ctx, const mlr::MlrTiming& timing);

}  // namespace skylode::graviter
