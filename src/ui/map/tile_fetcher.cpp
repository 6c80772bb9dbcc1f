#include "ui/map/tile_fetcher.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <filesystem>
#include <string_view>
#include <utility>

#include "formats/file_io.h"

namespace skylode {

namespace {

// Enough for a few screens of tiles; a tile is 256 KiB decoded.
constexpr size_t kTilesInMemory = 256;
constexpr int kRequestTimeoutMs = 15000;
// A tile is small; anything far larger is not a tile.
constexpr qint64 kMaxTileBytes = 4 << 20;

}  // namespace

TileFetcher::TileFetcher(TileServer server, std::string cacheRoot, QObject* parent)
    : QObject(parent),
      server_(std::move(server)),
      cacheRoot_(std::move(cacheRoot)),
      network_(new QNetworkAccessManager(this)) {}

TileFetcher::~TileFetcher() {
  // Replies still open would call back into a half-destroyed fetcher.
  queue_.clear();
  for (QNetworkReply* reply : network_->findChildren<QNetworkReply*>()) {
    reply->disconnect(this);
    reply->abort();
  }
}

QString TileFetcher::Key(const TileId& tile) {
  return QStringLiteral("%1/%2/%3").arg(tile.zoom).arg(tile.x).arg(tile.y);
}

void TileFetcher::Remember(const QString& key, const QImage& image) {
  if (!memory_.contains(key)) memoryOrder_.push_back(key);
  memory_.insert(key, image);
  while (memoryOrder_.size() > kTilesInMemory) {
    memory_.remove(memoryOrder_.front());
    memoryOrder_.pop_front();
  }
}

QImage TileFetcher::FromDisk(const TileId& tile) {
  const std::string path = TileCachePath(cacheRoot_, server_, tile);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  QImage image;
  if (!image.load(QString::fromStdString(path))) {
    // A damaged file would hide the tile for good: drop it and fetch anew.
    std::filesystem::remove(path, ec);
    return {};
  }
  return image;
}

QImage TileFetcher::Tile(const TileId& tile) {
  const QString key = Key(tile);
  if (auto it = memory_.constFind(key); it != memory_.constEnd()) return *it;
  QImage image = FromDisk(tile);
  if (!image.isNull()) Remember(key, image);
  return image;
}

void TileFetcher::Want(const std::vector<TileId>& tiles) {
  queue_.clear();
  const QDateTime now = QDateTime::currentDateTimeUtc();
  for (const TileId& tile : tiles) {
    const QString key = Key(tile);
    if (underWay_.contains(key)) continue;
    if (auto failed = failedUntil_.constFind(key); failed != failedUntil_.constEnd() && *failed > now) continue;
    if (!Tile(tile).isNull()) continue;
    queue_.push_back(tile);
  }
  StartNext();
}

void TileFetcher::StartNext() {
  if (serverDownUntil_.isValid() && serverDownUntil_ > QDateTime::currentDateTimeUtc()) {
    queue_.clear();
    return;
  }
  while (open_ < kParallelRequests && !queue_.empty()) {
    const TileId tile = queue_.front();
    queue_.pop_front();
    QNetworkRequest request(QUrl(QString::fromStdString(ExpandTileUrl(server_.urlTemplate, tile))));
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString(TileUserAgent()));
    request.setTransferTimeout(kRequestTimeoutMs);
    QNetworkReply* reply = network_->get(request);
    underWay_.insert(Key(tile), true);
    ++open_;
    ++requestsSent_;
    connect(reply, &QNetworkReply::finished, this, [this, reply, tile] { Finished(reply, tile); });
  }
}

void TileFetcher::Finished(QNetworkReply* reply, TileId tile) {
  reply->deleteLater();
  --open_;
  const QString key = Key(tile);
  underWay_.remove(key);
  const QDateTime now = QDateTime::currentDateTimeUtc();

  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QNetworkReply::NetworkError error = reply->error();
  QImage image;
  QByteArray bytes;
  if (error == QNetworkReply::NoError && status == 200) {
    bytes = reply->read(kMaxTileBytes + 1);
    if (bytes.size() <= kMaxTileBytes) image.loadFromData(bytes);
  }
  if (image.isNull()) {
    ++failures_;
    // No answer at all: the server (or the network) is away; asking for the
    // other tiles now would only repeat the wait.
    const bool unreachable = status == 0 && error != QNetworkReply::NoError &&
                             error != QNetworkReply::OperationCanceledError;
    failedUntil_.insert(key, now.addSecs(unreachable ? kRetryServerSeconds : kRetryTileSeconds));
    if (unreachable) {
      serverDownUntil_ = now.addSecs(kRetryServerSeconds);
      queue_.clear();
    }
    emit tileFailed();
    StartNext();
    return;
  }

  // Kept whole or not at all: a half-written tile would be read as damaged.
  const std::string path = TileCachePath(cacheRoot_, server_, tile);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  (void)WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  Remember(key, image);
  emit tileArrived();
  StartNext();
}

}  // namespace skylode
