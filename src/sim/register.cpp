#include "sim/register.h"

#include <cmath>
#include <utility>

#include "access/virtual_line.h"
#include "sim/dsx/dsx_instrument.h"
#include "sim/echo_instrument.h"
#include "sim/flymaster/flymaster_instrument.h"
#include "sim/flytec/demo_flights.h"
#include "sim/flytec/flytec_instrument.h"
#include "sim/garmin/virtual_garmin.h"
#include "sim/garmin/virtual_garmin_usb.h"
#include "sim/iqbasic/iqbasic_instrument.h"
#include "sim/logit/logit_instrument.h"
#include "sim/magellan/magellan_instrument.h"
#include "sim/mlr/mlr_instrument.h"
#include "sim/mtk/mtk_instrument.h"
#include "sim/virtual_instrument.h"
#include "sim/xctrainer/xctrainer_instrument.h"

namespace skylode::sim {

namespace {

template <typename Behaviour>
VirtualInstrumentFactory FactoryOf() {
  return [](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartInstrument(std::make_unique<Behaviour>(), {}, error);
  };
}

// Where an instrument keeps a pilot ID: the number's digits as degrees,
// minutes and seconds of arc (the last three in the latitude, the others in
// the longitude), in degrees.
double IdLatitude(int32_t id) { return id / 100 % 10 + (id / 10 % 10) / 60.0 + (id % 10) / 3600.0; }
double IdLongitude(int32_t id) { return id / 100000 + (id / 10000 % 10) / 60.0 + (id / 1000 % 10) / 3600.0; }

// A competition pilot's instruments: the demo Flytec and an MLR with the IDs
// 17 and 12345 among their waypoints, the Garmin with the competition ID 23
// alone.
void RegisterPilotInstruments() {
  FlytecSimConfig flytec = DemoConfig();
  flytec.waypoints.push_back({IdLatitude(17), IdLongitude(17), "COMPID", "COMPID", 0});
  flytec.waypoints.push_back({IdLatitude(12345), IdLongitude(12345), "CIVLID", "CIVLID", 0});
  RegisterVirtualFlytec("flytec/pilot", std::move(flytec));

  auto semicircles = [](double degrees) { return static_cast<int32_t>(std::lround(degrees * 2147483648.0 / 180.0)); };
  MlrSimConfig mlr;
  mlr.points = DemoMlrPoints(300);
  mlr.waypoints = DemoMlrWaypoints();
  for (const auto& [id, number] : {std::pair<const char*, int32_t>{"COMPID", 17}, {"CIVLID", 12345}}) {
    mlr.waypoints.push_back(
        {id, "", {mlr.points[0].gpsTime, semicircles(IdLatitude(number)), semicircles(IdLongitude(number)), 0, false}});
  }
  RegisterVirtualInstrument("mlr/pilot", [mlr](std::string& error) -> std::unique_ptr<VirtualLine> {
    InstrumentOptions options;
    options.pace = true;
    return StartVirtualMlr(mlr, options, error);
  });

  RegisterVirtualInstrument("garmin/pilot", [semicircles](std::string& error) -> std::unique_ptr<VirtualLine> {
    VirtualGarminOptions o = DefaultVirtualGarminOptions(*FindVirtualGarminProfile(""));
    const int32_t lat = semicircles(IdLatitude(23));
    const int32_t lon = semicircles(IdLongitude(23));
    o.waypoints.insert(o.waypoints.begin() + 2,
                       {35, GarminWaypointRecordData(o.profile.waypointType, "COMPID", "COMPID", lat, lon, 0, 18, 0)});
    InstrumentOptions instrument;
    instrument.pace = true;
    return StartVirtualGarmin(std::move(o), instrument, error);
  });
}

}  // namespace

void RegisterVirtualInstruments() {
  // A loopback line, for checking a port set-up without an instrument.
  RegisterVirtualInstrument("echo", FactoryOf<EchoInstrument>());
  RegisterVirtualFlytec();
  RegisterVirtualGarmin();
  RegisterVirtualGarminUsb();
  RegisterVirtualMlr();
  RegisterVirtualFlymaster();
  RegisterVirtualXcTrainer();
  RegisterVirtualMtk();
  RegisterVirtualMagellan();
  RegisterVirtualIqBasic();
  RegisterVirtualDsx();
  RegisterVirtualLogIt();
  RegisterPilotInstruments();
}

}  // namespace skylode::sim
