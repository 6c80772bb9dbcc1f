#include "ui/flight_view_barogram.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace skylode {

namespace {

// No zoom goes closer than this: a few fixes across the whole chart.
constexpr double kNarrowestSeconds = 20;
// A press that moves less than this is a click, not a drag.
constexpr int kClickSlop = 4;

struct Extent {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void Add(const std::vector<double>& values) {
    for (double v : values) {
      if (std::isnan(v)) continue;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  bool empty() const { return lo > hi; }
};

QLineSeries* Curve(QChart* chart, const QString& name, const QColor& colour, qreal width) {
  auto* s = new QLineSeries(chart);
  s->setName(name);
  QPen pen(colour);
  pen.setWidthF(width);
  s->setPen(pen);
  chart->addSeries(s);
  return s;
}

}  // namespace

BarogramView::BarogramView(QWidget* parent) : QChartView(parent) {
  setObjectName(QStringLiteral("Barogram"));
  auto* chart = new QChart;
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->legend()->setAlignment(Qt::AlignBottom);
  setChart(chart);
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::NoRubberBand);  // our own: a click must stay a click

  // Speed and climb swing fast: drawn faint, under the heights.
  speed_ = Curve(chart, QStringLiteral("Speed"), QColor(120, 120, 120, 90), 1.0);
  climb_ = Curve(chart, QStringLiteral("Climb"), QColor(0, 150, 70, 110), 1.0);
  baro_ = Curve(chart, QStringLiteral("Pressure"), QColor(200, 40, 40), 1.6);
  gps_ = Curve(chart, QStringLiteral("GPS"), QColor(20, 70, 200), 1.6);

  time_ = new QDateTimeAxis(chart);
  time_->setFormat(QStringLiteral("HH:mm"));
  time_->setTitleText(QStringLiteral("Time"));
  height_ = new QValueAxis(chart);
  height_->setTitleText(QStringLiteral("Height (m)"));
  height_->setLabelFormat(QStringLiteral("%.0f"));
  climbAxis_ = new QValueAxis(chart);
  climbAxis_->setTitleText(QStringLiteral("Climb (m/s)"));
  climbAxis_->setLabelFormat(QStringLiteral("%.1f"));
  climbAxis_->setGridLineVisible(false);
  speedAxis_ = new QValueAxis(chart);
  speedAxis_->setTitleText(QStringLiteral("Speed (km/h)"));
  speedAxis_->setLabelFormat(QStringLiteral("%.0f"));
  speedAxis_->setGridLineVisible(false);
  chart->addAxis(time_, Qt::AlignBottom);
  chart->addAxis(height_, Qt::AlignLeft);
  chart->addAxis(climbAxis_, Qt::AlignRight);
  chart->addAxis(speedAxis_, Qt::AlignRight);
  for (QLineSeries* s : {gps_, baro_}) {
    s->attachAxis(time_);
    s->attachAxis(height_);
  }
  climb_->attachAxis(time_);
  climb_->attachAxis(climbAxis_);
  speed_->attachAxis(time_);
  speed_->attachAxis(speedAxis_);

  redecimate_ = new QTimer(this);
  redecimate_->setSingleShot(true);
  redecimate_->setInterval(0);
  connect(redecimate_, &QTimer::timeout, this, &BarogramView::Redecimate);
  connect(time_, &QDateTimeAxis::rangeChanged, redecimate_, qOverload<>(&QTimer::start));
  band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
  band_->hide();
  setMinimumSize(320, 220);
}

void BarogramView::SetCurves(const BarogramCurves* curves) {
  curves_ = curves;
  selFirst_ = selLast_ = -1;
  const bool any = curves_ && !curves_->seconds.empty();
  Extent heights;
  Extent climbs;
  Extent speeds;
  bool hasBaro = false;
  if (any) {
    heights.Add(curves_->gpsHeight);
    heights.Add(curves_->baroHeight);
    climbs.Add(curves_->climb);
    speeds.Add(curves_->speed);
    hasBaro = std::any_of(curves_->baroHeight.begin(), curves_->baroHeight.end(),
                          [](double v) { return !std::isnan(v); });
  }
  baro_->setVisible(hasBaro);
  for (QLegendMarker* m : chart()->legend()->markers(baro_)) m->setVisible(hasBaro);
  if (heights.empty()) {
    height_->setRange(0, 1000);
  } else {
    const double pad = std::max((heights.hi - heights.lo) * 0.05, 10.0);
    height_->setRange(heights.lo - pad, heights.hi + pad);
  }
  // Climb about zero, so lift and sink read at a glance; a spike of a bad
  // fix does not flatten the rest.
  const double c = climbs.empty() ? 2 : std::clamp(std::max(-climbs.lo, climbs.hi), 2.0, 10.0);
  climbAxis_->setRange(-c, c);
  speedAxis_->setRange(0, speeds.empty() ? 100 : std::max(20.0, std::ceil(speeds.hi * 1.1 / 10) * 10));
  ResetZoom();
  Redecimate();
}

void BarogramView::SetThermals(std::vector<ThermalPhase> thermals) {
  thermals_ = std::move(thermals);
  scene()->update();
}

void BarogramView::SetSelection(int32_t first, int32_t last) {
  const int32_t n = curves_ ? static_cast<int32_t>(curves_->seconds.size()) : 0;
  if (first < 0 || first >= n) {
    selFirst_ = selLast_ = -1;
  } else {
    selFirst_ = first;
    selLast_ = std::clamp(last, first, n - 1);
  }
  scene()->update();
}

void BarogramView::ResetZoom() {
  if (!curves_ || curves_->seconds.empty()) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    time_->setRange(now, now.addSecs(3600));
    return;
  }
  double from = curves_->seconds.front();
  double to = curves_->seconds.back();
  if (to <= from) to = from + 1;
  SetTimeRange(from, to);
}

