// Puts the Flytec and Brauniger workers into the DeviceAccessTable.
#pragma once

#include "access/dispatcher.h"
#include "protocols/flytec/link.h"

namespace skylode {

// Read track log and read waypoints for ProtocolType 4, and the all-tracks
// download (read track log for ProtocolType 11). `timing` is the
// instrument's own unless a test shortens it.
void RegisterFlytecWorkers(DeviceAccessTable& table, const flytec::FlytecTiming& timing = {});
inline void RegisterFlytecWorkers(Dispatcher& dispatcher, const flytec::FlytecTiming& timing = {}) {
  RegisterFlytecWorkers(dispatcher.table(), timing);
}

}  // namespace skylode
