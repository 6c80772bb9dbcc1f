#include "analysis/contest_score_text.h"

#include <cstdio>

#include "analysis/statistics_text.h"

namespace skylode {

std::string Hundredths(int64_t value) {
  const bool negative = value < 0;
  const uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "", static_cast<unsigned long long>(v / 100),
                static_cast<unsigned long long>(v % 100));
  return text;
}

std::string FormatContestLines(const ContestScores& scores, std::span<const TrackPoint> points) {
  std::string out;
  for (ContestRules rules : kContestRules) {
    const ContestScore& s = scores[rules];
    out.append(ContestRulesName(rules)).append("\t");
    if (!s.found()) {
      out += "none\t0.00\t0.00\n";
      continue;
    }
    out.append(ContestTypeName(s.type)).append("\t").append(Hundredths(s.distance)).append("\t");
    out.append(Hundredths(s.score)).append("\n");
    for (size_t i = 0; i < s.legs.size(); ++i) {
      const ContestLeg& leg = s.legs[i];
      out.append("leg ").append(std::to_string(i + 1)).append("\t");
      out.append(ClockText(points[static_cast<size_t>(leg.from)].time)).append("\t");
      out.append(ClockText(points[static_cast<size_t>(leg.to)].time)).append("\t");
      out.append(Hundredths(leg.units)).append("\n");
    }
  }
  return out;
}

std::string ContestSummary(ContestRules rules, const ContestScore& score) {
  std::string out(ContestRulesName(rules));
  if (!score.found()) return out + ": no scoring flight";
  out.append(": ").append(ContestTypeName(score.type)).append(" ").append(Hundredths(score.distance));
  out.append(" km, ").append(Hundredths(score.score)).append(" points");
  if (!score.optimal) out.append(" (not proven best: at most ").append(Hundredths(score.bound)).append(")");
  return out;
}

}  // namespace skylode
