// Puts the LogIt / Tracklogger workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"
#include "protocols/logit/link.h"

namespace skylode {

// Tests against virtual instruments shorten the workers' waits.
void RegisterLogItWorkers(DeviceAccessTable& table, const logit::LogItTiming& timing = {});

}  // namespace skylode
