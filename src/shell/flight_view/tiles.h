// Raster map tiles without any window: the Web-Mercator tile grid, the tile
// server a setting names, where its tiles are kept on disk and how the
// program introduces itself to the server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

inline constexpr int kTileSize = 256;  // pixels along a tile's side
inline constexpr int kMinTileZoom = 0;
inline constexpr int kMaxTileZoom = 19;
// Web-Mercator stops here: beyond it the square world would stretch to infinity.
inline constexpr double kMaxMercatorLatitude = 85.0511287798066;

inline constexpr std::string_view kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr std::string_view kOsmAttribution = "\u00a9 OpenStreetMap contributors";

struct TileId {
  int zoom = 0;
  int x = 0;
  int y = 0;
  friend bool operator==(const TileId&, const TileId&) = default;
};

// A point in tile units at one zoom: tile (x, y) covers [x, x+1) x [y, y+1).
struct TilePoint {
  double x = 0;
  double y = 0;
};

struct LatLon {
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
};

// Latitude is clamped to the Mercator limit; longitude is taken as given, so
// 180 east lands on the right edge of the world (x = 2^zoom).
TilePoint LatLonToTile(LatLon position, int zoom);
LatLon TileToLatLon(TilePoint point, int zoom);

// A box on the ground in degrees. An empty track gives no box.
struct GeoBox {
  double south = 0;
  double west = 0;
  double north = 0;
  double east = 0;
};

// The largest zoom (within [kMinTileZoom, maxZoom]) at which the box fits into
// width x height pixels. A box of one point fits at maxZoom.
int ZoomToFit(const GeoBox& box, int widthPixels, int heightPixels, int maxZoom = 18);

// One tile of a view and where its top-left corner lands in the view's pixels.
// `id` is the tile to ask the server for: its x wraps around the world.
struct ViewTile {
  TileId id;
  double left = 0;
  double top = 0;
};

// The tiles covering a view of width x height pixels whose top-left corner
// lies at `topLeft` (in tile units at `zoom`). Rows beyond the poles are left
// out; columns repeat around the world.
std::vector<ViewTile> TilesCovering(TilePoint topLeft, int widthPixels, int heightPixels, int zoom);

// A tile server as a tile URL setting names it.
struct TileServer {
  std::string urlTemplate;  // holds {z}, {x}, {y} and perhaps {s}
  std::string host;         // as written in the template, e.g. "{s}.tile.example.org:8080"
  std::string cacheFolder;  // one sub-folder of the tile cache per server
  std::string attribution;  // the line drawn in the map's corner
};

// Why a template cannot be used, or nothing when it can: http or https,
// a host, {z}, {x} and {y} each exactly once, no other placeholder but {s},
// no blanks or control characters.
std::optional<std::string> TileUrlProblem(std::string_view urlTemplate);

// The server a setting names; an empty or unusable setting gives the default
// server (and `problem`, when asked, says why).
TileServer TileServerFromSetting(std::string_view setting, std::string* problem = nullptr);

// The template with the tile's numbers in it; {s} is one of "a", "b", "c",
// chosen by the tile so a tile always comes from the same sub-domain.
std::string ExpandTileUrl(std::string_view urlTemplate, const TileId& tile);

// $XDG_CACHE_HOME/skylode/tiles, or ~/.cache/skylode/tiles when that is unset
// or not an absolute path.
std::string TileCacheRoot(std::string_view xdgCacheHome, std::string_view home);
std::string TileCacheRootFromEnvironment();
// <root>/<server's folder>/<z>/<x>/<y>.tile
std::string TileCachePath(std::string_view root, const TileServer& server, const TileId& tile);

// What the program says it is in every tile request.
std::string TileUserAgent();

// The mean climb of a thermal as the map labels it: "+2.3 m/s".
std::string ClimbLabel(double metresPerSecond);

}  // namespace skylode
