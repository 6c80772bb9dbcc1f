// The flight view over the main window with real flights: the barogram's
// ranges, the scored route, the cursor shared with the list, the redraw when
// the log changes, and the exports.
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>

#include "analysis/trip_search.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/igc_commands.h"
#include "ui/flight_view.h"
#include "ui/flight_view_barogram.h"
#include "ui/list_model.h"
#include "ui/map/map_widget.h"
#include "window_fixture.h"

namespace skylode::test {
namespace {

constexpr double kUnixAtTrackEpoch = 631065600.0;

std::string Flight(const char* name) { return std::string(SKYLODE_TEST_DATA) + "/flights/" + name; }

class FlightViewTest : public WindowFixture {
 protected:
  // No test reaches the internet: the map asks a local port nobody listens
  // on and draws its plain background, with a tile cache of the test's own.
  void SetUp() override {
    ASSERT_TRUE(cacheHome_.isValid());
    if (const char* old = std::getenv("XDG_CACHE_HOME")) savedCacheHome_ = old;
    setenv("XDG_CACHE_HOME", cacheHome_.path().toLocal8Bit().constData(), 1);
    Start();
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const std::string url = "http://127.0.0.1:" + std::to_string(probe.serverPort()) + "/{z}/{x}/{y}.png";
    probe.close();
    ASSERT_TRUE(app().settings().SetText(SettingId::kMapTileUrl, url));
  }
  void TearDown() override {
    if (savedCacheHome_) {
      setenv("XDG_CACHE_HOME", savedCacheHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
  }
  QTemporaryDir cacheHome_;
  std::optional<std::string> savedCacheHome_;

  void Open(const char* name) {
    ASSERT_EQ(OpenIgcTrackLog(app(), Flight(name)), 0) << name;
    ASSERT_FALSE(app().trackLog.empty());
  }

  FlightView* ShowView() {
    QAction* entry = window().action(cmd::kFlightView);
    EXPECT_NE(entry, nullptr);
    if (!entry) return nullptr;
    EXPECT_TRUE(entry->isEnabled());
    entry->trigger();
    FlightView* view = OpenFlightView(window());
    EXPECT_NE(view, nullptr);
    if (view) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
    }
    return view;
  }

  // The view redraws after the list's signals have been handled.
  static bool Shows(FlightView& view, const std::vector<TrackPoint>& points) {
    return WaitFor([&] {
      return view.model().points() == points && !points.empty() &&
             view.barogram()->timeMin() == points.front().time + kUnixAtTrackEpoch &&
             view.barogram()->timeMax() == points.back().time + kUnixAtTrackEpoch;
    });
  }

  std::vector<int32_t> Selected() { return window().SelectedRows(ViewMode::kTrackLog); }
};

TEST_F(FlightViewTest, BarogramHasTheFlightsTimeAndHeights) {
  Open("trifai-xcontest-189.65.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  const std::vector<TrackPoint>& points = app().trackLog.points;
  ASSERT_TRUE(Shows(*view, points));

  double lo = 1e9;
  double hi = -1e9;
  for (const TrackPoint& p : points) {
    if ((p.flags & kTrackPointNoGpsHeight) == 0) {
      lo = std::min(lo, p.gpsHeight / 10.0);
      hi = std::max(hi, p.gpsHeight / 10.0);
    }
    if (app().trackLog.hasBaroHeight) {
      lo = std::min<double>(lo, p.baroHeight);
      hi = std::max<double>(hi, p.baroHeight);
    }
  }
  BarogramView& barogram = *view->barogram();
  EXPECT_LE(barogram.heightMin(), lo);
  EXPECT_GE(barogram.heightMax(), hi);
  // Room around the curve, not a scale that flattens it.
  EXPECT_GE(barogram.heightMin(), lo - (hi - lo) * 0.1 - 15);
  EXPECT_LE(barogram.heightMax(), hi + (hi - lo) * 0.1 + 15);

  // Thinned for the screen, yet a curve of the whole flight.
  ASSERT_TRUE(WaitFor([&] { return barogram.drawnPoints() > 200; }));
  EXPECT_LT(barogram.drawnPoints(), static_cast<int>(points.size()));

  // A zoom shows a quarter of the time, redrawn in the detail it has there.
  const double span = barogram.timeMax() - barogram.timeMin();
  const int before = barogram.drawnPoints();
  barogram.ZoomAbout(barogram.viewport()->width() / 2.0, 4);
  EXPECT_NEAR(barogram.timeMax() - barogram.timeMin(), span / 4, 2);
  EXPECT_GE(barogram.timeMin(), points.front().time + kUnixAtTrackEpoch);
  EXPECT_LE(barogram.timeMax(), points.back().time + kUnixAtTrackEpoch);
  ASSERT_TRUE(WaitFor([&] { return barogram.drawnPoints() != before; }));
  EXPECT_GT(barogram.drawnPoints(), 200);
  barogram.ResetZoom();
  EXPECT_EQ(barogram.timeMax() - barogram.timeMin(), span);

  EXPECT_TRUE(view->summary()->text().contains(QStringLiteral("thermals")));
}

TEST_F(FlightViewTest, WheelZoomsAndDragPans) {
  Open("flat-xcontest-100.59.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  BarogramView& barogram = *view->barogram();
  const double fullMin = barogram.timeMin();
  const double fullMax = barogram.timeMax();
  const QPoint middle = barogram.PixelOfFix(app().trackLog.count() / 2);

  // Two notches in about the middle: the time there stays where it was.
  const double before = barogram.SecondsAtPixel(middle);
  QWheelEvent wheel(QPointF(middle), barogram.viewport()->mapToGlobal(QPointF(middle)), QPoint(), QPoint(0, 240),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(barogram.viewport(), &wheel);
  const double span = barogram.timeMax() - barogram.timeMin();
  EXPECT_NEAR(span, (fullMax - fullMin) / 1.5625, 2);
  EXPECT_NEAR(barogram.SecondsAtPixel(middle), before, span / 200);

  // Shift and drag to the left: later times come into view, as wide as before.
  const QPoint to = middle - QPoint(100, 0);
  const double zoomedMin = barogram.timeMin();
  const double shift = barogram.SecondsAtPixel(middle) - barogram.SecondsAtPixel(to);
  QTest::mousePress(barogram.viewport(), Qt::LeftButton, Qt::ShiftModifier, middle);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), barogram.viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                   Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(barogram.viewport(), &move);
  QTest::mouseRelease(barogram.viewport(), Qt::LeftButton, Qt::ShiftModifier, to);
  EXPECT_NEAR(barogram.timeMax() - barogram.timeMin(), span, 1);
  EXPECT_NEAR(barogram.timeMin(), zoomedMin + shift, span / 100);
  EXPECT_TRUE(Selected().empty()) << "a pan is no click";

  // Never past the end of the flight, however far the drag goes.
  for (int k = 0; k < 20; ++k) {
    QTest::mousePress(barogram.viewport(), Qt::LeftButton, Qt::ShiftModifier, middle);
    QApplication::sendEvent(barogram.viewport(), &move);
    QTest::mouseRelease(barogram.viewport(), Qt::LeftButton, Qt::ShiftModifier, to);
  }
  EXPECT_EQ(barogram.timeMax(), fullMax);
  EXPECT_NEAR(barogram.timeMax() - barogram.timeMin(), span, 1);

  // The right button shows the whole flight again.
  QTest::mouseClick(barogram.viewport(), Qt::RightButton, {}, middle);
  EXPECT_EQ(barogram.timeMin(), fullMin);
  EXPECT_EQ(barogram.timeMax(), fullMax);
}

TEST_F(FlightViewTest, RouteOfARealFlightIsTheTripSearchResult) {
  Open("flat-xcontest-100.59.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !view->model().overlays().routes.empty(); }, 180'000));

  TripDistances trips;
  TripSearchOptions options;
  options.loopFlightGap = static_cast<uint32_t>(app().settings().Number(SettingId::kLoopFlightGap));
  TripHaltFlag halt{false};
  ASSERT_EQ(RunTripSearch(app().trackLog.points, trips, options, {}, halt), 0);
  const std::optional<ScoredRoute> expected = TripRoute(app().trackLog.points, trips);
  ASSERT_TRUE(expected);
  const ScoredRoute& shown = view->model().overlays().routes.front();
  EXPECT_EQ(shown.title, expected->title);
  ASSERT_EQ(shown.turnpoints.size(), expected->turnpoints.size());
  for (size_t k = 0; k < shown.turnpoints.size(); ++k)
    EXPECT_EQ(shown.turnpoints[k].index, expected->turnpoints[k].index) << k;
  ASSERT_TRUE(WaitFor([&] { return view->summary()->text().contains(QString::fromStdString(expected->title)); }));
}

TEST_F(FlightViewTest, ListSelectionIsTheCursor) {
  Open("freeflight-xcontest-66.46.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  BarogramView& barogram = *view->barogram();
  struct Case {
    std::vector<int32_t> rows;
    int32_t first, last;
  };
  const int32_t n = app().trackLog.count();
  const Case cases[] = {
      {{100, 101, 102, 103}, 100, 103},
      {{n - 1}, n - 1, n - 1},
      // Two stretches: the cursor spans them both.
      {{10, 11, 500, 501}, 10, 501},
      {{}, -1, -1},
  };
  for (const Case& c : cases) {
    window().SelectRows(ViewMode::kTrackLog, c.rows);
    EXPECT_EQ(barogram.selectionFirst(), c.first);
    EXPECT_EQ(barogram.selectionLast(), c.last);
    EXPECT_EQ(view->map()->selectionFirst(), c.first);
    EXPECT_EQ(view->map()->selectionLast(), c.last);
  }
}

TEST_F(FlightViewTest, ClickOnTheMapSelectsTheNearestFix) {
  Open("flat-ffvl-26.37.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  MapWidget& map = *view->map();
  const int32_t n = app().trackLog.count();
  for (const int32_t target : {0, n / 3, n / 2 + 17, n - 1}) {
    SCOPED_TRACE(target);
    const std::optional<QPointF> at = map.fixPosition(target);
    ASSERT_TRUE(at);
    const QPoint pixel = at->toPoint();
    QTest::mouseClick(&map, Qt::LeftButton, {}, pixel);
    const std::vector<int32_t> rows = Selected();
    ASSERT_EQ(rows.size(), 1u);
    // Fixes may share a pixel; the one chosen lies no further from the click
    // than the one aimed at, and the map's highlight moved with the list.
    const QPointF chosen = *map.fixPosition(rows[0]);
    EXPECT_LE(std::hypot(chosen.x() - pixel.x(), chosen.y() - pixel.y()),
              std::hypot(at->x() - pixel.x(), at->y() - pixel.y()) + 1e-9);
    EXPECT_EQ(map.selectionFirst(), rows[0]);
    EXPECT_EQ(map.selectionLast(), rows[0]);
  }
}

TEST_F(FlightViewTest, ClickOnTheBarogramSelectsTheNearestFix) {
  Open("flat-ffvl-26.37.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  BarogramView& barogram = *view->barogram();
  const int32_t n = app().trackLog.count();
  const double plotWidth = barogram.PixelOfFix(n - 1).x() - barogram.PixelOfFix(0).x();
  ASSERT_GT(plotWidth, 100);
  const double fixesPerPixel = n / plotWidth;
  for (const int32_t target : {0, n / 3, n / 2 + 17, n - 1}) {
    SCOPED_TRACE(target);
    const QPoint pixel = barogram.PixelOfFix(target);
    QTest::mouseClick(barogram.viewport(), Qt::LeftButton, {}, pixel);
    const std::vector<int32_t> rows = Selected();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], barogram.FixAt(pixel));
    EXPECT_LE(std::abs(rows[0] - target), fixesPerPixel * 2 + 1);
    // The list shows the row, and the barogram's cursor went there too.
    QTableView* table = window().table();
    const QRect cell = table->visualRect(window().model()->index(rows[0], 0));
    EXPECT_TRUE(table->viewport()->rect().intersects(cell));
    EXPECT_EQ(barogram.selectionFirst(), rows[0]);
    EXPECT_EQ(barogram.selectionLast(), rows[0]);
  }
  // A drag zooms and selects nothing new.
  const std::vector<int32_t> before = Selected();
  const QPoint from = barogram.PixelOfFix(n / 4);
  const QPoint to = barogram.PixelOfFix(n / 2);
  QTest::mousePress(barogram.viewport(), Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), barogram.viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(barogram.viewport(), &move);
  QTest::mouseRelease(barogram.viewport(), Qt::LeftButton, {}, to);
  EXPECT_EQ(Selected(), before);
  const double t0 = app().trackLog.points[static_cast<size_t>(n / 4)].time + kUnixAtTrackEpoch;
  const double t1 = app().trackLog.points[static_cast<size_t>(n / 2)].time + kUnixAtTrackEpoch;
  EXPECT_NEAR(barogram.timeMin(), t0, (t1 - t0) * 0.05);
  EXPECT_NEAR(barogram.timeMax(), t1, (t1 - t0) * 0.05);
}

TEST_F(FlightViewTest, FollowsTheTrackLog) {
  Open("flat-ffvl-26.37.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));

  // Another file read.
  Open("freeflight-xcontest-66.46.igc");
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  const std::vector<TrackPoint> whole = app().trackLog.points;

  // Rotating the first half of the log keeps only that half, moved.
  const int32_t half = static_cast<int32_t>(whole.size() / 2);
  std::vector<int32_t> rows(static_cast<size_t>(half));
  for (int32_t i = 0; i < half; ++i) rows[static_cast<size_t>(i)] = i;
  window().SelectRows(ViewMode::kTrackLog, rows);
  ModalWatcher watcher;  // accepts the Rotate Track dialog as it opens
  window().Run(cmd::kRotateTrack);
  ASSERT_EQ(app().trackLog.count(), half) << (watcher.boxes.empty() ? "" : watcher.boxes.front().text);
  ASSERT_NE(app().trackLog.points.front().latitude, whole.front().latitude);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  EXPECT_EQ(view->barogram()->timeMax(), whole[static_cast<size_t>(half - 1)].time + kUnixAtTrackEpoch);
}

TEST_F(FlightViewTest, ExportsPngAndSvgOfTheWholeView) {
  Open("trifai-xcontest-189.65.igc");
  FlightView* view = ShowView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Shows(*view, app().trackLog.points));
  window().SelectRows(ViewMode::kTrackLog, {3000, 3001, 3002, 3003, 3004, 3005});

  const std::string png = Path("flight.png");
  ASSERT_TRUE(view->Export(png, ExportFormat::kPng));
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(png)));
  EXPECT_EQ(image.size(), view->picture()->size());
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 7)
    for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
  EXPECT_GT(colours.size(), 8u) << "a blank picture";

  const std::string svg = Path("flight.svg");
  ASSERT_TRUE(view->Export(svg, ExportFormat::kSvg));
  QFile file(QString::fromStdString(svg));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  int elements = 0;
  QString root;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement) {
      if (elements++ == 0) root = xml.name().toString();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(root, QStringLiteral("svg"));
  EXPECT_GT(elements, 50);

  // A folder that is not there: refused, and nothing left behind.
  const std::string nowhere = Path("missing/flight.png");
  EXPECT_FALSE(view->Export(nowhere, ExportFormat::kPng));
  EXPECT_FALSE(std::filesystem::exists(nowhere));

  // The picture a person sees, kept with the build for a look.
  ASSERT_TRUE(WaitFor([&] { return !view->model().overlays().routes.empty(); }, 180'000));
  view->barogram()->ResetZoom();
  QApplication::processEvents();
  const QString artifacts = QStringLiteral(SKYLODE_BINARY_DIR "/artifacts");
  ASSERT_TRUE(QDir().mkpath(artifacts));
  EXPECT_TRUE(view->grab().save(artifacts + QStringLiteral("/flight_view.png")));
}

}  // namespace
}  // namespace skylode::test
