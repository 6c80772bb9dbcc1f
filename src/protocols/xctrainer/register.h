// Puts the XC Trainer and Top Navigator workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"

namespace skylode {

void RegisterXcTrainerWorkers(DeviceAccessTable& table);

}  // namespace skylode
