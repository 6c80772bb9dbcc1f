// The barogram: GPS and pressure height over time, the climb rate and the
// ground speed on axes of their own, the thermals as shaded bands and the
// list's selection as the cursor. The curves are thinned to the pixels on
// show and thinned again for the stretch a zoom shows, so a long log stays
// smooth while every spike still reaches the screen.
#pragma once

#include <QChartView>
#include <QPoint>
#include <cstdint>
#include <vector>

#include "shell/flight_view/flight_view_data.h"
#include "shell/flight_view/flight_view_model.h"

class QDateTimeAxis;
class QLineSeries;
class QRubberBand;
class QTimer;
class QValueAxis;

namespace skylode {

class BarogramView final : public QChartView {
  Q_OBJECT
 public:
  explicit BarogramView(QWidget* parent = nullptr);

  // The curves stay the caller's and must outlive the next SetCurves.
  void SetCurves(const BarogramCurves* curves);
  void SetThermals(std::vector<ThermalPhase> thermals);
  // Fix indices; first < 0 clears the cursor.
  void SetSelection(int32_t first, int32_t last);
  // The whole flight again.
  void ResetZoom();
  // Zooms the time axis by `factor` (above 1 in) about the time at `x` in
  // the view's pixels.
  void ZoomAbout(double x, double factor);

  // What is shown, for the flight view's tests and its caption.
  double timeMin() const;  // seconds since the Unix epoch
  double timeMax() const;
  double heightMin() const;  // metres
  double heightMax() const;
  int32_t selectionFirst() const { return selFirst_; }
  int32_t selectionLast() const { return selLast_; }
  // The pixel (view coordinates) where the given fix is drawn, at the middle
  // of the plot's height.
  QPoint PixelOfFix(int32_t index) const;
  // The time (seconds since the Unix epoch) at a pixel column of the view.
  double SecondsAtPixel(const QPoint& pixel) const;
  // The fix at a pixel column of the view, -1 without curves.
  int32_t FixAt(const QPoint& pixel) const;
  // How many points each curve holds now (after thinning).
  int drawnPoints() const;

 signals:
  void fixClicked(int32_t index);

 protected:
  void drawForeground(QPainter* painter, const QRectF& rect) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Redecimate();
  double XOfSeconds(double seconds) const;  // scene x
  double SecondsOfX(double sceneX) const;
  void SetTimeRange(double from, double to);

  const BarogramCurves* curves_ = nullptr;
  std::vector<ThermalPhase> thermals_;
  int32_t selFirst_ = -1;
  int32_t selLast_ = -1;
  QLineSeries* gps_ = nullptr;
  QLineSeries* baro_ = nullptr;
  QLineSeries* climb_ = nullptr;
  QLineSeries* speed_ = nullptr;
  QDateTimeAxis* time_ = nullptr;
  QValueAxis* height_ = nullptr;
  QValueAxis* climbAxis_ = nullptr;
  QValueAxis* speedAxis_ = nullptr;
  QTimer* redecimate_ = nullptr;
  QRubberBand* band_ = nullptr;
  QPoint pressAt_;
  bool pressing_ = false;
  bool panning_ = false;
  QPoint lastPan_;
};

}  // namespace skylode
