// The flight's map offscreen, against a tile server of its own on the
// loopback: tiles arrive once, come from the disk cache afterwards, and a
// server that is not there leaves a plain map and no message.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/geodesy.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "records/angles.h"
#include "shell/flight_view/tiles.h"
#include "shell/settings/settings.h"
#include "ui/map/map_widget.h"
#include "ui/map/tile_fetcher.h"

namespace skylode {
namespace {

const QColor kTileColour(40, 160, 90);

// An HTTP server answering every GET with one green PNG tile, noting what
// each request asked for and how the asker named itself.
class LocalTileServer {
 public:
  LocalTileServer() {
    QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
    tile.fill(kTileColour);
    QBuffer buffer(&png_);
    buffer.open(QIODevice::WriteOnly);
    tile.save(&buffer, "PNG");
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { Accept(); });
  }

  std::string UrlTemplate() const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/{z}/{x}/{y}.png";
  }

  enum class Answer { kTile, kNotFound, kNoImage };
  Answer answer = Answer::kTile;
  std::vector<std::string> paths;
  std::vector<std::string> userAgents;

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  void Serve(QTcpSocket* socket) {
    QByteArray& pending = pending_[socket];
    pending += socket->readAll();
    for (qsizetype end = pending.indexOf("\r\n\r\n"); end >= 0; end = pending.indexOf("\r\n\r\n")) {
      const QList<QByteArray> lines = pending.left(end).split('\n');
      pending.remove(0, end + 4);
      const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
      paths.push_back(request.value(1).toStdString());
      std::string agent;
      for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("user-agent:")) agent = line.mid(11).trimmed().toStdString();
      }
      userAgents.push_back(agent);
      const QByteArray body = answer == Answer::kTile ? png_ : QByteArray("<html>no tiles today</html>");
      const QByteArray status = answer == Answer::kNotFound ? "404 Not Found" : "200 OK";
      socket->write("HTTP/1.1 " + status + "\r\nContent-Type: image/png\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
  }

  QTcpServer server_;
  QByteArray png_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

// A port where nothing answers: the server of a club that is offline.
std::string DeadServerTemplate() {
  QTcpServer probe;
  EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const quint16 port = probe.serverPort();
  probe.close();
  return "http://127.0.0.1:" + std::to_string(port) + "/{z}/{x}/{y}.png";
}

std::vector<TrackPoint> RealFlight() {
  Result<std::string> text = ReadWholeFile(std::string(SKYLODE_TEST_DATA) + "/flights/flat-ffvl-26.37.igc");
  EXPECT_TRUE(text.ok());
  if (!text.ok()) return {};
  Result<IgcParse> parsed = ParseIgcText(*text);
  EXPECT_TRUE(parsed.ok());
  return parsed.ok() ? parsed->points : std::vector<TrackPoint>{};
}

TrackPoint Fix(double latitude, double longitude) {
  TrackPoint p;
  p.latitude = *DegreesToLatitude(latitude);
  p.longitude = *DegreesToLongitude(longitude);
  return p;
}

// An L over the Alps: north along one meridian, then east.
std::vector<TrackPoint> LTrack() {
  return {Fix(46.00, 7.00), Fix(46.05, 7.00), Fix(46.10, 7.00), Fix(46.10, 7.05), Fix(46.10, 7.10)};
}

QImage Picture(MapWidget& map) { return map.grab().toImage().convertToFormat(QImage::Format_RGB32); }

QColor PixelAt(const QImage& image, QPointF at) { return image.pixelColor(at.toPoint()); }

bool NoMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return false;
  }
  return QApplication::activeModalWidget() == nullptr;
}

