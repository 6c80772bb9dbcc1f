#include "ui/flight_view.h"

#include <QBuffer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "formats/file_io.h"
#include "shell/app_state.h"
#include "ui/flight_view_barogram.h"
#include "ui/list_model.h"
#include "ui/map/map_widget.h"
#include "ui/main_window.h"

namespace skylode {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// How often the view looks for the searches' results while they run.
constexpr int kPollMs = 200;

}  // namespace

FlightView::FlightView(AppState& app, QWidget* parent) : QWidget(parent), app_(app) {
  setObjectName(QStringLiteral("FlightView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);

  auto* bar = new QHBoxLayout;
  auto* reset = new QPushButton(QStringLiteral("Whole flight"), this);
  auto* png = new QPushButton(QStringLiteral("Export PNG..."), this);
  auto* svg = new QPushButton(QStringLiteral("Export SVG..."), this);
  for (QPushButton* b : {reset, png, svg}) b->setAutoDefault(false);
  bar->addWidget(reset);
  bar->addStretch(1);
  bar->addWidget(png);
  bar->addWidget(svg);
  layout->addLayout(bar);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName(QStringLiteral("FlightViewPicture"));
  barogram_ = new BarogramView(splitter_);
  splitter_->addWidget(barogram_);
  map_ = new MapWidget(splitter_);
  map_->setObjectName(QStringLiteral("FlightViewMap"));
  map_->setMinimumSize(240, 220);
  map_->setTileUrl(app_.settings().Text(SettingId::kMapTileUrl));
  splitter_->addWidget(map_);
  splitter_->setStretchFactor(0, 3);
  splitter_->setStretchFactor(1, 2);
  splitter_->setSizes({660, 440});
  layout->addWidget(splitter_, 1);

  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("FlightViewSummary"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  poll_ = new QTimer(this);
  poll_->setInterval(kPollMs);
  connect(poll_, &QTimer::timeout, this, &FlightView::TakeAnalyses);
  connect(reset, &QPushButton::clicked, barogram_, &BarogramView::ResetZoom);
  connect(png, &QPushButton::clicked, this, [this] { ChooseExport(ExportFormat::kPng); });
  connect(svg, &QPushButton::clicked, this, [this] { ChooseExport(ExportFormat::kSvg); });
  connect(barogram_, &BarogramView::fixClicked, this, &FlightView::fixClicked);
  connect(map_, &MapWidget::fixClicked, this, &FlightView::fixClicked);
  resize(1100, 560);
}

FlightView::~FlightView() = default;

QWidget* FlightView::picture() const { return splitter_; }

void FlightView::Reload() {
  FlightViewOptions options;
  options.loopFlightGap = static_cast<uint32_t>(std::max<int64_t>(0, app_.settings().Number(SettingId::kLoopFlightGap)));
  if (!model_.Load(app_.trackLog, options)) return;
  selFirst_ = selLast_ = -1;
  barogram_->SetCurves(&model_.curves());
  barogram_->SetThermals(model_.overlays().thermals);
  map_->setTrack(model_.points());
  map_->setOverlays(model_.overlays());
  UpdateSummary();
  poll_->start();
}

void FlightView::TakeAnalyses() {
  const bool changed = model_.Poll();
  if (changed) map_->setOverlays(model_.overlays());
  if (changed || !model_.Busy()) UpdateSummary();
  if (!model_.Busy()) poll_->stop();
}

void FlightView::SetSelection(int32_t first, int32_t last) {
  selFirst_ = first;
  selLast_ = last;
  barogram_->SetSelection(first, last);
  map_->setSelection(first, last);
}

void FlightView::UpdateSummary() {
  QStringList lines;
  const FlightOverlays& o = model_.overlays();
  if (model_.points().empty()) {
    summary_->setText(QStringLiteral("No track log"));
    return;
  }
  for (const ScoredRoute& r : o.routes) lines << Q(r.title);
  if (model_.Busy()) lines << QStringLiteral("Searching the routes...");
  if (o.thermals.empty()) {
    lines << QStringLiteral("No thermals");
  } else {
    double best = o.thermals.front().meanClimb;
    for (const ThermalPhase& t : o.thermals) best = std::max(best, t.meanClimb);
    lines << QString::asprintf("%d thermals, best mean climb %+.1f m/s", static_cast<int>(o.thermals.size()), best);
  }
  summary_->setText(lines.join(QLatin1Char('\n')));
}

bool FlightView::Export(const std::string& path, ExportFormat format) {
  QWidget* picture = splitter_;
  const QSize size = picture->size().expandedTo(QSize(16, 16));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return false;
  if (format == ExportFormat::kPng) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      picture->render(&painter);
    }
    if (!image.save(&buffer, "PNG")) return false;
  } else {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Flight"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    picture->render(&painter);
    painter.end();
  }
  buffer.close();
  if (bytes.isEmpty()) return false;
  return WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))).ok();
}