void BarogramView::SetTimeRange(double from, double to) {
  time_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(from * 1000)), Qt::UTC),
                  QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(to * 1000)), Qt::UTC));
}

double BarogramView::timeMin() const { return time_->min().toMSecsSinceEpoch() / 1000.0; }
double BarogramView::timeMax() const { return time_->max().toMSecsSinceEpoch() / 1000.0; }
double BarogramView::heightMin() const { return height_->min(); }
double BarogramView::heightMax() const { return height_->max(); }
int BarogramView::drawnPoints() const { return static_cast<int>(gps_->count()); }

void BarogramView::ZoomAbout(double x, double factor) {
  if (!curves_ || curves_->seconds.empty() || factor <= 0) return;
  const double lo = timeMin();
  const double hi = timeMax();
  const double at = std::clamp(SecondsOfX(mapToScene(QPoint(static_cast<int>(x), 0)).x()), lo, hi);
  const double fullLo = curves_->seconds.front();
  const double fullHi = std::max(curves_->seconds.back(), fullLo + 1);
  double span = std::clamp((hi - lo) / factor, std::min(kNarrowestSeconds, fullHi - fullLo), fullHi - fullLo);
  double from = at - (at - lo) * span / (hi - lo);
  from = std::clamp(from, fullLo, fullHi - span);
  SetTimeRange(from, from + span);
}

void BarogramView::Redecimate() {
  const bool any = curves_ && !curves_->seconds.empty();
  if (!any) {
    for (QLineSeries* s : {gps_, baro_, climb_, speed_}) s->clear();
    return;
  }
  const std::vector<double>& t = curves_->seconds;
  const double lo = timeMin();
  const double hi = timeMax();
  // One fix either side of the window, so the lines run to its edges.
  auto first = static_cast<int32_t>(std::lower_bound(t.begin(), t.end(), lo) - t.begin()) - 1;
  auto last = static_cast<int32_t>(std::upper_bound(t.begin(), t.end(), hi) - t.begin());
  first = std::max(first, 0);
  last = std::min(last, static_cast<int32_t>(t.size()) - 1);
  const auto buckets = std::max(100, static_cast<int>(chart()->plotArea().width()));
  auto fill = [&](QLineSeries* series, const std::vector<double>& values) {
    QList<QPointF> points;
    if (series->isVisible()) {
      for (int32_t i : DecimateMinMax(values, first, last, buckets))
        points.append(QPointF(t[static_cast<size_t>(i)] * 1000, values[static_cast<size_t>(i)]));
    }
    series->replace(points);
  };
  fill(gps_, curves_->gpsHeight);
  fill(baro_, curves_->baroHeight);
  fill(climb_, curves_->climb);
  fill(speed_, curves_->speed);
}

double BarogramView::XOfSeconds(double seconds) const {
  return chart()->mapToScene(chart()->mapToPosition(QPointF(seconds * 1000, height_->min()), gps_)).x();
}

double BarogramView::SecondsOfX(double sceneX) const {
  const QPointF inChart = chart()->mapFromScene(QPointF(sceneX, chart()->plotArea().center().y()));
  return chart()->mapToValue(inChart, gps_).x() / 1000;
}

QPoint BarogramView::PixelOfFix(int32_t index) const {
  if (!curves_ || index < 0 || index >= static_cast<int32_t>(curves_->seconds.size())) return {};
  const double x = XOfSeconds(curves_->seconds[static_cast<size_t>(index)]);
  const double y = chart()->mapToScene(chart()->plotArea().center()).y();
  return mapFromScene(QPointF(x, y));
}

double BarogramView::SecondsAtPixel(const QPoint& pixel) const { return SecondsOfX(mapToScene(pixel).x()); }