// Every test keeps its tiles in a cache of its own.
class MapWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cacheHome_.isValid());
    if (const char* old = std::getenv("XDG_CACHE_HOME")) savedCacheHome_ = old;
    setenv("XDG_CACHE_HOME", cacheHome_.path().toLocal8Bit().constData(), 1);
  }
  void TearDown() override {
    if (savedCacheHome_) {
      setenv("XDG_CACHE_HOME", savedCacheHome_->c_str(), 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
  }

  // The map as the window makes it: the URL from the person's settings.
  std::unique_ptr<MapWidget> ShownMap(const std::string& tileUrl, std::vector<TrackPoint> track) {
    SettingsPaths paths;
    paths.userFile = (cacheHome_.path() + "/settings.ini").toStdString();
    paths.documentsDir = cacheHome_.path().toStdString();
    SettingsStore settings(paths);
    EXPECT_TRUE(settings.SetText(SettingId::kMapTileUrl, tileUrl));
    auto map = std::make_unique<MapWidget>();
    map->resize(480, 360);
    map->setTileUrl(settings.Text(SettingId::kMapTileUrl));
    map->setTrack(std::move(track));
    map->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(map.get()));
    return map;
  }

  size_t FilesInCache() const {
    size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(cacheHome_.path().toStdString(), ec);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      if (it->is_regular_file() && it->path().extension() == ".tile") ++n;
    }
    return n;
  }

  QTemporaryDir cacheHome_;
  std::optional<std::string> savedCacheHome_;
};

TEST_F(MapWidgetTest, TilesComeFromTheServerOnceThenFromTheCache) {
  LocalTileServer server;
  const std::vector<TrackPoint> flight = RealFlight();
  ASSERT_GT(flight.size(), 1000u);
  // The corners lie in the margin around the fitted track; the bottom right
  // one holds the attribution.
  const QPointF corners[] = {{3, 3}, {476, 3}, {3, 356}};
  {
    auto map = ShownMap(server.UrlTemplate(), flight);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.paths.empty() && map->tiles().idle(); }, 10000));
    QApplication::processEvents();
    const QImage picture = Picture(*map);
    for (QPointF at : corners) EXPECT_EQ(PixelAt(picture, at), kTileColour) << at.x() << "," << at.y();

    const std::set<std::string> distinct(server.paths.begin(), server.paths.end());
    EXPECT_EQ(distinct.size(), server.paths.size()) << "a tile was asked for twice";
    const std::string prefix = "/" + std::to_string(map->zoom()) + "/";
    for (const std::string& path : server.paths) EXPECT_EQ(path.rfind(prefix, 0), 0u) << path;
    for (const std::string& agent : server.userAgents) EXPECT_EQ(agent, TileUserAgent());
    EXPECT_EQ(server.userAgents.front().rfind("Skylode/", 0), 0u);
    EXPECT_EQ(FilesInCache(), server.paths.size());
    EXPECT_EQ(map->tiles().requestsSent(), static_cast<int>(server.paths.size()));
  }

  const size_t asked = server.paths.size();
  auto again = ShownMap(server.UrlTemplate(), flight);
  QTest::qWait(300);
  const QImage picture = Picture(*again);
  EXPECT_EQ(server.paths.size(), asked);
  EXPECT_EQ(again->tiles().requestsSent(), 0);
  for (QPointF at : corners) EXPECT_EQ(PixelAt(picture, at), kTileColour) << at.x() << "," << at.y();
}

TEST_F(MapWidgetTest, ATileTheServerRefusesIsNotKeptNorAskedForAgain) {
  for (LocalTileServer::Answer answer : {LocalTileServer::Answer::kNotFound, LocalTileServer::Answer::kNoImage}) {
    SCOPED_TRACE(static_cast<int>(answer));
    LocalTileServer server;
    server.answer = answer;
    auto map = ShownMap(server.UrlTemplate(), LTrack());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.paths.empty() && map->tiles().idle(); }, 10000));
    for (int i = 0; i < 3; ++i) {
      map->repaint();
      QTest::qWait(20);
    }
    const std::set<std::string> distinct(server.paths.begin(), server.paths.end());
    EXPECT_EQ(distinct.size(), server.paths.size()) << "a refused tile was asked for again";
    EXPECT_EQ(map->tiles().failures(), static_cast<int>(server.paths.size()));
    EXPECT_EQ(FilesInCache(), 0u);
    EXPECT_EQ(PixelAt(Picture(*map), {3, 3}), MapWidget::BackgroundColour());
    EXPECT_TRUE(NoMessageBox());
  }
}

