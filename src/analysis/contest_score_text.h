// The contest scores as text: the tab-separated lines scripts read, and the
// one line per rule set a person reads beside the flight's other figures.
#pragma once

#include <span>
#include <string>

#include "analysis/contest_score.h"

namespace skylode {

// Hundredths as "12.34": a point, never the locale's comma.
std::string Hundredths(int64_t value);

// Per rule set: "RULES\tTYPE\tDISTANCE_KM\tSCORE", then one line per leg,
// "leg N\tHH:MM:SS\tHH:MM:SS\tKM" with the UTC times of its two fixes. A
// rule set with nothing to score gives "RULES\tnone\t0.00\t0.00". Every line
// ends in '\n'.
std::string FormatContestLines(const ContestScores& scores, std::span<const TrackPoint> points);

// "XContest: closed FAI triangle 118.72 km, 189.95 points", with
// " (not proven best: at most 190.12)" when a time limit stopped the search,
// or "XContest: no scoring flight".
std::string ContestSummary(ContestRules rules, const ContestScore& score);

}  // namespace skylode
