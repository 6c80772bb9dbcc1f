// Puts the XC Trainer and Top Navigator workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"

namespace skylode {

// `waitScale` shortens the waypoint waits (tests against virtual instruments).
void RegisterXcTrainerWorkers(DeviceAccessTable& table, double waitScale = 1.0);

}  // namespace skylode
