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

// The clipboard text of track points: one line per point,
// "2026-07-14, 11:02:03, 45.812345, 6.251234, +1523.4, 12.3" and CR LF.
std::string TrackPointsClipboardText(const std::vector<TrackPoint>& points);

}  // namespace skylode
