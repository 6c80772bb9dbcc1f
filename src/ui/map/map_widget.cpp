#include "ui/map/map_widget.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "records/angles.h"
#include "shell/flight_view/tiles.h"
#include "ui/map/tile_fetcher.h"

namespace skylode {

namespace {

const QColor kBackground(0xf2, 0xef, 0xe9);
const QColor kTrackColour(0xc0, 0x20, 0x20);
const QColor kSelectionColour(0x00, 0xb0, 0xff);
const QColor kThermalColour(0xff, 0x90, 0x00);
const QColor kRouteColours[] = {QColor(0x20, 0x40, 0xd0), QColor(0x10, 0x90, 0x30), QColor(0x90, 0x20, 0xa0)};

// Fixes closer than this on screen add nothing to the drawn line.
constexpr double kDrawStep = 1.5;
// Beyond this much movement a press is a drag, not a click.
constexpr double kDragThreshold = 4;
constexpr double kThermalRadius = 9;
constexpr int kFitMargin = 16;

QPointF WorldOf(const TrackPoint& p) {
  const TilePoint t = LatLonToTile({SemicirclesToDegrees(p.latitude), SemicirclesToDegrees(p.longitude)}, 0);
  return {t.x * kTileSize, t.y * kTileSize};
}

QString Kilometres(double km) { return QString::number(km, 'f', 2) + QStringLiteral(" km"); }

void DrawLabel(QPainter& painter, const QPointF& at, const QString& text, const QColor& colour) {
  const QFontMetricsF metrics(painter.font());
  QRectF box = metrics.boundingRect(text);
  box.moveTo(at);
  box.adjust(-2, -1, 2, 1);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 200));
  painter.drawRect(box);
  painter.setPen(colour);
  painter.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

MapWidget::MapWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(false);
  setMinimumSize(120, 90);
  setTileUrl(std::string(kDefaultTileUrl));
}

MapWidget::~MapWidget() = default;

QColor MapWidget::BackgroundColour() { return kBackground; }

void MapWidget::setTileUrl(const std::string& urlSetting) {
  delete fetcher_;
  fetcher_ = new TileFetcher(TileServerFromSetting(urlSetting), TileCacheRootFromEnvironment(), this);
  connect(fetcher_, &TileFetcher::tileArrived, this, qOverload<>(&QWidget::update));
  update();
}

void MapWidget::setTrack(std::vector<TrackPoint> points) {
  points_ = std::move(points);
  world_.clear();
  world_.reserve(points_.size());
  for (const TrackPoint& p : points_) world_.push_back(WorldOf(p));
  selectionFirst_ = selectionLast_ = -1;
  fitTrack();
}

void MapWidget::setOverlays(const FlightOverlays& overlays) {
  overlays_ = overlays;
  update();
}

void MapWidget::setSelection(int32_t first, int32_t last) {
  if (first > last) std::swap(first, last);
  if (first < 0 || last < 0) first = last = -1;
  selectionFirst_ = first;
  selectionLast_ = last;
  update();
}

void MapWidget::fitTrack() {
  viewMoved_ = false;
  if (world_.empty()) {
    centre_ = {kTileSize / 2.0, kTileSize / 2.0};
    zoom_ = 1;
    update();
    return;
  }
  double minX = world_[0].x(), maxX = minX, minY = world_[0].y(), maxY = minY;
  for (const QPointF& w : world_) {
    minX = std::min(minX, w.x());
    maxX = std::max(maxX, w.x());
    minY = std::min(minY, w.y());
    maxY = std::max(maxY, w.y());
  }
  centre_ = {(minX + maxX) / 2, (minY + maxY) / 2};
  const LatLon nw = TileToLatLon({minX / kTileSize, minY / kTileSize}, 0);
  const LatLon se = TileToLatLon({maxX / kTileSize, maxY / kTileSize}, 0);
  zoom_ = ZoomToFit({se.latitude, nw.longitude, nw.latitude, se.longitude}, std::max(1, width() - 2 * kFitMargin),
                    std::max(1, height() - 2 * kFitMargin));
  update();
}

double MapWidget::Scale() const { return std::ldexp(1.0, zoom_); }

QPointF MapWidget::ToScreen(const QPointF& world, const QSizeF& size) const {
  return (world - centre_) * Scale() + QPointF(size.width() / 2, size.height() / 2);
}

