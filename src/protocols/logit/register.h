// Puts the LogIt / Tracklogger workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"

namespace skylode {

// `waitScale` shortens the waits of the workers (tests against virtual
// instruments).
void RegisterLogItWorkers(DeviceAccessTable& table, double waitScale = 1.0);

}  // namespace skylode