TEST_F(MapWidgetTest, ADamagedCachedTileIsFetchedAgain) {
  LocalTileServer server;
  size_t first = 0;
  std::string damaged;
  {
    auto map = ShownMap(server.UrlTemplate(), LTrack());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.paths.empty() && map->tiles().idle(); }, 10000));
    first = server.paths.size();
    const std::string path = server.paths.front();  // "/z/x/y.png"
    int z = 0, x = 0, y = 0;
    ASSERT_EQ(std::sscanf(path.c_str(), "/%d/%d/%d.png", &z, &x, &y), 3);
    damaged = TileCachePath(map->tiles().cacheRoot(), map->tiles().server(), {z, x, y});
  }
  ASSERT_TRUE(std::filesystem::exists(damaged));
  {
    std::ofstream out(damaged, std::ios::binary | std::ios::trunc);
    out << "half a PNG";
  }
  auto map = ShownMap(server.UrlTemplate(), LTrack());
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.paths.size() > first && map->tiles().idle(); }, 10000));
  EXPECT_EQ(server.paths.size(), first + 1);
  EXPECT_EQ(server.paths.back(), server.paths.front());
  QImage repaired;
  EXPECT_TRUE(repaired.load(QString::fromStdString(damaged)));
}

TEST_F(MapWidgetTest, AnotherServerDoesNotReadTheFirstServersTiles) {
  LocalTileServer first;
  LocalTileServer second;
  {
    auto map = ShownMap(first.UrlTemplate(), LTrack());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !first.paths.empty() && map->tiles().idle(); }, 10000));
  }
  auto map = ShownMap(second.UrlTemplate(), LTrack());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !second.paths.empty() && map->tiles().idle(); }, 10000));
  EXPECT_EQ(second.paths.size(), first.paths.size());
}

TEST_F(MapWidgetTest, WithoutTheServerTheTrackIsDrawnOnAPlainBackground) {
  auto map = ShownMap(DeadServerTemplate(), RealFlight());
  ASSERT_TRUE(QTest::qWaitFor([&] { return map->tiles().failures() > 0 && map->tiles().idle(); }, 10000));
  // Repaints while the server is away ask for nothing more.
  for (int i = 0; i < 5; ++i) {
    map->repaint();
    QTest::qWait(20);
  }
  EXPECT_LE(map->tiles().requestsSent(), TileFetcher::kParallelRequests);
  EXPECT_TRUE(NoMessageBox());

  const QImage picture = Picture(*map);
  EXPECT_EQ(PixelAt(picture, {3, 3}), MapWidget::BackgroundColour());
  EXPECT_EQ(PixelAt(picture, {476, 3}), MapWidget::BackgroundColour());
  const std::optional<QPointF> middle = map->fixPosition(2000);
  ASSERT_TRUE(middle.has_value());
  EXPECT_NE(PixelAt(picture, *middle), MapWidget::BackgroundColour()) << "the track is not drawn";
  EXPECT_EQ(FilesInCache(), 0u);
}

