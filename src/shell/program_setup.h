// What every way of running the program wires the same way: the instrument
// workers in the dispatcher's table and the file commands in the command
// table. The window and the hidden command-line run both start from here, so
// the two can never offer different sets.
#pragma once

#include "access/dispatcher.h"
#include "protocols/family.h"
#include "shell/app_state.h"

namespace skylode {

// Fills the dispatcher's table with every instrument family this build speaks.
void RegisterInstrumentWorkers(Dispatcher& dispatcher, const WorkerTuning& tuning = {});

// Registers the commands of the file formats and the flight analysis.
void RegisterFileCommands(AppState& app);

}  // namespace skylode
