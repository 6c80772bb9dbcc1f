#include "ui/port_choice.h"

#include <algorithm>

#include "access/port_names.h"
#include "analysis/coordinate_text.h"

namespace skylode {

std::variant<std::string, FieldError> ChooseComPort(std::string_view typed, std::optional<std::string> selected) {
  int32_t number = 0;
  if (ParseSignedInteger(typed, number) == 0) {
    if (number < 1 || number > 20) return FieldError{std::string(kSelectComPortCaption), "User port out of range (1-20)"};
    return FormatComName(number);
  }
  if (!selected || selected->empty()) return FieldError{std::string(kSelectComPortCaption), "Dialog box error"};
  return *selected;
}

std::vector<std::string> PortsToOffer(const std::vector<std::string>& systemPorts,
                                      const std::vector<std::string>& virtualFamilies, const std::string& current) {
  std::vector<std::string> ports = systemPorts;
  for (const auto& family : virtualFamilies) ports.push_back(std::string(kVirtualPortPrefix) + family);
  if (!current.empty() && std::find(ports.begin(), ports.end(), current) == ports.end())
    ports.insert(ports.begin(), current);
  return ports;
}

}  // namespace skylode
