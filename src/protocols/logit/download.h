// Reading the track log of a LogIt logger or a Tracklogger.
#pragma once

#include "access/transfer_context.h"
#include "protocols/logit/link.h"

namespace skylode::logit {

// A Tracklogger that keeps failing at the same point is asked to resume
// this many times without storing a new point; the next failure ends the
// download.
inline constexpr int kResumesWithoutProgress = 3;

TransferResult LogItReadTrackLog(TransferContext& ctx, const LogItTiming& timing);

}  // namespace skylode::logit
