// Map tiles from memory, the disk cache or the tile server, in that order.
// A tile on disk never costs a request; the server sees few requests at a
// time, never two for one tile, and none for a while after it failed.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "shell/flight_view/tiles.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace skylode {

class TileFetcher : public QObject {
  Q_OBJECT

 public:
  TileFetcher(TileServer server, std::string cacheRoot, QObject* parent = nullptr);
  ~TileFetcher() override;

  // The tile when it is in memory or on disk, else a null image.
  QImage Tile(const TileId& tile);
  // The tiles the view needs now. Those neither at hand, under way nor lately
  // failed are asked for; what an earlier view wanted and is not yet asked
  // for is forgotten.
  void Want(const std::vector<TileId>& tiles);

  const TileServer& server() const { return server_; }
  const std::string& cacheRoot() const { return cacheRoot_; }
  int requestsSent() const { return requestsSent_; }
  int failures() const { return failures_; }
  // Nothing under way and nothing waiting to be asked for.
  bool idle() const { return open_ == 0 && queue_.empty(); }

  // At most this many requests are open at once (the tile servers' usage
  // rules ask for few).
  static constexpr int kParallelRequests = 2;
  // A tile the server did not give is not asked for again before this.
  static constexpr int kRetryTileSeconds = 300;
  // The server could not be reached: nothing is asked for before this.
  static constexpr int kRetryServerSeconds = 30;

 signals:
  // A tile came from the server and is in the cache.
  void tileArrived();
  // A request failed; the map goes on without that tile.
  void tileFailed();

 private:
  static QString Key(const TileId& tile);
  void StartNext();
  void Finished(QNetworkReply* reply, TileId tile);
  QImage FromDisk(const TileId& tile);
  void Remember(const QString& key, const QImage& image);

  TileServer server_;
  std::string cacheRoot_;
  QNetworkAccessManager* network_;
  QHash<QString, QImage> memory_;
  std::deque<QString> memoryOrder_;  // oldest first, to bound the memory
  QHash<QString, QDateTime> failedUntil_;
  QHash<QString, bool> underWay_;
  std::deque<TileId> queue_;
  QDateTime serverDownUntil_;
  int open_ = 0;
  int requestsSent_ = 0;
  int failures_ = 0;
};

}  // namespace skylode