QPointF MapWidget::ToWorld(const QPointF& screen, const QSizeF& size) const {
  return (screen - QPointF(size.width() / 2, size.height() / 2)) / Scale() + centre_;
}

QPointF MapWidget::FixScreen(int32_t index, const QSizeF& size) const {
  return ToScreen(world_[static_cast<size_t>(index)], size);
}

std::optional<QPointF> MapWidget::fixPosition(int32_t index) const {
  if (!Valid(index)) return std::nullopt;
  return FixScreen(index, size());
}

void MapWidget::paintMap(QPainter& painter, const QRect& target) {
  painter.save();
  painter.setClipRect(target);
  painter.translate(target.topLeft());
  const QSizeF size = target.size();
  painter.fillRect(QRectF(QPointF(0, 0), size), kBackground);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (!world_.empty()) {
    DrawTiles(painter, size);
    painter.setPen(QPen(kTrackColour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    DrawPath(painter, size, 0, static_cast<int32_t>(world_.size()) - 1);
    DrawThermals(painter, size);
    DrawRoutes(painter, size);
    if (Valid(selectionFirst_)) {
      const int32_t last = std::min(selectionLast_, static_cast<int32_t>(world_.size()) - 1);
      painter.setPen(QPen(kSelectionColour, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      DrawPath(painter, size, selectionFirst_, last);
      painter.setPen(QPen(Qt::white, 1.5));
      painter.setBrush(kSelectionColour);
      painter.drawEllipse(FixScreen(selectionFirst_, size), 5, 5);
      if (last != selectionFirst_) painter.drawEllipse(FixScreen(last, size), 5, 5);
    }
  }
  DrawAttribution(painter, size);
  painter.restore();
}

void MapWidget::DrawTiles(QPainter& painter, const QSizeF& size) {
  const double scale = Scale();
  const TilePoint topLeft{(centre_.x() * scale - size.width() / 2) / kTileSize,
                          (centre_.y() * scale - size.height() / 2) / kTileSize};
  std::vector<TileId> missing;
  for (const ViewTile& t : TilesCovering(topLeft, static_cast<int>(std::ceil(size.width())),
                                         static_cast<int>(std::ceil(size.height())), zoom_)) {
    const QImage image = fetcher_->Tile(t.id);
    if (image.isNull()) {
      missing.push_back(t.id);
      continue;
    }
    painter.drawImage(QRectF(t.left, t.top, kTileSize, kTileSize), image);
  }
  fetcher_->Want(missing);
}

void MapWidget::DrawPath(QPainter& painter, const QSizeF& size, int32_t first, int32_t last) const {
  // Only for the eye: a fix within a pixel or so of the last one drawn is
  // left out, so a long log draws as fast as a short one at any zoom.
  QPolygonF line;
  line.reserve(std::min<qsizetype>(last - first + 1, 20000));
  QPointF kept;
  auto flush = [&] {
    if (line.size() == 1) line.append(line.front());
    if (!line.isEmpty()) painter.drawPolyline(line);
    line.clear();
  };
  for (int32_t i = first; i <= last; ++i) {
    const QPointF p = FixScreen(i, size);
    if (i > first && (points_[static_cast<size_t>(i)].flags & kTrackPointStartsSegment)) flush();
    if (!line.isEmpty() && i != last && std::abs(p.x() - kept.x()) < kDrawStep &&
        std::abs(p.y() - kept.y()) < kDrawStep) {
      continue;
    }
    line.append(p);
    kept = p;
  }
  flush();
}

void MapWidget::DrawThermals(QPainter& painter, const QSizeF& size) const {
  for (const ThermalPhase& thermal : overlays_.thermals) {
    if (!Valid(thermal.first) || !Valid(thermal.last) || thermal.first > thermal.last) continue;
    QPointF sum;
    for (int32_t i = thermal.first; i <= thermal.last; ++i) sum += world_[static_cast<size_t>(i)];
    const QPointF centre = ToScreen(sum / (thermal.last - thermal.first + 1), size);
    painter.setPen(QPen(kThermalColour.darker(140), 2));
    QColor fill = kThermalColour;
    fill.setAlpha(110);
    painter.setBrush(fill);
    painter.drawEllipse(centre, kThermalRadius, kThermalRadius);
    DrawLabel(painter, centre + QPointF(kThermalRadius + 3, -kThermalRadius),
              QString::fromStdString(ClimbLabel(thermal.meanClimb)), kThermalColour.darker(180));
  }
}

void MapWidget::DrawRoutes(QPainter& painter, const QSizeF& size) const {
  size_t colourIndex = 0;
  double legendY = 6;
  for (const ScoredRoute& route : overlays_.routes) {
    const QColor colour = kRouteColours[colourIndex++ % std::size(kRouteColours)];
    auto drawLeg = [&](const RouteLeg& leg, Qt::PenStyle style) {
      if (!Valid(leg.from) || !Valid(leg.to)) return;
      const QPointF a = FixScreen(leg.from, size);
      const QPointF b = FixScreen(leg.to, size);
      painter.setPen(QPen(colour, 2.5, style));
      painter.drawLine(a, b);
      DrawLabel(painter, (a + b) / 2, Kilometres(leg.kilometres), colour);
    };
    for (const RouteLeg& leg : route.legs) drawLeg(leg, Qt::SolidLine);
    drawLeg(route.closing, Qt::DashLine);
    for (const RouteTurnpoint& tp : route.turnpoints) {
      if (!Valid(tp.index)) continue;
      const QPointF at = FixScreen(tp.index, size);
      painter.setPen(QPen(Qt::white, 1.5));
      painter.setBrush(colour);
      painter.drawEllipse(at, 5, 5);
      DrawLabel(painter, at + QPointF(7, 2), QString::fromStdString(tp.label), colour);
    }
    if (!route.title.empty()) {
      DrawLabel(painter, QPointF(6, legendY), QString::fromStdString(route.title), colour);
      legendY += QFontMetricsF(painter.font()).height() + 4;
    }
  }
}

void MapWidget::DrawAttribution(QPainter& painter, const QSizeF& size) const {
  const QString text = QString::fromStdString(fetcher_->server().attribution);
  const QFontMetricsF metrics(painter.font());
  const QRectF box = metrics.boundingRect(text);
  DrawLabel(painter, QPointF(size.width() - box.width() - 6, size.height() - box.height() - 4), text,
            QColor(0x33, 0x33, 0x33));
}

void MapWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintMap(painter, rect());
}

void MapWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!viewMoved_) fitTrack();
}

void MapWidget::ZoomAbout(const QPointF& screen, int newZoom) {
  newZoom = std::clamp(newZoom, kMinTileZoom, kMaxTileZoom);
  if (newZoom == zoom_) return;
  // The ground under the cursor stays under it.
  const QPointF anchor = ToWorld(screen, size());
  zoom_ = newZoom;
  centre_ = anchor - (screen - QPointF(width() / 2.0, height() / 2.0)) / Scale();
  viewMoved_ = true;
  update();
}

void MapWidget::wheelEvent(QWheelEvent* event) {
  wheelAccumulated_ += event->angleDelta().y();
  const int steps = wheelAccumulated_ / 120;
  if (steps != 0) {
    wheelAccumulated_ -= steps * 120;
    ZoomAbout(event->position(), zoom_ + steps);
  }
  event->accept();
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  pressed_ = true;
  dragged_ = false;
  pressAt_ = lastDragAt_ = event->position();
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_) return QWidget::mouseMoveEvent(event);
  const QPointF at = event->position();
  if (!dragged_ && (at - pressAt_).manhattanLength() <= kDragThreshold) return;
  dragged_ = true;
  centre_ -= (at - lastDragAt_) / Scale();
  lastDragAt_ = at;
  viewMoved_ = true;
  update();
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(event);
  pressed_ = false;
  if (dragged_) return;
  const QPointF at = event->position();
  int32_t nearest = -1;
  double best = kClickRadius * kClickRadius;
  for (int32_t i = 0; i < static_cast<int32_t>(world_.size()); ++i) {
    const QPointF d = FixScreen(i, size()) - at;
    const double distance = d.x() * d.x() + d.y() * d.y();
    // Of fixes drawn on one spot the first wins: the earliest moment there.
    if (distance < best || (nearest < 0 && distance == best)) {
      best = distance;
      nearest = i;
    }
  }
  if (nearest >= 0) emit fixClicked(nearest);
}

}  // namespace skylode
