#include "shell/flight_view/tiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace skylode {
namespace {

TEST(TileMathTest, KnownPositionsLandOnTheirTiles) {
  struct Case {
    const char* what;
    LatLon position;
    int zoom;
    double x;
    double y;
  };
  const Case cases[] = {
      {"null island is the corner of four tiles", {0, 0}, 1, 1.0, 1.0},
      {"the date line west is the left edge", {0, -180}, 3, 0.0, 4.0},
      {"the date line east is the right edge", {0, 180}, 3, 8.0, 4.0},
      {"the Mercator limit is the top edge", {kMaxMercatorLatitude, 0}, 4, 8.0, 0.0},
      {"beyond the limit is clamped, not infinite", {89.9, 0}, 4, 8.0, 0.0},
      {"the south pole clamps to the bottom edge", {-90, 0}, 4, 8.0, 16.0},
      {"Lausanne", {46.5197, 6.6323}, 10, 530.8652088888889, 362.16193670213835},
      {"Zurich", {47.3769, 8.5417}, 12, 2145.1855644444445, 1434.360460330656},
      {"Sydney", {-33.8688, 151.2093}, 14, 15073.703253333333, 9831.91144790059},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TilePoint t = LatLonToTile(c.position, c.zoom);
    EXPECT_NEAR(t.x, c.x, 1e-6);
    EXPECT_NEAR(t.y, c.y, 1e-6);
  }
}

TEST(TileMathTest, TileCoordinatesGoBackToThePosition) {
  const LatLon positions[] = {{46.5, 6.6}, {-33.87, 151.21}, {64.1, -21.9}, {-54.8, -68.3}, {0.0001, -0.0001}};
  for (const LatLon& p : positions) {
    for (int zoom : {0, 5, 13, kMaxTileZoom}) {
      SCOPED_TRACE(std::to_string(p.latitude) + "," + std::to_string(p.longitude) + " z" + std::to_string(zoom));
      const LatLon back = TileToLatLon(LatLonToTile(p, zoom), zoom);
      EXPECT_NEAR(back.latitude, p.latitude, 1e-9);
      EXPECT_NEAR(back.longitude, p.longitude, 1e-9);
    }
  }
  // A tile's top-left corner and the one below it: the north-south order must hold.
  EXPECT_GT(TileToLatLon({530, 362}, 10).latitude, TileToLatLon({530, 363}, 10).latitude);
}

TEST(TileMathTest, ZoomToFitTakesTheLargestZoomThatFits) {
  // The box of tile 10/530/362 is exactly one tile at zoom 10.
  const LatLon nw = TileToLatLon({530, 362}, 10);
  const LatLon se = TileToLatLon({531, 363}, 10);
  const GeoBox tile{se.latitude, nw.longitude, nw.latitude, se.longitude};
  struct Case {
    const char* what;
    GeoBox box;
    int width;
    int height;
    int maxZoom;
    int zoom;
  };
  const Case cases[] = {
      {"one tile into one tile's pixels", tile, 256, 256, 18, 10},
      {"a pixel short in width", tile, 255, 256, 18, 9},
      {"a pixel short in height", tile, 256, 255, 18, 9},
      {"twice the pixels", tile, 512, 512, 18, 11},
      {"capped by the caller", tile, 4096, 4096, 12, 12},
      {"a single point", {46.5, 6.6, 46.5, 6.6}, 100, 100, 18, 18},
      {"the whole world into a tile", {-kMaxMercatorLatitude, -180, kMaxMercatorLatitude, 180}, 256, 256, 18, 0},
      {"the whole world into nothing", {-kMaxMercatorLatitude, -180, kMaxMercatorLatitude, 180}, 10, 10, 18, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ZoomToFit(c.box, c.width, c.height, c.maxZoom), c.zoom);
  }
}

TEST(TileMathTest, TilesCoveringAViewAndWhereTheyLand) {
  struct Expected {
    int x, y;
    double left, top;
  };
  struct Case {
    const char* what;
    TilePoint topLeft;
    int width, height, zoom;
    std::vector<Expected> tiles;
  };
  const Case cases[] = {
      {"aligned: one tile", {1, 1}, 256, 256, 2, {{1, 1, 0, 0}}},
      {"half a tile off: four",
       {0.5, 0.5},
       256,
       256,
       2,
       {{0, 0, -128, -128}, {1, 0, 128, -128}, {0, 1, -128, 128}, {1, 1, 128, 128}}},
      {"west of the date line wraps around", {-0.5, 0}, 256, 256, 1, {{1, 0, -128, 0}, {0, 0, 128, 0}}},
      {"rows beyond the pole are left out", {0, -1}, 256, 512, 1, {{0, 0, 0, 256}}},
      {"a view of no size needs nothing", {3, 3}, 0, 200, 5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ViewTile> got = TilesCovering(c.topLeft, c.width, c.height, c.zoom);
    ASSERT_EQ(got.size(), c.tiles.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].id, (TileId{c.zoom, c.tiles[i].x, c.tiles[i].y}));
      EXPECT_DOUBLE_EQ(got[i].left, c.tiles[i].left);
      EXPECT_DOUBLE_EQ(got[i].top, c.tiles[i].top);
    }
  }
}

