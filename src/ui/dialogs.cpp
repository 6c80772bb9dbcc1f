#include "ui/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <variant>

#include "shell/app_state.h"
#include "ui/port_choice.h"

namespace skylode {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }

QLineEdit* Edit(int maxLength, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setMaxLength(maxLength);
  return e;
}

}  // namespace

void ShowFieldError(QWidget* parent, const FieldError& error) {
  QMessageBox box(QMessageBox::Warning, Q(error.caption), Q(error.text), QMessageBox::Ok, parent);
  box.exec();
}

// --- Track List / Split Log --------------------------------------------------

ChoiceListDialog::ChoiceListDialog(const std::string& title, const std::vector<std::string>& entries,
                                   bool multiple, bool offerAll, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle(Q(title));
  for (const auto& e : entries) list_->addItem(Q(e));
  list_->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  if (list_->count() > 0) list_->setCurrentRow(0);
  list_->setMinimumWidth(list_->sizeHintForColumn(0) + 40);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  if (offerAll) {
    QPushButton* all = buttons->addButton(tr("All"), QDialogButtonBox::AcceptRole);
    connect(all, &QPushButton::clicked, this, [this] {
      all_ = true;
      QDialog::accept();
    });
  }
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(std::min(900, list_->minimumWidth() + 40), 360);
}

std::vector<int> ChoiceListDialog::Chosen() const {
  std::vector<int> rows;
  for (int i = 0; i < list_->count(); ++i) {
    if (all_ || list_->item(i)->isSelected()) rows.push_back(i);
  }
  return rows;
}

void ChoiceListDialog::CloseWhenUnwanted(std::function<bool()> stillWanted) {
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this, stillWanted] {
    if (!stillWanted()) reject();
  });
  timer->start(200);
}

// --- One-line question ------------------------------------------------------

TextDialog::TextDialog(const std::string& title, const std::string& prompt, const std::string& initial,
                       int maxLength, QWidget* parent)
    : QDialog(parent), edit_(Edit(maxLength, this)) {
  setWindowTitle(Q(title));
  auto* label = new QLabel(Q(prompt), this);
  label->setWordWrap(true);
  edit_->setText(Q(initial));
  edit_->selectAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(edit_);
  layout->addWidget(buttons);
  setMinimumWidth(360);
}

std::string TextDialog::Text() const { return S(edit_->text()); }

// --- Modify waypoint ID ------------------------------------------------------

ModifyWaypointIdDialog::ModifyWaypointIdDialog(std::string_view id, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ModifyWaypointId"));
  setWindowTitle(QStringLiteral("Modify waypoint ID"));
  // The ID as the file has it: a read-only field shows blanks and long texts
  // whole, and nothing in it is taken as markup.
  auto* shown = new QLineEdit(Q(id), this);
  shown->setReadOnly(true);
  shown->setObjectName(QStringLiteral("id"));
  auto* question = new QLabel(QStringLiteral("Modify (-> uppercase or truncate) this ID ?"), this);
  auto* row = new QHBoxLayout;
  const std::pair<ModifyIdAnswer, const char*> kButtons[] = {{ModifyIdAnswer::kYes, "&Yes"},
                                                             {ModifyIdAnswer::kYesToAll, "Yes to &All"},
                                                             {ModifyIdAnswer::kSkip, "&No (skip)"},
                                                             {ModifyIdAnswer::kCancel, "&Cancel"}};
  for (const auto& [answer, text] : kButtons) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, a = answer] {
      answer_ = a;
      accept();
    });
    buttons_.emplace_back(answer, b);
    row->addWidget(b);
  }
  button(ModifyIdAnswer::kYes)->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(shown);
  layout->addWidget(question);
  layout->addLayout(row);
}

QPushButton* ModifyWaypointIdDialog::button(ModifyIdAnswer answer) const {
  for (const auto& [a, b] : buttons_)
    if (a == answer) return b;
  return nullptr;
}

// --- About -------------------------------------------------------------------

void ShowAboutBox(QWidget* parent) {
  char version[32];
  std::snprintf(version, sizeof version, "Version %d.%02d", kProgramVersion / 100, kProgramVersion % 100);
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("About Skylode"));
  box.setIcon(QMessageBox::Information);
  box.setText(QStringLiteral("<b>Skylode</b><br>") + Q(version));
  box.setInformativeText(QStringLiteral(
      "Downloads tracks, waypoints and airspaces from flight instruments and converts them.\n\n"
      "This program is free of charge and comes without any warranty."));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

// --- Set COM port -------------------------------------------------------------

