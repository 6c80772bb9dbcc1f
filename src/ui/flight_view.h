// The flight view: the barogram and the map side by side over the loaded
// track log, with the routes and thermals the analyses found. It follows the
// main window's list: a new, split or rotated log redraws it, selected rows
// are its cursor, and a click on the barogram or the map selects the fix in
// the list.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>

#include "shell/flight_view/flight_view_model.h"

class QLabel;
class QSplitter;
class QTimer;

namespace skylode {

class AppState;
class BarogramView;
class MapWidget;
class MainWindow;

enum class ExportFormat { kPng, kSvg };

class FlightView final : public QWidget {
  Q_OBJECT
 public:
  FlightView(AppState& app, QWidget* parent = nullptr);
  ~FlightView() override;

  // Reads the track log anew; nothing happens when its points did not change.
  void Reload();
  // Fix indices of the list's selection; first < 0: none.
  void SetSelection(int32_t first, int32_t last);
  // The picture of the whole view (barogram and map) into a file, written
  // whole or not at all. False with nothing written when it fails.
  bool Export(const std::string& path, ExportFormat format);

  MapWidget* map() const { return map_; }

  BarogramView* barogram() const { return barogram_; }
  FlightViewModel& model() { return model_; }
  QLabel* summary() const { return summary_; }
  QWidget* picture() const;

 signals:
  void fixClicked(int32_t index);

 private:
  void TakeAnalyses();
  void UpdateSummary();
  void ChooseExport(ExportFormat format);

  AppState& app_;
  FlightViewModel model_;
  BarogramView* barogram_ = nullptr;
  QSplitter* splitter_ = nullptr;
  MapWidget* map_ = nullptr;
  QLabel* summary_ = nullptr;
  QTimer* poll_ = nullptr;
  int32_t selFirst_ = -1;
  int32_t selLast_ = -1;
};

// The flight view in a window of its own that follows the main window's
// list and selection. Opened (or raised, when open) by the View menu's
// "Flight view".
FlightView* ShowFlightView(AppState& app, MainWindow& window);
// The open one, or nullptr.
FlightView* OpenFlightView(MainWindow& window);

}  // namespace skylode
