// The commands the window carries out itself: its dialogs (distance,
// coordinate conversion, COM port, About), "Show track", the clipboard copy
// of track points and the debug-trace commands of the Help menu.
#pragma once

#include <string>
#include <vector>

#include "records/track_log.h"

namespace skylode {

class AppState;
class Dispatcher;
class MainWindow;

// The debug-trace commands work on the dispatcher's trace of the last
// transfer.
void RegisterWindowCommands(AppState& app, MainWindow& window, Dispatcher& dispatcher);

}  // namespace skylode
