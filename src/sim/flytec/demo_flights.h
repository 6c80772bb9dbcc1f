// What the virtual Flytec holds when a pilot tries it out: thermal flights
// from the Col de la Forclaz above Lake Annecy in the summer of 2026, and the
// waypoints around it.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/flytec/flytec_instrument.h"

namespace skylode::sim {

struct ThermalFlightPlan {
  uint32_t takeOffTime = 0;  // program's time scale
  uint64_t seed = 1;
  int thermals = 4;          // climbs before the glide to the landing field
};

// A plausible flight with one fix a second: launch, climbs in drifting
// thermals, glides between them, the descent to the landing field.
SimFlight MakeThermalFlight(const ThermalFlightPlan& plan);

// Three flights, newest first, and a handful of local waypoints.
FlytecSimConfig DemoConfig();

}  // namespace skylode::sim
