// The MXP track-log download of both instruments.
#pragma once

#include "access/transfer_context.h"

namespace skylode::xctrainer {

// Listens for the header and the positions it announces; no time-out: the
// pilot may take a while to start, and an abort ends the wait.
TransferResult MxpReadTrackLog(TransferContext& ctx);

}  // namespace skylode::xctrainer
