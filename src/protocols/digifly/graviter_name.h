// Writing the owner name into a Digifly Graviter: one acknowledged "T", then
// one memory write per character.
#pragma once

#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/digifly/mlr_link.h"

namespace skylode::graviter {

inline constexpr size_t kOwnerNameLength = 8;
inline constexpr uint32_t kOwnerNameAddress = 208;

// The memory writes for `name`, blank-padded (or cut) to 8 characters:
// "W<address, 6 digits><character code, 3 digits>" each.
std::vector<std::string> OwnerNameCommands(const std::string& name);

// The name comes as the form's one answer.
TransferResult GraviterWriteName(TransferContext& ctx, const mlr::MlrTiming& timing);

}  // namespace skylode::graviter
