#include "analysis/thermals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/geodesy.h"

namespace skylode {

namespace {

// The share of a phase's time that must turn its way.
constexpr double kSteadyShare = 0.7;

// The change of heading from one step to the next and when it happened.
struct TurnSample {
  // The fixes where the two steps turn: where the earlier step ends and the
  // later one starts (the same fix unless slow steps lie between).
  int32_t fromFix = 0;
  int32_t toFix = 0;
  double t0 = 0;        // middle of the earlier step, seconds
  double t1 = 0;        // middle of the later step
  double delta = 0;     // degrees, right positive, in (-180, 180]
  // +1 / -1 turning fast enough that way, 0 not: rawSign from this sample
  // alone, sign from the samples around it.
  int rawSign = 0;
  int sign = 0;
  bool afterBreak = false;
};

double WrapDegrees(double d) {
  while (d > 180.0) d -= 360.0;
  while (d <= -180.0) d += 360.0;
  return d;
}

PlaneStep StepOf(const TrackPoint& a, const TrackPoint& b) {
  return PlaneStepSemicircles(a.latitude, a.longitude, b.latitude, b.longitude);
}

double PathMetres(std::span<const TrackPoint> points, int32_t first, int32_t last) {
  double sum = 0;
  for (int32_t i = first; i < last; ++i) {
    sum += StepOf(points[static_cast<size_t>(i)], points[static_cast<size_t>(i) + 1]).metres();
  }
  return sum;
}

int SignOf(double rate, double least) { return rate >= least ? 1 : rate <= -least ? -1 : 0; }

// A fix's position is off by a metre or two, which at 1 Hz swings each
// step's heading by tens of degrees either way. Over several seconds the
// swings cancel (the sum of the changes is the change between the ends) and
// the pilot's steady turn shows.
void Smooth(std::vector<TurnSample>& samples, const ThermalOptions& options) {
  const double half = options.smoothing / 2;
  std::vector<double> sum(samples.size() + 1, 0);
  for (size_t k = 0; k < samples.size(); ++k) sum[k + 1] = sum[k] + samples[k].delta;
  size_t segment = 0;  // first sample after the latest break
  size_t lo = 0;
  size_t hi = 0;
  for (size_t k = 0; k < samples.size(); ++k) {
    if (samples[k].afterBreak) segment = lo = hi = k;
    const double mid = (samples[k].t0 + samples[k].t1) / 2;
    lo = std::max(lo, segment);
    while (lo < k && (samples[lo].t0 + samples[lo].t1) / 2 < mid - half) ++lo;
    hi = std::max(hi, k);
    while (hi + 1 < samples.size() && !samples[hi + 1].afterBreak &&
           (samples[hi + 1].t0 + samples[hi + 1].t1) / 2 <= mid + half)
      ++hi;
    const double span = samples[hi].t1 - samples[lo].t0;
    samples[k].sign = span > 0 ? SignOf((sum[hi + 1] - sum[lo]) / span, options.minTurnRate) : 0;
  }
}

std::vector<TurnSample> TurnSamples(std::span<const TrackPoint> points, const ThermalOptions& options) {
  std::vector<TurnSample> samples;
  bool havePrevious = false;
  bool broken = false;
  int32_t prevFrom = 0;
  double prevMid = 0;
  double prevHeading = 0;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const TrackPoint& a = points[i];
    const TrackPoint& b = points[i + 1];
    const double dt = static_cast<double>(b.time) - static_cast<double>(a.time);
    if ((b.flags & kTrackPointStartsSegment) != 0 || dt < 0 || dt > options.maxFixGap) {
      // The pilot's path between these fixes is unknown: no turn spans it.
      havePrevious = false;
      broken = true;
      continue;
    }
    if (dt == 0) continue;  // a repeated fix says nothing about the heading
    const PlaneStep step = StepOf(a, b);
    const double speed = step.metres() / dt;
    const double mid = (static_cast<double>(a.time) + b.time) / 2;
    if (speed < options.minGroundSpeed) {
      // Standing still: the heading is noise. The time passes as a step that
      // does not turn, so a long stop ends a phase.
      continue;
    }
    const double heading = std::atan2(step.east, step.north) * 180.0 / std::numbers::pi;
    if (havePrevious) {
      TurnSample s;
      s.fromFix = prevFrom + 1;
      s.toFix = static_cast<int32_t>(i);
      s.t0 = prevMid;
      s.t1 = mid;
      s.delta = WrapDegrees(heading - prevHeading);
      const double span = mid - prevMid;
      const double rate = span > 0 ? s.delta / span : 0;
      s.rawSign = rate >= options.minTurnRate ? 1 : rate <= -options.minTurnRate ? -1 : 0;
      s.afterBreak = broken;
      broken = false;
      samples.push_back(s);
    }
    havePrevious = true;
    prevFrom = static_cast<int32_t>(i);
    prevMid = mid;
    prevHeading = heading;
  }
  Smooth(samples, options);
  return samples;
}

double HeightOf(const TrackPoint& p, bool useBaro, bool& known) {
  if (useBaro) {
    known = true;
    return p.baroHeight;
  }
  known = (p.flags & kTrackPointNoGpsHeight) == 0;
  return p.gpsHeight / 10.0;
}

void SetMeanClimb(std::span<const TrackPoint> points, bool useBaro, Circling& c) {
  int32_t lo = c.first;
  int32_t hi = c.last;
  bool known = false;
  double hLo = 0;
  double hHi = 0;
  for (; lo <= c.last; ++lo) {
    hLo = HeightOf(points[static_cast<size_t>(lo)], useBaro, known);
    if (known) break;
  }
  for (; hi > lo; --hi) {
    hHi = HeightOf(points[static_cast<size_t>(hi)], useBaro, known);
    if (known) break;
  }
  if (lo >= hi) return;
  const double dt =
      static_cast<double>(points[static_cast<size_t>(hi)].time) - points[static_cast<size_t>(lo)].time;
  if (dt <= 0) return;
  c.meanClimb = (hHi - hLo) / dt;
  c.climbKnown = true;
}

}  // namespace

