// The DSX workers in the dispatcher's table.
#pragma once

#include "access/dispatcher.h"
#include "protocols/dsx/link.h"

namespace skylode {

void RegisterDsxWorkers(DeviceAccessTable& table, const dsx::DsxTiming& timing);

}  // namespace skylode
