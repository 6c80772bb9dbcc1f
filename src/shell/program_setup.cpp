#include "shell/program_setup.h"

#include "shell/commands/analysis_commands.h"
#include "shell/commands/competition_commands.h"
#include "shell/commands/ctr_commands.h"
#include "shell/commands/igc_commands.h"
#include "shell/commands/kml_commands.h"
#include "shell/commands/olc_commands.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode {

void RegisterInstrumentWorkers(Dispatcher& dispatcher, const WorkerTuning& tuning) {
  RegisterInstrumentFamilies(dispatcher.table(), tuning);
}

void RegisterFileCommands(AppState& app) {
  // The KML commands come last: their Open log reads .kml, .igc and .gpx and
  // replaces the IGC-only one; the waypoint commands offer every waypoint
  // format, so KML's own waypoint commands stay out.
  RegisterIgcCommands(app);
  RegisterAnalysisCommands(app);
  RegisterOlcCommands(app);
  RegisterWaypointCommands(app);
  RegisterCtrCommands(app);
  RegisterKmlCommands(app);
  RegisterCompetitionCommands(app);
}

}  // namespace skylode
