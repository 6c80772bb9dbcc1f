// The pilot data stored in the recorder: five fields read with E1..E5 and
// written with H1..H5, and the telephone number written with C1.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/dsx/link.h"
#include "protocols/family_form.h"

namespace skylode::dsx {

inline constexpr size_t kPilotFieldMax = 80;
inline constexpr size_t kPilotFieldCount = 5;

// The form asked before the transfer: the five fields and the telephone
// number. Fields 3 to 5 hold the free-flight or the gliding meaning, as the
// pilot keeps them in the recorder.
extern const FamilyForm kPilotDataForm;

// The commands that write what the person changed: "H<n><value>\r" for each
// field given that differs from what the recorder holds, then "C1<phone>\r"
// when a number is given. A field the form shows cut to its width counts as
// unchanged when it is what the recorder holds, cut the same way: it is never
// written back shortened.
std::vector<std::string> ChangedFieldCommands(const std::array<std::string, kPilotFieldCount>& stored,
                                              const std::vector<std::string>& answers);

// Connect, read the stored fields, write the changed ones, end the session.
TransferResult DsxWritePilotData(TransferContext& ctx, const DsxTiming& timing);

}  // namespace skylode::dsx