std::vector<Circling> FindCirclingPhases(std::span<const TrackPoint> points, bool useBaro,
                                         const ThermalOptions& options) {
  const std::vector<TurnSample> samples = TurnSamples(points, options);
  std::vector<Circling> phases;
  // Each direction on its own: a reversal ends one phase and starts the
  // other, and a short twitch the other way inside a climb is only a break.
  for (const int direction : {1, -1}) {
    size_t k = 0;
    while (k < samples.size()) {
      if (samples[k].sign != direction) {
        ++k;
        continue;
      }
      const size_t first = k;
      size_t last = k;
      for (size_t j = k + 1; j < samples.size(); ++j) {
        if (samples[j].afterBreak) break;
        if (samples[j].t0 - samples[last].t1 > options.maxBreak) break;
        if (samples[j].sign == direction) last = j;
      }
      k = last + 1;
      // The smoothing blurs the ends by a few seconds: the phase runs from
      // the first to the last step that turned by itself.
      size_t from = first;
      size_t to = last;
      while (from < to && samples[from].rawSign != direction) ++from;
      while (to > from && samples[to].rawSign != direction) --to;
      double turn = 0;
      double turning = 0;  // seconds spent turning this way
      for (size_t j = from; j <= to; ++j) {
        turn += samples[j].delta;
        if (samples[j].sign == direction) turning += samples[j].t1 - samples[j].t0;
      }
      turn *= direction;
      const double duration = samples[to].t1 - samples[from].t0;
      // Twitches the other way inside the run count against it: noise that
      // turns every which way adds up to little for its time. A circling pilot turns one way nearly all the time; noise turns every
      // which way, about half the time each.
      if (duration < options.minDuration || turn < options.minTurn || turn < options.minTurnRate * duration ||
          turning < kSteadyShare * duration)
        continue;
      Circling c;
      c.first = samples[from].fromFix;
      c.last = samples[to].toFix;
      // No wing turns on the spot: circles a few metres wide are the noise of
      // a receiver lying still.
      const double radians = turn * std::numbers::pi / 180;
      if (PathMetres(points, c.first, c.last) < options.minRadius * radians) continue;
      c.direction = direction;
      c.turn = turn;
      SetMeanClimb(points, useBaro, c);
      phases.push_back(c);
    }
  }
  std::sort(phases.begin(), phases.end(), [](const Circling& a, const Circling& b) { return a.first < b.first; });
  return phases;
}

}  // namespace skylode
