// Writing the pilot data, the altitude alarm or the competition IDs: one
// sentence, chosen by the transfer's parameter, with the form's answers.
#pragma once

#include <optional>
#include <string>

#include "access/transfer_context.h"
#include "protocols/flymaster/link.h"

namespace skylode::flymaster {

enum class DataMode : int32_t { kPilotData = 0, kAltitudeAlarm = 1, kIds = 2 };

// The sentence for the mode and the answers of its form, or nothing when the
// answers do not fit it.
std::optional<std::string> SetDataSentence(DataMode mode, const std::vector<std::string>& values);

TransferResult FlymasterSetData(TransferContext& ctx, const FlymasterTiming& timing);

}  // namespace skylode::flymaster