ComPortDialog::ComPortDialog(const std::vector<std::string>& ports, const std::string& current, QWidget* parent)
    : QDialog(parent), list_(new QComboBox(this)), number_(Edit(15, this)) {
  setWindowTitle(QStringLiteral("Set COM port"));
  for (const auto& p : ports) list_->addItem(Q(p));
  const int index = list_->findText(Q(current));
  list_->setCurrentIndex(index >= 0 ? index : 0);
  number_->setPlaceholderText(QStringLiteral("1-20"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Port:"), list_);
  form->addRow(QStringLiteral("&COM number:"), number_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ComPortDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(380);
}

void ComPortDialog::accept() {
  std::optional<std::string> selected;
  if (list_->currentIndex() >= 0) selected = S(list_->currentText());
  auto choice = ChooseComPort(S(number_->text()), selected);
  if (auto* error = std::get_if<FieldError>(&choice)) {
    ShowFieldError(this, *error);
    return;
  }
  chosen_ = std::get<std::string>(choice);
  QDialog::accept();
}

// --- Edit Waypoint -------------------------------------------------------------

EditWaypointDialog::EditWaypointDialog(const Waypoint& initial, bool isNew, bool utm, QWidget* parent)
    : QDialog(parent), result_(initial) {
  setWindowTitle(QStringLiteral("Edit Waypoint"));
  id_ = Edit(6, this);
  comment_ = Edit(40, this);
  height_ = Edit(12, this);
  symbol_ = Edit(12, this);
  timestamp_ = Edit(32, this);
  latitude_ = Edit(40, this);
  longitude_ = Edit(40, this);
  zone_ = Edit(8, this);
  easting_ = Edit(20, this);
  northing_ = Edit(20, this);
  utmBox_ = new QCheckBox(QStringLiteral("UTM"), this);
  latitudeLabel_ = new QLabel(QStringLiteral("&Latitude:"), this);
  longitudeLabel_ = new QLabel(QStringLiteral("Lo&ngitude:"), this);
  zoneLabel_ = new QLabel(QStringLiteral("&Zone:"), this);
  eastingLabel_ = new QLabel(QStringLiteral("&Easting:"), this);
  northingLabel_ = new QLabel(QStringLiteral("No&rthing:"), this);
  latitudeLabel_->setBuddy(latitude_);
  longitudeLabel_->setBuddy(longitude_);
  zoneLabel_->setBuddy(zone_);
  eastingLabel_->setBuddy(easting_);
  northingLabel_->setBuddy(northing_);

  Waypoint shown = initial;
  if (isNew) {
    shown.id.clear();
    shown.name.clear();
    shown.height = 0;
  }
  const WaypointFields f = FormatWaypointFields(shown, utm);
  id_->setText(Q(f.id));
  comment_->setText(Q(f.comment));
  height_->setText(Q(f.height));
  symbol_->setText(Q(f.symbol));
  timestamp_->setText(Q(f.timestamp));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Waypoint &ID:"), id_);
  form->addRow(QStringLiteral("&Comment:"), comment_);
  form->addRow(QStringLiteral("&Height (m):"), height_);
  form->addRow(QStringLiteral("&Symbol:"), symbol_);
  form->addRow(QStringLiteral("&Timestamp:"), timestamp_);
  form->addRow(QString(), utmBox_);
  form->addRow(latitudeLabel_, latitude_);
  form->addRow(longitudeLabel_, longitude_);
  form->addRow(zoneLabel_, zone_);
  form->addRow(eastingLabel_, easting_);
  form->addRow(northingLabel_, northing_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &EditWaypointDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("NOTE:  Only WGS84 is supported"), this));
  layout->addWidget(buttons);

  utmBox_->setChecked(utm);
  SetUtm(utm);
  connect(utmBox_, &QCheckBox::toggled, this, [this](bool on) {
    // The position moves across to the other form so that it is not lost.
    const WaypointFields before = Read();
    WaypointFields flipped = before;
    flipped.utm = !on;
    const auto parsed = ParseWaypointFields(flipped);
    SetUtm(on);
    if (parsed.waypoint) {
      const PositionFields p = FormatPositionFields(parsed.waypoint->latitude, parsed.waypoint->longitude, on);
      latitude_->setText(Q(p.latitude));
      longitude_->setText(Q(p.longitude));
      zone_->setText(Q(p.zone));
      easting_->setText(Q(p.easting));
      northing_->setText(Q(p.northing));
    }
  });
  const PositionFields p = FormatPositionFields(shown.latitude, shown.longitude, utm);
  latitude_->setText(Q(p.latitude));
  longitude_->setText(Q(p.longitude));
  zone_->setText(Q(p.zone));
  easting_->setText(Q(p.easting));
  northing_->setText(Q(p.northing));
  setMinimumWidth(420);
}

bool EditWaypointDialog::utm() const { return utmBox_->isChecked(); }

void EditWaypointDialog::SetUtm(bool on) {
  for (QWidget* w : {static_cast<QWidget*>(latitude_), static_cast<QWidget*>(longitude_),
                     static_cast<QWidget*>(latitudeLabel_), static_cast<QWidget*>(longitudeLabel_)})
    w->setEnabled(!on);
  for (QWidget* w : {static_cast<QWidget*>(zone_), static_cast<QWidget*>(easting_),
                     static_cast<QWidget*>(northing_), static_cast<QWidget*>(zoneLabel_),
                     static_cast<QWidget*>(eastingLabel_), static_cast<QWidget*>(northingLabel_)})
    w->setEnabled(on);
}

WaypointFields EditWaypointDialog::Read() const {
  WaypointFields f;
  f.id = S(id_->text());
  f.comment = S(comment_->text());
  f.height = S(height_->text());
  f.symbol = S(symbol_->text());
  f.timestamp = S(timestamp_->text());
  f.utm = utmBox_->isChecked();
  f.latitude = S(latitude_->text());
  f.longitude = S(longitude_->text());
  f.zone = S(zone_->text());
  f.easting = S(easting_->text());
  f.northing = S(northing_->text());
  return f;
}

void EditWaypointDialog::accept() {
  const auto parsed = ParseWaypointFields(Read());
  if (parsed.error) {
    ShowFieldError(this, *parsed.error);
    return;
  }
  result_ = *parsed.waypoint;
  QDialog::accept();
}

// --- Calculate distance ----------------------------------------------------------

QWidget* DistanceDialog::MakeSide(Side& side, const QString& title) {
  auto* box = new QGroupBox(title, this);
  side.list = new QComboBox(box);
  side.description = new QLabel(box);
  side.description->setMinimumWidth(200);
  side.zone = Edit(40, box);
  side.first = Edit(40, box);
  side.second = Edit(40, box);
  side.latLabel = new QLabel(box);
  side.lonLabel = new QLabel(box);
  side.northLabel = new QLabel(QStringLiteral("&Zone"), box);
  side.northLabel->setBuddy(side.zone);
  side.latLabel->setBuddy(side.first);
  side.lonLabel->setBuddy(side.second);
  auto* row = new QHBoxLayout;
  row->addWidget(side.list);
  row->addWidget(side.description, 1);
  auto* form = new QFormLayout;
  form->addRow(title == QStringLiteral("&From") ? QStringLiteral("Waypoint:") : QStringLiteral("Waypoint:"), row);
  form->addRow(side.northLabel, side.zone);
  form->addRow(side.latLabel, side.first);
  form->addRow(side.lonLabel, side.second);
  box->setLayout(form);
  return box;
}

DistanceDialog::DistanceDialog(const WaypointList& waypoints, bool utm, QWidget* parent)
    : QDialog(parent), waypoints_(waypoints) {
  setWindowTitle(QStringLiteral("Calculate distance"));
  utmBox_ = new QCheckBox(QStringLiteral("&UTM"), this);
  distance_ = new QLineEdit(this);
  distance_->setReadOnly(true);
  auto* calculate = new QPushButton(QStringLiteral("&Calculate"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeSide(from_, QStringLiteral("&From")));
  layout->addWidget(MakeSide(to_, QStringLiteral("&To")));
  auto* result = new QHBoxLayout;
  result->addWidget(utmBox_);
  result->addStretch(1);
  result->addWidget(new QLabel(QStringLiteral("Distance (m):"), this));
  result->addWidget(distance_);
  layout->addLayout(result);
  layout->addWidget(new QLabel(QStringLiteral("NOTE:  Only WGS84 is supported"), this));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(calculate);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  calculate->setDefault(true);
  connect(calculate, &QPushButton::clicked, this, [this] { Calculate(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  for (Side* side : {&from_, &to_}) {
    for (const auto& w : waypoints_.items) side->list->addItem(Q(w.id));
    connect(side->list, &QComboBox::currentIndexChanged, this, [this, side](int index) {
      Fill(*side, index);
      Calculate();
    });
  }
  utmBox_->setChecked(utm);
  SetMode(utm);
  connect(utmBox_, &QCheckBox::toggled, this, [this](bool on) {
    SetMode(on);
    Calculate();
  });
  if (!waypoints_.empty()) Calculate();
  setMinimumWidth(520);
}

bool DistanceDialog::utm() const { return utmBox_->isChecked(); }
QString DistanceDialog::DistanceShown() const { return distance_->text(); }

void DistanceDialog::Fill(Side& side, int index) {
  if (index < 0 || index >= waypoints_.count()) return;
  const Waypoint& w = waypoints_.items[static_cast<size_t>(index)];
  side.description->setText(Q(w.name));
  const PositionFields p = FormatPositionFields(w.latitude, w.longitude, utm());
  if (utm()) {
    side.zone->setText(Q(p.zone));
    side.first->setText(Q(p.easting));
    side.second->setText(Q(p.northing));
  } else {
    side.zone->clear();
    side.first->setText(Q(p.latitude));
    side.second->setText(Q(p.longitude));
  }
}

void DistanceDialog::SetMode(bool on) {
  for (Side* side : {&from_, &to_}) {
    side->latLabel->setText(on ? QStringLiteral("&Easting") : QStringLiteral("&Latitude"));
    side->lonLabel->setText(on ? QStringLiteral("&Northing") : QStringLiteral("Lo&ngitude"));
    side->zone->setEnabled(on);
    side->northLabel->setEnabled(on);
    side->zone->clear();
    side->first->clear();
    side->second->clear();
    Fill(*side, side->list->currentIndex());
  }
}

PositionFields DistanceDialog::Read(const Side& side) const {
  PositionFields f;
  if (utm()) {
    f.zone = S(side.zone->text());
    f.easting = S(side.first->text());
    f.northing = S(side.second->text());
  } else {
    f.latitude = S(side.first->text());
    f.longitude = S(side.second->text());
  }
  return f;
}

bool DistanceDialog::Calculate() {
  const PositionRead a = ReadDistanceFields(Read(from_), utm(), true);
  if (a.error) {
    ShowFieldError(this, *a.error);
    return false;
  }
  const PositionRead b = ReadDistanceFields(Read(to_), utm(), false);
  if (b.error) {
    ShowFieldError(this, *b.error);
    return false;
  }
  distance_->setText(Q(DistanceText(*a.position, *b.position)));
  return true;
}

// --- Coordinate conversion --------------------------------------------------------

ConversionDialog::ConversionDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Coordinate conversion"));
  zone = Edit(80, this);
  easting = Edit(80, this);
  northing = Edit(80, this);
  latitude = Edit(80, this);
  longitude = Edit(80, this);
  auto* utmBox = new QGroupBox(QStringLiteral("UTM/UPS"), this);
  auto* utmForm = new QFormLayout(utmBox);
  utmForm->addRow(QStringLiteral("&Zone:"), zone);
  utmForm->addRow(QStringLiteral("&Easting:"), easting);
  utmForm->addRow(QStringLiteral("&Northing:"), northing);
  auto* geoBox = new QGroupBox(QStringLiteral("Degrees"), this);
  auto* geoForm = new QFormLayout(geoBox);
  geoForm->addRow(QStringLiteral("L&atitude (N/S):"), latitude);
  geoForm->addRow(QStringLiteral("L&ongitude (E/W):"), longitude);
  auto* toUtm = new QPushButton(QStringLiteral("To &UTM/UPS"), this);
  auto* toDegrees = new QPushButton(QStringLiteral("To &degrees"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(toUtm, &QPushButton::clicked, this, &ConversionDialog::ToUtm);
  connect(toDegrees, &QPushButton::clicked, this, &ConversionDialog::ToDegrees);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(toUtm);
  buttons->addWidget(toDegrees);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(geoBox);
  layout->addWidget(utmBox);
  layout->addWidget(new QLabel(QStringLiteral("NOTE:  Only WGS84 is supported"), this));
  layout->addLayout(buttons);
  setMinimumWidth(420);
}

void ConversionDialog::ToUtm() {
  const ConversionResult r =
      ConvertToUtm(S(latitude->text()), S(longitude->text()), S(zone->text()));
  if (r.error) {
    ShowFieldError(this, *r.error);
    return;
  }
  zone->setText(Q(r.zone));
  easting->setText(Q(r.easting));
  northing->setText(Q(r.northing));
}

void ConversionDialog::ToDegrees() {
  const ConversionResult r = ConvertToDegrees(S(zone->text()), S(easting->text()), S(northing->text()));
  if (r.error) {
    ShowFieldError(this, *r.error);
    return;
  }
  latitude->setText(Q(r.latitude));
  longitude->setText(Q(r.longitude));
}

// --- Track view -------------------------------------------------------------------

TrackViewWindow::TrackViewWindow(TrackPlane plane, QWidget* parent)
    : QWidget(parent, Qt::Window), plane_(std::move(plane)) {
  setWindowTitle(QStringLiteral("Track view"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(480, 480);
}

void TrackViewWindow::resizeEvent(QResizeEvent*) {
  const MonoBitmap bmp = DrawTrack(plane_, width(), height());
  QImage image(bmp.width, bmp.height, QImage::Format_Mono);
  image.setColor(0, qRgb(255, 255, 255));
  image.setColor(1, qRgb(0, 0, 0));
  for (int y = 0; y < bmp.height; ++y)
    std::memcpy(image.scanLine(y), bmp.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(bmp.stride),
                static_cast<size_t>(std::min<qsizetype>(bmp.stride, image.bytesPerLine())));
  picture_ = image;
  update();
}

void TrackViewWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

}  // namespace skylode
