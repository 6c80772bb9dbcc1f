// Puts the MLR / Digifly workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"

namespace skylode {

// `waitScale` shortens the silences the workers wait out (tests against
// virtual instruments).
void RegisterDigiflyWorkers(DeviceAccessTable& table, double waitScale = 1.0);

}  // namespace skylode
