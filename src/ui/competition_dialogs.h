// The competition dialogs: "Competition Mode", "Set Competition Times" and
// "Save competition log". They collect what is typed and call back into the
// shell for what their buttons do; the shell checks the fields.
#pragma once

#include <optional>

#include "shell/interface/ui_interface.h"

class QWidget;

namespace skylode {

std::optional<bool> RunCompetitionModeDialog(QWidget* parent, const CompetitionModeRequest& request);
std::optional<CompetitionTimesForm> RunCompetitionTimesDialog(QWidget* parent, const CompetitionTimesForm& initial);
std::optional<IdentifyPilotForm> RunIdentifyPilotDialog(QWidget* parent, const IdentifyPilotRequest& request);

}  // namespace skylode
