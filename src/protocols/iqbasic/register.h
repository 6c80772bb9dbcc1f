// The IQ Basic / Flytec 6015 workers in the dispatcher's table.
#pragma once

#include "access/dispatcher.h"
#include "protocols/iqbasic/link.h"

namespace skylode {

void RegisterIqBasicWorkers(DeviceAccessTable& table, const iqbasic::IqTiming& timing);

}  // namespace skylode