TEST_F(MapWidgetTest, ClickingNearAFixSelectsIt) {
  auto map = ShownMap(DeadServerTemplate(), LTrack());
  QSignalSpy clicked(map.get(), &MapWidget::fixClicked);
  struct Case {
    const char* what;
    int fix;
    QPoint offset;
    int expected;  // -1: no signal
  };
  const Case cases[] = {
      {"on the first fix", 0, {0, 0}, 0},
      {"beside the corner", 2, {6, -5}, 2},
      {"near the last fix", 4, {-4, 7}, 4},
      {"too far from any fix", 0, {60, 0}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clicked.clear();
    const QPoint at = map->fixPosition(c.fix)->toPoint() + c.offset;
    QTest::mouseClick(map.get(), Qt::LeftButton, Qt::NoModifier, at);
    if (c.expected < 0) {
      EXPECT_EQ(clicked.count(), 0);
    } else {
      ASSERT_EQ(clicked.count(), 1);
      EXPECT_EQ(clicked.at(0).at(0).toInt(), c.expected);
    }
  }
}

TEST_F(MapWidgetTest, AClickOnARealFlightFindsTheNearestFix) {
  const std::vector<TrackPoint> flight = RealFlight();
  auto map = ShownMap(DeadServerTemplate(), flight);
  QSignalSpy clicked(map.get(), &MapWidget::fixClicked);
  for (int fix : {0, 1500, static_cast<int>(flight.size()) - 1}) {
    SCOPED_TRACE(fix);
    clicked.clear();
    const QPoint at = map->fixPosition(fix)->toPoint() + QPoint(2, 1);
    QTest::mouseClick(map.get(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(clicked.count(), 1);
    const int got = clicked.at(0).at(0).toInt();
    const QPointF dGot = *map->fixPosition(got) - QPointF(at);
    const QPointF dFix = *map->fixPosition(fix) - QPointF(at);
    EXPECT_LE(std::hypot(dGot.x(), dGot.y()), std::hypot(dFix.x(), dFix.y()) + 1e-9);
  }
}

TEST_F(MapWidgetTest, DragPansAndTheWheelZoomsAboutTheCursor) {
  auto map = ShownMap(DeadServerTemplate(), LTrack());
  QSignalSpy clicked(map.get(), &MapWidget::fixClicked);
  const QPointF before = *map->fixPosition(2);
  const QPoint from = before.toPoint();
  QTest::mousePress(map.get(), Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(map.get(), from + QPoint(20, 10));
  QTest::mouseMove(map.get(), from + QPoint(40, 30));
  QTest::mouseRelease(map.get(), Qt::LeftButton, Qt::NoModifier, from + QPoint(40, 30));
  EXPECT_EQ(clicked.count(), 0) << "a drag is no click";
  const QPointF moved = *map->fixPosition(2);
  EXPECT_NEAR(moved.x() - before.x(), 40, 0.5);
  EXPECT_NEAR(moved.y() - before.y(), 30, 0.5);

  const int zoom = map->zoom();
  const QPointF cursor = *map->fixPosition(4);
  const QPointF other = *map->fixPosition(0);
  QWheelEvent wheel(cursor, map->mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(map.get(), &wheel);
  EXPECT_EQ(map->zoom(), zoom + 1);
  EXPECT_NEAR(map->fixPosition(4)->x(), cursor.x(), 0.5);
  EXPECT_NEAR(map->fixPosition(4)->y(), cursor.y(), 0.5);
  // Twice the scale: the other fix is twice as far from the cursor.
  EXPECT_NEAR(map->fixPosition(0)->x() - cursor.x(), 2 * (other.x() - cursor.x()), 0.5);
  EXPECT_NEAR(map->fixPosition(0)->y() - cursor.y(), 2 * (other.y() - cursor.y()), 0.5);
}

TEST_F(MapWidgetTest, SelectionIsHighlightedAndCleared) {
  const std::vector<TrackPoint> flight = RealFlight();
  auto map = ShownMap(DeadServerTemplate(), flight);
  const QImage plain = Picture(*map);
  const QPointF inside = *map->fixPosition(1000);

  map->setSelection(900, 1100);
  const QImage selected = Picture(*map);
  EXPECT_NE(PixelAt(selected, inside), PixelAt(plain, inside));
  // Far from the selection nothing changes.
  EXPECT_EQ(PixelAt(selected, {3, 3}), PixelAt(plain, {3, 3}));

  // One fix alone is marked too.
  map->setSelection(1000, 1000);
  EXPECT_NE(PixelAt(Picture(*map), inside), PixelAt(plain, inside));

  map->setSelection(-1, -1);
  EXPECT_EQ(Picture(*map), plain);
  // A range reaching past the end is drawn up to the last fix, not beyond.
  map->setSelection(static_cast<int32_t>(flight.size()) - 10, static_cast<int32_t>(flight.size()) + 50);
  EXPECT_NE(Picture(*map), plain);
}

TEST_F(MapWidgetTest, RoutesAndThermalsAreDrawnOverTheTrack) {
  auto map = ShownMap(DeadServerTemplate(), LTrack());
  const QImage plain = Picture(*map);
  // The leg from the first to the last fix crosses the empty inside of the L.
  const QPointF a = *map->fixPosition(0);
  const QPointF b = *map->fixPosition(4);
  const QPointF onLeg = a + (b - a) * 0.2;
  EXPECT_EQ(PixelAt(plain, onLeg), MapWidget::BackgroundColour());

  FlightOverlays overlays;
  ScoredRoute route;
  route.title = "free flight";
  route.turnpoints = {{0, "start"}, {4, "finish"}};
  route.legs = {{0, 4, 10.7}};
  overlays.routes.push_back(route);
  map->setOverlays(overlays);
  EXPECT_NE(PixelAt(Picture(*map), onLeg), MapWidget::BackgroundColour());

  // A closing, dashed: still drawn; a leg with a fix out of range: skipped, no crash.
  overlays.routes[0].legs = {{0, 99, 1.0}};
  overlays.routes[0].closing = {0, 4, 10.7};
  map->setOverlays(overlays);
  const QImage closing = Picture(*map);
  int onClosing = 0;
  for (double t = 0.15; t < 0.35; t += 0.01) onClosing += PixelAt(closing, a + (b - a) * t) != MapWidget::BackgroundColour();
  EXPECT_GT(onClosing, 0);

  // A thermal around the corner fix.
  FlightOverlays thermal;
  thermal.thermals = {{1, 3, 2.3}};
  map->setOverlays(thermal);
  // The thermal's circle is centred on the mean of fixes 1..3, inside the L.
  const QPointF centre = (*map->fixPosition(1) + *map->fixPosition(2) + *map->fixPosition(3)) / 3;
  EXPECT_EQ(PixelAt(plain, centre), MapWidget::BackgroundColour());
  EXPECT_NE(PixelAt(Picture(*map), centre), MapWidget::BackgroundColour());
}

TEST_F(MapWidgetTest, RenderDrawsTheWidgetsPictureIntoAnyImage) {
  auto map = ShownMap(DeadServerTemplate(), RealFlight());
  map->setSelection(100, 400);
  QImage image(map->size(), QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    map->paintMap(painter, image.rect());
  }
  EXPECT_EQ(image, Picture(*map));

  // Into a part of a larger picture: nothing spills outside the target.
  QImage page(800, 600, QImage::Format_RGB32);
  page.fill(Qt::black);
  {
    QPainter painter(&page);
    map->paintMap(painter, QRect(100, 50, 480, 360));
  }
  EXPECT_EQ(page.pixelColor(99, 200), QColor(Qt::black));
  EXPECT_EQ(page.pixelColor(580, 200), QColor(Qt::black));
  EXPECT_EQ(page.copy(100, 50, 480, 360), Picture(*map));
}

// A picture to look at: the real flight on (plain green) tiles with a
// triangle route, a thermal and a selection, written into the build's artifacts.
TEST_F(MapWidgetTest, ScreenshotOfARealFlightWithItsRoute) {
  LocalTileServer server;
  const std::vector<TrackPoint> flight = RealFlight();
  auto map = ShownMap(server.UrlTemplate(), flight);
  map->resize(800, 600);
  map->fitTrack();
  const auto n = static_cast<int32_t>(flight.size());
  const int32_t tp[] = {n / 10, n / 3, 2 * n / 3, 9 * n / 10};
  auto km = [&](int32_t a, int32_t b) {
    const TrackPoint& p = flight[static_cast<size_t>(a)];
    const TrackPoint& q = flight[static_cast<size_t>(b)];
    return GeoDistanceSemicircles(p.latitude, p.longitude, q.latitude, q.longitude) / 1000.0;
  };
  ScoredRoute route;
  route.title = "triangle through three fixes of the flight";
  route.turnpoints = {{tp[0], "start"}, {tp[1], "TP1"}, {tp[2], "TP2"}, {tp[3], "finish"}};
  route.legs = {{tp[0], tp[1], km(tp[0], tp[1])}, {tp[1], tp[2], km(tp[1], tp[2])}, {tp[2], tp[3], km(tp[2], tp[3])}};
  route.closing = {tp[3], tp[0], km(tp[3], tp[0])};
  FlightOverlays overlays;
  overlays.routes.push_back(route);
  overlays.thermals = {{n / 2 - 60, n / 2 + 60, 2.3}};
  map->setOverlays(overlays);
  map->setSelection(n / 2 - 300, n / 2 + 300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return map->tiles().idle(); }, 10000));
  QApplication::processEvents();

  const QString folder = QStringLiteral(SKYLODE_BINARY_DIR "/artifacts");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QImage shot = Picture(*map);
  ASSERT_TRUE(shot.save(folder + QStringLiteral("/flight-map.png"), "PNG"));
  EXPECT_EQ(PixelAt(shot, {3, 590}), kTileColour);
}

}  // namespace
}  // namespace skylode
