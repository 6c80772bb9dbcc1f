// The Flymaster workers in the dispatcher's table.
#pragma once

#include "access/dispatcher.h"
#include "protocols/flymaster/link.h"

namespace skylode {

void RegisterFlymasterWorkers(DeviceAccessTable& table, const flymaster::FlymasterTiming& timing);

}  // namespace skylode