int32_t BarogramView::FixAt(const QPoint& pixel) const {
  if (!curves_) return -1;
  return NearestFix(curves_->seconds, SecondsAtPixel(pixel));
}

void BarogramView::drawForeground(QPainter* painter, const QRectF& rect) {
  QChartView::drawForeground(painter, rect);
  if (!curves_ || curves_->seconds.empty()) return;
  const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
  const auto n = static_cast<int32_t>(curves_->seconds.size());
  auto x = [this](int32_t i) { return XOfSeconds(curves_->seconds[static_cast<size_t>(i)]); };
  painter->save();
  painter->setClipRect(plot);
  QFont small = painter->font();
  small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
  painter->setFont(small);
  for (const ThermalPhase& t : thermals_) {
    if (t.first < 0 || t.last >= n || t.first > t.last) continue;
    const QRectF band(QPointF(x(t.first), plot.top()), QPointF(x(t.last), plot.bottom()));
    painter->fillRect(band, QColor(255, 150, 0, 60));
    if (band.width() > 28) {
      painter->setPen(QColor(170, 90, 0));
      painter->drawText(band.adjusted(0, 2, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                        QString::asprintf("%+.1f", t.meanClimb));
    }
  }
  if (selFirst_ >= 0) {
    const double x0 = x(selFirst_);
    const double x1 = x(selLast_);
    painter->fillRect(QRectF(QPointF(x0, plot.top()), QPointF(x1, plot.bottom())), QColor(40, 110, 255, 50));
    QPen pen(QColor(20, 60, 220));
    pen.setWidthF(1.5);
    painter->setPen(pen);
    painter->drawLine(QPointF(x0, plot.top()), QPointF(x0, plot.bottom()));
    if (selLast_ != selFirst_) painter->drawLine(QPointF(x1, plot.top()), QPointF(x1, plot.bottom()));
  }
  painter->restore();
}

void BarogramView::mousePressEvent(QMouseEvent* event) {
  const bool pan = event->button() == Qt::MiddleButton ||
                   (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
  if (pan) {
    panning_ = true;
    lastPan_ = event->position().toPoint();
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    pressing_ = true;
    pressAt_ = event->position().toPoint();
    band_->setGeometry(QRect(pressAt_, QSize()));
    event->accept();
    return;
  }
  if (event->button() == Qt::RightButton) {
    ResetZoom();
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void BarogramView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (panning_ && curves_ && !curves_->seconds.empty()) {
    const double width = std::max(1.0, chart()->plotArea().width());
    const double span = timeMax() - timeMin();
    double shift = -(at.x() - lastPan_.x()) * span / width;
    const double fullLo = curves_->seconds.front();
    const double fullHi = std::max(curves_->seconds.back(), fullLo + span);
    shift = std::clamp(shift, fullLo - timeMin(), fullHi - timeMax());
    SetTimeRange(timeMin() + shift, timeMax() + shift);
    lastPan_ = at;
    event->accept();
    return;
  }
  if (pressing_) {
    if ((at - pressAt_).manhattanLength() >= kClickSlop) {
      const QRectF plot = mapFromScene(chart()->mapRectToScene(chart()->plotArea())).boundingRect();
      band_->setGeometry(QRect(QPoint(std::min(at.x(), pressAt_.x()), static_cast<int>(plot.top())),
                               QPoint(std::max(at.x(), pressAt_.x()), static_cast<int>(plot.bottom()))));
      band_->show();
    }
    event->accept();
    return;
  }
  QChartView::mouseMoveEvent(event);
}

void BarogramView::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_) {
    panning_ = false;
    event->accept();
    return;
  }
  if (pressing_ && event->button() == Qt::LeftButton) {
    pressing_ = false;
    band_->hide();
    const QPoint at = event->position().toPoint();
    if ((at - pressAt_).manhattanLength() < kClickSlop) {
      const int32_t fix = FixAt(at);
      if (fix >= 0) emit fixClicked(fix);
    } else if (curves_ && !curves_->seconds.empty()) {
      // The band's stretch of time fills the chart.
      double a = SecondsOfX(mapToScene(pressAt_).x());
      double b = SecondsOfX(mapToScene(at).x());
      if (a > b) std::swap(a, b);
      a = std::max(a, curves_->seconds.front());
      b = std::min(b, curves_->seconds.back());
      if (b - a < kNarrowestSeconds) {
        const double mid = (a + b) / 2;
        a = mid - kNarrowestSeconds / 2;
        b = mid + kNarrowestSeconds / 2;
      }
      SetTimeRange(a, b);
    }
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void BarogramView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) {
    event->ignore();
    return;
  }
  ZoomAbout(event->position().x(), std::pow(1.25, steps / 120.0));
  event->accept();
}

void BarogramView::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  redecimate_->start();
}

}  // namespace skylode
