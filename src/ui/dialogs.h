// The window's dialogs. Each checks its own fields with the Qt-free forms
// (position_forms.h, port_choice.h) and shows their messages.
#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/waypoint_files.h"
#include "records/waypoint.h"
#include "ui/position_forms.h"
#include "ui/track_picture.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace skylode {

// A warning box with the caption and text of a refused field.
void ShowFieldError(QWidget* parent, const FieldError& error);

// The Track List and Split Log choice: a list of lines, the first chosen at
// the start; "All" (when offered) ends with every line.
class ChoiceListDialog final : public QDialog {
  Q_OBJECT
 public:
  ChoiceListDialog(const std::string& title, const std::vector<std::string>& entries, bool multiple,
                   bool offerAll, QWidget* parent);
  std::vector<int> Chosen() const;
  // Closes the dialog as cancelled once `stillWanted` says no (checked a few
  // times a second).
  void CloseWhenUnwanted(std::function<bool()> stillWanted);
  QListWidget* list() const { return list_; }

 private:
  QListWidget* list_;
  bool all_ = false;
};

// A one-line question.
class TextDialog final : public QDialog {
  Q_OBJECT
 public:
  TextDialog(const std::string& title, const std::string& prompt, const std::string& initial, int maxLength,
             QWidget* parent);
  std::string Text() const;

 private:
  QLineEdit* edit_;
};

void ShowAboutBox(QWidget* parent);

// "Modify waypoint ID": an ID from a waypoint file that the strict check
// refuses. Yes takes the lenient form of this one, Yes to All of this and
// every later one, No skips the line, Cancel (or closing) stops the read.
class ModifyWaypointIdDialog final : public QDialog {
  Q_OBJECT
 public:
  ModifyWaypointIdDialog(std::string_view id, QWidget* parent);
  ModifyIdAnswer Answer() const { return answer_; }
  QPushButton* button(ModifyIdAnswer answer) const;

 private:
  std::vector<std::pair<ModifyIdAnswer, QPushButton*>> buttons_;
  ModifyIdAnswer answer_ = ModifyIdAnswer::kCancel;
};

// "Set COM port": the new setting on OK, nothing on Cancel.
class ComPortDialog final : public QDialog {
  Q_OBJECT
 public:
  ComPortDialog(const std::vector<std::string>& ports, const std::string& current, QWidget* parent);
  std::string Chosen() const { return chosen_; }
  void accept() override;

 private:
  QComboBox* list_;
  QLineEdit* number_;
  std::string chosen_;
};

// "Edit Waypoint", for new and existing waypoints.
class EditWaypointDialog final : public QDialog {
  Q_OBJECT
 public:
  EditWaypointDialog(const Waypoint& initial, bool isNew, bool utm, QWidget* parent);
  Waypoint Result() const { return result_; }
  bool utm() const;
  void accept() override;

 private:
  WaypointFields Read() const;
  void SetUtm(bool utm);

  QLineEdit *id_, *comment_, *height_, *symbol_, *timestamp_;
  QLineEdit *latitude_, *longitude_, *zone_, *easting_, *northing_;
  QLabel *latitudeLabel_, *longitudeLabel_, *zoneLabel_, *eastingLabel_, *northingLabel_;
  QCheckBox* utmBox_;
  Waypoint result_;
};

// "Calculate distance" between two typed or chosen positions.
class DistanceDialog final : public QDialog {
  Q_OBJECT
 public:
  DistanceDialog(const WaypointList& waypoints, bool utm, QWidget* parent);
  bool utm() const;
  QString DistanceShown() const;
  // The Calculate button's work; true when a distance (or "Error") is shown.
  bool Calculate();

  struct Side {
    QComboBox* list;
    QLabel* description;
    QLabel *latLabel, *lonLabel, *northLabel;
    QLineEdit *zone, *first, *second;  // first/second: latitude/longitude or easting/northing
  };
  Side& from() { return from_; }
  Side& to() { return to_; }
  QCheckBox* utmBox() const { return utmBox_; }

 private:
  void Fill(Side& side, int index);
  void SetMode(bool utm);
  PositionFields Read(const Side& side) const;
  QWidget* MakeSide(Side& side, const QString& title);

  const WaypointList& waypoints_;
  Side from_{}, to_{};
  QCheckBox* utmBox_;
  QLineEdit* distance_;
};

// "Coordinate conversion" between degrees and UTM.
class ConversionDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit ConversionDialog(QWidget* parent);
  void ToUtm();
  void ToDegrees();
  QLineEdit *zone, *easting, *northing, *latitude, *longitude;
};

// "Track view": the one-bit picture of the selected points, redrawn for
// every size of the window.
class TrackViewWindow final : public QWidget {
  Q_OBJECT
 public:
  TrackViewWindow(TrackPlane plane, QWidget* parent);
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TrackPlane plane_;
  QImage picture_;
};

}  // namespace skylode
