// The TNC track-log download: the Top Navigator's (TNCM) and the XC
// Trainer's own.
#pragma once

#include "access/transfer_context.h"

namespace skylode::xctrainer {

// Listens for the header, the blocks and "@EOF"; no time-out, an abort
// ends the wait.
TransferResult TncReadTrackLog(TransferContext& ctx);

}  // namespace skylode::xctrainer
