// The track on a map: raster tiles when the server or the cache has them, a
// plain background when not, the track, the selected fixes, the scored
// routes and the thermals over it. The same picture can be painted into any
// device (an image, an SVG file) for export.
#pragma once

#include <QColor>
#include <QPointF>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/track_log.h"
#include "shell/flight_view/flight_view_data.h"

class QPainter;

namespace skylode {

class TileFetcher;

class MapWidget : public QWidget {
  Q_OBJECT

 public:
  // Uses the default tile server and the cache under $XDG_CACHE_HOME until
  // setTileUrl says otherwise.
  explicit MapWidget(QWidget* parent = nullptr);
  ~MapWidget() override;

  // The tile URL setting; an unusable one gives the default server.
  void setTileUrl(const std::string& urlSetting);
  // The fixes to draw; the view is fitted around them.
  void setTrack(std::vector<TrackPoint> points);
  void setOverlays(const FlightOverlays& overlays);
  // A range of fix indices to highlight (first <= last); -1 for none.
  void setSelection(int32_t first, int32_t last);
  int32_t selectionFirst() const { return selectionFirst_; }
  int32_t selectionLast() const { return selectionLast_; }
  // Shows the whole track again.
  void fitTrack();

  // Draws the map as the widget shows it into `target` of any paint device.
  void paintMap(QPainter& painter, const QRect& target);

  // Where the fix lies in the widget, or nothing for an index out of range.
  std::optional<QPointF> fixPosition(int32_t index) const;
  int zoom() const { return zoom_; }
  TileFetcher& tiles() const { return *fetcher_; }

  QSize sizeHint() const override { return {640, 480}; }

  // What shows where no tile is.
  static QColor BackgroundColour();
  // A click selects the nearest fix only as far as this from it.
  static constexpr double kClickRadius = 24;

 signals:
  void fixClicked(int32_t index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Screen position of a world point (pixels at zoom 0) in a view of `size`.
  QPointF ToScreen(const QPointF& world, const QSizeF& size) const;
  QPointF ToWorld(const QPointF& screen, const QSizeF& size) const;
  QPointF FixScreen(int32_t index, const QSizeF& size) const;
  double Scale() const;
  void ZoomAbout(const QPointF& screen, int newZoom);
  void DrawTiles(QPainter& painter, const QSizeF& size);
  void DrawPath(QPainter& painter, const QSizeF& size, int32_t first, int32_t last) const;
  void DrawThermals(QPainter& painter, const QSizeF& size) const;
  void DrawRoutes(QPainter& painter, const QSizeF& size) const;
  void DrawAttribution(QPainter& painter, const QSizeF& size) const;
  bool Valid(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(world_.size()); }

  TileFetcher* fetcher_ = nullptr;
  std::vector<TrackPoint> points_;
  std::vector<QPointF> world_;  // each fix in pixels at zoom 0
  FlightOverlays overlays_;
  int32_t selectionFirst_ = -1;
  int32_t selectionLast_ = -1;
  QPointF centre_{128, 128};
  int zoom_ = 1;
  bool viewMoved_ = false;  // the person zoomed or panned: a resize keeps the view
  QPointF pressAt_;
  QPointF lastDragAt_;
  bool pressed_ = false;
  bool dragged_ = false;
  int wheelAccumulated_ = 0;
};

}  // namespace skylode
