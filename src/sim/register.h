// Makes the virtual instruments available as "sim:<family>" ports. The
// program and the tests call this once at start; each family adds its own
// instrument here.
#pragma once

namespace skylode::sim {

void RegisterVirtualInstruments();

}  // namespace skylode::sim
