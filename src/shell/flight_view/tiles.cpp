#include "shell/flight_view/tiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "shell/app_state.h"
#include "shell/settings/settings.h"

namespace skylode {

namespace {

double WorldTiles(int zoom) { return std::ldexp(1.0, std::clamp(zoom, kMinTileZoom, kMaxTileZoom)); }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

size_t SchemeLength(std::string_view url) {
  if (StartsWithNoCase(url, "https://")) return 8;
  if (StartsWithNoCase(url, "http://")) return 7;
  return 0;
}

std::string_view HostOf(std::string_view url) {
  url.remove_prefix(SchemeLength(url));
  return url.substr(0, url.find('/'));
}

// FNV-1a: short, stable between runs and machines, so a cache folder keeps its name.
uint32_t Fnv1a(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

std::string CacheFolderFor(std::string_view urlTemplate) {
  std::string name;
  for (char c : HostOf(urlTemplate)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-';
    name += plain ? c : '_';
  }
  // Two templates on one host (two map styles, http and https) are two servers.
  char hash[16];
  std::snprintf(hash, sizeof hash, "-%08x", Fnv1a(urlTemplate));
  return name + hash;
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

size_t Occurrences(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

TilePoint LatLonToTile(LatLon position, int zoom) {
  const double n = WorldTiles(zoom);
  const double lat = std::clamp(position.latitude, -kMaxMercatorLatitude, kMaxMercatorLatitude) *
                     std::numbers::pi / 180.0;
  const double x = (position.longitude + 180.0) / 360.0 * n;
  const double y = (1.0 - std::asinh(std::tan(lat)) / std::numbers::pi) / 2.0 * n;
  return {x, y};
}

LatLon TileToLatLon(TilePoint point, int zoom) {
  const double n = WorldTiles(zoom);
  const double lon = point.x / n * 360.0 - 180.0;
  const double lat = std::atan(std::sinh(std::numbers::pi * (1.0 - 2.0 * point.y / n))) * 180.0 / std::numbers::pi;
  return {lat, lon};
}

int ZoomToFit(const GeoBox& box, int widthPixels, int heightPixels, int maxZoom) {
  maxZoom = std::clamp(maxZoom, kMinTileZoom, kMaxTileZoom);
  const TilePoint nw = LatLonToTile({box.north, box.west}, 0);
  const TilePoint se = LatLonToTile({box.south, box.east}, 0);
  // Extent in pixels at zoom 0; each zoom doubles it.
  const double w = std::abs(se.x - nw.x) * kTileSize;
  const double h = std::abs(se.y - nw.y) * kTileSize;
  for (int z = maxZoom; z > kMinTileZoom; --z) {
    const double scale = std::ldexp(1.0, z);
    if (w * scale <= widthPixels && h * scale <= heightPixels) return z;
  }
  return kMinTileZoom;
}

std::vector<ViewTile> TilesCovering(TilePoint topLeft, int widthPixels, int heightPixels, int zoom) {
  std::vector<ViewTile> tiles;
  if (widthPixels <= 0 || heightPixels <= 0) return tiles;
  zoom = std::clamp(zoom, kMinTileZoom, kMaxTileZoom);
  const int64_t n = int64_t{1} << zoom;
  const double tilesWide = static_cast<double>(widthPixels) / kTileSize;
  const double tilesHigh = static_cast<double>(heightPixels) / kTileSize;
  const auto firstX = static_cast<int64_t>(std::floor(topLeft.x));
  const auto lastX = static_cast<int64_t>(std::ceil(topLeft.x + tilesWide)) - 1;
  const auto firstY = std::max<int64_t>(0, static_cast<int64_t>(std::floor(topLeft.y)));
  const auto lastY = std::min<int64_t>(n - 1, static_cast<int64_t>(std::ceil(topLeft.y + tilesHigh)) - 1);
  // A view wider than the world would repeat it; drawing it once or twice is enough.
  if (lastX - firstX >= 4 * n) return tiles;
  for (int64_t y = firstY; y <= lastY; ++y) {
    for (int64_t x = firstX; x <= lastX; ++x) {
      const int64_t wrapped = ((x % n) + n) % n;
      tiles.push_back({{zoom, static_cast<int>(wrapped), static_cast<int>(y)},
                       (static_cast<double>(x) - topLeft.x) * kTileSize,
                       (static_cast<double>(y) - topLeft.y) * kTileSize});
    }
  }
  return tiles;
}

std::optional<std::string> TileUrlProblem(std::string_view url) {
  const size_t scheme = SchemeLength(url);
  if (scheme == 0) return "The tile URL must start with http:// or https://";
  for (unsigned char c : url) {
    if (c <= ' ' || c == 0x7f) return "The tile URL holds a blank or a control character";
  }
  const std::string_view host = HostOf(url);
  if (host.empty() || host.front() == ':' || host.find('@') != std::string_view::npos) {
    return "The tile URL names no server";
  }
  if (url.size() == scheme + host.size()) return "The tile URL has no path";
  for (std::string_view field : {"{z}", "{x}", "{y}"}) {
    if (Occurrences(url, field) != 1) return std::string("The tile URL must hold ") + std::string(field) + " once";
  }
  // Any other placeholder would reach the server as literal braces.
  std::string rest = ReplaceAll(ReplaceAll(ReplaceAll(ReplaceAll(std::string(url), "{z}", ""), "{x}", ""), "{y}", ""),
                                "{s}", "");
  if (rest.find_first_of("{}") != std::string::npos) return "The tile URL holds an unknown placeholder";
  if (Occurrences(url, "{s}") > 0 && HostOf(url).find("{s}") == std::string_view::npos) {
    return "The tile URL's {s} belongs in the server's name";
  }
  return std::nullopt;
}

TileServer TileServerFromSetting(std::string_view setting, std::string* problem) {
  // Blanks around a pasted URL are not the person's intent.
  while (!setting.empty() && (setting.front() == ' ' || setting.front() == '\t')) setting.remove_prefix(1);
  while (!setting.empty() && (setting.back() == ' ' || setting.back() == '\t')) setting.remove_suffix(1);
  std::string_view chosen = setting;
  if (problem) problem->clear();
  if (auto why = TileUrlProblem(setting)) {
    if (problem) *problem = setting.empty() ? "" : *why;
    chosen = kDefaultTileUrl;
  }
  TileServer server;
  server.urlTemplate = std::string(chosen);
  server.host = std::string(HostOf(chosen));
  server.cacheFolder = CacheFolderFor(chosen);
  const std::string_view host = server.host;
  const bool osm = host == "tile.openstreetmap.org" || host == "{s}.tile.openstreetmap.org";
  server.attribution = osm ? std::string(kOsmAttribution) : "Map tiles: " + server.host;
  return server;
}

std::string ExpandTileUrl(std::string_view urlTemplate, const TileId& tile) {
  static constexpr const char* kSubdomains[] = {"a", "b", "c"};
  const auto sub = static_cast<size_t>((static_cast<int64_t>(tile.x) + tile.y) % 3 + 3) % 3;
  std::string url(urlTemplate);
  url = ReplaceAll(std::move(url), "{z}", std::to_string(tile.zoom));
  url = ReplaceAll(std::move(url), "{x}", std::to_string(tile.x));
  url = ReplaceAll(std::move(url), "{y}", std::to_string(tile.y));
  return ReplaceAll(std::move(url), "{s}", kSubdomains[sub]);
}

std::string TileCacheRoot(std::string_view xdgCacheHome, std::string_view home) {
  // The base directory rules ignore a relative path: it would follow the working folder.
  std::string base = !xdgCacheHome.empty() && xdgCacheHome.front() == '/' ? std::string(xdgCacheHome)
                                                                          : std::string(home) + "/.cache";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/skylode/tiles";
}

std::string TileCacheRootFromEnvironment() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  return TileCacheRoot(xdg ? xdg : "", HomeFolder());
}

std::string TileCachePath(std::string_view root, const TileServer& server, const TileId& tile) {
  std::string path(root);
  path += '/';
  path += server.cacheFolder;
  path += '/' + std::to_string(tile.zoom) + '/' + std::to_string(tile.x) + '/' + std::to_string(tile.y) + ".tile";
  return path;
}

std::string TileUserAgent() {
  char text[64];
  std::snprintf(text, sizeof text, "Skylode/%d.%02d (flight log program; tiles cached on disk)",
                kProgramVersion / 100, kProgramVersion % 100);
  return text;
}

std::string ClimbLabel(double metresPerSecond) {
  if (!std::isfinite(metresPerSecond)) return "? m/s";
  char text[32];
  // Rounded first, so -0.04 reads "+0.0" and not "-0.0".
  const double tenths = std::round(metresPerSecond * 10.0) / 10.0;
  std::snprintf(text, sizeof text, "%+.1f m/s", tenths == 0 ? 0.0 : tenths);
  return text;
}

}  // namespace skylode
