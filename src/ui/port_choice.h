// The choice the "Set COM port" dialog makes from its two inputs, without
// the widgets: a typed port number wins over the list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ui/position_forms.h"

namespace skylode {

inline constexpr std::string_view kSelectComPortCaption = "Select COM port";

// The new port setting, or the message that keeps the dialog open. A number
// in `typed` must lie in 1..20 ("COM%d", or "\\.\COM%d" from 10); anything
// else in it leaves the choice to the list entry `selected`.
std::variant<std::string, FieldError> ChooseComPort(std::string_view typed, std::optional<std::string> selected);

// What the dialog lists: the system's serial ports, then the virtual
// instruments as "sim:<family>", and the current setting when it is none of
// them (so that opening and confirming never changes it).
std::vector<std::string> PortsToOffer(const std::vector<std::string>& systemPorts,
                                      const std::vector<std::string>& virtualFamilies, const std::string& current);

}  // namespace skylode
