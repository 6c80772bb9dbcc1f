// The LogIt workers besides the download: the logger's product data, the
// erase command and the owner name. The last two are sent without an
// answer to check.
#pragma once

#include "access/transfer_context.h"
#include "protocols/logit/link.h"

namespace skylode::logit {

TransferResult LogItReadData(TransferContext& ctx, const LogItTiming& timing);
TransferResult LogItErase(TransferContext& ctx, const LogItTiming& timing);
// The name comes as the answer of kOwnerNameForm and is checked again here.
TransferResult LogItWriteName(TransferContext& ctx, const LogItTiming& timing);

}  // namespace skylode::logit