void FlightView::ChooseExport(ExportFormat format) {
  const bool png = format == ExportFormat::kPng;
  const QString path = QFileDialog::getSaveFileName(
      this, png ? QStringLiteral("Export the flight as PNG") : QStringLiteral("Export the flight as SVG"),
      png ? QStringLiteral("flight.png") : QStringLiteral("flight.svg"),
      png ? QStringLiteral("PNG images (*.png)") : QStringLiteral("SVG drawings (*.svg)"));
  if (path.isEmpty()) return;
  if (!Export(path.toStdString(), format)) {
    app_.ShowMessage(Caption{"Export flight view"}, "The picture could not be written to " + path.toStdString());
  }
}

FlightView* OpenFlightView(MainWindow& window) { return window.findChild<FlightView*>(); }

FlightView* ShowFlightView(AppState& app, MainWindow& window) {
  if (FlightView* open = OpenFlightView(window)) {
    open->show();
    open->raise();
    open->activateWindow();
    return open;
  }
  auto* view = new FlightView(app, &window);
  view->setWindowFlag(Qt::Window);
  view->setAttribute(Qt::WA_DeleteOnClose);
  view->setWindowTitle(QStringLiteral("Flight view"));

  // Every change of the list comes as one of the model's signals; a burst of
  // them (a download's rows) reads the log once.
  MainWindow* w = &window;
  auto follow = [view, w] {
    const std::vector<int32_t> rows = w->SelectedRows(ViewMode::kTrackLog);
    if (rows.empty()) {
      view->SetSelection(-1, -1);
    } else {
      view->SetSelection(rows.front(), rows.back());
    }
  };
  QObject::connect(window.table()->selectionModel(), &QItemSelectionModel::selectionChanged, view, follow);

  auto* reload = new QTimer(view);
  reload->setSingleShot(true);
  reload->setInterval(0);
  // Rows the shell selected with the new log are the cursor on it.
  QObject::connect(reload, &QTimer::timeout, view, [view, follow] {
    view->Reload();
    follow();
  });
  ListModel* model = window.model();
  QObject::connect(model, &QAbstractItemModel::modelReset, reload, qOverload<>(&QTimer::start));
  QObject::connect(model, &QAbstractItemModel::rowsInserted, reload, qOverload<>(&QTimer::start));
  QObject::connect(model, &QAbstractItemModel::rowsRemoved, reload, qOverload<>(&QTimer::start));
  QObject::connect(model, &QAbstractItemModel::dataChanged, reload, qOverload<>(&QTimer::start));
  QObject::connect(view, &FlightView::fixClicked, view, [w](int32_t index) {
    if (w->model()->view() != ViewMode::kTrackLog || index < 0 || index >= w->model()->rowCount()) return;
    w->SelectRows(ViewMode::kTrackLog, {index});
    const QModelIndex cell = w->model()->index(index, 0);
    w->table()->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    w->table()->scrollTo(cell, QAbstractItemView::PositionAtCenter);
  });

  view->Reload();
  follow();
  view->show();
  view->raise();
  return view;
}

}  // namespace skylode
