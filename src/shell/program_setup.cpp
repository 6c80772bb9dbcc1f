#include "shell/program_setup.h"

#include "shell/commands/analysis_commands.h"
#include "shell/commands/igc_commands.h"
#include "shell/commands/kml_commands.h"

namespace skylode {

void RegisterInstrumentWorkers(Dispatcher& dispatcher, const WorkerTuning& tuning) {
  RegisterInstrumentFamilies(dispatcher.table(), tuning);
}

void RegisterFileCommands(AppState& app) {
  // The KML commands come last: their Open log reads both .kml and .igc and
  // replaces the IGC-only one.
  RegisterIgcCommands(app);
  RegisterAnalysisCommands(app);
  RegisterKmlCommands(app);
}

}  // namespace skylode