TEST(TileUrlTest, ExpandsEveryPlaceholder) {
  struct Case {
    std::string_view urlTemplate;
    TileId tile;
    std::string url;
  };
  const Case cases[] = {
      {kDefaultTileUrl, {5, 17, 11}, "https://tile.openstreetmap.org/5/17/11.png"},
      {"http://127.0.0.1:8080/{y}/{x}/{z}.png", {12, 2145, 1434}, "http://127.0.0.1:8080/1434/2145/12.png"},
      {"https://{s}.tiles.example.org/{z}/{x}/{y}.png", {3, 0, 0}, "https://a.tiles.example.org/3/0/0.png"},
      {"https://{s}.tiles.example.org/{z}/{x}/{y}.png", {3, 1, 0}, "https://b.tiles.example.org/3/1/0.png"},
      {"https://{s}.tiles.example.org/{z}/{x}/{y}.png", {3, 1, 1}, "https://c.tiles.example.org/3/1/1.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.urlTemplate));
    EXPECT_EQ(ExpandTileUrl(c.urlTemplate, c.tile), c.url);
  }
}

TEST(TileUrlTest, AnUnusableSettingFallsBackToTheDefaultServer) {
  const char* bad[] = {
      "ftp://tiles.example.org/{z}/{x}/{y}.png",
      "file:///home/pilot/{z}/{x}/{y}.png",
      "tiles.example.org/{z}/{x}/{y}.png",
      "https://tiles.example.org/{z}/{x}.png",
      "https://tiles.example.org/{z}/{x}/{y}/{y}.png",
      "https:///{z}/{x}/{y}.png",
      "https://user@tiles.example.org/{z}/{x}/{y}.png",
      "https://tiles.example.org/{z}/{x}/{y}.png?key={apikey}",
      "https://tiles.example.org/{z}/{x}/{y}.png}",
      "https://tiles.example.org/{s}/{z}/{x}/{y}.png",
      "https://tiles example.org/{z}/{x}/{y}.png",
      "https://tiles.example.org/{z}/{x}/{y}.png\n",
      "https://{z}{x}{y}",
  };
  for (const char* setting : bad) {
    SCOPED_TRACE(setting);
    EXPECT_TRUE(TileUrlProblem(setting).has_value());
    std::string problem;
    const TileServer server = TileServerFromSetting(setting, &problem);
    EXPECT_EQ(server.urlTemplate, kDefaultTileUrl);
    EXPECT_EQ(server.attribution, kOsmAttribution);
    EXPECT_FALSE(problem.empty());
  }
  std::string problem = "stale";
  EXPECT_EQ(TileServerFromSetting("", &problem).urlTemplate, kDefaultTileUrl);
  EXPECT_EQ(problem, "");
}

TEST(TileUrlTest, AUsableSettingNamesItsOwnServer) {
  struct Case {
    std::string_view setting;
    std::string urlTemplate;
    std::string attribution;
  };
  const Case cases[] = {
      {kDefaultTileUrl, std::string(kDefaultTileUrl), std::string(kOsmAttribution)},
      {"  HTTP://127.0.0.1:8080/{z}/{x}/{y}.png ", "HTTP://127.0.0.1:8080/{z}/{x}/{y}.png", "Map tiles: 127.0.0.1:8080"},
      {"https://{s}.tile.openstreetmap.org/{z}/{x}/{y}.png", "https://{s}.tile.openstreetmap.org/{z}/{x}/{y}.png",
       std::string(kOsmAttribution)},
      {"https://maps.club.example/tiles/{z}/{x}/{y}.jpg", "https://maps.club.example/tiles/{z}/{x}/{y}.jpg",
       "Map tiles: maps.club.example"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting));
    std::string problem = "stale";
    const TileServer server = TileServerFromSetting(c.setting, &problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(server.urlTemplate, c.urlTemplate);
    EXPECT_EQ(server.attribution, c.attribution);
    EXPECT_EQ(server.cacheFolder.find_first_of("/{}:"), std::string::npos) << server.cacheFolder;
  }
}

TEST(TileCacheTest, EachServerHasItsOwnFolder) {
  const TileServer osm = TileServerFromSetting(kDefaultTileUrl);
  const TileServer club = TileServerFromSetting("https://maps.club.example/{z}/{x}/{y}.png");
  const TileServer clubStyle = TileServerFromSetting("https://maps.club.example/relief/{z}/{x}/{y}.png");
  EXPECT_NE(osm.cacheFolder, club.cacheFolder);
  EXPECT_NE(club.cacheFolder, clubStyle.cacheFolder);
  // Stable: the next run finds the tiles of this one.
  EXPECT_EQ(TileServerFromSetting(kDefaultTileUrl).cacheFolder, osm.cacheFolder);
  EXPECT_EQ(osm.cacheFolder.rfind("tile.openstreetmap.org-", 0), 0u) << osm.cacheFolder;

  EXPECT_EQ(TileCachePath("/c/skylode/tiles", club, {12, 2145, 1434}),
            "/c/skylode/tiles/" + club.cacheFolder + "/12/2145/1434.tile");
}

TEST(TileCacheTest, RootFollowsTheCacheHome) {
  struct Case {
    const char* xdg;
    std::string root;
  };
  const Case cases[] = {
      {"/var/cache/pilot", "/var/cache/pilot/skylode/tiles"},
      {"/var/cache/pilot/", "/var/cache/pilot/skylode/tiles"},
      {"", "/home/pilot/.cache/skylode/tiles"},
      {"relative/cache", "/home/pilot/.cache/skylode/tiles"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg);
    EXPECT_EQ(TileCacheRoot(c.xdg, "/home/pilot"), c.root);
  }

  const char* old = std::getenv("XDG_CACHE_HOME");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("XDG_CACHE_HOME", "/tmp/skylode-cache-home", 1);
  EXPECT_EQ(TileCacheRootFromEnvironment(), "/tmp/skylode-cache-home/skylode/tiles");
  if (saved) {
    setenv("XDG_CACHE_HOME", saved->c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

TEST(TileRequestTest, UserAgentNamesTheProgramAndItsVersion) {
  const std::string agent = TileUserAgent();
  EXPECT_EQ(agent.rfind("Skylode/4.49 ", 0), 0u) << agent;
}

TEST(MapLabelTest, ClimbIsSignedWithOneDecimal) {
  struct Case {
    double climb;
    const char* label;
  };
  const Case cases[] = {
      {2.34, "+2.3 m/s"}, {2.25, "+2.3 m/s"}, {0.0, "+0.0 m/s"},  {-0.04, "+0.0 m/s"},
      {-0.46, "-0.5 m/s"}, {12.0, "+12.0 m/s"}, {NAN, "? m/s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ClimbLabel(c.climb), c.label);
  }
}

}  // namespace
}  // namespace skylode
