// A family's form as a dialog: one line edit per field under its label, the
// note, OK and Cancel. OK closes it only when the shell accepts the values.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocols/family_form.h"

class QWidget;

namespace skylode {

std::optional<std::vector<std::string>> RunFamilyFormDialog(
    QWidget* parent, const FamilyForm& form, const std::function<bool(const std::vector<std::string>&)>& accept);

}  // namespace skylode
