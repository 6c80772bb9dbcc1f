// An AppState wired to a scripted UI, a settings file in a fresh folder and a
// transfer service that delivers results when the test says so.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "shell/app_state.h"
#include "shell/interface/scripted_ui.h"
#include "temp_dir.h"

namespace skylode::test {

class FakeTransfers : public TransferService {
 public:
  struct Started {
    TransferRequest request;
    TransferCallbacks callbacks;
    CompletionFn done;
  };
  std::vector<Started> started;
  int startResult = 0;
  int aborts = 0;
  int ends = 0;
  std::set<std::pair<AccessType, ProtocolType>> missing;  // cells without a worker

  int Start(TransferRequest request, TransferCallbacks callbacks, CompletionFn onComplete) override {
    if (startResult != 0) return startResult;
    started.push_back({std::move(request), std::move(callbacks), std::move(onComplete)});
    return 0;
  }
  int Abort() override {
    ++aborts;
    return 0;
  }
  void End() override { ++ends; }
  bool Has(AccessType access, ProtocolType protocol) const override { return !missing.count({access, protocol}); }
};

class AppFixture : public ::testing::Test {
 protected:
  AppFixture() : settings(Paths()), app(ui, settings, transfers) {
    app.hiddenLog = [this](std::string_view caption, std::string_view text) {
      hiddenMessages.push_back(std::string(caption) + ": " + std::string(text));
    };
  }

  SettingsPaths Paths() const {
    SettingsPaths p;
    p.userFile = dir / "config/settings.ini";
    p.documentsDir = dir.str();
    return p;
  }

  // Delivers `result` to the n-th started transfer the way the dispatcher
  // does: posted, then run on the UI thread.
  void Deliver(TransferResult result, size_t n = SIZE_MAX) {
    ASSERT_FALSE(transfers.started.empty());
    auto done = transfers.started[n == SIZE_MAX ? transfers.started.size() - 1 : n].done;
    ui.Post([done, r = std::move(result)]() mutable { done(std::move(r)); });
    ui.RunPosted();
  }

  static TrackPoint Point(uint32_t time, int32_t gpsHeight = 0, uint32_t flags = 0) {
    TrackPoint p;
    p.time = time;
    p.gpsHeight = gpsHeight;
    p.flags = flags;
    p.latitude = 563714457;   // about 47.25 degrees north
    p.longitude = 95443718;   // about 8 degrees east
    return p;
  }

  static TransferResult TrackResult(std::vector<TrackPoint> points, TrackLogSource source, int32_t code = 0) {
    TrackLogPayload payload;
    payload.log.points = std::move(points);
    payload.log.source = source;
    payload.log.hasBaroHeight = true;
    payload.log.extraData = {1, 2, 3};
    payload.raw.text = "AXXX\r\n";
    return TransferResult::Track(std::move(payload), code);
  }

  static Waypoint Wpt(std::string id, std::string name = "") {
    Waypoint w;
    w.id = std::move(id);
    w.name = std::move(name);
    return w;
  }

  TempDir dir;
  ScriptedUi ui;
  FakeTransfers transfers;
  SettingsStore settings;
  AppState app;
  std::vector<std::string> hiddenMessages;
};

}  // namespace skylode::test
