#include "shell/program_setup.h"

#include "protocols/flytec/register.h"
#include "protocols/garmin/register.h"
#include "shell/commands/analysis_commands.h"
#include "shell/commands/igc_commands.h"
#include "shell/commands/kml_commands.h"

namespace skylode {

void RegisterInstrumentWorkers(Dispatcher& dispatcher, const flytec::FlytecTiming& flytecTiming) {
  RegisterGarminWorkers(dispatcher.table());
  RegisterFlytecWorkers(dispatcher, flytecTiming);
}

void RegisterFileCommands(AppState& app) {
  // The KML commands come last: their Open log reads both .kml and .igc and
  // replaces the IGC-only one.
  RegisterIgcCommands(app);
  RegisterAnalysisCommands(app);
  RegisterKmlCommands(app);
}

}  // namespace skylode
