// The online contest optimisation as the shell offers it.
#pragma once

#include <ostream>
#include <string>

#include "analysis/olc_search.h"

namespace skylode {

// The command line's run on an IGC file: the three results, each as
// "TYPE<TAB>DISTANCE_KM<TAB>POINTS", then each result's five points as
// "TYPE<TAB>POINT<TAB>hh:mm:ss<TAB>latitude<TAB>longitude" (degrees). 0 when
// done, 1 when the file cannot be read or holds too few positions.
int PrintOlcResults(const std::string& path, std::ostream& report, std::ostream& errors);

// The same lines for results already found.
std::string OlcResultLines(const std::vector<TrackPoint>& points, const OlcResults& results);

}  // namespace skylode
