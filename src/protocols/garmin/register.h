// Puts the Garmin serial workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"

namespace skylode {

// Read waypoints (0), read track log (1), send waypoints (3) and send
// waypoints as a track log (6) for the serial Garmin column.
void RegisterGarminWorkers(DeviceAccessTable& table);

}  // namespace skylode
